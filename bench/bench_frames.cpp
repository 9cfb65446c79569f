#include "bench_frames.h"

#include <random>

namespace benchframes {

const char *const kKindNames[kKinds] = {"dark", "six_markers", "six_markers_200_noise", "half_bright"};

// The station at about a metre: six discs of radius 5 (81 pixels).
const int kStation[6][2] = {{200, 250}, {202, 400}, {250, 248}, {251, 402}, {300, 252}, {299, 398}};

namespace {

uint8_t &luma(std::vector<uint8_t> &frame, int row, int col) { return frame[size_t(row) * kWidth + col]; }

// Luma 28 still converts to a channel value of 13 (dark), 40 to 27 (bright).
std::vector<uint8_t> darkFrame(std::mt19937 &random)
{
    std::vector<uint8_t> frame(kFrameBytes, 128);
    for (size_t i = 0; i < kLumaBytes; ++i) frame[i] = uint8_t(random() % 29);
    return frame;
}

void disc(std::vector<uint8_t> &frame, int row, int col, int radius)
{
    for (int r = -radius; r <= radius; ++r)
        for (int c = -radius; c <= radius; ++c)
            if (r * r + c * c <= radius * radius) luma(frame, row + r, col + c) = 230;
}

std::vector<uint8_t> sixMarkers(std::mt19937 &random)
{
    std::vector<uint8_t> frame = darkFrame(random);
    for (const auto &marker : kStation) disc(frame, marker[0], marker[1], 5);
    return frame;
}

// 200 small reflections away from the markers: up to 12 pixels above and
// below the row band, up to 5 inside it (too small to be candidates).
std::vector<uint8_t> sixMarkersAndNoise(std::mt19937 &random)
{
    std::vector<uint8_t> frame = sixMarkers(random);
    for (int placed = 0; placed < 200;) {
        int row = 2 + int(random() % 474), col = 2 + int(random() % 634);
        if (row > 185 && row < 315 && col > 235 && col < 417) continue;
        bool inBand = row > 155 && row < 375;
        int height = inBand ? 1 : 1 + int(random() % 3), width = 1 + int(random() % (inBand ? 5 : 4));
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c) luma(frame, row + r, col + c) = 200;
        ++placed;
    }
    return frame;
}

std::vector<uint8_t> halfBright(std::mt19937 &random)
{
    std::vector<uint8_t> frame(kFrameBytes, 128);
    for (size_t i = 0; i < kLumaBytes; ++i) frame[i] = random() % 2 ? 40 + random() % 216 : random() % 29;
    return frame;
}

} // namespace

std::vector<uint8_t> makeFrame(int kind)
{
    std::mt19937 random(1000 + kind);
    switch (kind) {
    case kDark: return darkFrame(random);
    case kSixMarkers: return sixMarkers(random);
    case kSixMarkersAndNoise: return sixMarkersAndNoise(random);
    default: return halfBright(random);
    }
}

std::string streamHeader() { return "YUV4MPEG2 W640 H480 F30:1 Ip A1:1 C420jpeg\n"; }

} // namespace benchframes
