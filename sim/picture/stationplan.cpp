// stationplan DIR: writes the station drawings of the README, station-top.png
// and station-front.png, into DIR.
#include <cstdio>
#include <string>

#include "picture/station_plan.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: stationplan DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    struct Drawing {
        const char *name;
        dockworld::Canvas canvas;
    } drawings[] = {{"station-top.png", dockworld::drawStationTopView()},
                    {"station-front.png", dockworld::drawStationFrontView()}};
    for (const Drawing &d : drawings) {
        std::string error;
        if (!d.canvas.savePng(dir + "/" + d.name, &error)) {
            std::fprintf(stderr, "stationplan: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
