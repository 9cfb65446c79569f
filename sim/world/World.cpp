#include "world/World.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

namespace robotsim {
namespace {

std::vector<Segment> rectangle(Point c1, Point c2)
{
    Point a{std::min(c1.x, c2.x), std::min(c1.y, c2.y)};
    Point b{std::max(c1.x, c2.x), std::max(c1.y, c2.y)};
    return {{{a.x, a.y}, {b.x, a.y}},
            {{b.x, a.y}, {b.x, b.y}},
            {{b.x, b.y}, {a.x, b.y}},
            {{a.x, b.y}, {a.x, a.y}}};
}

double pointSegmentDistance(Point p, const Segment &s)
{
    double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - s.a.x) * dx + (p.y - s.a.y) * dy) / len2 : 0;
    t = std::max(0.0, std::min(1.0, t));
    return std::hypot(p.x - (s.a.x + t * dx), p.y - (s.a.y + t * dy));
}

// Distance along the ray (origin, unit direction d) to segment s, or -1.
double raySegment(Point o, double dx, double dy, const Segment &s)
{
    double ex = s.b.x - s.a.x, ey = s.b.y - s.a.y;
    double denom = dx * ey - dy * ex;
    if (std::fabs(denom) < 1e-12)
        return -1; // parallel
    double wx = s.a.x - o.x, wy = s.a.y - o.y;
    double t = (wx * ey - wy * ex) / denom;  // along the ray
    double u = (wx * dy - wy * dx) / denom;  // along the segment
    if (t < 0 || u < 0 || u > 1)
        return -1;
    return t;
}

} // namespace

void World::addRoom(Point c1, Point c2) { shapes_.push_back({"room", rectangle(c1, c2)}); }
void World::addBox(Point c1, Point c2) { shapes_.push_back({"box", rectangle(c1, c2)}); }
void World::addWall(Point a, Point b) { shapes_.push_back({"wall", {{a, b}}}); }

void World::setStart(double x, double y, double th)
{
    start_.given = true;
    start_.x = x;
    start_.y = y;
    start_.th = th;
}

double World::rayCast(Point origin, double thDeg, double maxRange) const
{
    double dx = std::cos(thDeg * M_PI / 180), dy = std::sin(thDeg * M_PI / 180);
    double best = maxRange;
    for (const Shape &shape : shapes_)
        for (const Segment &s : shape.segments) {
            double t = raySegment(origin, dx, dy, s);
            if (t >= 0 && t < best)
                best = t;
        }
    return best;
}

double World::clearance(Point p) const
{
    double best = std::numeric_limits<double>::max();
    for (const Shape &shape : shapes_)
        for (const Segment &s : shape.segments)
            best = std::min(best, pointSegmentDistance(p, s));
    return best;
}

bool World::parse(const std::string &text, const std::string &name, World &out,
                  std::string &error)
{
    out = World();
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword))
            continue;
        double v[4];
        int want = keyword == "start" ? 3 : 4;
        if (keyword != "room" && keyword != "box" && keyword != "wall" && keyword != "start") {
            error = name + ":" + std::to_string(lineNo) + ": unknown keyword '" + keyword + "'";
            return false;
        }
        for (int i = 0; i < want; ++i) {
            if (!(words >> v[i]) || !std::isfinite(v[i])) {
                error = name + ":" + std::to_string(lineNo) + ": '" + keyword + "' needs " +
                        std::to_string(want) + " numbers";
                return false;
            }
        }
        std::string extra;
        if (words >> extra) {
            error = name + ":" + std::to_string(lineNo) + ": unexpected '" + extra + "'";
            return false;
        }
        if (keyword == "room")
            out.addRoom({v[0], v[1]}, {v[2], v[3]});
        else if (keyword == "box")
            out.addBox({v[0], v[1]}, {v[2], v[3]});
        else if (keyword == "wall")
            out.addWall({v[0], v[1]}, {v[2], v[3]});
        else
            out.setStart(v[0], v[1], v[2]);
    }
    return true;
}

bool World::load(const std::string &path, World &out, std::string &error)
{
    std::ifstream file(path);
    if (!file) {
        error = path + ": cannot open";
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    return parse(text.str(), path, out, error);
}

World World::standard()
{
    World w;
    w.addRoom({0, 0}, {8000, 6000});
    w.addBox({2500, 3500}, {3100, 4100});
    w.addBox({5200, 1200}, {5800, 1800});
    w.addBox({5500, 4200}, {6100, 4800});
    w.setStart(1500, 1500, 0);
    return w;
}

} // namespace robotsim
