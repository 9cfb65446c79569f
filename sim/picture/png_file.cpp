#include "picture/png_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include <png.h>

namespace dockworld {

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(width > 0 ? width : 1), height_(height > 0 ? height : 1),
      pixels_(static_cast<size_t>(width_) * height_ * 3)
{
    for (size_t i = 0; i < pixels_.size(); i += 3) {
        pixels_[i] = fill.r;
        pixels_[i + 1] = fill.g;
        pixels_[i + 2] = fill.b;
    }
}

Rgb Canvas::at(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return {};
    const size_t i = (static_cast<size_t>(y) * width_ + x) * 3;
    return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
}

void Canvas::set(int x, int y, Rgb colour)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    const size_t i = (static_cast<size_t>(y) * width_ + x) * 3;
    pixels_[i] = colour.r;
    pixels_[i + 1] = colour.g;
    pixels_[i + 2] = colour.b;
}

void Canvas::line(double x0, double y0, double x1, double y1, Rgb colour, int thickness)
{
    const double len = std::hypot(x1 - x0, y1 - y0);
    const int steps = std::max(1, static_cast<int>(std::ceil(len * 2.0)));
    const double r = 0.5 * (thickness - 1);
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const double x = x0 + t * (x1 - x0);
        const double y = y0 + t * (y1 - y0);
        if (thickness <= 1)
            set(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)), colour);
        else
            disc(x, y, r, colour);
    }
}

void Canvas::disc(double cx, double cy, double radius, Rgb colour)
{
    const int x0 = static_cast<int>(std::floor(cx - radius));
    const int x1 = static_cast<int>(std::ceil(cx + radius));
    const int y0 = static_cast<int>(std::floor(cy - radius));
    const int y1 = static_cast<int>(std::ceil(cy + radius));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius + 0.25)
                set(x, y, colour);
}

void Canvas::ring(double cx, double cy, double radius, Rgb colour)
{
    const int steps = std::max(16, static_cast<int>(radius * 8.0));
    for (int i = 0; i < steps; ++i) {
        const double a0 = 2.0 * M_PI * i / steps;
        const double a1 = 2.0 * M_PI * (i + 1) / steps;
        line(cx + radius * std::cos(a0), cy + radius * std::sin(a0), cx + radius * std::cos(a1),
             cy + radius * std::sin(a1), colour, 2);
    }
}

bool Canvas::savePng(const std::string &path, std::string *error) const
{
    const auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file)
        return fail(path + ": " + std::strerror(errno));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return fail("out of memory");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return fail("out of memory");
    }
    // libpng reports errors by long-jumping back here; nothing with a
    // destructor is created between setjmp and the end of the writing.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return fail(path + ": write failed");
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(width_), static_cast<png_uint_32>(height_), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height_; ++y)
        png_write_row(png, const_cast<png_bytep>(pixels_.data() + static_cast<size_t>(y) * width_ * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0)
        return fail(path + ": " + std::strerror(errno));
    return true;
}

} // namespace dockworld
