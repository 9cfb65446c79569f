#include "camera/camera_render.h"

#include <algorithm>
#include <cmath>

namespace dockworld {

namespace {

constexpr size_t kNoiseTableSize = 1u << 20;

struct PixelBox {
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
    if (camera.distorted()) {
        // Undistorting takes a few Newton steps: once per pixel, here.
        idealX_.resize(static_cast<size_t>(camera.width) * camera.height);
        idealY_.resize(idealX_.size());
        for (int row = 0; row < camera.height; ++row) {
            for (int col = 0; col < camera.width; ++col) {
                double x = (col - camera.centreCol) / camera.focalPx;
                double y = (row - camera.centreRow) / camera.focalPx;
                const bool seen = undistortNormalised(camera, x, y);
                const size_t i = static_cast<size_t>(row) * camera.width + col;
                idealX_[i] = seen ? static_cast<float>(x) : std::nanf("");
                idealY_[i] = seen ? static_cast<float>(y) : std::nanf("");
            }
        }
    }
    luma_.resize(static_cast<size_t>(camera.width) * camera.height);
    chromaU_.resize(static_cast<size_t>(camera.width / 2) * (camera.height / 2));
    chromaV_.resize(chromaU_.size());
}

bool CameraRenderer::idealRay(const CameraFrame &view, int col, int row, Vec3 &ray) const
{
    if (idealX_.empty())
        return pixelRay(camera_, view, col, row, ray);
    const size_t i = static_cast<size_t>(row) * camera_.width + col;
    const double x = idealX_[i], y = idealY_[i];
    if (std::isnan(x))
        return false;
    ray = view.forward + (-x) * view.left + (-y) * view.up;
    return true;
}

void CameraRenderer::drawBackground(const CameraFrame &view)
{
    // Rays below the horizon see the floor, slightly brighter than the walls.
    // The horizon is where a ray is level: normalised y = forward.z / up.z,
    // one row without distortion, a gentle curve with it.
    const double levelY = view.forward.z / std::max(1e-6, view.up.z);
    const double horizon = camera_.centreRow + camera_.focalPx * levelY;
    const auto floorAt = [&](int col, int row) {
        const float y = idealY_[static_cast<size_t>(row) * camera_.width + col];
        return !std::isnan(y) && y > levelY; // beyond the image circle: dark as the wall
    };
    const float wall = static_cast<float>(settings_.backgroundLuma);
    const float floor = static_cast<float>(settings_.floorLuma);
    for (int row = 0; row < camera_.height; ++row) {
        float *out = luma_.data() + static_cast<long>(row) * camera_.width;
        bool isFloor = row > horizon;
        bool mixed = false;
        if (camera_.distorted()) {
            // Sample the row; only rows the curve crosses are filled per pixel.
            isFloor = floorAt(0, row);
            for (int col = 32; col < camera_.width + 32 && !mixed; col += 32)
                mixed = floorAt(std::min(col, camera_.width - 1), row) != isFloor;
        }
        if (mixed) {
            rowSource_[static_cast<size_t>(row)] = nullptr;
            for (int col = 0; col < camera_.width; ++col)
                out[col] = floorAt(col, row) ? floor : wall;
            continue;
        }
        rowSource_[static_cast<size_t>(row)] = isFloor ? noisyFloor_.data() : noisyWall_.data();
        std::fill_n(out, camera_.width, isFloor ? floor : wall);
    }
    std::fill(chromaU_.begin(), chromaU_.end(), 0.0f);
    std::fill(chromaV_.begin(), chromaV_.end(), 0.0f);
}

void CameraRenderer::drawEmitter(const CameraFrame &view, const Emitter &e, double smearPx, double sweepCol,
                                 double sweepRow)
{
    const bool panel = e.shape == Emitter::Shape::Panel;
    const bool flat = e.shape == Emitter::Shape::Disc || e.shape == Emitter::Shape::Rectangle;
    const Vec3 normal3{e.normal.x, e.normal.y, 0.0};
    if (flat && dot(view.centre - e.centre, normal3) <= 0.0)
        return; // seen from behind
    const bool square = e.shape == Emitter::Shape::Rectangle || panel;
    const double halfW = square ? e.halfWidth : e.radius;
    const double halfH = square ? e.halfHeight : e.radius;

    // Picture area: the projected corners, edge middles and centre of the
    // emitter's bounding square (a distorted edge bows out between its
    // corners), widened by the blur.
    const Vec2 across2 = panel ? Vec2{1.0, 0.0} : acrossOf(e.normal);
    Vec3 across{across2.x, across2.y, 0.0};
    const Vec3 second = panel ? Vec3{0.0, 1.0, 0.0} : Vec3{0.0, 0.0, 1.0};
    if (!flat) {
        // A ball: its silhouette lies in the plane facing the camera.
        const Vec3 toCam = view.centre - e.centre;
        const double h = std::hypot(toCam.x, toCam.y);
        across = h > 1e-9 ? Vec3{toCam.y / h, -toCam.x / h, 0.0} : Vec3{1.0, 0.0, 0.0};
    }
    double minCol = 1e9, maxCol = -1e9, minRow = 1e9, maxRow = -1e9;
    for (double sx : {-1.0, 0.0, 1.0}) {
        for (double sz : {-1.0, 0.0, 1.0}) {
            const Vec3 corner = e.centre + (sx * halfW) * across + (sz * halfH) * second;
            const ImagePoint p = project(camera_, view, corner);
            const Vec3 toCorner = corner - view.centre;
            // Partly behind the camera, or more than 75 degrees off its axis
            // (a ceiling light overhead): too close to matter here, and its
            // box would cover the whole picture. No light is big enough to
            // reach from there into the picture.
            if (!p.inFront() || p.depth < 0.26 * std::sqrt(dot(toCorner, toCorner)))
                return;
            minCol = std::min(minCol, p.col);
            maxCol = std::max(maxCol, p.col);
            minRow = std::min(minRow, p.row);
            maxRow = std::max(maxRow, p.row);
        }
    }
    const double blurPx = std::hypot(std::hypot(settings_.blurPx, e.extraBlurPx), smearPx);
    const double margin = 4.0 * blurPx + 2.0;
    PixelBox box{std::max(0, static_cast<int>(std::floor(minCol - margin))),
            std::max(0, static_cast<int>(std::floor(minRow - margin))),
            std::min(camera_.width - 1, static_cast<int>(std::ceil(maxCol + margin))),
            std::min(camera_.height - 1, static_cast<int>(std::ceil(maxRow + margin)))};
    if (box.empty())
        return;
    // Swept over the exposure: the light's image moves (sweepCol, sweepRow)
    // about its place at the middle pose; it is drawn there once into a tile
    // and laid down shifted along the sweep.
    const double sweep = std::hypot(sweepCol, sweepRow);
    const bool swept = sweep >= 0.25;
    PixelBox out = box;
    if (swept) {
        const int reach = static_cast<int>(std::ceil(0.5 * sweep)) + 1;
        out = {std::max(0, box.col0 - reach), std::max(0, box.row0 - reach),
               std::min(camera_.width - 1, box.col1 + reach), std::min(camera_.height - 1, box.row1 + reach)};
        tile_.assign(static_cast<size_t>(box.col1 - box.col0 + 1) * (box.row1 - box.row0 + 1), 0.0f);
    }

    // Flat lights look dimmer from the side: their diffusers shine mostly
    // straight ahead.
    double peak = e.luma;
    if (flat) {
        const Vec3 toCam = view.centre - e.centre;
        const double cosView = dot(toCam, normal3) / std::sqrt(dot(toCam, toCam));
        peak *= 0.6 + 0.4 * cosView;
    }
    for (int row = out.row0; row <= out.row1; ++row)
        rowSource_[static_cast<size_t>(row)] = nullptr;
    const double sqrt2 = std::sqrt(2.0);
    const int halfWidthPx = camera_.width / 2;
    const auto deposit = [&](int col, int row, double cover) {
        luma_[static_cast<size_t>(row) * camera_.width + col] += static_cast<float>(cover * peak);
        if ((row & 1) == 0 && (col & 1) == 0) {
            const size_t c = static_cast<size_t>(row / 2) * halfWidthPx + col / 2;
            chromaU_[c] += static_cast<float>(cover * e.chromaU);
            chromaV_[c] += static_cast<float>(cover * e.chromaV);
        }
    };
    const int tileWidth = box.col1 - box.col0 + 1;
    for (int row = box.row0; row <= box.row1; ++row) {
        for (int col = box.col0; col <= box.col1; ++col) {
            // Pixel (col, row) is centred on image coordinates (col, row).
            Vec3 ray;
            if (!idealRay(view, col, row, ray))
                continue;
            double outside; // metres outside the emitter's edge (negative inside)
            double depth;   // along the optical axis, metres
            if (panel) {
                if (std::fabs(ray.z) < 1e-12)
                    continue;
                const double t = (e.centre.z - view.centre.z) / ray.z;
                if (t <= 0.0)
                    continue;
                const Vec3 hit = view.centre + t * ray - e.centre;
                outside = std::max(std::fabs(hit.x) - e.halfWidth, std::fabs(hit.y) - e.halfHeight);
                depth = t;
            } else if (flat) {
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
                    outside = std::sqrt(x * x + z * z) - e.radius;
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
            const double sigma = std::max(1e-6, blurPx * depth / camera_.focalPx);
            if (outside > 3.1 * sigma)
                continue; // outside the blurred edge: less than 1e-3 of the light, drawn as nothing
            // Well inside the edge the light covers the pixel (erfc there
            // differs from 2 by less than 1e-6): no need to compute it.
            const double cover = outside < -5.0 * sigma ? 1.0 : 0.5 * std::erfc(outside / (sigma * sqrt2));
            if (swept)
                tile_[static_cast<size_t>(row - box.row0) * tileWidth + (col - box.col0)] = static_cast<float>(cover);
            else if (cover >= 1e-3)
                deposit(col, row, cover);
        }
    }
    if (!swept)
        return;
    // The tile at evenly spaced shifts along the sweep, bilinearly, at most
    // about 1.5 px apart (and no more than 12: a fast turn's long streak
    // is drawn as overlapping copies of the light).
    const int steps = std::clamp(static_cast<int>(std::ceil(sweep / 1.5)) + 1, 2, 12);
    const int tileHeight = box.row1 - box.row0 + 1;
    const auto tileAt = [&](int c, int r) {
        return c < 0 || r < 0 || c >= tileWidth || r >= tileHeight ? 0.0f
                                                                   : tile_[static_cast<size_t>(r) * tileWidth + c];
    };
    for (int row = out.row0; row <= out.row1; ++row) {
        for (int col = out.col0; col <= out.col1; ++col) {
            double sum = 0.0;
            for (int k = 0; k < steps; ++k) {
                const double along = -0.5 + static_cast<double>(k) / (steps - 1);
                const double c = col - box.col0 - along * sweepCol, r = row - box.row0 - along * sweepRow;
                const int c0 = static_cast<int>(std::floor(c)), r0 = static_cast<int>(std::floor(r));
                const double fc = c - c0, fr = r - r0;
                sum += (1 - fr) * ((1 - fc) * tileAt(c0, r0) + fc * tileAt(c0 + 1, r0)) +
                       fr * ((1 - fc) * tileAt(c0, r0 + 1) + fc * tileAt(c0 + 1, r0 + 1));
            }
            const double cover = sum / steps;
            if (cover >= 1e-3)
                deposit(col, row, cover);
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
    render(std::vector<BodyPose>{BodyPose{robot, 0.0}}, emitters, clear, frame);
}

void CameraRenderer::render(const std::vector<BodyPose> &exposure, const std::vector<Emitter> &emitters,
                            const LineOfSight &clear, YuvFrame &frame)
{
    if (frame.width != camera_.width || frame.height != camera_.height)
        frame = YuvFrame(camera_.width, camera_.height);
    if (exposure.empty())
        return;
    const BodyPose &middle = exposure[exposure.size() / 2];
    const CameraFrame view = cameraFrame(camera_, middle.pose, middle.pitch);
    drawBackground(view);
    // The camera moves a centimetre or so during an exposure: what it can see
    // is decided once.
    std::vector<const Emitter *> visible;
    for (const Emitter &e : emitters)
        if (!clear || clear(view.centre, e.centre))
            visible.push_back(&e);
    const CameraFrame first = cameraFrame(camera_, exposure.front().pose, exposure.front().pitch);
    const CameraFrame last = cameraFrame(camera_, exposure.back().pose, exposure.back().pitch);
    for (const Emitter *e : visible) {
        if (exposure.size() == 1) {
            drawEmitter(view, *e);
            continue;
        }
        // How far the light's image moves during the exposure.
        const ImagePoint from = project(camera_, first, e->centre), to = project(camera_, last, e->centre);
        const bool moves = from.inFront() && to.inFront() && std::fabs(to.col - from.col) < 200.0 &&
                           std::fabs(to.row - from.row) < 200.0;
        const double sweepCol = moves ? to.col - from.col : 0.0, sweepRow = moves ? to.row - from.row : 0.0;
        if (e->shape == Emitter::Shape::Disc || e->shape == Emitter::Shape::Ball)
            drawEmitter(view, *e, 0.0, sweepCol, sweepRow);
        else // a large light: smeared by a Gaussian as wide as a uniform sweep (its length over sqrt 12)
            drawEmitter(view, *e, std::hypot(sweepCol, sweepRow) / std::sqrt(12.0));
    }
    finish(frame);
}

RenderSettings renderSettingsFor(Lights lights)
{
    RenderSettings settings;
    if (lights == Lights::Office) {
        // Ambient office light at the same short exposure: the room comes
        // up a few grey levels, still under the vision threshold (luma 30).
        settings.backgroundLuma = 23.0;
        settings.floorLuma = 24.0;
    }
    return settings;
}

} // namespace dockworld
