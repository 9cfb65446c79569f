// Randomised checks: drawn station layouts among noise are found at their
// drawn centroids, and the labelling agrees with a plain search.
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "drawing.h"
#include "frame.h"
#include "test_support.h"

using kxtest::ImagePtr;

namespace {

using Pixels = std::vector<std::pair<int, int>>;  // (row, col)

struct Centre {
    int row, col;
};

Centre centreOf(const Pixels &pixels)
{
    long rows = 0, cols = 0;
    for (auto [r, c] : pixels) {
        rows += r;
        cols += c;
    }
    return Centre{int(rows / long(pixels.size())), int(cols / long(pixels.size()))};
}

// Draws separated blobs into an RGB frame on a dark, noisy background.
class LayoutPainter {
public:
    LayoutPainter(kxImage *frame, std::mt19937 &random) : frame_(frame), random_(random), used_(640 * 480, false)
    {
        for (int i = 0; i < 640 * 480 * 3; ++i) frame_->data[i] = uniform(0, 15);
    }

    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    // A solid blob of at least 6 pixels centred near (row, col); false when it
    // would come within two pixels of an earlier blob or of the border.
    bool solid(int row, int col, Pixels *drawn)
    {
        Pixels pixels;
        if (uniform(0, 1)) {
            int radius = uniform(2, 4);
            for (int r = -radius; r <= radius; ++r)
                for (int c = -radius; c <= radius; ++c)
                    if (r * r + c * c <= radius * radius) pixels.emplace_back(row + r, col + c);
        } else {
            int height = uniform(2, 7), width = uniform(3, 7);
            for (int r = 0; r < height; ++r)
                for (int c = 0; c < width; ++c) pixels.emplace_back(row - height / 2 + r, col - width / 2 + c);
        }
        if (!paint(pixels)) return false;
        *drawn = pixels;
        return true;
    }

    // A straight piece of 1 to 5 pixels.
    bool small(int row, int col)
    {
        Pixels pixels;
        int length = uniform(1, 5);
        bool across = uniform(0, 1);
        for (int i = 0; i < length; ++i) pixels.emplace_back(row + (across ? 0 : i), col + (across ? i : 0));
        return paint(pixels);
    }

private:
    bool paint(const Pixels &pixels)
    {
        for (auto [r, c] : pixels) {
            if (r < 3 || c < 3 || r > 476 || c > 636) return false;
            for (int dr = -2; dr <= 2; ++dr)
                for (int dc = -2; dc <= 2; ++dc)
                    if (used_[(r + dr) * 640 + c + dc]) return false;
        }
        for (auto [r, c] : pixels) {
            used_[r * 640 + c] = true;
            kxtest::setRgb(frame_, c, r, uniform(16, 255), uniform(16, 255), uniform(16, 255));
        }
        return true;
    }

    kxImage *frame_;
    std::mt19937 &random_;
    std::vector<bool> used_;
};

bool agreeClosely(int a, int b) { return std::abs(a - b) <= 3; }

// One random station: upper, lower and 0 to 2 middle markers, extra
// candidates on rows of their own, small noise anywhere and large noise
// outside the row band. Returns false when the draw did not work out (the
// caller draws again).
struct Station {
    Centre markers[6];
    bool present[6] = {};
    int candidates = 0;
};

bool drawStation(LayoutPainter &paint, Station &station)
{
    const int upperRow = paint.uniform(175, 240), lowerRow = paint.uniform(upperRow + 50, 355);
    const int leftCol = paint.uniform(20, 400), rightCol = paint.uniform(leftCol + 60, 615);
    const int middleRow = (upperRow + lowerRow) / 2;
    struct Wanted {
        int marker, row, col;
    } wanted[6] = {{kUpperLeft, upperRow, leftCol},   {kUpperRight, upperRow, rightCol},
                   {kLowerLeft, lowerRow, leftCol},   {kLowerRight, lowerRow, rightCol},
                   {kMiddleLeft, middleRow, leftCol}, {kMiddleRight, middleRow, rightCol}};
    const int middles = paint.uniform(0, 2);
    const int skippedMiddle = paint.uniform(4, 5);
    std::vector<int> rows;
    for (int w = 0; w < 6; ++w) {
        if (w >= 4 && middles == 0) break;
        if (w >= 4 && middles == 1 && w == skippedMiddle) continue;
        Pixels pixels;
        int row = wanted[w].row + paint.uniform(-1, 1), col = wanted[w].col + paint.uniform(-1, 1);
        if (!paint.solid(row, col, &pixels)) return false;
        Centre centre = centreOf(pixels);
        if (!agreeClosely(centre.row, wanted[w].row) || !agreeClosely(centre.col, wanted[w].col)) return false;
        station.markers[wanted[w].marker] = centre;
        station.present[wanted[w].marker] = true;
        rows.push_back(centre.row);
        ++station.candidates;
    }
    const Centre &upperLeft = station.markers[kUpperLeft], &lowerLeft = station.markers[kLowerLeft];
    const int middle = (upperLeft.row + lowerLeft.row) / 2;
    for (int g = kMiddleLeft; g <= kMiddleRight; ++g)
        if (station.present[g] && !agreeClosely(station.markers[g].row, middle)) return false;
    rows.push_back(middle);

    // Extras must pair with nothing: rows at least 10 from every other.
    int extras = paint.uniform(0, 10 - station.candidates);
    for (int tries = 0; extras > 0 && tries < 200; ++tries) {
        int row = paint.uniform(172, 358), col = paint.uniform(10, 630);
        bool alone = true;
        for (int other : rows) alone = alone && std::abs(other - row) >= 12;
        Pixels pixels;
        if (!alone || !paint.solid(row, col, &pixels)) continue;
        Centre centre = centreOf(pixels);
        rows.push_back(centre.row);
        ++station.candidates;
        --extras;
    }
    if (extras > 0) return false;

    for (int i = paint.uniform(0, 60); i > 0; --i) paint.small(paint.uniform(3, 476), paint.uniform(3, 636));
    for (int i = paint.uniform(0, 40); i > 0; --i) {
        Pixels pixels;
        bool above = paint.uniform(0, 1);
        paint.solid(above ? paint.uniform(5, 155) : paint.uniform(375, 472), paint.uniform(5, 634), &pixels);
    }
    return true;
}

} // namespace

TEST(RecognitionProperty, DrawnStationsAreFoundAtTheirCentroids)
{
    std::mt19937 random(20261208);
    VisionState state;
    ASSERT_TRUE(createVisionImages(state));
    int frames = 0;
    for (int attempt = 0; frames < 150 && attempt < 5000; ++attempt) {
        Station station;
        LayoutPainter paint(state.pic, random);
        if (!drawStation(paint, station)) continue;
        ++frames;
        clearGoalPositions(state.goal);
        int n = processFrame(state);
        ASSERT_EQ(n, station.candidates) << "frame " << frames;
        for (int g = 0; g < 6; ++g) {
            Centre want = station.present[g] ? station.markers[g] : Centre{0, 0};
            EXPECT_EQ(state.goal[g].row, want.row) << "frame " << frames << " marker " << g;
            EXPECT_EQ(state.goal[g].col, want.col) << "frame " << frames << " marker " << g;
        }
    }
    EXPECT_EQ(frames, 150);
    destroyVisionImages(state);
}

TEST(LabellingProperty, AgreesWithAPlainSearchOnRandomImages)
{
    std::mt19937 random(74);
    const std::pair<int, int> sizes[] = {{640, 480}, {97, 61}, {3, 50}, {50, 3}, {200, 9}};
    for (int trial = 0; trial < 40; ++trial) {
        auto [width, height] = sizes[trial % 5];
        double density = std::uniform_real_distribution<double>(0.03, 0.75)(random);
        ImagePtr image(visiontest::blankLabels(width, height));
        std::bernoulli_distribution bright(density);
        for (int i = 0; i < width * height; ++i) image->data[i] = bright(random) ? 255 : 0;
        clearBorders(image.get());
        std::vector<visiontest::Component> expected = visiontest::referenceComponents(image.get());
        ASSERT_LT(expected.size(), size_t(kBlobNumberLimit));

        std::vector<BlobRecord> table(expected.size(), BlobRecord{});
        size_t b = 0;
        for (int64_t p = nextUnlabelled(image.get(), 0); p < int64_t(width) * height;
             p = nextUnlabelled(image.get(), p + 1), ++b) {
            ASSERT_LT(b, expected.size()) << "more blobs than components, trial " << trial;
            table[b].seed = int32_t(p);
            kxFindBlob(image.get(), int32_t(b), int32_t(p / width), int32_t(p % width), table.data());
        }
        ASSERT_EQ(b, expected.size()) << "trial " << trial;
        std::vector<int> perLabel(65536, 0);
        for (int i = 0; i < width * height; ++i) ++perLabel[image->data[i]];
        for (size_t k = 0; k < b; ++k) {
            ASSERT_EQ(table[k].seed, expected[k].seed) << "trial " << trial << " blob " << k;
            ASSERT_EQ(table[k].count, expected[k].count) << "trial " << trial << " blob " << k;
            ASSERT_EQ(perLabel[blobLabel(int32_t(k))], expected[k].count);
        }
        // Centroids of a sample of blobs, each on an unmarked copy.
        for (size_t k = 0; k < b; k += 1 + b / 25) {
            ImagePtr copy(kxtest::makeImage(BINARY, 1, 1));
            ASSERT_EQ(kxImageCopy(image.get(), copy.get()), 0);
            centroid(copy.get(), int32_t(k), table.data());
            EXPECT_EQ(table[k].row, expected[k].rowSum / expected[k].count) << "trial " << trial;
            EXPECT_EQ(table[k].col, expected[k].colSum / expected[k].count) << "trial " << trial;
            EXPECT_EQ(copy->data[table[k].row * width + table[k].col], 253);
        }
    }
}
