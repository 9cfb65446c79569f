// Drawing primitives: every figure compared pixel by pixel with its expected
// mask, figures over the border, and refusals.
#include <map>

#include <gtest/gtest.h>

#include "pixel_helpers.h"
#include "pixel_internal.h"  // _kxPaintLine, the line tool's painter

using kxtest::captureStdout;
using kxtest::ImagePtr;
using pixeltest::paintedPixels;
using pixeltest::Pixels;
using pixeltest::pixelsOfColour;

namespace {

Pixels rowRun(int y, int x0, int x1)  // columns x0..x1 inclusive
{
    Pixels p;
    for (int x = x0; x <= x1; ++x) p.insert({x, y});
    return p;
}

Pixels columnRun(int x, int y0, int y1)
{
    Pixels p;
    for (int y = y0; y <= y1; ++y) p.insert({x, y});
    return p;
}

Pixels operator+(Pixels a, const Pixels &b)
{
    a.insert(b.begin(), b.end());
    return a;
}

} // namespace

TEST(DrawRect, HalfOpenOutlineOnePastTheWindow)
{
    ImagePtr image(kxtest::makeImage(RGB, 100, 100, 0));
    kxWindow window{10, 20, 30, 40};
    ASSERT_EQ(kxDrawRect(image.get(), &window, 1, 2, 3), 0);
    Pixels expected = rowRun(20, 10, 39) + rowRun(60, 10, 39) + columnRun(10, 20, 59) + columnRun(40, 20, 59);
    EXPECT_EQ(pixelsOfColour(image.get(), 1, 2, 3), expected);
    EXPECT_EQ(paintedPixels(image.get()), expected);  // (40, 60) among the unpainted
}

TEST(DrawRect, RightAndBottomClampToTheLastPixel)
{
    ImagePtr image(kxtest::makeImage(RGB, 100, 100, 0));
    kxWindow window{90, 90, 50, 50};
    ASSERT_EQ(kxDrawRect(image.get(), &window, 255, 255, 255), 0);
    EXPECT_EQ(paintedPixels(image.get()),
              rowRun(90, 90, 98) + rowRun(99, 90, 98) + columnRun(90, 90, 98) + columnRun(99, 90, 98));
}

TEST(DrawRect, NegativeOriginsAndFlatWindowsStayInside)
{
    ImagePtr image(kxtest::makeImage(RGB, 20, 10, 0));
    kxWindow window{-5, -5, 10, 10};
    ASSERT_EQ(kxDrawRect(image.get(), &window, 9, 9, 9), 0);
    EXPECT_EQ(paintedPixels(image.get()), rowRun(5, 0, 4) + columnRun(5, 0, 4));

    ImagePtr flat(kxtest::makeImage(RGB, 20, 10, 0));
    kxWindow line{2, 3, 5, 0};  // no height: top and bottom rows coincide, no sides
    ASSERT_EQ(kxDrawRect(flat.get(), &line, 9, 9, 9), 0);
    EXPECT_EQ(paintedPixels(flat.get()), rowRun(3, 2, 6));

    ImagePtr far(kxtest::makeImage(RGB, 20, 10, 0));
    for (kxWindow hostile : {kxWindow{-2147483647, -2147483647, 2147483647, 2147483647},
                             kxWindow{2147483647, 2147483647, 2147483647, 2147483647},
                             kxWindow{-100, 3, 50, 2}}) {
        ASSERT_EQ(kxDrawRect(far.get(), &hostile, 9, 9, 9), 0);
        ASSERT_EQ(kxDrawCross(far.get(), &hostile, 9, 9, 9), 0);
    }
}

TEST(DrawCross, BarsThroughTheMiddle)
{
    ImagePtr image(kxtest::makeImage(RGB, 100, 100, 0));
    kxWindow window{0, 0, 10, 4};
    ASSERT_EQ(kxDrawCross(image.get(), &window, 0, 0, 200), 0);
    Pixels expected = rowRun(2, 0, 9) + columnRun(5, 0, 3);
    EXPECT_EQ(pixelsOfColour(image.get(), 0, 0, 200), expected);
    EXPECT_EQ(paintedPixels(image.get()), expected);

    // Clamped at the corner: x1 = y1 = 99, so bars on row 94 and column 94.
    ImagePtr corner(kxtest::makeImage(RGB, 100, 100, 0));
    kxWindow over{90, 90, 50, 50};
    ASSERT_EQ(kxDrawCross(corner.get(), &over, 1, 1, 1), 0);
    EXPECT_EQ(paintedPixels(corner.get()), rowRun(94, 90, 98) + columnRun(94, 90, 98));
}

TEST(DrawRectFamily, RefusalsPrintOneLineAndPaintNothing)
{
    ImagePtr rgb(kxtest::makeImage(RGB, 8, 8, 0));
    ImagePtr gray(kxtest::makeImage(GRAY, 8, 8, 0));
    kxWindow window{1, 1, 3, 3};
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawRect(nullptr, &window, 1, 1, 1), -1); }),
              "kxDrawRect: error: illegal parameter\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawRect(rgb.get(), nullptr, 1, 1, 1), -1); }),
              "kxDrawRect: error: illegal parameter\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawRect(gray.get(), &window, 1, 1, 1), -1); }),
              "kxDrawRect: error: image is not RGB\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawCross(rgb.get(), nullptr, 1, 1, 1), -1); }),
              "kxDrawCross: error: illegal parameter\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawCross(gray.get(), &window, 1, 1, 1), -1); }),
              "kxDrawCross: error: image is not RGB\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawGrid(nullptr), -1); }), "kxDrawRect: error: illegal parameter\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawGrid(gray.get()), -1); }), "kxDrawRect: error: image is not RGB\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawCenteredGrid(nullptr), -1); }),
              "kxDrawRect: error: illegal parameter\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawCenteredGrid(gray.get()), -1); }),
              "kxDrawRect: error: image is not RGB\n");
    EXPECT_TRUE(paintedPixels(rgb.get()).empty());
    EXPECT_EQ(pixeltest::valuesOf(gray.get()), std::vector<uint16_t>(64, 0));
}

TEST(DrawBinary, PaintsSetMaskPixelsInsideTheWindow)
{
    ImagePtr image(kxtest::makeImage(RGB, 6, 5, 0));
    ImagePtr mask(kxtest::makeImage(BINARY, 6, 5, 0));
    Pixels set{{0, 0}, {5, 4}, {2, 3}, {3, 1}};
    for (auto [x, y] : set) mask->data[y * 6 + x] = 255;
    kxWindow part{2, 1, 2, 3};  // columns 2..3, rows 1..3
    ASSERT_EQ(kxDrawBinary(image.get(), mask.get(), &part, 7, 8, 9), 0);
    EXPECT_EQ(pixelsOfColour(image.get(), 7, 8, 9), (Pixels{{2, 3}, {3, 1}}));
    kxWindow larger{-3, -3, 100, 100};
    ASSERT_EQ(kxDrawBinary(image.get(), mask.get(), &larger, 7, 8, 9), 0);
    EXPECT_EQ(paintedPixels(image.get()), set);
}

TEST(DrawBinary, Refusals)
{
    ImagePtr image(kxtest::makeImage(RGB, 6, 5, 0));
    ImagePtr gray(kxtest::makeImage(GRAY, 6, 5, 255));
    ImagePtr smaller(kxtest::makeImage(BINARY, 6, 4, 255));
    kxWindow all{0, 0, 6, 5};
    const std::string format = "kxDrawBinary: invalid image format or image size\n";
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawBinary(image.get(), gray.get(), &all, 1, 1, 1), -1); }), format);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawBinary(image.get(), smaller.get(), &all, 1, 1, 1), -1); }),
              format);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawBinary(gray.get(), smaller.get(), &all, 1, 1, 1), -1); }),
              format);
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawBinary(image.get(), nullptr, &all, 1, 1, 1), -1); }),
              "kxDrawBinary: error: illegal parameter\n");
    EXPECT_TRUE(paintedPixels(image.get()).empty());
}

namespace {

struct ObjectPtr {
    kxObject *object;
    ~ObjectPtr() { kxObjectDestroy(object); }
};

// An object at (x, y) whose row i runs from offsets[i] for lengths[i] pixels.
kxObject *makeObject(int x, int y, const std::vector<int> &offsets, const std::vector<int> &lengths)
{
    kxObject *object = kxObjectCreate(x, y, 10, int(offsets.size()));
    for (size_t i = 0; i < offsets.size(); ++i) {
        object->shape_offset[i] = offsets[i];
        object->shape_length[i] = lengths[i];
    }
    return object;
}

} // namespace

TEST(DrawObject, RunsAtTheObjectsPlace)
{
    ImagePtr image(kxtest::makeImage(RGB, 20, 10, 0));
    ObjectPtr shape{makeObject(3, 2, {1, 0, 2, 5}, {2, 4, 0, -3})};
    ASSERT_EQ(kxDrawObject(image.get(), shape.object, 4, 5, 6), 0);
    EXPECT_EQ(pixelsOfColour(image.get(), 4, 5, 6), rowRun(2, 4, 5) + rowRun(3, 3, 6));
    EXPECT_EQ(paintedPixels(image.get()).size(), 6u);
}

TEST(DrawObject, NeverPaintsTheLastRowOrColumn)
{
    ImagePtr image(kxtest::makeImage(RGB, 20, 10, 0));
    // Rows 7 and 8 are painted, row 9 (the last) is not; runs stop at column 18.
    ObjectPtr low{makeObject(15, 7, {0, 2, 0}, {100, 100, 100})};
    ASSERT_EQ(kxDrawObject(image.get(), low.object, 1, 1, 1), 0);
    EXPECT_EQ(paintedPixels(image.get()), rowRun(7, 15, 18) + rowRun(8, 17, 18));

    ImagePtr bottom(kxtest::makeImage(RGB, 20, 10, 0));
    ObjectPtr atLastRow{makeObject(0, 9, {0}, {5})};
    ASSERT_EQ(kxDrawObject(bottom.get(), atLastRow.object, 1, 1, 1), 0);
    EXPECT_TRUE(paintedPixels(bottom.get()).empty());
}

TEST(DrawObject, NegativePositionsAreClipped)
{
    ImagePtr image(kxtest::makeImage(RGB, 20, 10, 0));
    ObjectPtr shape{makeObject(-4, -2, {0, 1, 2, -3, 0}, {6, 6, 4, 9, 3})};
    ASSERT_EQ(kxDrawObject(image.get(), shape.object, 1, 1, 1), 0);
    // Rows -2 and -1 are off the image; row 0 runs over columns -2..1, row 1
    // over -7..1, row 2 over -4..-2 (all off).
    EXPECT_EQ(paintedPixels(image.get()), (Pixels{{0, 0}, {1, 0}, {0, 1}, {1, 1}}));
}

TEST(DrawObject, Refusals)
{
    ImagePtr gray(kxtest::makeImage(GRAY, 8, 8, 0));
    ImagePtr rgb(kxtest::makeImage(RGB, 8, 8, 0));
    ObjectPtr shape{makeObject(0, 0, {0}, {3})};
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawObject(rgb.get(), nullptr, 1, 1, 1), -1); }),
              "kxDrawObj: error: illegal parameter\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawObject(nullptr, shape.object, 1, 1, 1), -1); }),
              "kxDrawObj: error: illegal parameter\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawObject(gray.get(), shape.object, 1, 1, 1), -1); }),
              "kxDrawObject: error: image is not RGB\n");
    EXPECT_EQ(pixeltest::valuesOf(gray.get()), std::vector<uint16_t>(64, 0));
}

namespace {

// Expected grid colours: lines drawn later replace earlier ones, like paint.
class ExpectedGrid {
public:
    ExpectedGrid(int width, int height) : width_(width), height_(height) {}
    void horizontal(int y, char colour)  // columns 0..width-3
    {
        for (int x = 0; x <= width_ - 3; ++x) colours_[{x, y}] = colour;
    }
    void vertical(int x, char colour)  // rows 1..height-2
    {
        for (int y = 1; y <= height_ - 2; ++y) colours_[{x, y}] = colour;
    }
    Pixels of(char colour) const
    {
        Pixels p;
        for (const auto &[position, c] : colours_)
            if (c == colour) p.insert(position);
        return p;
    }

private:
    int width_, height_;
    std::map<std::pair<int, int>, char> colours_;
};

} // namespace

TEST(DrawGrid, TenPixelGridPixelByPixel)
{
    ImagePtr image(kxtest::makeImage(RGB, 320, 240, 0));
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawGrid(image.get()), 0); }), "Larghezza 320, altezza 240\n");
    ExpectedGrid grid(320, 240);
    for (int y = 0; y <= 230; y += 10) grid.horizontal(y, y % 100 == 0 ? 'g' : 'r');
    for (int x = 0; x <= 310; x += 10) grid.vertical(x, x % 100 == 0 ? 'g' : 'r');
    EXPECT_EQ(pixelsOfColour(image.get(), 0, 255, 0), grid.of('g'));
    EXPECT_EQ(pixelsOfColour(image.get(), 255, 0, 0), grid.of('r'));
    EXPECT_EQ(paintedPixels(image.get()), grid.of('g') + grid.of('r'));
    EXPECT_EQ(paintedPixels(image.get()).count({318, 0}), 0u);
    EXPECT_EQ(paintedPixels(image.get()).count({0, 239}), 0u);
}

TEST(DrawCenteredGrid, RedCentreCrossAndGreenLines)
{
    ImagePtr image(kxtest::makeImage(RGB, 640, 480, 0));
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawCenteredGrid(image.get()), 0); }), "");
    ExpectedGrid grid(640, 480);
    grid.horizontal(240, 'r');
    for (int y = 260; y <= 460; y += 20) grid.horizontal(y, 'g');
    grid.horizontal(239, 'r');
    for (int y = 219; y >= 19; y -= 20) grid.horizontal(y, 'g');
    grid.vertical(320, 'r');
    for (int x = 340; x <= 620; x += 20) grid.vertical(x, 'g');
    grid.vertical(319, 'r');
    for (int x = 299; x >= 19; x -= 20) grid.vertical(x, 'g');
    EXPECT_EQ(pixelsOfColour(image.get(), 255, 0, 0), grid.of('r'));
    EXPECT_EQ(pixelsOfColour(image.get(), 0, 255, 0), grid.of('g'));
    EXPECT_EQ(paintedPixels(image.get()), grid.of('r') + grid.of('g'));
}

TEST(DrawGrids, OddAndTinyImages)
{
    ImagePtr tiny(kxtest::makeImage(RGB, 2, 2, 0));
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxDrawGrid(tiny.get()), 0); }), "Larghezza 2, altezza 2\n");
    EXPECT_EQ(kxDrawCenteredGrid(tiny.get()), 0);
    EXPECT_TRUE(paintedPixels(tiny.get()).empty());

    // 5 x 3: h = 1, w = 2. Rows 1 (red); row 0 is never drawn by the upper
    // family. Columns 2 and 1 red, over rows 1..1.
    ImagePtr odd(kxtest::makeImage(RGB, 5, 3, 0));
    ASSERT_EQ(kxDrawCenteredGrid(odd.get()), 0);
    EXPECT_EQ(pixelsOfColour(odd.get(), 255, 0, 0), rowRun(1, 0, 2));
    EXPECT_TRUE(pixelsOfColour(odd.get(), 0, 255, 0).empty());
}

TEST(DrawPixel, WritesThreeValuesAtTheIndexOnlyInsideTheBuffer)
{
    ImagePtr image(kxtest::makeImage(RGB, 4, 3, 0));
    kxDrawPixel(3 * (2 * 4 + 1), image.get(), 1000, 2000, 65535);
    EXPECT_EQ(kxtest::channelAt(image.get(), 1, 2, 0), 1000);
    EXPECT_EQ(kxtest::channelAt(image.get(), 1, 2, 2), 65535);
    EXPECT_EQ(paintedPixels(image.get()), (Pixels{{1, 2}}));
    kxDrawPixel(35, image.get(), 1, 1, 1);  // last pixel starts at 33: 35..37 would overrun
    kxDrawPixel(-1, image.get(), 1, 1, 1);
    kxDrawPixel(2147483647, image.get(), 1, 1, 1);
    kxDrawPixel(0, nullptr, 1, 1, 1);
    EXPECT_EQ(paintedPixels(image.get()), (Pixels{{1, 2}}));
    kxDrawPixel(33, image.get(), 5, 5, 5);
    EXPECT_EQ(pixelsOfColour(image.get(), 5, 5, 5), (Pixels{{3, 2}}));
    ImagePtr gray(kxtest::makeImage(GRAY, 4, 3, 0));
    kxDrawPixel(10, gray.get(), 5, 5, 5);  // 10..12 overruns a 12-value buffer
    EXPECT_EQ(pixeltest::valuesOf(gray.get()), std::vector<uint16_t>(12, 0));
}

TEST(LinePainter, ShallowLinesStepLate)
{
    ImagePtr image(kxtest::makeImage(RGB, 20, 20, 0));
    _kxPaintLine(image.get(), 0, 0, 10, 1, 3, 2, 1);
    EXPECT_EQ(pixelsOfColour(image.get(), 3, 2, 1), rowRun(0, 0, 8) + rowRun(1, 9, 10));
    EXPECT_EQ(paintedPixels(image.get()).size(), 11u);

    ImagePtr back(kxtest::makeImage(RGB, 20, 20, 0));
    _kxPaintLine(back.get(), 10, 1, 0, 0, 3, 2, 1);  // the same ends, drawn the other way
    EXPECT_EQ(paintedPixels(back.get()), (rowRun(1, 2, 10) + Pixels{{1, 0}, {0, 0}}));
}

TEST(LinePainter, SteepLinesOnePixelPerRow)
{
    ImagePtr image(kxtest::makeImage(RGB, 20, 20, 0));
    _kxPaintLine(image.get(), 0, 0, 2, 10, 9, 9, 9);
    Pixels painted = paintedPixels(image.get());
    EXPECT_EQ(painted.size(), 11u);
    EXPECT_EQ(painted.count({2, 10}), 1u);
    for (int y = 0; y <= 10; ++y) {
        int inRow = 0;
        for (auto [x, py] : painted) inRow += py == y;
        EXPECT_EQ(inRow, 1) << y;
    }
    EXPECT_EQ(painted, (Pixels{{0, 0}, {0, 1}, {0, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7}, {2, 8}, {2, 9},
                               {2, 10}}));

    ImagePtr point(kxtest::makeImage(RGB, 20, 20, 0));
    _kxPaintLine(point.get(), 3, 3, 3, 3, 9, 9, 9);
    EXPECT_EQ(paintedPixels(point.get()), (Pixels{{3, 3}}));

    ImagePtr diagonal(kxtest::makeImage(RGB, 20, 20, 0));
    _kxPaintLine(diagonal.get(), 5, 5, 1, 1, 9, 9, 9);
    EXPECT_EQ(paintedPixels(diagonal.get()), (Pixels{{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}));
}

TEST(LinePainter, EndsOutsideTheImageAreClipped)
{
    ImagePtr image(kxtest::makeImage(RGB, 10, 10, 0));
    _kxPaintLine(image.get(), -5, 2, 14, 2, 1, 1, 1);
    EXPECT_EQ(paintedPixels(image.get()), rowRun(2, 0, 9));
    ImagePtr other(kxtest::makeImage(RGB, 10, 10, 0));
    _kxPaintLine(other.get(), 3, -100, 3, 500, 1, 1, 1);
    _kxPaintLine(other.get(), 20, 20, 30, 40, 1, 1, 1);
    EXPECT_EQ(paintedPixels(other.get()), columnRun(3, 0, 9));
}
