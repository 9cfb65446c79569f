#include "trials/imperfections.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dockworld {

namespace {

enum class Kind { Number, Switch, Word };

struct Entry {
    const char *name;
    Kind kind;
    double low, high;            // accepted values (numbers)
    const char *words;           // accepted words, '|' separated (words)
    double realisticLow, realisticHigh; // the realistic preset's range (numbers)
};

// Accepted ranges keep a value physical (an exposure no longer than a 30 fps
// frame, a slip below half the motion); the realistic ranges are explained
// in sim/README.md ("Imperfections").
const Entry kEntries[] = {
    {"camera-pitch", Kind::Number, -30.0, 30.0, nullptr, -1.0, 1.0},
    {"camera-height-offset", Kind::Number, -0.3, 0.3, nullptr, -0.01, 0.01},
    {"camera-yaw", Kind::Number, -30.0, 30.0, nullptr, -1.0, 1.0},
    {"lens-k1", Kind::Number, -0.5, 0.5, nullptr, -0.10, -0.02},
    {"lens-k2", Kind::Number, -0.5, 0.5, nullptr, 0.0, 0.02},
    {"latency", Kind::Number, 0.0, 1000.0, nullptr, 50.0, 150.0},
    {"exposure", Kind::Number, 0.0, 33.0, nullptr, 10.0, 30.0},
    {"body-pitch", Kind::Number, 0.0, 10.0, nullptr, 0.2, 1.0},
    {"lights", Kind::Word, 0, 0, "dark|office|lamp-beside", 0, 0},
    {"slip", Kind::Number, 0.0, 0.5, nullptr, 0.05, 0.05},
    {"sonar-noise", Kind::Switch, 0, 0, nullptr, 0, 0},
    {"station", Kind::Word, 0, 0, "built|low", 0, 0},
    {"realistic", Kind::Switch, 0, 0, nullptr, 0, 0},
    // Last, so that its draw (always 1) leaves every earlier draw of a seed
    // as it was before it existed.
    {"marker-brightness", Kind::Number, 0.1, 20.0, nullptr, 1.0, 1.0},
};

const Entry *findEntry(const std::string &name)
{
    for (const Entry &e : kEntries)
        if (name == e.name)
            return &e;
    return nullptr;
}

double *numberField(Imperfections &imp, const std::string &name)
{
    if (name == "camera-pitch") return &imp.cameraPitchDeg;
    if (name == "camera-height-offset") return &imp.cameraHeightOffset;
    if (name == "camera-yaw") return &imp.cameraYawDeg;
    if (name == "lens-k1") return &imp.lensK1;
    if (name == "lens-k2") return &imp.lensK2;
    if (name == "latency") return &imp.latencyMs;
    if (name == "exposure") return &imp.exposureMs;
    if (name == "body-pitch") return &imp.bodyPitch;
    if (name == "slip") return &imp.slip;
    if (name == "marker-brightness") return &imp.markerBrightness;
    return nullptr;
}

bool wordListed(const char *words, const std::string &word)
{
    const char *p = words;
    while (*p) {
        const char *bar = std::strchr(p, '|');
        const size_t n = bar ? static_cast<size_t>(bar - p) : std::strlen(p);
        if (word.size() == n && word.compare(0, n, p, n) == 0)
            return true;
        p += n + (bar ? 1 : 0);
    }
    return false;
}

bool parseSwitch(const std::string &value, bool &on)
{
    if (value == "1" || value == "on" || value == "yes" || value == "true") {
        on = true;
        return true;
    }
    if (value == "0" || value == "off" || value == "no" || value == "false") {
        on = false;
        return true;
    }
    return false;
}

std::string formatNumber(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", v);
    return text;
}

// A uniform draw in [low, high] from a small generator of its own
// (splitmix64), so that a seed gives the same values with every standard
// library and neighbouring seeds unrelated ones.
class Draw {
public:
    explicit Draw(uint32_t seed) : state_(seed) {}
    double between(double low, double high)
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return low + (high - low) * (static_cast<double>(z >> 11) / 9007199254740992.0);
    }

private:
    uint64_t state_;
};

bool given(const Imperfections &imp, const std::string &name)
{
    return std::find(imp.given.begin(), imp.given.end(), name) != imp.given.end();
}

} // namespace

const std::vector<std::string> &imperfectionNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const Entry &e : kEntries)
            n.push_back(e.name);
        return n;
    }();
    return names;
}

bool imperfectionIsSwitch(const std::string &name)
{
    const Entry *e = findEntry(name);
    return e && e->kind == Kind::Switch;
}

bool setImperfection(Imperfections &imp, const std::string &name, const std::string &value,
                     std::string *error)
{
    const auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    const Entry *e = findEntry(name);
    if (!e)
        return fail("unknown imperfection '" + name + "'");
    switch (e->kind) {
    case Kind::Number: {
        char *end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(v))
            return fail(name + ": '" + value + "' is not a number");
        if (v < e->low || v > e->high)
            return fail(name + ": " + value + " is outside " + formatNumber(e->low) + " to " +
                        formatNumber(e->high));
        *numberField(imp, name) = v;
        break;
    }
    case Kind::Switch: {
        bool on = false;
        if (!parseSwitch(value, on))
            return fail(name + ": '" + value + "' is not on or off");
        (name == "realistic" ? imp.realistic : imp.sonarNoise) = on;
        break;
    }
    case Kind::Word:
        if (!wordListed(e->words, value))
            return fail(name + ": '" + value + "' is not one of " + e->words);
        (name == "lights" ? imp.lights : imp.station) = value;
        break;
    }
    if (!given(imp, name))
        imp.given.push_back(name);
    return true;
}

Imperfections resolveImperfections(const Imperfections &imp, uint32_t seed)
{
    if (!imp.realistic)
        return imp;
    Imperfections out = imp;
    Draw draw(seed);
    for (const Entry &e : kEntries) {
        // Draw every number, given or not, so that giving one value does not
        // change the others drawn for the same seed.
        const double v = e.kind == Kind::Number ? draw.between(e.realisticLow, e.realisticHigh) : 0.0;
        if (given(imp, e.name))
            continue;
        const std::string name = e.name;
        if (e.kind == Kind::Number)
            *numberField(out, name) = v;
        else if (name == "lights")
            out.lights = "office";
        else if (name == "sonar-noise")
            out.sonarNoise = true;
        out.given.push_back(name); // resolved: a second resolution keeps these
    }
    return out;
}

std::string describeImperfections(const Imperfections &imp)
{
    const Imperfections ideal;
    std::string text;
    const auto add = [&text](const std::string &item) {
        if (!text.empty())
            text += ' ';
        text += item;
    };
    for (const Entry &e : kEntries) {
        const std::string name = e.name;
        Imperfections copy = imp;
        switch (e.kind) {
        case Kind::Number: {
            const double v = *numberField(copy, name);
            Imperfections idealCopy = ideal;
            if (v != *numberField(idealCopy, name))
                add(name + "=" + formatNumber(v));
            break;
        }
        case Kind::Switch:
            if (name == "realistic" ? imp.realistic : imp.sonarNoise)
                add(name + "=on");
            break;
        case Kind::Word: {
            const std::string &v = name == "lights" ? imp.lights : imp.station;
            if (v != (name == "lights" ? ideal.lights : ideal.station))
                add(name + "=" + v);
            break;
        }
        }
    }
    return text;
}

const char *imperfectionUsage()
{
    return "  imperfections (each default is the ideal world; see sim/README.md):\n"
           "  --camera-pitch DEG  camera mount pitched up by DEG (down if negative)\n"
           "  --camera-height-offset M  camera M metres higher than designed (lower if negative)\n"
           "  --camera-yaw DEG    camera turned DEG to the left (right if negative)\n"
           "  --lens-k1 K, --lens-k2 K  radial lens distortion (negative k1: barrel)\n"
           "  --latency MS        age of a frame when the vision program receives it\n"
           "  --exposure MS       exposure time: motion blur while the robot moves (at most 33)\n"
           "  --body-pitch D      body and camera pitch D degrees per m/s^2 of acceleration\n"
           "  --lights PRESET     dark (default), office, lamp-beside\n"
           "  --slip F            each wheel's odometry off by up to the fraction F\n"
           "  --sonar-noise       noisy sonar ranges and missed echoes\n"
           "  --station KIND      built (default) or low (low outer flares and housing)\n"
           "  --realistic         a hobbyist robot: every value not given drawn per trial\n"
           "  --marker-brightness F  markers F times as bright as just saturates the camera\n";
}

int parseImperfectionOption(Imperfections &imp, int argc, char **argv, int *index, std::string *error)
{
    const std::string arg = argv[*index];
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0)
        return 0;
    const std::string name = arg.substr(2);
    if (!findEntry(name))
        return 0;
    if (imperfectionIsSwitch(name)) {
        ++*index;
        return setImperfection(imp, name, "on", error) ? 1 : -1;
    }
    if (*index + 1 >= argc) {
        if (error)
            *error = arg + " needs a value";
        return -1;
    }
    const std::string value = argv[*index + 1];
    *index += 2;
    return setImperfection(imp, name, value, error) ? 1 : -1;
}

} // namespace dockworld
