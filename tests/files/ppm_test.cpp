// Loading and saving P6 pictures: round trips, header scanning, and every
// refusal with its one message.
#include <random>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "kelvix.h"
#include "output_capture.h"
#include "test_support.h"

using kxfiles::captureOutput;
using kxtest::ImagePtr;
using kxtest::makeImage;
using kxtest::ScratchDir;

namespace {

std::string pixels(std::initializer_list<int> bytes)
{
    std::string out;
    for (int b : bytes) out.push_back(static_cast<char>(b));
    return out;
}

struct LoadResult {
    int32_t result;
    kxfiles::Output output;
};

LoadResult loadContents(const ScratchDir &dir, const std::string &contents, kxImage *image)
{
    const std::string path = dir.file("picture.ppm");
    EXPECT_TRUE(kxtest::writeFile(path, contents));
    LoadResult r{};
    r.output = captureOutput([&] { r.result = kxImageLoad(image, path.c_str()); });
    return r;
}

bool exists(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

} // namespace

TEST(PpmRoundTrip, RgbFullFrameKeepsEveryPixelAndHasTheExactLayout)
{
    ScratchDir dir;
    ImagePtr frame(kxImageCreate(RGB, 640, 480));
    std::mt19937 random(7);
    for (size_t i = 0; i < 640u * 480u * 3u; ++i) frame->data[i] = random() & 0xFF;
    const std::string path = dir.file("frame.ppm");
    auto out = captureOutput([&] { EXPECT_EQ(0, kxImageSave(frame.get(), path.c_str())); });
    EXPECT_EQ("Writing to " + path + "\n", out.out);

    const std::string bytes = kxtest::readFile(path);
    ASSERT_EQ(15u + 921600u, bytes.size());
    EXPECT_EQ("P6\n640 480\n255\n", bytes.substr(0, 15));
    EXPECT_EQ(static_cast<char>(frame->data[0]), bytes[15]);
    EXPECT_EQ(static_cast<char>(frame->data[921599]), bytes[15 + 921599]);

    ImagePtr loaded(makeImage(HSI, 3, 3));
    ASSERT_EQ(0, kxImageLoad(loaded.get(), path.c_str()));
    EXPECT_EQ(RGB, loaded->format);
    EXPECT_EQ(640, loaded->width);
    EXPECT_EQ(480, loaded->height);
    for (size_t i = 0; i < 640u * 480u * 3u; ++i) ASSERT_EQ(frame->data[i], loaded->data[i]) << i;
}

TEST(PpmRoundTrip, GrayAndBinaryAreWrittenAsThreeEqualLowBytes)
{
    ScratchDir dir;
    ImagePtr gray(makeImage(GRAY, 3, 1));
    gray->data[0] = 7;
    gray->data[1] = 256;  // NRG to grey can give 256: only the low byte is kept
    gray->data[2] = 255;
    ImagePtr binary(makeImage(BINARY, 2, 1));
    binary->data[0] = 255;
    binary->data[1] = 0;
    captureOutput([&] {
        EXPECT_EQ(0, kxImageSave(gray.get(), dir.file("g.ppm").c_str()));
        EXPECT_EQ(0, kxImageSave(binary.get(), dir.file("b.ppm").c_str()));
    });
    EXPECT_EQ("P6\n3 1\n255\n" + pixels({7, 7, 7, 0, 0, 0, 255, 255, 255}),
              kxtest::readFile(dir.file("g.ppm")));
    EXPECT_EQ("P6\n2 1\n255\n" + pixels({255, 255, 255, 0, 0, 0}), kxtest::readFile(dir.file("b.ppm")));

    ImagePtr loaded(makeImage(NONE, 0, 0));
    ASSERT_EQ(0, kxImageLoad(loaded.get(), dir.file("g.ppm").c_str()));
    EXPECT_EQ(RGB, loaded->format);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(7, kxtest::channelAt(loaded.get(), 0, 0, c));
        EXPECT_EQ(0, kxtest::channelAt(loaded.get(), 1, 0, c));
        EXPECT_EQ(255, kxtest::channelAt(loaded.get(), 2, 0, c));
    }
}

TEST(PpmRoundTrip, RgbChannelsKeepOnlyTheirLowByte)
{
    ScratchDir dir;
    ImagePtr image(makeImage(RGB, 1, 1));
    kxtest::setRgb(image.get(), 0, 0, 0x1FF, 0x100, 0xABCD);
    captureOutput([&] { EXPECT_EQ(0, kxImageSave(image.get(), dir.file("p.ppm").c_str())); });
    EXPECT_EQ("P6\n1 1\n255\n" + pixels({0xFF, 0x00, 0xCD}), kxtest::readFile(dir.file("p.ppm")));
}

TEST(PpmRoundTrip, PicturesWithoutPixelsLoadBack)
{
    ScratchDir dir;
    for (auto size : {std::make_pair(0, 5), std::make_pair(7, 0), std::make_pair(0, 0)}) {
        ImagePtr empty(makeImage(RGB, size.first, size.second));
        const std::string path = dir.file("empty.ppm");
        captureOutput([&] { ASSERT_EQ(0, kxImageSave(empty.get(), path.c_str())); });
        ImagePtr loaded(makeImage(GRAY, 4, 4));
        auto out = captureOutput([&] { EXPECT_EQ(0, kxImageLoad(loaded.get(), path.c_str())) << path; });
        EXPECT_EQ("", out.out + out.err);
        EXPECT_EQ(RGB, loaded->format);
        EXPECT_EQ(size.first, loaded->width);
        EXPECT_EQ(size.second, loaded->height);
    }
}

TEST(PpmHeader, OnlyOneWhiteSpaceByteEndsTheHeader)
{
    ScratchDir dir;
    for (int red : {10, 32, 9}) {
        ImagePtr image(makeImage(NONE, 0, 0));
        auto r = loadContents(dir, "P6\n2 1\n255\n" + pixels({red, 1, 2, 3, 4, 5}), image.get());
        ASSERT_EQ(0, r.result) << red;
        EXPECT_EQ(red, kxtest::channelAt(image.get(), 0, 0, 0));
        EXPECT_EQ(5, kxtest::channelAt(image.get(), 1, 0, 2));
    }
}

TEST(PpmHeader, CommentsAndWhiteSpaceBeforeTheWidthAreSkipped)
{
    ScratchDir dir;
    const std::string body = pixels({1, 2, 3, 4, 5, 6});
    const char *headers[] = {
        "P6\n# made by hand\n2 1\n255\n",
        "  \n\tP6 # trailing words\n#another\n\n2\t\t1\r\n 255\n",
        "P6\n!not a hash but still a comment\n2 1 255 ",
        "P6 2\n1\n255\t",
    };
    for (const char *header : headers) {
        ImagePtr image(makeImage(NONE, 0, 0));
        auto r = loadContents(dir, header + body, image.get());
        EXPECT_EQ(0, r.result) << header;
        EXPECT_EQ("", r.output.out);
        EXPECT_EQ(2, image->width);
        EXPECT_EQ(6, kxtest::channelAt(image.get(), 1, 0, 2)) << header;
    }
}

TEST(PpmHeader, UnreadableNumbersAreReportedThroughPerror)
{
    ScratchDir dir;
    const char *headers[] = {
        "P6\n2 # comment between width and height\n1\n255\n",
        "P6",
        "P6\n# a comment and then nothing",
        "P6\n2 1\n",
        "P6 2 x 255\n",
        "P6 -2 1 255\n",  // a sign before the width starts a comment line
    };
    for (const char *header : headers) {
        ImagePtr image(makeImage(GRAY, 4, 4));
        auto r = loadContents(dir, header, image.get());
        EXPECT_EQ(-1, r.result) << header;
        EXPECT_EQ("", r.output.out) << header;
        EXPECT_EQ(0u, r.output.err.find("kxImageLoad: error: cannot read as P6 format PPM\n: "))
            << r.output.err;
        EXPECT_EQ(GRAY, image->format) << "a refused header leaves the image alone";
    }
}

TEST(PpmHeader, WrongMagicAndMaximumValueHaveTheirOwnMessages)
{
    ScratchDir dir;
    ImagePtr image(makeImage(NONE, 0, 0));
    for (const char *text : {"P3\n1 1\n255\n1 2 3\n", "", "   \n", "P", "P5\n1 1\n255\nx", "p6\n1 1\n255\nabc"}) {
        auto r = loadContents(dir, text, image.get());
        EXPECT_EQ(-1, r.result) << text;
        EXPECT_EQ("kxImageLoad: error: cannot read as P6 format PPM\n", r.output.out) << text;
    }
    for (const char *text : {"P6\n1 1\n65535\nabcdef", "P6\n1 1\n15\nabc", "P6\n1 1\n-255\nabc"}) {
        auto r = loadContents(dir, text, image.get());
        EXPECT_EQ(-1, r.result) << text;
        EXPECT_EQ("kxImageLoad: error: file does not have maxval=255\n", r.output.out) << text;
    }
}

TEST(PpmHeader, SizesThatCannotBeRealAreRefusedBeforeAllocation)
{
    ScratchDir dir;
    const char *headers[] = {
        "P6\n5 -3\n255\n",
        "P6\n2147483648 1\n255\n",
        "P6\n99999999999999999999 99999999999999999999\n255\n",
        "P6\n2147483647 2147483647\n255\n",
    };
    for (const char *header : headers) {
        ImagePtr image(makeImage(GRAY, 4, 4));
        auto r = loadContents(dir, std::string(header) + "abcdef", image.get());
        EXPECT_EQ(-1, r.result) << header;
        EXPECT_EQ("kxImageLoad: error: illegal image size\n", r.output.out) << header;
        EXPECT_EQ(GRAY, image->format);
        EXPECT_EQ(4, image->width);
    }
}

TEST(PpmPixels, AFileCutShortIsAReadError)
{
    ScratchDir dir;
    ImagePtr image(makeImage(GRAY, 4, 4));
    // 2 x 2 pixels need 12 bytes; a huge claimed size with a tiny body too.
    for (const std::string &text : {"P6\n2 2\n255\n" + pixels({1, 2, 3, 4, 5, 6, 7}),
                                   std::string("P6\n2 2\n255\n"), std::string("P6\n30000 30000\n255\nabc")}) {
        auto r = loadContents(dir, text, image.get());
        EXPECT_EQ(-1, r.result);
        EXPECT_EQ("", r.output.out);
        EXPECT_EQ(0u, r.output.err.find("kxImageLoad: read error")) << r.output.err;
    }
}

TEST(PpmPixels, BytesAfterTheLastPixelAreIgnored)
{
    ScratchDir dir;
    ImagePtr image(makeImage(NONE, 0, 0));
    auto r = loadContents(dir, "P6\n1 1\n255\n" + pixels({9, 8, 7}) + "trailing junk", image.get());
    EXPECT_EQ(0, r.result);
    EXPECT_EQ(7, kxtest::channelAt(image.get(), 0, 0, 2));
}

TEST(PpmFailures, NullImagesPathsAndMissingFiles)
{
    ScratchDir dir;
    auto out = captureOutput([&] {
        EXPECT_EQ(-1, kxImageLoad(nullptr, dir.file("x.ppm").c_str()));
        EXPECT_EQ(-1, kxImageSave(nullptr, dir.file("x.ppm").c_str()));
    });
    EXPECT_EQ("kxImageLoad: error: NULL image\nkxImageSave: error: NULL image\n", out.out);

    ImagePtr image(makeImage(RGB, 1, 1));
    out = captureOutput([&] { EXPECT_EQ(-1, kxImageLoad(image.get(), dir.file("missing.ppm").c_str())); });
    EXPECT_EQ("", out.out);
    EXPECT_EQ("kxImageLoad: unable to open file: No such file or directory\n", out.err);

    out = captureOutput([&] { EXPECT_EQ(-1, kxImageSave(image.get(), dir.file("no/such/dir.ppm").c_str())); });
    EXPECT_EQ("kxImageSave: unable to create file: No such file or directory\n", out.err);
}

TEST(PpmFailures, UnsavableFormatsCreateNoFile)
{
    ScratchDir dir;
    for (kxFormat format : {NONE, HSI, NRG, static_cast<kxFormat>(7)}) {
        ImagePtr image(makeImage(RGB, 2, 2));
        image->format = format;
        const std::string path = dir.file("never.ppm");
        auto out = captureOutput([&] { EXPECT_EQ(-1, kxImageSave(image.get(), path.c_str())); });
        EXPECT_EQ("kxImageSave: error: cannot save this format\n", out.out);
        EXPECT_FALSE(exists(path));
    }
}

TEST(PpmFailures, AFullDiskIsAWriteOrCloseError)
{
    // /dev/full takes nothing: a picture larger than the stream buffer fails
    // while writing pixels, a small one only when the buffer is flushed.
    ImagePtr large(makeImage(RGB, 640, 480, 1));
    auto out = captureOutput([&] { EXPECT_EQ(-1, kxImageSave(large.get(), "/dev/full")); });
    EXPECT_EQ("Writing to /dev/full\n", out.out);
    EXPECT_EQ("kxImageSave: write error: No space left on device\n", out.err);

    ImagePtr small(makeImage(RGB, 2, 2, 1));
    out = captureOutput([&] { EXPECT_EQ(-1, kxImageSave(small.get(), "/dev/full")); });
    EXPECT_EQ("kxImageSave: close error: No space left on device\n", out.err);
}
