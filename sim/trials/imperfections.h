// The flaws of a real robot, camera and room that a trial can be given, by
// name as the command lines take them, and the `realistic` preset's ranges.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
namespace dockworld {
// The flaws of a real robot, camera and room that a trial can be given. Every
// default is the ideal world.
struct Imperfections {
    double cameraPitchDeg = 0.0;     // camera-pitch DEG: positive tilts the view up
    double cameraHeightOffset = 0.0; // camera-height-offset M: positive raises the camera
    double cameraYawDeg = 0.0;       // camera-yaw DEG: positive turns the view left
    double lensK1 = 0.0;             // lens-k1 K: radial distortion, two-coefficient model
    double lensK2 = 0.0;             // lens-k2 K
    double latencyMs = 0.0;          // latency MS: age of a frame when the vision program gets it
    double exposureMs = 0.0;         // exposure MS: motion blur over this time
    double bodyPitch = 0.0;          // body-pitch DEG_PER_MS2: body pitch per m/s^2 of acceleration
    std::string lights = "dark";     // lights dark|office|lamp-beside
    double slip = 0.0;               // slip F: odometry drifts from true motion by up to F
    bool sonarNoise = false;         // sonar-noise: noisy ranges, missed echoes
    std::string station = "built";   // station built|low: the station as the README says to build it, or with a low housing
    bool realistic = false;          // realistic: values drawn per trial (resolveImperfections)
    double markerBrightness = 1.0;   // marker-brightness F: markers F times as bright as just saturates the camera
    // Names given through setImperfection: `realistic` draws only the others,
    // so that an explicit ideal value (camera-pitch=0) stays as given.
    std::vector<std::string> given;
};
// The option names without dashes, in the order the help lists them.
const std::vector<std::string> &imperfectionNames();
// Sets one by name from text ("1.5", "office", for the switches "1"/"0"/"on"/"off");
// false with a one-line reason in *error for an unknown name or a bad value.
bool setImperfection(Imperfections &imp, const std::string &name, const std::string &value,
                     std::string *error);
// The values a trial runs with: with `realistic` every value not set explicitly
// is drawn from its stated range with `seed`; otherwise `imp` unchanged.
Imperfections resolveImperfections(const Imperfections &imp, uint32_t seed);
// "camera-pitch=1 lens-k1=-0.12 ..." listing only values that differ from the default
// (empty for the ideal world); used in headers, CSV and picture titles.
std::string describeImperfections(const Imperfections &imp);

// Whether `name` is a switch (no value on the command line).
bool imperfectionIsSwitch(const std::string &name);
// Help lines for the options, for a program's usage text.
const char *imperfectionUsage();
// Reads `--NAME VALUE` (or `--NAME` for a switch) at argv[*index]: returns 1
// and advances *index past it when it is an imperfection option, 0 when it is
// not one, -1 with a one-line reason in *error when its value is bad or missing.
int parseImperfectionOption(Imperfections &imp, int argc, char **argv, int *index, std::string *error);
} // namespace dockworld
