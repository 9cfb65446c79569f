// Records of the library: sizes, copies, messages and refusals.
#include <climits>
#include <cstdlib>

#include <gtest/gtest.h>

#include "test_support.h"

using kxtest::captureStdout;
using kxtest::ImagePtr;

TEST(ImageCreate, FormatsAndBufferSizes)
{
    ImagePtr none(kxImageCreate(NONE, 640, 480));
    ASSERT_NE(none.get(), nullptr);
    EXPECT_EQ(none->width, 640);
    EXPECT_EQ(none->height, 480);

    kxImage *bad = nullptr;
    EXPECT_EQ(captureStdout([&] { bad = kxImageCreate(static_cast<kxFormat>(6), 10, 10); }),
              "kxImageCreate: unsupported image format\n");
    EXPECT_EQ(bad, nullptr);
    EXPECT_EQ(captureStdout([&] { bad = kxImageCreate(static_cast<kxFormat>(-1), 10, 10); }),
              "kxImageCreate: unsupported image format\n");
    EXPECT_EQ(bad, nullptr);

    // Every value of the buffer is writable (the sanitizer checks the bounds).
    ImagePtr rgb(kxImageCreate(RGB, 3, 2));
    ASSERT_NE(rgb.get(), nullptr);
    for (int i = 0; i < 18; ++i) rgb->data[i] = static_cast<uint16_t>(i);
    EXPECT_EQ(rgb->data[17], 17);
}

TEST(ImageCreate, RefusesIllegalSizesWithoutAllocating)
{
    kxImage *image = reinterpret_cast<kxImage *>(1);
    EXPECT_EQ(captureStdout([&] { image = kxImageCreate(RGB, -1, 10); }),
              "kxImageCreate: error: illegal image size\n");
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(captureStdout([&] { image = kxImageCreate(GRAY, 10, INT_MIN); }),
              "kxImageCreate: error: illegal image size\n");
    EXPECT_EQ(image, nullptr);
    // Only a 32-bit size_t could wrap INT_MAX squared; on 64 bits this is a
    // real request that fails in malloc.
    std::string out = captureStdout([&] { image = kxImageCreate(RGB, INT_MAX, INT_MAX); });
    EXPECT_EQ(image, nullptr);
    EXPECT_TRUE(out == "kxImageCreate: malloc failed" || out == "kxImageCreate: error: illegal image size\n")
        << out;
}

TEST(ImageCreate, ZeroSizedImagesAreUsable)
{
    ImagePtr empty(kxImageCreate(RGB, 0, 480));
    ASSERT_NE(empty.get(), nullptr);
    EXPECT_NE(empty->data, nullptr);
}

TEST(ImageInit, ReplacesBufferAndKeepsImageOnRefusal)
{
    ImagePtr image(kxtest::makeImage(RGB, 640, 480, 7));
    ASSERT_EQ(kxImageInit(image.get(), BINARY, 640, 480), 0);
    EXPECT_EQ(image->format, BINARY);
    // 614,400 bytes: the last of 307,200 two-byte values is writable.
    image->data[640 * 480 - 1] = 255;

    uint16_t *before = image->data;
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxImageInit(image.get(), static_cast<kxFormat>(9), 2, 2), -1); }),
              "kxImageCreate: unsupported image format\n");
    EXPECT_EQ(image->format, BINARY);
    EXPECT_EQ(image->data, before);

    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxImageInit(image.get(), RGB, 5, -5), -1); }),
              "kxImageInit: error: illegal image size\n");
    EXPECT_EQ(image->width, 640);
    EXPECT_EQ(image->data, before);

    EXPECT_EQ(captureStdout([] { EXPECT_EQ(kxImageInit(nullptr, RGB, 1, 1), -1); }),
              "kxImageInit: error: NULL image\n");
}

TEST(ImageInit, AllocationFailureStoresSizeAndLeavesNoBuffer)
{
    ImagePtr image(kxtest::makeImage(GRAY, 4, 4));
    std::string out = captureStdout([&] { EXPECT_EQ(kxImageInit(image.get(), RGB, 1 << 30, 1 << 30), -1); });
    EXPECT_EQ(out, "kxImageInit: malloc failed");
    EXPECT_EQ(image->data, nullptr);
    EXPECT_EQ(image->format, RGB);
    EXPECT_EQ(image->width, 1 << 30);
    // And the record is still reusable.
    EXPECT_EQ(kxImageInit(image.get(), GRAY, 2, 2), 0);
}

// What a failed kxImageInit leaves (size stored, no buffer) is refused with
// each operation's null-argument line instead of being read.
TEST(ImageInit, AnImageLeftWithoutPixelsIsRefusedByItsReaders)
{
    ImagePtr empty(kxtest::makeImage(RGB, 4, 4));
    captureStdout([&] { kxImageInit(empty.get(), RGB, 1 << 30, 1 << 30); });
    ASSERT_EQ(empty->data, nullptr);
    ImagePtr dst(kxtest::makeImage(GRAY, 3, 3, 7));
    kxWindow window{0, 0, 4, 4};
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxRgb2Binary(empty.get(), 15, &window, dst.get()), -1); }),
              "kxRgb2Binary: error: illegal parameter\n");
    empty->format = GRAY;
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxGray2Binary(empty.get(), 15, &window, dst.get()), -1); }),
              "kxGray2Binary: error: illegal parameter\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxImageCopy(empty.get(), dst.get()), -1); }),
              "kxImageCopy: error: NULL image\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxImageSave(empty.get(), "never-written.ppm"), -1); }),
              "kxImageSave: error: NULL image\n");
    EXPECT_EQ(captureStdout([&] { kxDrawLine(empty.get(), 1, 2, 3); }), "kxDrawLine: error: NULL image\n");
    // The destination was left as it was.
    EXPECT_EQ(dst->format, GRAY);
    EXPECT_EQ(dst->width, 3);
    EXPECT_EQ(dst->data[8], 7);
}

TEST(ImageCopy, ExactCopyInBufferOfItsOwn)
{
    ImagePtr src(kxtest::makeImage(RGB, 5, 3));
    for (int i = 0; i < 45; ++i) src->data[i] = static_cast<uint16_t>(1000 + i);
    ImagePtr dst(kxtest::makeImage(BINARY, 320, 240));
    ASSERT_EQ(kxImageCopy(src.get(), dst.get()), 0);
    EXPECT_EQ(dst->format, RGB);
    EXPECT_EQ(dst->width, 5);
    EXPECT_EQ(dst->height, 3);
    EXPECT_NE(dst->data, src->data);
    for (int i = 0; i < 45; ++i) ASSERT_EQ(dst->data[i], 1000 + i);

    // Copying onto itself keeps the pixels.
    ASSERT_EQ(kxImageCopy(src.get(), src.get()), 0);
    EXPECT_EQ(src->data[44], 1044);

    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxImageCopy(nullptr, dst.get()), -1); }),
              "kxImageCopy: error: NULL image\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxImageCopy(src.get(), nullptr), -1); }),
              "kxImageCopy: error: NULL image\n");
}

TEST(ImageCopy, UnsupportedSourceLeavesDestinationWithoutBuffer)
{
    ImagePtr src(kxtest::makeImage(GRAY, 2, 2));
    src->format = static_cast<kxFormat>(7);
    ImagePtr dst(kxtest::makeImage(GRAY, 2, 2));
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxImageCopy(src.get(), dst.get()), -1); }),
              "kxImageCopy: unsupported image format\n");
    EXPECT_EQ(dst->data, nullptr);
    EXPECT_EQ(dst->format, 7);
    src->format = GRAY;
}

TEST(ObjectModel, CreateInitCopy)
{
    kxObject *object = kxObjectCreate(10, 20, 30, 40);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->defined, 0);
    EXPECT_EQ(object->format, NONE);
    EXPECT_EQ(object->x, 10);
    EXPECT_EQ(object->y, 20);
    EXPECT_EQ(object->width, 30);
    EXPECT_EQ(object->height, 40);
    for (int32_t word : object->reserved) EXPECT_EQ(word, -1);
    for (int row = 0; row < 40; ++row) {
        object->shape_offset[row] = row;
        object->shape_length[row] = 2 * row;
    }
    object->r_max = 200;
    object->reserved[3] = 77;

    kxObject *copy = kxObjectCreate(0, 0, 1, 1);
    ASSERT_EQ(kxObjectCopy(object, copy), 0);
    EXPECT_NE(copy->shape_offset, object->shape_offset);
    EXPECT_NE(copy->shape_length, object->shape_length);
    EXPECT_EQ(copy->shape_length[39], 78);
    EXPECT_EQ(copy->shape_offset[39], 39);
    EXPECT_EQ(copy->r_max, 200);
    EXPECT_EQ(copy->reserved[3], 77);
    EXPECT_EQ(copy->height, 40);

    object->x = 5;
    object->defined = 1;
    ASSERT_EQ(kxObjectInit(object, 7, 3), 0);
    EXPECT_EQ(object->x, 0);
    EXPECT_EQ(object->defined, 0);
    EXPECT_EQ(object->height, 3);
    EXPECT_EQ(object->r_max, 200);  // boundaries are kept
    EXPECT_EQ(object->reserved[3], -1);
    object->shape_length[2] = 1;     // three entries, all writable

    EXPECT_EQ(captureStdout([] { EXPECT_EQ(kxObjectInit(nullptr, 1, 1), -1); }),
              "kxObjectInit: error: NULL object\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxObjectCopy(nullptr, copy), -1); }),
              "kxObjectCopy: error: NULL object\n");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(kxObjectInit(object, 1, -4), -1); }),
              "kxObjectInit: error: illegal object size\n");
    EXPECT_EQ(captureStdout([] { EXPECT_EQ(kxObjectCreate(0, 0, 1, -1), nullptr); }),
              "kxObjectCreate: error: illegal object size\n");
    kxObjectDestroy(object);
    kxObjectDestroy(copy);
}

TEST(SmallRecords, MasksWindowsPoints)
{
    const int32_t values[6] = {1, 2, 3, 4, 5, 6};
    kxMask *mask = kxMaskCreate(3, 2, values);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(mask->data[5], 6);
    kxMaskDestroy(mask);
    EXPECT_EQ(captureStdout([] { EXPECT_EQ(kxMaskCreate(-3, 2, nullptr), nullptr); }),
              "kxMaskCreate: error: illegal mask size\n");

    kxWindow *window = kxWindowCreate(1, 2, 3, 4);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->x + window->y + window->width + window->height, 10);
    EXPECT_EQ(window->height, 4);
    kxWindowDestroy(window);

    kxPoint *point = kxPointCreate(-8, 9);
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(point->x, -8);
    EXPECT_EQ(point->y, 9);
    kxPointDestroy(point);

    // Every destroy accepts NULL silently.
    EXPECT_EQ(captureStdout([] {
                  kxImageDestroy(nullptr);
                  kxObjectDestroy(nullptr);
                  kxMaskDestroy(nullptr);
                  kxWindowDestroy(nullptr);
                  kxPointDestroy(nullptr);
              }),
              "");
}

TEST(Utilities, PixelSize)
{
    EXPECT_EQ(kxPixelSize(RGB), 3);
    EXPECT_EQ(kxPixelSize(HSI), 3);
    EXPECT_EQ(kxPixelSize(NRG), 2);
    EXPECT_EQ(kxPixelSize(GRAY), 1);
    EXPECT_EQ(kxPixelSize(BINARY), 1);
    EXPECT_EQ(captureStdout([] { EXPECT_EQ(kxPixelSize(NONE), -1); }), "kxPixelSize -> unknown image format\n");
    EXPECT_EQ(captureStdout([] { EXPECT_EQ(kxPixelSize(static_cast<kxFormat>(42)), -1); }),
              "kxPixelSize -> unknown image format\n");
}

TEST(Utilities, PixelColorInsideAndOutside)
{
    ImagePtr image(kxtest::makeImage(RGB, 4, 3));
    kxtest::setRgb(image.get(), 2, 1, 10, 20, 30);
    kxPoint point{};
    point.x = 2;
    point.y = 1;
    kxColor color{};
    EXPECT_EQ(captureStdout([&] { color = kxPixelColor(image.get(), &point); }), "X 2 \nY 1 \n");
    EXPECT_EQ(color.c1, 10);
    EXPECT_EQ(color.c2, 20);
    EXPECT_EQ(color.c3, 30);

    // Outside the image, or on a one-channel image: zeros, no read beyond the buffer.
    for (auto [x, y] : {std::pair{4, 0}, {0, 3}, {-1, 0}, {0, -1}, {INT_MAX, INT_MAX}}) {
        point.x = x;
        point.y = y;
        captureStdout([&] { color = kxPixelColor(image.get(), &point); });
        EXPECT_EQ(color.c1 | color.c2 | color.c3, 0) << x << "," << y;
    }
    ImagePtr gray(kxtest::makeImage(GRAY, 4, 3, 99));
    point.x = 3;
    point.y = 2;
    captureStdout([&] { color = kxPixelColor(gray.get(), &point); });
    EXPECT_EQ(color.c1 | color.c2 | color.c3, 0);
}

TEST(Utilities, QsortCompareSortsLargestFirst)
{
    uint16_t a = 3, b = 7, c = 5, d = 5;
    EXPECT_EQ(kxQsortCompare(&a, &b), 1);
    EXPECT_EQ(kxQsortCompare(&b, &a), -1);
    EXPECT_EQ(kxQsortCompare(&c, &d), 0);
    uint16_t values[9] = {4, 65535, 0, 9, 9, 1, 300, 2, 8};
    qsort(values, 9, sizeof(uint16_t), kxQsortCompare);
    for (int i = 1; i < 9; ++i) EXPECT_GE(values[i - 1], values[i]);
    EXPECT_EQ(values[0], 65535);
    EXPECT_EQ(values[4], 8);
}

TEST(Utilities, TimevalDifference)
{
    timeval later{5, 200000}, earlier{3, 900000};
    EXPECT_FLOAT_EQ(kxCalcTimevalDiff(&later, &earlier), 1.3f);
    EXPECT_FLOAT_EQ(kxCalcTimevalDiff(&earlier, &later), -1.3f);
    timeval same{7, 5};
    EXPECT_EQ(kxCalcTimevalDiff(&same, &same), 0.0f);
}
