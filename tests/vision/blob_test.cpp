// Labelling, border clearing and centroids on drawn label images.
#include <gtest/gtest.h>

#include "blob.h"
#include "drawing.h"
#include "frame.h"
#include "test_support.h"

using kxtest::ImagePtr;
using visiontest::brighten;
using visiontest::brightenRect;
using visiontest::sampleAt;

namespace {

struct Labelled {
    int blobs;
    BlobRecord table[kBlobTableSize];
};

// Border clearing and labelling as the vision loop does them.
Labelled labelAll(kxImage *image)
{
    Labelled result{};
    result.blobs = labelBlobs(image, result.table);
    return result;
}

int countSamples(const kxImage *image, uint16_t value)
{
    int n = 0;
    for (int i = 0; i < image->width * image->height; ++i) n += image->data[i] == value;
    return n;
}

} // namespace

TEST(Labelling, DiagonalNeighboursJoinButAGapSeparates)
{
    ImagePtr image(visiontest::blankLabels());
    brighten(image.get(), 100, 100);
    brighten(image.get(), 101, 101);  // touches (100, 100) at a corner only
    brighten(image.get(), 100, 103);  // column 102 lies between it and (101, 101)
    brighten(image.get(), 102, 100);  // corner of (101, 101)
    Labelled result = labelAll(image.get());
    ASSERT_EQ(result.blobs, 2);
    EXPECT_EQ(result.table[0].count, 3);
    EXPECT_EQ(result.table[0].seed, 100 * 640 + 100);
    EXPECT_EQ(result.table[1].count, 1);
    EXPECT_EQ(result.table[1].seed, 100 * 640 + 103);
    EXPECT_EQ(sampleAt(image.get(), 102, 100), blobLabel(0));
    EXPECT_EQ(sampleAt(image.get(), 100, 103), blobLabel(1));
}

TEST(Labelling, AntiDiagonalAndUpwardBranchesAreFollowed)
{
    // A "V": both arms start on the top row, so the right arm is only reached
    // by going up from the bottom of the left one.
    ImagePtr image(visiontest::blankLabels());
    for (int i = 0; i < 10; ++i) {
        brighten(image.get(), 50 + i, 50 + i);
        brighten(image.get(), 50 + i, 69 - i);
    }
    Labelled result = labelAll(image.get());
    ASSERT_EQ(result.blobs, 1);
    EXPECT_EQ(result.table[0].count, 20);
    EXPECT_EQ(countSamples(image.get(), 255), 0);
}

TEST(Labelling, ClearedBorderSplitsARegionLinkedOnlyAlongTheEdge)
{
    ImagePtr image(visiontest::blankLabels());
    brightenRect(image.get(), 0, 10, 1, 30);   // along the top edge
    brightenRect(image.get(), 1, 10, 5, 2);    // left leg
    brightenRect(image.get(), 1, 38, 5, 2);    // right leg
    brightenRect(image.get(), 200, 0, 3, 640); // a band across the whole frame
    Labelled result = labelAll(image.get());
    ASSERT_EQ(result.blobs, 3);
    EXPECT_EQ(result.table[0].count, 10);
    EXPECT_EQ(result.table[1].count, 10);
    EXPECT_EQ(result.table[2].count, 3 * 638);  // first and last column cleared
    EXPECT_EQ(sampleAt(image.get(), 0, 20), 0);
}

TEST(Labelling, ClearBordersTouchesOnlyTheFrame)
{
    ImagePtr image(kxtest::makeImage(BINARY, 640, 480, 255));
    clearBorders(image.get());
    EXPECT_EQ(countSamples(image.get(), 255), 638 * 478);
    for (int c = 0; c < 640; ++c) {
        EXPECT_EQ(sampleAt(image.get(), 0, c), 0);
        EXPECT_EQ(sampleAt(image.get(), 479, c), 0);
    }
    for (int r = 0; r < 480; ++r) {
        EXPECT_EQ(sampleAt(image.get(), r, 0), 0);
        EXPECT_EQ(sampleAt(image.get(), r, 639), 0);
    }
    // Another width steps by its own rows and stays inside the buffer.
    ImagePtr narrow(kxtest::makeImage(GRAY, 7, 5, 255));
    clearBorders(narrow.get());
    EXPECT_EQ(countSamples(narrow.get(), 255), 5 * 3);
    EXPECT_EQ(sampleAt(narrow.get(), 2, 3), 255);
    EXPECT_EQ(sampleAt(narrow.get(), 2, 6), 0);
}

TEST(Labelling, FiveAndSixPixelBlobs)
{
    ImagePtr image(visiontest::blankLabels());
    brightenRect(image.get(), 200, 100, 1, 5);
    brightenRect(image.get(), 200, 200, 2, 3);
    Labelled result = labelAll(image.get());
    ASSERT_EQ(result.blobs, 2);
    EXPECT_EQ(result.table[0].count, 5);
    EXPECT_EQ(result.table[0].valid, 0);
    EXPECT_EQ(result.table[1].count, 6);
    EXPECT_EQ(result.table[1].valid, 1);
}

TEST(Labelling, LabelsAreDistinctFromBackgroundBrightAndMarks)
{
    for (int b : {0, 1, 252, 253, 254}) {
        EXPECT_NE(blobLabel(b), 0);
        EXPECT_NE(blobLabel(b), 253);
        EXPECT_NE(blobLabel(b), 255);
    }
    EXPECT_NE(blobLabel(0), blobLabel(254));
}

TEST(Labelling, FindBlobIgnoresBackgroundLabelledAndOutsidePixels)
{
    ImagePtr image(visiontest::blankLabels());
    brightenRect(image.get(), 10, 10, 2, 2);
    BlobRecord table[2] = {};
    kxFindBlob(image.get(), 0, 10, 10, table);
    ASSERT_EQ(table[0].count, 4);
    kxFindBlob(image.get(), 1, 10, 10, table);  // already labelled
    kxFindBlob(image.get(), 1, 50, 50, table);  // background
    kxFindBlob(image.get(), 1, 480, 0, table);  // index past the end
    kxFindBlob(image.get(), 1, 0, -1, table);   // index -1
    EXPECT_EQ(table[1].count, 0);
    EXPECT_EQ(countSamples(image.get(), blobLabel(0)), 4);
    EXPECT_EQ(countSamples(image.get(), blobLabel(1)), 0);
}

TEST(Labelling, FindBlobAddsToTheCallersCountAndStartsAnywhereInTheRegion)
{
    ImagePtr image(visiontest::blankLabels());
    brightenRect(image.get(), 30, 30, 3, 7);
    BlobRecord table[1] = {};
    table[0].count = 100;
    kxFindBlob(image.get(), 0, 32, 35, table);  // bottom row, inside the run
    EXPECT_EQ(table[0].count, 121);
    EXPECT_EQ(countSamples(image.get(), blobLabel(0)), 21);
}

TEST(Labelling, NeighboursAreFoundByIndexAcrossRowEnds)
{
    // Without cleared borders the last pixel of a row and the first of the
    // next are neighbours, as are column -1 and the row above.
    ImagePtr image(visiontest::blankLabels(8, 4));
    brighten(image.get(), 1, 7);  // index 15
    brighten(image.get(), 2, 0);  // index 16: next to 15
    brighten(image.get(), 2, 7);  // index 23 = 16 + width - 1: "below-left" of (2, 0)
    brighten(image.get(), 0, 0);  // index 0: no neighbour of any of them
    BlobRecord table[1] = {};
    kxFindBlob(image.get(), 0, 2, -1, table);  // column -1 of row 2 is index 15
    EXPECT_EQ(table[0].count, 3);
    EXPECT_EQ(sampleAt(image.get(), 0, 0), 255);
}

TEST(Labelling, FillsAWholeFrameAndAWindingPath)
{
    ImagePtr full(kxtest::makeImage(BINARY, 640, 480, 255));
    Labelled result = labelAll(full.get());
    ASSERT_EQ(result.blobs, 1);
    EXPECT_EQ(result.table[0].count, 638 * 478);

    // A serpentine of one-pixel corridors: long runs joined at alternating ends.
    ImagePtr snake(visiontest::blankLabels());
    int pixels = 0;
    for (int r = 1; r < 479; r += 2) {
        brightenRect(snake.get(), r, 1, 1, 638);
        pixels += 638;
        if (r + 1 < 479) {
            brighten(snake.get(), r + 1, (r / 2) % 2 ? 1 : 638);
            ++pixels;
        }
    }
    result = labelAll(snake.get());
    ASSERT_EQ(result.blobs, 1);
    EXPECT_EQ(result.table[0].count, pixels);
}

TEST(Centroid, SinglePixelAndTruncatedMeans)
{
    ImagePtr image(visiontest::blankLabels());
    brighten(image.get(), 200, 300);
    brightenRect(image.get(), 200, 10, 2, 2);
    BlobRecord table[2] = {};
    table[0].seed = 200 * 640 + 10;
    kxFindBlob(image.get(), 0, 200, 10, table);
    table[1].seed = 200 * 640 + 300;
    kxFindBlob(image.get(), 1, 200, 300, table);
    centroid(image.get(), 0, table);
    centroid(image.get(), 1, table);
    EXPECT_EQ(table[0].row, 200);  // 802 / 4
    EXPECT_EQ(table[0].col, 10);   // 42 / 4
    EXPECT_EQ(table[1].row, 200);
    EXPECT_EQ(table[1].col, 300);
    EXPECT_EQ(sampleAt(image.get(), 200, 10), 253);
    EXPECT_EQ(sampleAt(image.get(), 200, 300), 253);
    EXPECT_EQ(sampleAt(image.get(), 201, 11), blobLabel(0));
}

TEST(Centroid, RingMarksItsHoleAndAnotherBlob)
{
    ImagePtr image(visiontest::blankLabels());
    // Square ring rows 100..120, columns 100..120, one pixel thick; its
    // centroid (110, 110) lies inside, where a second blob's pixel sits.
    brightenRect(image.get(), 100, 100, 1, 21);
    brightenRect(image.get(), 120, 100, 1, 21);
    brightenRect(image.get(), 101, 100, 19, 1);
    brightenRect(image.get(), 101, 120, 19, 1);
    brightenRect(image.get(), 110, 108, 3, 3);  // 9 pixels covering (110, 110)
    // A second ring whose centre is background.
    brightenRect(image.get(), 300, 300, 1, 11);
    brightenRect(image.get(), 310, 300, 1, 11);
    brightenRect(image.get(), 301, 300, 9, 1);
    brightenRect(image.get(), 301, 310, 9, 1);
    Labelled result = labelAll(image.get());
    ASSERT_EQ(result.blobs, 3);
    BlobRecord recon[kBlobTableSize];
    int n = selectCandidates(image.get(), result.table, recon);
    EXPECT_EQ(n, 1);  // only the ring at rows 300..310 lies in the band
    EXPECT_EQ(result.table[0].row, 110);
    EXPECT_EQ(result.table[0].col, 110);
    EXPECT_EQ(sampleAt(image.get(), 110, 110), 253);  // on the inner blob
    // The inner blob lost (110, 110) to the mark: 8 pixels, 889 / 8 and 871 / 8.
    EXPECT_EQ(result.table[1].row, 111);
    EXPECT_EQ(result.table[1].col, 108);
    EXPECT_EQ(result.table[2].row, 305);
    EXPECT_EQ(result.table[2].col, 305);
    EXPECT_EQ(sampleAt(image.get(), 305, 305), 253);  // background before
}

TEST(Centroid, BlobHiddenByAnEarlierMarkIsNotPlaced)
{
    // Blob 1's only pixel in its first row is where blob 0's centroid falls.
    ImagePtr image(visiontest::blankLabels());
    brightenRect(image.get(), 200, 100, 1, 21);  // ring, centroid (210, 110)
    brightenRect(image.get(), 220, 100, 1, 21);
    brightenRect(image.get(), 201, 100, 19, 1);
    brightenRect(image.get(), 201, 120, 19, 1);
    brighten(image.get(), 210, 110);             // blob 1: a tip at (210, 110)...
    brightenRect(image.get(), 211, 108, 4, 5);   // ...on top of 20 more pixels
    Labelled result = labelAll(image.get());
    ASSERT_EQ(result.blobs, 2);
    ASSERT_EQ(result.table[1].count, 21);
    BlobRecord recon[kBlobTableSize];
    result.table[1].row = 250;  // stale values from an earlier frame
    result.table[1].col = 250;
    int n = selectCandidates(image.get(), result.table, recon);
    EXPECT_EQ(result.table[0].row, 210);
    EXPECT_EQ(result.table[1].row, -1);
    EXPECT_EQ(result.table[1].col, -1);
    EXPECT_EQ(result.table[1].valid, 0);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(recon[0].seed, result.table[0].seed);
}

TEST(Labelling, RefusesIllegalArguments)
{
    BlobRecord table[1] = {};
    ImagePtr rgb(kxtest::makeImage(RGB, 4, 4, 255));
    std::string out = kxtest::captureStdout([&] {
        kxFindBlob(nullptr, 0, 1, 1, table);
        kxFindBlob(rgb.get(), 0, 1, 1, table);
        clearBorders(nullptr);
        centroid(nullptr, 0, table);
    });
    EXPECT_EQ(out,
              "kxFindBlob: error: illegal parameter\nkxFindBlob: error: illegal parameter\n"
              "clearBorders: error: illegal image\ncentroid: error: illegal parameter\n");
    EXPECT_EQ(table[0].count, 0);
    EXPECT_EQ(rgb->data[5], 255);
}
