// robotsim: a simulated Pioneer p3dx that ARIA programs (and our ARIA layer)
// connect to over TCP as they would to a robot.
//
//   robotsim [--port N] [--world FILE] [--pose X,Y,TH]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "robot/Server.h"
#include "world/World.h"

namespace {

void usage(FILE *to)
{
    fputs("usage: robotsim [--port N] [--world FILE] [--pose X,Y,TH]\n"
          "  --port N       TCP port on 127.0.0.1 (default 8101; 0 picks a free one)\n"
          "  --world FILE   room, boxes and walls (see sim/README.md); default a 8 x 6 m room\n"
          "  --pose X,Y,TH  start pose in mm, mm, degrees (default the world's start)\n"
          "Standard input takes: stall on|off, charger on|off, pose X Y TH, where, quit\n",
          to);
}

bool parsePose(const char *text, robotsim::Pose &pose)
{
    double x, y, th;
    char tail;
    if (sscanf(text, "%lf,%lf,%lf%c", &x, &y, &th, &tail) != 3 || !std::isfinite(x) ||
        !std::isfinite(y) || !std::isfinite(th))
        return false;
    pose.x = x;
    pose.y = y;
    pose.th = th;
    return true;
}

bool parsePort(const char *text, int &port)
{
    char *end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 0 || v > 65535)
        return false;
    port = static_cast<int>(v);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    robotsim::ServerOptions options;
    std::string worldFile;
    bool poseGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--port" && hasValue) {
            if (!parsePort(argv[++i], options.port)) {
                fprintf(stderr, "robotsim: bad port '%s'\n", argv[i]);
                return 2;
            }
        } else if (arg == "--world" && hasValue) {
            worldFile = argv[++i];
        } else if (arg == "--pose" && hasValue) {
            if (!parsePose(argv[++i], options.start)) {
                fprintf(stderr, "robotsim: bad pose '%s' (want X,Y,TH)\n", argv[i]);
                return 2;
            }
            poseGiven = true;
        } else {
            usage(stderr);
            return 2;
        }
    }

    robotsim::World world = robotsim::World::standard();
    if (!worldFile.empty()) {
        std::string error;
        if (!robotsim::World::load(worldFile, world, error)) {
            fprintf(stderr, "robotsim: %s\n", error.c_str());
            return 2;
        }
    }
    if (!poseGiven) {
        const robotsim::StartPose &s = world.start();
        options.start.x = s.x;
        options.start.y = s.y;
        options.start.th = s.th;
    }

    robotsim::Server server(world, options);
    if (!server.listen())
        return 1;
    return server.run();
}
