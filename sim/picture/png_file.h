// A plain 8-bit RGB picture that can be drawn on and saved as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dockworld {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

class Canvas {
public:
    Canvas(int width, int height, Rgb fill = {255, 255, 255});

    int width() const { return width_; }
    int height() const { return height_; }
    Rgb at(int x, int y) const;
    // Points outside the picture are ignored by every drawing call.
    void set(int x, int y, Rgb colour);
    void line(double x0, double y0, double x1, double y1, Rgb colour, int thickness = 1);
    void disc(double cx, double cy, double radius, Rgb colour);
    void ring(double cx, double cy, double radius, Rgb colour);

    // Writes the picture to `path`; false (with errno-style text in `error`)
    // when the file cannot be written.
    bool savePng(const std::string &path, std::string *error = nullptr) const;

private:
    int width_;
    int height_;
    std::vector<uint8_t> pixels_;
};

} // namespace dockworld
