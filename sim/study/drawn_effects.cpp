#include "study/drawn_effects.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "study/study_stats.h"

namespace dockworld {

std::vector<DrawnSplit> splitByDrawnValues(const std::vector<TrialRecord> &records)
{
    // name -> (value, docked) per trial, names in the order first met
    std::vector<std::pair<std::string, std::vector<std::pair<double, bool>>>> values;
    for (const TrialRecord &r : records) {
        if (r.interrupted)
            continue;
        std::istringstream items(r.imperfections);
        std::string item;
        while (items >> item) {
            const size_t eq = item.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string name = item.substr(0, eq), text = item.substr(eq + 1);
            char *end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0')
                continue; // a word (lights=office) or a switch
            auto it = std::find_if(values.begin(), values.end(), [&](const auto &e) { return e.first == name; });
            if (it == values.end())
                it = values.insert(values.end(), {name, {}});
            it->second.emplace_back(v, r.docked);
        }
    }
    std::vector<DrawnSplit> splits;
    for (auto &[name, trials] : values) {
        std::sort(trials.begin(), trials.end());
        if (trials.front().first == trials.back().first)
            continue; // one value for all: nothing to compare
        std::vector<double> v;
        for (const auto &t : trials)
            v.push_back(t.first);
        DrawnSplit s;
        s.name = name;
        s.low = v.front();
        s.high = v.back();
        s.median = percentile(v, 50);
        for (const auto &[value, docked] : trials) {
            const bool below = value < s.median;
            (below ? s.trialsBelow : s.trialsAbove) += 1;
            (below ? s.dockedBelow : s.dockedAbove) += docked ? 1 : 0;
        }
        splits.push_back(s);
    }
    return splits;
}

void printDrawnEffects(const std::vector<TrialRecord> &records)
{
    const std::vector<DrawnSplit> splits = splitByDrawnValues(records);
    if (splits.empty())
        return;
    std::printf("\nsuccess against the drawn imperfections (all groups; trials below each value's median "
                "against the rest):\n");
    const auto rate = [](int docked, int trials) {
        const Interval ci = wilsonInterval(docked, trials);
        char text[64];
        std::snprintf(text, sizeof text, "%3d of %3d %3.0f%% (%2.0f-%3.0f%%)", docked, trials,
                      trials ? 100.0 * docked / trials : 0.0, 100.0 * ci.low, 100.0 * ci.high);
        return std::string(text);
    };
    for (const DrawnSplit &s : splits)
        std::printf("  %-22s %9.4g to %-9.4g %s   %9.4g to %-9.4g %s\n", s.name.c_str(), s.low, s.median,
                    rate(s.dockedBelow, s.trialsBelow).c_str(), s.median, s.high,
                    rate(s.dockedAbove, s.trialsAbove).c_str());
}

} // namespace dockworld
