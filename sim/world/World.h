// The simulated world: straight obstacle segments (room walls, box sides,
// free segments) in millimetres, with a ray-cast for range sensors and a
// clearance test for the robot's body. Further object kinds (a docking
// station, markers for a camera) add shapes here.
#pragma once

#include <string>
#include <vector>

namespace robotsim {

struct Point {
    double x = 0, y = 0;
};

struct Segment {
    Point a, b;
};

// A named group of segments as given in the world file.
struct Shape {
    std::string kind; // "room", "box", "wall"
    std::vector<Segment> segments;
};

struct StartPose {
    bool given = false;
    double x = 0, y = 0, th = 0; // mm, mm, degrees
};

class World {
public:
    void addRoom(Point corner1, Point corner2);
    void addBox(Point corner1, Point corner2);
    void addWall(Point a, Point b);

    // Distance from `origin` along direction `thDeg` to the first segment hit,
    // or maxRange when nothing is closer.
    double rayCast(Point origin, double thDeg, double maxRange) const;
    // Distance from `p` to the closest segment (a large number in an empty world).
    double clearance(Point p) const;

    const std::vector<Shape> &shapes() const { return shapes_; }
    const StartPose &start() const { return start_; }
    void setStart(double x, double y, double th);

    // Reads a world file (format in sim/README.md). On failure returns false
    // and puts "FILE:LINE: reason" in `error`; `out` is then unspecified.
    static bool load(const std::string &path, World &out, std::string &error);
    // Parses the text of a world file; `name` is used in messages.
    static bool parse(const std::string &text, const std::string &name, World &out,
                      std::string &error);
    // The room used when no world file is given: 8 m x 6 m with three boxes.
    static World standard();

private:
    std::vector<Shape> shapes_;
    StartPose start_;
};

} // namespace robotsim
