// The simulated webcam picture: a dark room, the station's markers as
// blurred bright discs, distracting lights, and sensor noise, as planar
// YUV 4:2:0 (video range: luma 16 is black and 235 white, as webcams
// deliver it; chroma planes at half resolution).
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "world/camera_model.h"
#include "world/docking_room.h"
#include "world/emitter.h"

namespace dockworld {

struct YuvFrame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes; // Y plane, then U plane, then V plane

    YuvFrame() = default;
    YuvFrame(int w, int h) : width(w), height(h), bytes(static_cast<size_t>(w) * h * 3 / 2) {}
    uint8_t *luma() { return bytes.data(); }
    const uint8_t *luma() const { return bytes.data(); }
    uint8_t *chromaU() { return bytes.data() + static_cast<size_t>(width) * height; }
    uint8_t *chromaV() { return chromaU() + static_cast<size_t>(width / 2) * (height / 2); }
    uint8_t lumaAt(int col, int row) const { return bytes[static_cast<size_t>(row) * width + col]; }
};

struct RenderSettings {
    // A dim room at the camera's fixed short exposure: a little above black,
    // well under the vision threshold (a channel mean above 15 after the
    // conversion to RGB, that is luma 30 or more).
    double backgroundLuma = 18.0;
    double floorLuma = 20.0; // the floor catches a little more light
    double noiseSigma = 1.5;     // luma noise, grey levels
    double blurPx = 0.6;         // lens and focus blur, one standard deviation in pixels
};

// The walls and floor as the camera's fixed exposure sees them under a
// lighting preset: the office's are brighter, still under the threshold.
RenderSettings renderSettingsFor(Lights lights);

// Whether the straight line between two points of the room is free of
// obstacles (walls, furniture). Used once per emitter.
using LineOfSight = std::function<bool(const Vec3 &from, const Vec3 &to)>;

class CameraRenderer {
public:
    explicit CameraRenderer(const CameraModel &camera, const RenderSettings &settings = RenderSettings(),
                            uint32_t seed = 1);

    const CameraModel &camera() const { return camera_; }
    // Draws the view from `robot` into `frame` (resized to the camera's size).
    void render(const Pose &robot, const std::vector<Emitter> &emitters, const LineOfSight &clear,
                YuvFrame &frame);
    // Draws one exposure from the body poses it spans (first to last, evenly
    // in time): the background from the middle one; the small lights
    // (markers, bulbs) swept along the way their image moves from the first
    // to the last (motion blur); the large ones (windows, panels) blurred by
    // as much.
    void render(const std::vector<BodyPose> &exposure, const std::vector<Emitter> &emitters,
                const LineOfSight &clear, YuvFrame &frame);

private:
    void drawBackground(const CameraFrame &view);
    // `smearPx`: extra Gaussian blur standing for the motion during the
    // exposure, for lights drawn once per frame.
    // (sweepCol, sweepRow): how far the light's image moves during the
    // exposure, centred on the middle pose (motion blur of small lights).
    void drawEmitter(const CameraFrame &view, const Emitter &emitter, double smearPx = 0.0, double sweepCol = 0.0,
                     double sweepRow = 0.0);
    void finish(YuvFrame &frame);

    CameraModel camera_;
    RenderSettings settings_;
    std::mt19937 random_;
    std::vector<int8_t> noise_;    // a long table of Gaussian samples, read from a random start
    // The same noise already added to the flat values the background takes
    // (wall, floor, neutral chroma), as bytes: rows no emitter touched are
    // copied from these.
    std::vector<uint8_t> noisyWall_, noisyFloor_, noisyChroma_;
    std::vector<const uint8_t *> rowSource_; // per luma row: its background's noisy table, or null when mixed
    // Per luma row: the columns lights were drawn into this frame (none: to < from).
    struct Span {
        int from = std::numeric_limits<int>::max();
        int to = -1;
    };
    std::vector<Span> touched_;
    // Per pixel, through a distorting lens: the ideal normalised image
    // coordinates it sees (NaN beyond the image circle); empty for a pin-hole.
    std::vector<float> idealX_, idealY_;
    bool idealRay(const CameraFrame &view, int col, int row, Vec3 &ray) const;
    std::vector<float> tile_;      // one swept light's cover at its middle pose, with an empty border
    std::vector<double> sweepSum_; // its sum over the shifts along the sweep
    std::vector<float> luma_;      // full resolution
    std::vector<float> chromaU_;   // half resolution, offsets from 128
    std::vector<float> chromaV_;
};


} // namespace dockworld
