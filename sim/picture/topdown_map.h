// The top-down picture of a trial: the room, the station, the robot's path
// coloured by the controller's mode, where docking began and where the robot
// stopped.
//
// Colours: walls and furniture dark grey, station plate black, guide brown,
// markers gold; path blue while wandering, orange while docking; start a green
// ring, first docking mode a red ring, final robot outline red (green when it
// docked).
#pragma once

#include <string>
#include <vector>

#include "picture/png_file.h"
#include "world/world_geometry.h"

namespace dockworld {

enum class DriveMode { Unknown, Wander, Docking };

struct PathPoint {
    Pose pose;
    DriveMode mode = DriveMode::Unknown;
};

class TopDownMap {
public:
    // Covers the rectangle [minCorner, maxCorner] of the floor at
    // `pixelsPerMetre`, with a small margin.
    TopDownMap(Vec2 minCorner, Vec2 maxCorner, double pixelsPerMetre = 120.0);

    void drawWalls(const std::vector<Segment> &walls);
    void drawGuide(const std::vector<Segment> &guide);
    void drawPlate(const std::vector<Segment> &plate);
    void drawMarker(Vec2 at);
    void drawPath(const std::vector<PathPoint> &path);
    void drawStart(const Pose &pose);
    void drawDockingStart(const Pose &pose);
    void drawRobot(const Pose &pose, bool docked);
    // A short arrow from the pose's position along its heading.
    void drawArrow(const Pose &pose, Rgb colour);

    const Canvas &canvas() const { return canvas_; }
    bool save(const std::string &path, std::string *error = nullptr) const { return canvas_.savePng(path, error); }
    // Picture coordinates of a floor point (y grows downwards in the picture).
    Vec2 toPixel(Vec2 floor) const;

private:
    void segment(const Segment &s, Rgb colour, int thickness);

    Vec2 origin_;
    double scale_;
    Canvas canvas_;
};

} // namespace dockworld
