// The --view window: the simulated camera picture as the vision program
// gets it, with the markers it published drawn on top (left column green,
// right column red), in the library's display window.
#pragma once

#include "camera/camera_render.h"
#include "kelvix.h"
#include "target_report.h"

namespace dockworld {

class LiveView {
public:
    LiveView();
    ~LiveView();
    LiveView(const LiveView &) = delete;
    LiveView &operator=(const LiveView &) = delete;

    bool isOpen() const { return open_; }
    // Shows `frame` with the markers of `report`.
    void show(const YuvFrame &frame, const TargetReport &report);

    // The video-range YUV 4:2:0 frame as an RGB picture, the conversion the
    // grabber does. `image` must be a width x height RGB image.
    static void toRgb(const YuvFrame &frame, kxImage *image);

private:
    kxImage *image_ = nullptr;
    bool open_ = false;
};

} // namespace dockworld
