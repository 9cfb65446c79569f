#include "study/study_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "robot/sim_clock.h"
#include "trials/imperfections.h"

namespace dockworld {

namespace {

const char kUsage[] =
    "usage: dock_success [--trials N] [--group NAME]... [--jobs N] [--speed N] [--seed S] [--time-limit S]\n"
    "                    [--condition NAME=VALUE]... [--sweep NAME=V1,V2,...] [--shard K/N] [--list-starts]\n"
    "                    [--out DIR]\n"
    "       dock_success --merge DIR... [--out DIR]\n"
    "       dock_success --compare DIR_A DIR_B\n";

const char kHelp[] =
    "  --trials N        trials per group (default 500)\n"
    "  --group NAME      facing, approach, anywhere or beside: only this group (repeatable; default all)\n"
    "  --jobs N          trials side by side (default 3 where the robot server and controller may run at\n"
    "                    real-time priority, else 2)\n"
    "  --speed N         simulated seconds per wall-clock second (default " DEFAULT_SPEED_TEXT ")\n"
    "  --seed S          seed of the start poses and camera noise (default 2026)\n"
    "  --time-limit S    simulated seconds per trial (default 180)\n"
    "  --condition N=V   an imperfection for every trial (repeatable)\n"
    "  --sweep N=V1,...  the chosen groups once per value of one imperfection: a tolerance table\n"
    "  --NAME VALUE      the same as --condition NAME=VALUE (--sonar-noise, --realistic: no value)\n"
    "  --shard K/N       only the K-th of N interleaved slices of the trial list\n"
    "  --list-starts     print the trial list (name and start pose) of these options and stop\n"
    "  --out DIR         CSV, run file, maps, and pictures and logs of failed trials (default dock_success-out)\n"
    "  --merge DIR...    the tables and maps of several runs (shards) of one study, as one run\n"
    "  --compare A B     two runs of the same starts (e.g. speed 1 and 8) paired: McNemar's exact test\n";

bool parseNumber(const char *text, double low, double high, double &value)
{
    char *end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value) && value >= low && value <= high;
}

int usageError(const std::string &why)
{
    std::fprintf(stderr, "dock_success: %s\n%s", why.c_str(), kUsage);
    return 2;
}

bool splitList(const std::string &text, std::vector<std::string> &items)
{
    items.clear();
    size_t from = 0;
    while (true) {
        const size_t comma = text.find(',', from);
        items.push_back(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (items.back().empty())
            return false;
        if (comma == std::string::npos)
            return true;
        from = comma + 1;
    }
}

bool isImperfection(const std::string &name)
{
    for (const std::string &n : imperfectionNames())
        if (n == name)
            return true;
    return false;
}

} // namespace

bool checkCondition(const std::string &nameValue, std::string *error)
{
    Imperfections scratch;
    return applyCondition(scratch, nameValue, error);
}

bool applyCondition(Imperfections &imp, const std::string &nameValue, std::string *error)
{
    const size_t eq = nameValue.find('=');
    if (eq == std::string::npos || eq == 0) {
        *error = "a condition is NAME=VALUE, not '" + nameValue + "'";
        return false;
    }
    return setImperfection(imp, nameValue.substr(0, eq), nameValue.substr(eq + 1), error);
}

int parseStudyOptions(int argc, char **argv, StudyOptions &o)
{
    StudyDefinition &d = o.study;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf("%s%s%s", kUsage, kHelp, imperfectionUsage());
            return -1;
        }
        if (a == "--list-starts") {
            o.listStarts = true;
            continue;
        }
        if (a == "--merge" || a == "--compare") {
            std::vector<std::string> &dirs = a == "--merge" ? o.mergeDirs : o.compareDirs;
            for (; i + 1 < argc && std::string(argv[i + 1]).rfind("--", 0) != 0; ++i)
                dirs.push_back(argv[i + 1]);
            if (dirs.empty() || (a == "--compare" && dirs.size() != 2))
                return usageError(a == "--merge" ? "--merge needs one or more run folders"
                                                 : "--compare needs two run folders");
            continue;
        }
        // Each imperfection also as dockingsim takes it: --NAME VALUE, the
        // two switches without a value.
        const std::string bare = a.rfind("--", 0) == 0 ? a.substr(2) : "";
        if (isImperfection(bare) && (bare == "sonar-noise" || bare == "realistic")) {
            d.conditions.push_back(bare + "=on");
            continue;
        }
        if (i + 1 >= argc)
            return usageError("unknown or incomplete option '" + a + "'");
        if (isImperfection(bare)) {
            std::string error;
            const std::string condition = bare + "=" + argv[++i];
            if (!checkCondition(condition, &error))
                return usageError(error);
            d.conditions.push_back(condition);
            continue;
        }
        const std::string value = argv[++i];
        double number = 0.0;
        std::string error;
        if (a == "--trials" && parseNumber(value.c_str(), 1, 100000, number) && number == std::floor(number))
            d.trials = static_cast<int>(number);
        else if (a == "--group" && findStudyGroup(value))
            d.groups.push_back(value);
        else if (a == "--jobs" && parseNumber(value.c_str(), 1, 16, number) && number == std::floor(number))
            o.jobs = static_cast<int>(number);
        else if (a == "--speed" && parseNumber(value.c_str(), 1, 100, number))
            d.speed = number;
        else if (a == "--seed" && parseNumber(value.c_str(), 0, 4294967295.0, number) && number == std::floor(number))
            d.seed = static_cast<uint32_t>(number);
        else if (a == "--time-limit" && parseNumber(value.c_str(), 1, 86400, number))
            d.timeLimit = number;
        else if (a == "--out" && !value.empty())
            o.out = value;
        else if (a == "--shard") {
            if (!parseShard(value, o.shard, &error))
                return usageError(error);
        } else if (a == "--condition") {
            if (!checkCondition(value, &error))
                return usageError(error);
            d.conditions.push_back(value);
        } else if (a == "--sweep") {
            const size_t eq = value.find('=');
            std::vector<std::string> values;
            if (!d.sweepName.empty() || eq == std::string::npos || !splitList(value.substr(eq + 1), values))
                return usageError("--sweep needs NAME=V1,V2,... once, not '" + value + "'");
            for (const std::string &v : values)
                if (!checkCondition(value.substr(0, eq) + "=" + v, &error))
                    return usageError(error);
            d.sweepName = value.substr(0, eq);
            d.sweepValues = values;
        } else
            return usageError("bad option or value '" + a + " " + value + "'");
    }
    if (!o.mergeDirs.empty() && !o.compareDirs.empty())
        return usageError("--merge and --compare exclude each other");
    return 0;
}

} // namespace dockworld
