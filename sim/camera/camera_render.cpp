#include "camera/camera_render.h"

#include <algorithm>
#include <cmath>

namespace dockworld {

namespace {

constexpr size_t kNoiseTableSize = 1u << 20;

struct Box {
    int col0, row0, col1, row1; // inclusive
    bool empty() const { return col1 < col0 || row1 < row0; }
};

// Horizontal unit vector along a flat emitter, to the right as seen from
// in front of it.
Vec2 acrossOf(Vec2 normal) { return {normal.y, -normal.x}; }

} // namespace

CameraRenderer::CameraRenderer(const CameraModel &camera, const RenderSettings &settings, uint32_t seed)
    : camera_(camera), settings_(settings), random_(seed), noise_(kNoiseTableSize)
{
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (auto &n : noise_)
        n = static_cast<int8_t>(std::clamp(std::lround(gauss(random_) * 16.0), -127L, 127L));
    const auto noisy = [this](double base, double weight) {
        std::vector<uint8_t> table(kNoiseTableSize);
        const double scale = weight * settings_.noiseSigma / 16.0;
        for (size_t i = 0; i < kNoiseTableSize; ++i)
            table[i] = static_cast<uint8_t>(std::clamp(base + noise_[i] * scale, 0.0, 255.0) + 0.5);
        return table;
    };
    noisyWall_ = noisy(settings_.backgroundLuma, 1.0);
    noisyFloor_ = noisy(settings_.floorLuma, 1.0);
    noisyChroma_ = noisy(128.0, 0.5);
    rowSource_.resize(static_cast<size_t>(camera.height));
    luma_.resize(static_cast<size_t>(camera.width) * camera.height);
    chromaU_.resize(static_cast<size_t>(camera.width / 2) * (camera.height / 2));
    chromaV_.resize(chromaU_.size());
}

void CameraRenderer::drawBackground(const CameraFrame &view)
{
    // Rows below the horizon see the floor, slightly brighter than the walls.
    const double horizon = camera_.centreRow - camera_.focalPx * view.forward.z /
                                                   std::max(1e-6, std::sqrt(1.0 - view.forward.z * view.forward.z));
    for (int row = 0; row < camera_.height; ++row) {
        const float value = static_cast<float>(row > horizon ? settings_.floorLuma : settings_.backgroundLuma);
        rowSource_[static_cast<size_t>(row)] = row > horizon ? noisyFloor_.data() : noisyWall_.data();
        std::fill_n(luma_.begin() + static_cast<long>(row) * camera_.width, camera_.width, value);
    }
    std::fill(chromaU_.begin(), chromaU_.end(), 0.0f);
    std::fill(chromaV_.begin(), chromaV_.end(), 0.0f);
}

void CameraRenderer::drawEmitter(const CameraFrame &view, const Emitter &e)
{
    const bool flat = e.shape != Emitter::Shape::Ball;
    const Vec3 normal3{e.normal.x, e.normal.y, 0.0};
    if (flat && dot(view.centre - e.centre, normal3) <= 0.0)
        return; // seen from behind
    const double halfW = e.shape == Emitter::Shape::Rectangle ? e.halfWidth : e.radius;
    const double halfH = e.shape == Emitter::Shape::Rectangle ? e.halfHeight : e.radius;

    // Picture area: the projected corners of the emitter's bounding square,
    // widened by the blur.
    const Vec2 across2 = acrossOf(e.normal);
    Vec3 across{across2.x, across2.y, 0.0};
    if (!flat) {
        // A ball: its silhouette lies in the plane facing the camera.
        const Vec3 toCam = view.centre - e.centre;
        const double h = std::hypot(toCam.x, toCam.y);
        across = h > 1e-9 ? Vec3{toCam.y / h, -toCam.x / h, 0.0} : Vec3{1.0, 0.0, 0.0};
    }
    double minCol = 1e9, maxCol = -1e9, minRow = 1e9, maxRow = -1e9;
    for (double sx : {-1.0, 1.0}) {
        for (double sz : {-1.0, 1.0}) {
            const Vec3 corner = e.centre + (sx * halfW) * across + Vec3{0.0, 0.0, sz * halfH};
            const ImagePoint p = project(camera_, view, corner);
            if (!p.inFront())
                return; // partly behind the camera: too close to matter here
            minCol = std::min(minCol, p.col);
            maxCol = std::max(maxCol, p.col);
            minRow = std::min(minRow, p.row);
            maxRow = std::max(maxRow, p.row);
        }
    }
    const double margin = 4.0 * settings_.blurPx + 2.0;
    Box box{std::max(0, static_cast<int>(std::floor(minCol - margin))),
            std::max(0, static_cast<int>(std::floor(minRow - margin))),
            std::min(camera_.width - 1, static_cast<int>(std::ceil(maxCol + margin))),
            std::min(camera_.height - 1, static_cast<int>(std::ceil(maxRow + margin)))};
    if (box.empty())
        return;

    // Flat lights look dimmer from the side: their diffusers shine mostly
    // straight ahead.
    double peak = e.luma;
    if (flat) {
        const Vec3 toCam = view.centre - e.centre;
        const double cosView = dot(toCam, normal3) / std::sqrt(dot(toCam, toCam));
        peak *= 0.6 + 0.4 * cosView;
    }
    for (int row = box.row0; row <= box.row1; ++row)
        rowSource_[static_cast<size_t>(row)] = nullptr;
    const double sqrt2 = std::sqrt(2.0);
    const int halfWidthPx = camera_.width / 2;
    for (int row = box.row0; row <= box.row1; ++row) {
        for (int col = box.col0; col <= box.col1; ++col) {
            // Pixel (col, row) is centred on image coordinates (col, row).
            const Vec3 ray = pixelRay(camera_, view, col, row);
            double outside; // metres outside the emitter's edge (negative inside)
            double depth;   // along the optical axis, metres
            if (flat) {
                const double denom = dot(ray, normal3);
                if (denom >= -1e-12)
                    continue;
                const double t = dot(e.centre - view.centre, normal3) / denom;
                if (t <= 0.0)
                    continue;
                const Vec3 hit = view.centre + t * ray - e.centre;
                const double x = dot(hit, across);
                const double z = hit.z;
                if (e.shape == Emitter::Shape::Disc)
                    outside = std::hypot(x, z) - e.radius;
                else
                    outside = std::max(std::fabs(x) - e.halfWidth, std::fabs(z) - e.halfHeight);
                depth = t; // ray has unit length along the optical axis
            } else {
                // Closest approach of the ray to the ball's centre.
                const Vec3 oc = e.centre - view.centre;
                const double t = dot(oc, ray) / dot(ray, ray);
                if (t <= 0.0)
                    continue;
                const Vec3 miss = view.centre + t * ray - e.centre;
                outside = std::sqrt(dot(miss, miss)) - e.radius;
                depth = t;
            }
            // Edge blurred by a Gaussian of blurPx pixels, converted to metres
            // at the emitter's depth.
            const double sigma = std::max(1e-6, settings_.blurPx * depth / camera_.focalPx);
            const double cover = 0.5 * std::erfc(outside / (sigma * sqrt2));
            if (cover < 1e-3)
                continue;
            luma_[static_cast<size_t>(row) * camera_.width + col] += static_cast<float>(cover * peak);
            if ((row & 1) == 0 && (col & 1) == 0) {
                const size_t c = static_cast<size_t>(row / 2) * halfWidthPx + col / 2;
                chromaU_[c] += static_cast<float>(cover * e.chromaU);
                chromaV_[c] += static_cast<float>(cover * e.chromaV);
            }
        }
    }
}

void CameraRenderer::finish(YuvFrame &frame)
{
    // Noise from the table, read on from a random start. This runs for every
    // pixel of every frame: rows that hold nothing but the background are
    // copied from the tables with the noise already added.
    const float scale = static_cast<float>(settings_.noiseSigma / 16.0);
    size_t n = random_() % kNoiseTableSize;
    const auto addNoise = [&](const float *in, float base, float weight, const uint8_t *flat, uint8_t *out,
                              size_t count) {
        for (size_t done = 0; done < count;) {
            const size_t run = std::min(count - done, kNoiseTableSize - n);
            if (flat) {
                std::copy_n(flat + n, run, out + done);
            } else {
                const int8_t *noise = noise_.data() + n;
                for (size_t i = 0; i < run; ++i) {
                    const float v = base + in[done + i] + weight * static_cast<float>(noise[i]);
                    out[done + i] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f);
                }
            }
            done += run;
            n = (n + run) & (kNoiseTableSize - 1);
        }
    };
    const size_t width = static_cast<size_t>(camera_.width), halfWidth = width / 2;
    for (size_t row = 0; row < rowSource_.size(); ++row)
        addNoise(luma_.data() + row * width, 0.0f, scale, rowSource_[row], frame.luma() + row * width, width);
    // A chroma row is flat when both luma rows it covers are.
    for (size_t row = 0; row < rowSource_.size() / 2; ++row) {
        const bool flat = rowSource_[2 * row] && rowSource_[2 * row + 1];
        const uint8_t *source = flat ? noisyChroma_.data() : nullptr;
        addNoise(chromaU_.data() + row * halfWidth, 128.0f, 0.5f * scale, source, frame.chromaU() + row * halfWidth,
                 halfWidth);
        addNoise(chromaV_.data() + row * halfWidth, 128.0f, 0.5f * scale, source, frame.chromaV() + row * halfWidth,
                 halfWidth);
    }
}

void CameraRenderer::render(const Pose &robot, const std::vector<Emitter> &emitters, const LineOfSight &clear,
                            YuvFrame &frame)
{
    if (frame.width != camera_.width || frame.height != camera_.height)
        frame = YuvFrame(camera_.width, camera_.height);
    const CameraFrame view = cameraFrame(camera_, robot);
    drawBackground(view);
    for (const Emitter &e : emitters) {
        if (clear && !clear(view.centre, e.centre))
            continue;
        drawEmitter(view, e);
    }
    finish(frame);
}

} // namespace dockworld
