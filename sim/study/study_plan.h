// The trial list of a study: its groups of seeded start poses, each trial
// with a stable name and seed from the study's seed, its group and its
// index, and the interleaved slices (shards) that divide the list among
// several runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "world/docking_room.h"

namespace dockworld {

struct StudyGroup {
    const char *name;
    const char *description;
    std::vector<Pose> (*poses)(const DockingRoom &, int, uint32_t);
    uint32_t seedOffset;
};

// Every group, in the order the study takes them.
const std::vector<StudyGroup> &studyGroups();
const StudyGroup *findStudyGroup(const std::string &name);

// What defines a study's trial list and conditions: two runs merge only
// when these are equal.
struct StudyDefinition {
    int trials = 500;                // per group (and per swept value)
    std::vector<std::string> groups; // empty: every group
    uint32_t seed = 2026;
    double timeLimit = 180.0;
    double speed = 8.0;
    std::vector<std::string> conditions; // NAME=VALUE, as given
    std::string sweepName;               // empty: no sweep
    std::vector<std::string> sweepValues;
};

// One line that names every field ("trials=12 groups=facing,approach seed=2026 ...").
std::string describeStudy(const StudyDefinition &d);

// The K-th (from 1) of N interleaved slices.
struct Shard {
    int k = 1;
    int n = 1;
};
// "K/N" with 1 <= K <= N <= 100000; false with a one-line reason.
bool parseShard(const std::string &text, Shard &shard, std::string *error);
// Each run of N places in the list gives one trial to every shard, turned on
// by one place per run: the list takes the groups in turn, so a plain
// `position % N` would give every shard a single group whenever N is a
// multiple of their number.
inline bool inShard(size_t position, const Shard &s)
{
    const size_t n = static_cast<size_t>(s.n);
    return (position + position / n) % n == static_cast<size_t>(s.k - 1);
}

struct PlannedTrial {
    size_t position = 0;    // place in the whole study's list, from 0
    std::string name;       // group-index, with -vK for the K-th swept value
    const StudyGroup *group = nullptr;
    int index = 0;          // within its group, from 1
    int sweepIndex = 0;     // from 1; 0 without a sweep
    std::string sweepValue; // "" without a sweep
    Pose start;
    uint32_t seed = 0;      // the trial's camera noise
};

// The whole list: per swept value, per index, the chosen groups in turn (so
// that a study cut short covers every group alike). The same start poses
// for every swept value.
std::vector<PlannedTrial> planStudy(const DockingRoom &room, const StudyDefinition &d);

} // namespace dockworld
