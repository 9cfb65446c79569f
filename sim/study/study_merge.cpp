#include "study/study_merge.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace dockworld {

bool readStudyRun(const std::string &dir, StudyRun &run, std::string *error)
{
    run.dir = dir;
    return readRunFile(dir, run.run, error) && readTrialsCsv(dir, run.records, error);
}

bool mergeStudyRuns(const std::vector<StudyRun> &runs, std::vector<TrialRecord> &merged, std::string *error)
{
    merged.clear();
    if (runs.empty()) {
        *error = "nothing to merge";
        return false;
    }
    const StudyRun &first = runs.front();
    std::map<size_t, const StudyRun *> owner;
    for (const StudyRun &r : runs) {
        if (r.run.study != first.run.study || r.run.trialsInStudy != first.run.trialsInStudy) {
            *error = r.dir + " and " + first.dir + " are runs of different studies (" + r.run.study + " | " +
                     first.run.study + ")";
            return false;
        }
        if (r.run.shard.n != first.run.shard.n) {
            *error = r.dir + " and " + first.dir + " slice the study differently (shard " +
                     std::to_string(r.run.shard.k) + "/" + std::to_string(r.run.shard.n) + " and " +
                     std::to_string(first.run.shard.k) + "/" + std::to_string(first.run.shard.n) + ")";
            return false;
        }
        for (const TrialRecord &t : r.records) {
            if (t.position >= r.run.trialsInStudy || !inShard(t.position, r.run.shard)) {
                *error = r.dir + ": trial " + t.name + " does not belong to its shard " +
                         std::to_string(r.run.shard.k) + "/" + std::to_string(r.run.shard.n);
                return false;
            }
            const auto [at, added] = owner.emplace(t.position, &r);
            if (!added) {
                *error = "trial " + t.name + " is in both " + at->second->dir + " and " + r.dir + " (overlapping runs)";
                return false;
            }
            merged.push_back(t);
        }
    }
    std::sort(merged.begin(), merged.end(),
              [](const TrialRecord &x, const TrialRecord &y) { return x.position < y.position; });
    return true;
}

namespace {

// The study line without the fields a paired comparison may change.
std::string withoutSpeedAndConditions(const std::string &study)
{
    std::istringstream in(study);
    std::string field, kept;
    while (in >> field)
        if (field.rfind("speed=", 0) != 0 && field.rfind("conditions=", 0) != 0)
            kept += field + " ";
    return kept;
}

} // namespace

bool pairStudyRuns(const StudyRun &a, const StudyRun &b, PairedOutcomes &paired, std::string *error)
{
    if (withoutSpeedAndConditions(a.run.study) != withoutSpeedAndConditions(b.run.study)) {
        *error = a.dir + " and " + b.dir + " do not share their starts (" + a.run.study + " | " + b.run.study + ")";
        return false;
    }
    std::map<size_t, const TrialRecord *> inB;
    for (const TrialRecord &t : b.records)
        if (!t.interrupted)
            inB[t.position] = &t;
    paired = {};
    for (const TrialRecord &t : a.records) {
        const auto other = inB.find(t.position);
        if (t.interrupted || other == inB.end())
            continue;
        const bool da = t.docked, db = other->second->docked;
        ++(da && db ? paired.both : da ? paired.onlyA : db ? paired.onlyB : paired.neither);
    }
    if (paired.both + paired.onlyA + paired.onlyB + paired.neither == 0) {
        *error = a.dir + " and " + b.dir + " have no finished trial in common";
        return false;
    }
    return true;
}

} // namespace dockworld
