#include "y4m_video.h"

#include <fstream>

namespace visiontest {

namespace {
constexpr int kWidth = 640, kHeight = 480;
constexpr unsigned char kDark = 20, kBright = 230;
} // namespace

LumaFrame::LumaFrame() : planes_(kWidth * kHeight * 3 / 2, 128)
{
    std::fill(planes_.begin(), planes_.begin() + kWidth * kHeight, kDark);
}

void LumaFrame::disc(int row, int col, int radius)
{
    for (int r = -radius; r <= radius; ++r)
        for (int c = -radius; c <= radius; ++c)
            if (r * r + c * c <= radius * radius) dot(row + r, col + c);
}

void LumaFrame::dot(int row, int col) { planes_[row * kWidth + col] = kBright; }

bool writeY4m(const std::string &path, const std::vector<LumaFrame> &frames)
{
    std::ofstream out(path, std::ios::binary);
    out << "YUV4MPEG2 W640 H480 F30:1 Ip A1:1 C420jpeg\n";
    for (const LumaFrame &frame : frames) {
        out << "FRAME\n";
        out.write(reinterpret_cast<const char *>(frame.planes().data()),
                  static_cast<std::streamsize>(frame.planes().size()));
    }
    return static_cast<bool>(out);
}

} // namespace visiontest
