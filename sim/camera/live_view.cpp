#include "camera/live_view.h"

#include <algorithm>
#include <csignal>

namespace dockworld {

LiveView::LiveView()
{
    image_ = kxImageCreate(RGB, 640, 480);
    // The display installs its own clean-up for these signals; the trial
    // runner's handlers must stay in charge so that it can stop its programs.
    const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction saved[3];
    for (int i = 0; i < 3; ++i)
        sigaction(signals[i], nullptr, &saved[i]);
    open_ = image_ && kxDisplayInit(640, 480, 0) >= 0;
    for (int i = 0; i < 3; ++i)
        sigaction(signals[i], &saved[i], nullptr);
}

LiveView::~LiveView()
{
    if (open_)
        kxDisplayShutdown();
    kxImageDestroy(image_);
}

void LiveView::toRgb(const YuvFrame &frame, kxImage *image)
{
    const int w = frame.width, h = frame.height;
    const uint8_t *y = frame.bytes.data();
    const uint8_t *u = y + static_cast<size_t>(w) * h;
    const uint8_t *v = u + static_cast<size_t>(w / 2) * (h / 2);
    const auto limit = [](double x) { return static_cast<uint16_t>(std::clamp(static_cast<int>(x), 0, 255)); };
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const size_t c = static_cast<size_t>(row / 2) * (w / 2) + col / 2;
            const double luma = (y[static_cast<size_t>(row) * w + col] - 16) * 1.1644;
            const double cb = u[c] - 128.0, cr = v[c] - 128.0;
            uint16_t *px = image->data + (static_cast<size_t>(row) * w + col) * 3;
            px[0] = limit(luma + 1.596 * cr);
            px[1] = limit(luma - 0.3918 * cb - 0.813 * cr);
            px[2] = limit(luma + 2.0172 * cb);
        }
    }
}

void LiveView::show(const YuvFrame &frame, const TargetReport &report)
{
    if (!open_ || frame.width != image_->width || frame.height != image_->height)
        return;
    toRgb(frame, image_);
    const int32_t rows[6] = {report.ulRow, report.urRow, report.mlRow, report.mrRow, report.llRow, report.lrRow};
    const int32_t cols[6] = {report.ulCol, report.urCol, report.mlCol, report.mrCol, report.llCol, report.lrCol};
    for (int k = 0; k < 6; ++k) {
        if (rows[k] == 0)
            continue;
        const kxWindow box{cols[k] - 8, rows[k] - 8, 17, 17};
        const bool left = k % 2 == 0;
        kxDrawCross(image_, &box, left ? 0 : 255, left ? 255 : 0, 0);
    }
    kxShow(image_, 0);
}

} // namespace dockworld
