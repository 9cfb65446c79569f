// Marker pattern search on drawn candidate lists.
#include <vector>

#include <gtest/gtest.h>

#include "drawing.h"
#include "recognize.h"

using visiontest::candidate;

namespace {

struct Found {
    int row, col;
    bool operator==(const Found &o) const { return row == o.row && col == o.col; }
};
std::ostream &operator<<(std::ostream &out, const Found &f)
{
    return out << "(" << f.row << ", " << f.col << ")";
}

// Runs both searches as the vision loop does on a fresh frame.
struct Recognition {
    BlobRecord goal[kGoalSize] = {};
    BlobRecord rightLeft[kRightLeftSize] = {};
    Found at(int marker) const { return Found{goal[marker].row, goal[marker].col}; }
};

Recognition recognizeAll(const std::vector<BlobRecord> &recon)
{
    Recognition result;
    recognize(recon.data(), static_cast<int>(recon.size()), result.goal);
    recognizeMiddle(recon.data(), static_cast<int>(recon.size()), result.rightLeft, result.goal);
    return result;
}

std::vector<BlobRecord> candidates(std::initializer_list<Found> positions)
{
    std::vector<BlobRecord> list;
    for (const Found &f : positions) list.push_back(candidate(f.row, f.col));
    return list;
}

const Found kNone{0, 0};

} // namespace

TEST(Recognize, FourCornersWithoutMiddle)
{
    Recognition r = recognizeAll(candidates({{200, 100}, {202, 300}, {300, 103}, {298, 296}}));
    EXPECT_EQ(r.at(kUpperLeft), (Found{200, 100}));
    EXPECT_EQ(r.at(kUpperRight), (Found{202, 300}));
    EXPECT_EQ(r.at(kLowerLeft), (Found{300, 103}));
    EXPECT_EQ(r.at(kLowerRight), (Found{298, 296}));
    EXPECT_EQ(r.at(kMiddleLeft), kNone);
    EXPECT_EQ(r.at(kMiddleRight), kNone);
    // Whole records are copied, not only the positions.
    EXPECT_EQ(r.goal[kLowerRight].seed, 298 * 640 + 296);
    EXPECT_EQ(r.goal[kLowerRight].count, 1298);
}

TEST(Recognize, SixMarkersInFrameOrder)
{
    Recognition r = recognizeAll(
        candidates({{200, 100}, {202, 300}, {250, 98}, {251, 305}, {300, 103}, {298, 296}}));
    EXPECT_EQ(r.at(kUpperLeft), (Found{200, 100}));
    EXPECT_EQ(r.at(kUpperRight), (Found{202, 300}));
    EXPECT_EQ(r.at(kMiddleLeft), (Found{250, 98}));
    EXPECT_EQ(r.at(kMiddleRight), (Found{251, 305}));
    EXPECT_EQ(r.at(kLowerLeft), (Found{300, 103}));
    EXPECT_EQ(r.at(kLowerRight), (Found{298, 296}));
}

TEST(Recognize, LowerPairIsSearchedFromTheEndOfTheList)
{
    Recognition r = recognizeAll(
        candidates({{200, 100}, {202, 300}, {300, 103}, {298, 296}, {250, 98}, {251, 305}}));
    EXPECT_EQ(r.at(kLowerLeft), (Found{250, 98}));
    EXPECT_EQ(r.at(kLowerRight), (Found{251, 305}));
    EXPECT_EQ(r.at(kMiddleLeft), kNone);  // middle row 225
    EXPECT_EQ(r.at(kMiddleRight), kNone);

    // Two lower pairs for one upper pair: the later first member wins even
    // when an earlier k has a fitting partner further on.
    r = recognizeAll(candidates({{200, 100}, {200, 300}, {260, 100}, {300, 100}, {261, 300}, {300, 300}}));
    EXPECT_EQ(r.at(kLowerLeft), (Found{300, 100}));
    EXPECT_EQ(r.at(kLowerRight), (Found{300, 300}));
}

TEST(Recognize, ToleranceIsFivePixelsInclusive)
{
    // Lower column 5 away from an upper column fits, 6 does not.
    Recognition fits = recognizeAll(candidates({{200, 100}, {200, 300}, {300, 105}, {300, 295}}));
    EXPECT_EQ(fits.at(kLowerLeft), (Found{300, 105}));
    Recognition off = recognizeAll(candidates({{200, 100}, {200, 300}, {300, 106}, {300, 300}}));
    EXPECT_EQ(off.at(kLowerLeft), kNone);
    // Rows within a pair: 5 apart fits, 6 does not (upper pair and lower pair).
    EXPECT_EQ(recognizeAll(candidates({{200, 100}, {205, 300}, {300, 100}, {300, 300}})).at(kUpperRight),
              (Found{205, 300}));
    EXPECT_EQ(recognizeAll(candidates({{200, 100}, {206, 300}, {300, 100}, {300, 300}})).at(kUpperRight),
              kNone);
    EXPECT_EQ(recognizeAll(candidates({{200, 100}, {200, 300}, {300, 100}, {294, 300}})).at(kLowerRight),
              kNone);
    // Negative differences count the same.
    EXPECT_EQ(recognizeAll(candidates({{205, 95}, {200, 300}, {300, 100}, {300, 305}})).at(kLowerRight),
              (Found{300, 305}));
}

TEST(Recognize, EqualColumnsMakeTheLaterCandidateLeft)
{
    BlobRecord a = candidate(200, 100), b = candidate(203, 100);
    BlobRecord c = candidate(300, 102), d = candidate(301, 102);
    b.seed = 7;
    d.seed = 9;
    Recognition r;
    std::vector<BlobRecord> list{a, b, c, d};
    recognize(list.data(), 4, r.goal);
    EXPECT_EQ(r.goal[kUpperLeft].seed, 7);
    EXPECT_EQ(r.goal[kUpperRight].seed, a.seed);
    EXPECT_EQ(r.goal[kLowerLeft].seed, 9);
    EXPECT_EQ(r.goal[kLowerRight].seed, c.seed);
}

TEST(Recognize, BothLowerMembersMayLineUpWithOneUpperColumn)
{
    Recognition r = recognizeAll(candidates({{200, 100}, {200, 300}, {300, 98}, {300, 103}}));
    EXPECT_EQ(r.at(kLowerLeft), (Found{300, 98}));
    EXPECT_EQ(r.at(kLowerRight), (Found{300, 103}));
}

TEST(Recognize, FirstUpperPairWithAnyLowerPairIsTaken)
{
    // (200, 100)-(201, 500) has no lower pair; (200, 100)-(202, 300) has.
    Recognition r = recognizeAll(
        candidates({{200, 100}, {201, 500}, {202, 300}, {300, 100}, {300, 300}}));
    EXPECT_EQ(r.at(kUpperRight), (Found{202, 300}));
    EXPECT_EQ(r.at(kLowerRight), (Found{300, 300}));
}

TEST(Recognize, NoFitLeavesGoalUntouched)
{
    Recognition r;
    for (BlobRecord &g : r.goal) g = BlobRecord{7, 7, 7, 7, 7};
    std::vector<BlobRecord> three = candidates({{200, 100}, {200, 300}, {300, 100}});
    recognize(three.data(), 3, r.goal);
    std::vector<BlobRecord> scattered = candidates({{200, 100}, {250, 300}, {300, 400}, {350, 500}});
    recognize(scattered.data(), 4, r.goal);
    recognize(scattered.data(), 0, r.goal);
    for (const BlobRecord &g : r.goal) EXPECT_EQ(g.row, 7);
}

TEST(RecognizeMiddle, UpperLeftItselfCanBeTheMiddleMarker)
{
    // Upper-left row 200, lower-left row 211: middle row 205 takes in row 200.
    Recognition r = recognizeAll(candidates({{200, 100}, {200, 300}, {211, 100}, {211, 300}}));
    EXPECT_EQ(r.at(kMiddleLeft), (Found{200, 100}));
    EXPECT_EQ(r.at(kMiddleRight), (Found{200, 300}));
    EXPECT_EQ(r.rightLeft[0].row, 200);
    EXPECT_EQ(r.rightLeft[1].row, 200);
}

TEST(RecognizeMiddle, LastMatchWinsAndOneEntryCanServeBothSides)
{
    Recognition r;
    r.goal[kUpperLeft] = candidate(200, 100);
    r.goal[kUpperRight] = candidate(200, 108);
    r.goal[kLowerLeft] = candidate(300, 100);
    std::vector<BlobRecord> list = candidates({{250, 99}, {250, 104}, {400, 104}});
    recognizeMiddle(list.data(), 3, r.rightLeft, r.goal);
    EXPECT_EQ(r.at(kMiddleLeft), (Found{250, 104}));   // both agree with 100; the later wins
    EXPECT_EQ(r.at(kMiddleRight), (Found{250, 104}));  // agrees with 108 too
}

TEST(RecognizeMiddle, KeepsAtMostTenMiddleRowEntries)
{
    Recognition r;
    r.goal[kUpperLeft] = candidate(200, 100);
    r.goal[kUpperRight] = candidate(200, 300);
    r.goal[kLowerLeft] = candidate(300, 100);
    std::vector<BlobRecord> list;
    for (int i = 0; i < 20; ++i) list.push_back(candidate(250, 100 + i));
    // The sentinel after the table must survive.
    struct {
        BlobRecord table[kRightLeftSize];
        BlobRecord guard;
    } storage{};
    storage.guard = BlobRecord{42, 42, 42, 42, 42};
    recognizeMiddle(list.data(), 20, storage.table, r.goal);
    EXPECT_EQ(storage.guard.row, 42);
    EXPECT_EQ(storage.table[9].col, 109);
    EXPECT_EQ(r.at(kMiddleLeft), (Found{250, 105}));  // last of the ten kept that agrees with 100
}

TEST(RecognizeMiddle, NothingFoundWithoutUpperAndLowerPairs)
{
    Recognition r = recognizeAll(candidates({{250, 100}, {250, 300}, {260, 100}}));
    EXPECT_EQ(r.at(kMiddleLeft), kNone);
    EXPECT_EQ(r.at(kMiddleRight), kNone);
}
