// A study cut into shards and merged again: every trial in exactly one
// shard, the rows read back as written, and the merges that must be refused.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "study/study_merge.h"
#include "study/study_plan.h"

using namespace dockworld;

namespace {

StudyRun runOf(const std::vector<PlannedTrial> &plan, const std::string &study, Shard shard, const char *dir)
{
    StudyRun run;
    run.dir = dir;
    run.run = {study, shard, plan.size()};
    for (const PlannedTrial &t : plan)
        if (inShard(t.position, shard)) {
            TrialRecord r;
            r.position = t.position;
            r.name = t.name;
            r.group = t.group->name;
            r.index = t.index;
            r.start = t.start;
            r.docked = t.position % 2 == 0;
            r.cause = r.docked ? FailureCause::None : FailureCause::OnContacts;
            run.records.push_back(r);
        }
    return run;
}

} // namespace

TEST(StudyShards, EveryTrialInOneShardAndTheMergeRefusesMismatchesAndOverlaps)
{
    Shard shard;
    std::string error;
    for (const char *bad : {"0/3", "4/3", "3", "1/0", "a/3", "1/3x", "/3", "1/"})
        EXPECT_FALSE(parseShard(bad, shard, &error)) << bad;
    ASSERT_TRUE(parseShard("2/3", shard, &error));
    EXPECT_EQ(shard.k, 2);
    EXPECT_EQ(shard.n, 3);

    const DockingRoom room;
    StudyDefinition d;
    d.trials = 4;
    d.groups = {"facing", "beside"};
    d.sweepName = "camera-pitch";
    d.sweepValues = {"0", "1"};
    const std::vector<PlannedTrial> plan = planStudy(room, d);
    ASSERT_EQ(plan.size(), 16u);
    // The same starts for every swept value, names unique, seeds stable.
    EXPECT_EQ(plan[0].start.x, plan[8].start.x);
    EXPECT_NE(plan[0].seed, plan[8].seed);
    EXPECT_EQ(planStudy(room, d)[5].seed, plan[5].seed);
    std::set<std::string> names;
    for (const PlannedTrial &t : plan)
        names.insert(t.name);
    EXPECT_EQ(names.size(), plan.size());

    // Every shard gets each group alike, also when the shards are a
    // multiple of the groups.
    StudyDefinition all;
    all.trials = 20;
    const std::vector<PlannedTrial> full = planStudy(room, all);
    for (int k = 1; k <= 8; ++k) {
        std::map<std::string, int> perGroup;
        for (const PlannedTrial &t : full)
            perGroup[t.group->name] += inShard(t.position, {k, 8}) ? 1 : 0;
        for (const auto &[group, count] : perGroup) // 80 trials, 10 a shard
            EXPECT_TRUE(count == 2 || count == 3) << group << " has " << count << " in shard " << k;
    }

    const std::string study = describeStudy(d);
    std::vector<StudyRun> runs{runOf(plan, study, {3, 3}, "c"), runOf(plan, study, {1, 3}, "a"),
                               runOf(plan, study, {2, 3}, "b")};
    // Rows are read back as written (the merge reads what the runs wrote).
    TrialRecord back;
    runs[0].records[1].imperfections = "camera-pitch=0.41 lights=office";
    runs[0].records[1].docked = false;
    runs[0].records[1].cause = FailureCause::OnContacts;
    ASSERT_TRUE(parseTrialCsvRow(trialCsvRow(runs[0].records[1]), back, &error)) << error;
    EXPECT_EQ(back.name, runs[0].records[1].name);
    EXPECT_EQ(back.cause, FailureCause::OnContacts);
    EXPECT_EQ(back.imperfections, "camera-pitch=0.41 lights=office");
    EXPECT_NEAR(back.start.heading, runs[0].records[1].start.heading, 1e-4);

    std::vector<TrialRecord> merged;
    ASSERT_TRUE(mergeStudyRuns(runs, merged, &error)) << error;
    ASSERT_EQ(merged.size(), plan.size());
    for (size_t i = 0; i < merged.size(); ++i) {
        EXPECT_EQ(merged[i].position, i);
        EXPECT_EQ(merged[i].start.y, plan[i].start.y);
    }

    // Another seed: a different study.
    std::vector<StudyRun> mismatched = runs;
    StudyDefinition other = d;
    other.seed = 7;
    mismatched[1].run.study = describeStudy(other);
    EXPECT_FALSE(mergeStudyRuns(mismatched, merged, &error));
    EXPECT_NE(error.find("different studies"), std::string::npos) << error;
    // The same shard twice.
    std::vector<StudyRun> overlapping = runs;
    overlapping.push_back(runOf(plan, study, {2, 3}, "b-again"));
    EXPECT_FALSE(mergeStudyRuns(overlapping, merged, &error));
    EXPECT_NE(error.find("in both b and b-again"), std::string::npos) << error;
    // Slices of another division, and a row outside its run's shard.
    std::vector<StudyRun> sliced = runs;
    sliced[0].run.shard = {1, 4};
    EXPECT_FALSE(mergeStudyRuns(sliced, merged, &error));
    std::vector<StudyRun> stray = runs;
    stray[1].records.push_back(runs[2].records.front());
    EXPECT_FALSE(mergeStudyRuns(stray, merged, &error));
    EXPECT_NE(error.find("does not belong"), std::string::npos) << error;
}
