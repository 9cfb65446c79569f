#include "study/study_plan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "trials/start_poses.h"

namespace dockworld {

const std::vector<StudyGroup> &studyGroups()
{
    static const std::vector<StudyGroup> groups = {
        {"facing", "starts 1.5-4 m from the station, within 30 degrees of its centre line, facing it within 40 degrees",
         posesFacingStation, 0},
        {"approach", "starts 0.8-1.5 m from the station, within 45 degrees of its centre line, facing it within 30 degrees",
         posesApproaching, 2},
        {"anywhere", "starts anywhere in the room, any heading", posesAnywhere, 1},
        {"beside", "starts 0.6-3 m from the station, more than 34 degrees off its centre line, any heading",
         posesBeside, 3},
    };
    return groups;
}

const StudyGroup *findStudyGroup(const std::string &name)
{
    for (const StudyGroup &g : studyGroups())
        if (name == g.name)
            return &g;
    return nullptr;
}

namespace {

std::vector<const StudyGroup *> chosenGroups(const StudyDefinition &d)
{
    std::vector<const StudyGroup *> chosen;
    for (const StudyGroup &g : studyGroups())
        if (d.groups.empty() || std::find(d.groups.begin(), d.groups.end(), g.name) != d.groups.end())
            chosen.push_back(&g);
    return chosen;
}

std::string joined(const std::vector<std::string> &items)
{
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : ",") + item;
    return text;
}

// A seed that depends on all three and on nothing else (splitmix64's mixer).
uint32_t trialSeed(uint32_t seed, const StudyGroup &group, int index, int sweepIndex)
{
    uint64_t z = (static_cast<uint64_t>(seed) << 32) ^ (static_cast<uint64_t>(group.seedOffset) << 24) ^
                 (static_cast<uint64_t>(sweepIndex) << 20) ^ static_cast<uint64_t>(index);
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<uint32_t>(z ^ (z >> 31));
}

} // namespace

std::string describeStudy(const StudyDefinition &d)
{
    std::vector<std::string> names;
    for (const StudyGroup *g : chosenGroups(d))
        names.push_back(g->name);
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "trials=%d groups=%s seed=%u time-limit=%g speed=%g", d.trials,
                  joined(names).c_str(), d.seed, d.timeLimit, d.speed);
    std::string text = numbers;
    text += " conditions=" + (d.conditions.empty() ? std::string("none") : joined(d.conditions));
    text += " sweep=" + (d.sweepName.empty() ? std::string("none") : d.sweepName + "=" + joined(d.sweepValues));
    return text;
}

bool parseShard(const std::string &text, Shard &shard, std::string *error)
{
    const size_t slash = text.find('/');
    char *end = nullptr;
    const long k = slash == std::string::npos ? 0 : std::strtol(text.c_str(), &end, 10);
    const bool kOk = slash != std::string::npos && end == text.c_str() + slash && slash > 0;
    const long n = kOk ? std::strtol(text.c_str() + slash + 1, &end, 10) : 0;
    if (!kOk || *end != '\0' || end == text.c_str() + slash + 1 || n < 1 || n > 100000 || k < 1 || k > n) {
        *error = "--shard needs K/N with 1 <= K <= N (for example 2/8), not '" + text + "'";
        return false;
    }
    shard = {static_cast<int>(k), static_cast<int>(n)};
    return true;
}

std::vector<PlannedTrial> planStudy(const DockingRoom &room, const StudyDefinition &d)
{
    const std::vector<const StudyGroup *> chosen = chosenGroups(d);
    std::vector<std::vector<Pose>> starts;
    for (const StudyGroup *g : chosen)
        starts.push_back(g->poses(room, d.trials, d.seed + g->seedOffset));
    const int values = d.sweepName.empty() ? 1 : static_cast<int>(d.sweepValues.size());
    std::vector<PlannedTrial> list;
    for (int v = 0; v < values; ++v)
        for (int i = 0; i < d.trials; ++i)
            for (size_t g = 0; g < chosen.size(); ++g) {
                PlannedTrial t;
                t.position = list.size();
                t.group = chosen[g];
                t.index = i + 1;
                t.sweepIndex = d.sweepName.empty() ? 0 : v + 1;
                t.sweepValue = d.sweepName.empty() ? "" : d.sweepValues[static_cast<size_t>(v)];
                char name[64];
                if (t.sweepIndex > 0)
                    std::snprintf(name, sizeof name, "%s-%04d-v%d", t.group->name, t.index, t.sweepIndex);
                else
                    std::snprintf(name, sizeof name, "%s-%04d", t.group->name, t.index);
                t.name = name;
                t.start = starts[g][static_cast<size_t>(i)];
                t.seed = trialSeed(d.seed, *t.group, t.index, t.sweepIndex);
                list.push_back(t);
            }
    return list;
}

} // namespace dockworld
