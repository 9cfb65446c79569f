// Object description files: what the writer produces, what the reader makes
// of hand-written files, and the reader's refusals.
#include <memory>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "kelvix.h"
#include "output_capture.h"
#include "test_support.h"

using kxfiles::captureOutput;
using kxtest::ScratchDir;

namespace {

struct ObjectDeleter {
    void operator()(kxObject *object) const { kxObjectDestroy(object); }
};
using ObjectPtr = std::unique_ptr<kxObject, ObjectDeleter>;

ObjectPtr makeObject() { return ObjectPtr(kxObjectCreate(0, 0, 0, 0)); }

struct LoadResult {
    int32_t result;
    kxfiles::Output output;
};

LoadResult load(const ScratchDir &dir, const std::string &text, kxObject *object)
{
    const std::string path = dir.file("object.txt");
    EXPECT_TRUE(kxtest::writeFile(path, text));
    LoadResult r{};
    r.output = captureOutput([&] { r.result = kxObjectLoad(object, path.c_str()); });
    return r;
}

// An RGB object of three rows of width 6.
ObjectPtr rgbObject()
{
    ObjectPtr object(kxObjectCreate(12, 34, 6, 3));
    object->defined = 1;
    object->format = RGB;
    object->r_min = 1;
    object->r_max = 200;
    object->g_min = 20;
    object->g_max = 255;
    object->b_min = 0;
    object->b_max = 99;
    const int32_t offsets[] = {2, 0, 6}, lengths[] = {3, 6, 0};
    for (int row = 0; row < 3; ++row) {
        object->shape_offset[row] = offsets[row];
        object->shape_length[row] = lengths[row];
    }
    return object;
}

} // namespace

TEST(ObjectSave, WritesTheDocumentedLayout)
{
    ScratchDir dir;
    ObjectPtr object = rgbObject();
    const std::string path = dir.file("ball.obj");
    auto out = captureOutput([&] { EXPECT_EQ(0, kxObjectSave(object.get(), path.c_str())); });
    EXPECT_EQ("Writing to " + path + "\n", out.out);
    EXPECT_EQ("#\n# " + path + " -- Kelvix object file\n#\n"
              "\n# properties\nwidth 6\nheight 3\nx 12\ny 34\nformat rgb\n"
              "\n# color boundaries\n"
              "r_min   1 # 0-255\nr_max 200 # 0-255\ng_min  20 # 0-255\ng_max 255 # 0-255\n"
              "b_min   0 # 0-255\nb_max  99 # 0-255\n"
              "\n# shape data\nshape ..xxx.\nshape xxxxxx\nshape ......\n",
              kxtest::readFile(path));
}

TEST(ObjectSave, RgbObjectSurvivesARoundTrip)
{
    ScratchDir dir;
    ObjectPtr object = rgbObject();
    const std::string path = dir.file("ball.obj");
    captureOutput([&] { ASSERT_EQ(0, kxObjectSave(object.get(), path.c_str())); });
    ObjectPtr loaded = makeObject();
    auto out = captureOutput([&] { ASSERT_EQ(0, kxObjectLoad(loaded.get(), path.c_str())); });
    EXPECT_EQ("", out.out);
    EXPECT_EQ(1, loaded->defined);
    EXPECT_EQ(RGB, loaded->format);
    EXPECT_EQ(6, loaded->width);
    EXPECT_EQ(3, loaded->height);
    EXPECT_EQ(12, loaded->x);
    EXPECT_EQ(34, loaded->y);
    EXPECT_EQ(object->r_min, loaded->r_min);
    EXPECT_EQ(object->r_max, loaded->r_max);
    EXPECT_EQ(object->g_max, loaded->g_max);
    EXPECT_EQ(object->b_max, loaded->b_max);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(object->shape_offset[row], loaded->shape_offset[row]);
        EXPECT_EQ(object->shape_length[row], loaded->shape_length[row]);
    }
}

TEST(ObjectSave, HsiBoundariesLosePrecisionInDegreesAndPercent)
{
    ScratchDir dir;
    ObjectPtr object = makeObject();
    auto r = load(dir,
                  "width 1\nheight 0\nformat hsi\nh_min 30\nh_max 360\ns_min 0\ns_max 50\n"
                  "i_min 100\ni_max 7\n",
                  object.get());
    ASSERT_EQ(0, r.result);
    EXPECT_EQ(5461, object->h_min);
    EXPECT_EQ(65535, object->h_max);
    EXPECT_EQ(0, object->s_min);
    EXPECT_EQ(32767, object->s_max);
    EXPECT_EQ(65535, object->i_min);

    const std::string path = dir.file("hsi.obj");
    captureOutput([&] { ASSERT_EQ(0, kxObjectSave(object.get(), path.c_str())); });
    const std::string text = kxtest::readFile(path);
    EXPECT_NE(std::string::npos, text.find("h_min  29 # deg\nh_max 360 # deg\n")) << text;
    EXPECT_NE(std::string::npos, text.find("s_min   0 # percent\ns_max  49 # percent\n")) << text;
    EXPECT_NE(std::string::npos, text.find("i_min 100 # percent\ni_max   6 # percent\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("r_min"));
}

TEST(ObjectSave, NrgAndBinaryWriteOnlyTheirBoundaries)
{
    ScratchDir dir;
    ObjectPtr object = rgbObject();
    object->format = NRG;
    object->nr_min = 5;
    object->ng_max = 250;
    captureOutput([&] { ASSERT_EQ(0, kxObjectSave(object.get(), dir.file("n.obj").c_str())); });
    std::string text = kxtest::readFile(dir.file("n.obj"));
    EXPECT_NE(std::string::npos, text.find("format nrg\n\n# color boundaries\nnr_min   5 # 0-255\n"));
    EXPECT_NE(std::string::npos, text.find("ng_max 250 # 0-255\n\n# shape data\n"));

    object->format = BINARY;
    captureOutput([&] { ASSERT_EQ(0, kxObjectSave(object.get(), dir.file("b.obj").c_str())); });
    text = kxtest::readFile(dir.file("b.obj"));
    EXPECT_NE(std::string::npos, text.find("format binary\n\n# color boundaries\n\n# shape data\n"));
}

TEST(ObjectSave, RefusesNullUndefinedAndUnsupportedObjects)
{
    ScratchDir dir;
    const std::string path = dir.file("never.obj");
    ObjectPtr object = rgbObject();
    auto out = captureOutput([&] {
        EXPECT_EQ(-1, kxObjectSave(nullptr, path.c_str()));
        object->defined = 0;
        EXPECT_EQ(-1, kxObjectSave(object.get(), path.c_str()));
        object->defined = 1;
        for (int format : {0, 4, 6, 7}) {
            object->format = static_cast<kxFormat>(format);
            EXPECT_EQ(-1, kxObjectSave(object.get(), path.c_str()));
        }
    });
    EXPECT_EQ("kxObjectSave: error: NULL object\nkxObjectSave: error: object is undefined\n"
              "kxObjectSave: error: unsupported object format\n"
              "kxObjectSave: error: unsupported object format\n"
              "kxObjectSave: error: unsupported object format\n"
              "kxObjectSave: error: unsupported object format\n",
              out.out);
    struct stat info;
    EXPECT_NE(0, stat(path.c_str(), &info));

    object->format = RGB;
    out = captureOutput([&] { EXPECT_EQ(-1, kxObjectSave(object.get(), dir.file("no/dir.obj").c_str())); });
    EXPECT_EQ("kxObjectSave: unable to create file: No such file or directory\n", out.err);
    out = captureOutput([&] { EXPECT_EQ(-1, kxObjectSave(object.get(), "/dev/full")); });
    EXPECT_EQ("kxObjectSave: close error: No space left on device\n", out.err);
}

TEST(ObjectSave, UnsetShapeEntriesStayInsideTheRow)
{
    // A file with fewer shape rows than its height leaves table entries unset;
    // saving such an object must still write rows of exactly `width` characters.
    ScratchDir dir;
    ObjectPtr object = rgbObject();
    object->shape_offset[0] = -5;
    object->shape_length[0] = 1000000000;
    object->shape_offset[1] = 2000000000;
    object->shape_length[1] = -7;
    object->shape_offset[2] = 4;
    object->shape_length[2] = 9;
    captureOutput([&] { ASSERT_EQ(0, kxObjectSave(object.get(), dir.file("o.obj").c_str())); });
    const std::string text = kxtest::readFile(dir.file("o.obj"));
    EXPECT_NE(std::string::npos, text.find("\nshape xxxxxx\nshape ......\nshape ....xx\n")) << text;
}

TEST(ObjectLoad, ShapeRowsGiveOffsetAndLength)
{
    ScratchDir dir;
    ObjectPtr object = makeObject();
    auto r = load(dir,
                  "# hand written\n\n   width 6   # columns\n\theight 4\nformat binary\n"
                  "shape ..xxx.\nshape xxxxxx\nshape ......\nshape .x.x.x # not examined after the run\n",
                  object.get());
    ASSERT_EQ(0, r.result) << r.output.out;
    EXPECT_EQ(1, object->defined);
    EXPECT_EQ(BINARY, object->format);
    const int32_t offsets[] = {2, 0, 6, 1}, lengths[] = {3, 6, 0, 1};
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(offsets[row], object->shape_offset[row]) << row;
        EXPECT_EQ(lengths[row], object->shape_length[row]) << row;
    }
}

TEST(ObjectLoad, KeysAfterTheSizeMayComeInAnyOrderAndRepeat)
{
    ScratchDir dir;
    ObjectPtr object = makeObject();
    auto r = load(dir,
                  "height 2\nwidth 3\ny -4\nr_max 300\nx +7\nformat nrg\nh_min 30\nx 8\nr_min abc\n"
                  "height 99\nwidth 2\nshape .x\nshape xx\n",
                  object.get());
    ASSERT_EQ(0, r.result) << r.output.out;
    EXPECT_EQ(8, object->x);
    EXPECT_EQ(-4, object->y);
    EXPECT_EQ(NRG, object->format);
    EXPECT_EQ(300, object->r_max);
    EXPECT_EQ(0, object->r_min) << "a value without digits reads as 0";
    EXPECT_EQ(5461, object->h_min) << "boundaries of another colour space are kept";
    EXPECT_EQ(3, object->width) << "a later width only sets the length of later shape rows";
    EXPECT_EQ(2, object->height);
    EXPECT_EQ(1, object->shape_offset[0]);
    EXPECT_EQ(2, object->shape_length[1]);
}

TEST(ObjectLoad, CommentsOnlyDefinesWithoutInitialising)
{
    ScratchDir dir;
    ObjectPtr object(kxObjectCreate(5, 6, 7, 8));
    auto r = load(dir, "# nothing\n\n   # here\n", object.get());
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(1, object->defined);
    EXPECT_EQ(5, object->x);
    EXPECT_EQ(8, object->height);
}

TEST(ObjectLoad, EachRefusalStopsWithItsMessage)
{
    ScratchDir dir;
    const struct {
        const char *text;
        const char *message;
    } cases[] = {
        {"format rgb\nwidth 1\nheight 1\n",
         "kxObjectLoad: error: width and height must be the first object parameters\n"},
        {"width 2\nx 1\n", "kxObjectLoad: error: width and height must be the first object parameters\n"},
        // Checked at every key, not only before the object is sized.
        {"width 6\nheight 1\nx 3\nwidth -1\ny 4\n",
         "kxObjectLoad: error: width and height must be the first object parameters\n"},
        {"width 6\nheight 1\nx 3\nheight -1\nshape ......\n",
         "kxObjectLoad: error: width and height must be the first object parameters\n"},
        {"width 2\nheight\n", "kxObjectLoad: error: illegal parameter: \"height\"\n"},
        {"width 2\nheight 1\n  x#1\n", "kxObjectLoad: error: illegal parameter: \"x\"\n"},
        {"width 2\nheight 1\nformat gray\n", "kxObjectLoad: error: unsupported format: \"gray\"\n"},
        {"width 2\nheight 1\nformat RGB\n", "kxObjectLoad: error: unsupported format: \"RGB\"\n"},
        {"width 2\nheight 1\ncolour red\n", "kxObjectLoad: error: unknown parameter: \"colour\"\n"},
        {"width 2\nheight 1\nWidth 3\n", "kxObjectLoad: error: unknown parameter: \"Width\"\n"},
        {"width 6\nheight 2\nshape xxxxx\n",
         "kxObjectLoad: error: shape data row does not match width=6:\n  xxxxx\n"},
        {"width 2\nheight 1\nshape xx\nshape ..\n", "kxObjectLoad: error: too many shape data rows\n"},
        {"width 2\nheight 0\nshape xx\n", "kxObjectLoad: error: too many shape data rows\n"},
        {"width -2\nheight 1\nx 0\n", "kxObjectLoad: error: illegal object size\n"},
        {"width 2\nheight -5\nx 0\n", "kxObjectLoad: error: illegal object size\n"},
        {"width 2\nheight 2000000000\nx 0\n", "kxObjectLoad: error: illegal object size\n"},
    };
    for (const auto &c : cases) {
        ObjectPtr object = makeObject();
        auto r = load(dir, c.text, object.get());
        EXPECT_EQ(-1, r.result) << c.text;
        EXPECT_EQ(c.message, r.output.out) << c.text;
        EXPECT_EQ(0, object->defined) << c.text;
    }
}

TEST(ObjectLoad, ValuesReadBeforeAFailureStay)
{
    ScratchDir dir;
    ObjectPtr object = makeObject();
    auto r = load(dir, "width 2\nheight 1\nx 9\nr_max 77\nbogus 1\ny 3\n", object.get());
    EXPECT_EQ(-1, r.result);
    EXPECT_EQ(9, object->x);
    EXPECT_EQ(77, object->r_max);
    EXPECT_EQ(0, object->y);
    EXPECT_EQ(0, object->defined);
}

TEST(ObjectLoad, ALineLongerThanTheBufferIsReadAsTwoLines)
{
    ScratchDir dir;
    // 6 + 1017 characters fill one read exactly; one more is the next line.
    ObjectPtr object = makeObject();
    std::string text = "width 1017\nheight 2\nshape " + std::string(1017, 'x') + "\n";
    ASSERT_EQ(0, load(dir, text, object.get()).result);
    EXPECT_EQ(1017, object->shape_length[0]);

    object = makeObject();
    text = "width 1018\nheight 2\nshape " + std::string(1018, 'x') + "\n";
    auto r = load(dir, text, object.get());
    EXPECT_EQ(-1, r.result);
    EXPECT_EQ(0u, r.output.out.find("kxObjectLoad: error: shape data row does not match width=1018:"));
}

TEST(ObjectLoad, NullObjectMissingFileAndDirectory)
{
    ScratchDir dir;
    auto out = captureOutput([&] { EXPECT_EQ(-1, kxObjectLoad(nullptr, dir.file("x").c_str())); });
    EXPECT_EQ("kxObjectLoad: error: NULL object\n", out.out);

    ObjectPtr object = makeObject();
    out = captureOutput([&] { EXPECT_EQ(-1, kxObjectLoad(object.get(), dir.file("missing").c_str())); });
    EXPECT_EQ("kxObjectLoad: unable to open file: No such file or directory\n", out.err);

    out = captureOutput([&] { EXPECT_EQ(-1, kxObjectLoad(object.get(), dir.path().c_str())); });
    EXPECT_EQ(0, object->defined) << "a directory is no object description";
    EXPECT_EQ("kxObjectLoad: read error: Is a directory\n", out.err);
}
