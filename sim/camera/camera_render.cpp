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
    touched_.resize(rowSource_.size());
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
    std::fill(touched_.begin(), touched_.end(), Span());
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
    // The tile has `pad` empty pixels on every side, so that each shifted
    // read of it lands inside.
    int pad = 0;
    const int tileWidth = box.col1 - box.col0 + 1, tileHeight = box.row1 - box.row0 + 1;
    if (swept) {
        const int reach = static_cast<int>(std::ceil(0.5 * sweep)) + 1;
        out = {std::max(0, box.col0 - reach), std::max(0, box.row0 - reach),
               std::min(camera_.width - 1, box.col1 + reach), std::min(camera_.height - 1, box.row1 + reach)};
        pad = 2 * reach + 2;
        tile_.assign(static_cast<size_t>(tileWidth + 2 * pad) * (tileHeight + 2 * pad), 0.0f);
    }
    const int tileStride = tileWidth + 2 * pad;

    // Flat lights look dimmer from the side: their diffusers shine mostly
    // straight ahead.
    double peak = e.luma;
    if (flat) {
        const Vec3 toCam = view.centre - e.centre;
        const double cosView = dot(toCam, normal3) / std::sqrt(dot(toCam, toCam));
        peak *= 0.6 + 0.4 * cosView;
    }
    for (int row = out.row0; row <= out.row1; ++row) {
        Span &span = touched_[static_cast<size_t>(row)];
        span.from = std::min(span.from, out.col0);
        span.to = std::max(span.to, out.col1);
    }
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
    const auto put = [&](int col, int row, double cover) {
        if (swept)
            tile_[static_cast<size_t>(row - box.row0 + pad) * tileStride + (col - box.col0 + pad)] =
                static_cast<float>(cover);
        else if (cover >= 1e-3)
            deposit(col, row, cover);
    };
    // Where the ray through pixel (col, row) meets a flat light's plane: its
    // coordinates in the plane (u across, v up; for a panel along x and y) and
    // its depth along the optical axis (the ray has unit length along it).
    const auto planeHit = [&](int col, int row, double &u, double &v, double &depth) {
        Vec3 ray;
        if (!idealRay(view, col, row, ray))
            return false;
        if (panel) {
            if (std::fabs(ray.z) < 1e-12)
                return false;
            depth = (e.centre.z - view.centre.z) / ray.z;
            if (depth <= 0.0)
                return false;
            const Vec3 hit = view.centre + depth * ray - e.centre;
            u = hit.x;
            v = hit.y;
            return true;
        }
        const double denom = dot(ray, normal3);
        if (denom >= -1e-12)
            return false;
        depth = dot(e.centre - view.centre, normal3) / denom;
        if (depth <= 0.0)
            return false;
        const Vec3 hit = view.centre + depth * ray - e.centre;
        u = dot(hit, across);
        v = hit.z;
        return true;
    };
    // Metres outside the light's edge (negative inside).
    const auto outsideOf = [&](double u, double v) {
        if (e.shape == Emitter::Shape::Disc)
            return std::sqrt(u * u + v * v) - e.radius;
        return std::max(std::fabs(u) - halfW, std::fabs(v) - halfH);
    };
    const auto pixel = [&](int col, int row) {
        double outside, depth;
        if (panel || flat) {
            double u, v;
            if (!planeHit(col, row, u, v, depth))
                return;
            outside = outsideOf(u, v);
        } else {
            // Closest approach of the ray to the ball's centre.
            Vec3 ray;
            if (!idealRay(view, col, row, ray))
                return;
            const Vec3 oc = e.centre - view.centre;
            depth = dot(oc, ray) / dot(ray, ray);
            if (depth <= 0.0)
                return;
            const Vec3 miss = view.centre + depth * ray - e.centre;
            outside = std::sqrt(dot(miss, miss)) - e.radius;
        }
        // Edge blurred by a Gaussian of blurPx pixels, converted to metres
        // at the emitter's depth.
        const double sigma = std::max(1e-6, blurPx * depth / camera_.focalPx);
        if (outside > 3.1 * sigma)
            return; // outside the blurred edge: less than 1e-3 of the light, drawn as nothing
        // Well inside the edge the light covers the pixel (erfc there
        // differs from 2 by less than 1e-6): no need to compute it.
        put(col, row, outside < -5.0 * sigma ? 1.0 : 0.5 * std::erfc(outside / (sigma * sqrt2)));
    };
    // A flat light's plane is met through a block of pixels in the convex
    // hull of where it is met through the block's corners, and depth and the
    // distance from each edge line vary linearly across it; so when the
    // corners lie well inside the light, or all well beyond one edge line,
    // every pixel of the block does, and its cover is known without a pixel's
    // work (big lights: windows, ceiling panels). A lens bends the block's
    // edges by hundredths of a pixel: half a pixel of slack covers that.
    enum class Block { Inside, Outside, Mixed };
    constexpr int kBlock = 8;
    const auto classify = [&](int col0, int row0, int col1, int row1) {
        if (!(panel || flat))
            return Block::Mixed;
        double maxOutside = -1e30, maxDepth = 0.0;
        double beyond[4] = {1e30, 1e30, 1e30, 1e30}; // least distance past each edge line
        for (int c : {col0, col1}) {
            for (int r : {row0, row1}) {
                double u, v, depth;
                if (!planeHit(c, r, u, v, depth))
                    return Block::Mixed;
                maxOutside = std::max(maxOutside, outsideOf(u, v));
                maxDepth = std::max(maxDepth, depth);
                const double past[4] = {u - halfW, -u - halfW, v - halfH, -v - halfH};
                for (int k = 0; k < 4; ++k)
                    beyond[k] = std::min(beyond[k], past[k]);
            }
        }
        const double sigma = std::max(1e-6, blurPx * maxDepth / camera_.focalPx);
        const double slack = 0.5 * maxDepth / camera_.focalPx;
        if (maxOutside < -5.0 * sigma - slack)
            return Block::Inside;
        // A disc lies within its square, so beyond an edge of the square is
        // beyond the disc too.
        if (*std::max_element(beyond, beyond + 4) > 3.1 * sigma + slack)
            return Block::Outside;
        return Block::Mixed;
    };
    for (int row0 = box.row0; row0 <= box.row1; row0 += kBlock) {
        const int row1 = std::min(row0 + kBlock - 1, box.row1);
        for (int col0 = box.col0; col0 <= box.col1; col0 += kBlock) {
            const int col1 = std::min(col0 + kBlock - 1, box.col1);
            const Block block = classify(col0, row0, col1, row1);
            if (block == Block::Outside)
                continue;
            for (int row = row0; row <= row1; ++row) {
                for (int col = col0; col <= col1; ++col) {
                    if (block == Block::Mixed)
                        pixel(col, row);
                    else if (idealX_.empty() || !std::isnan(idealX_[static_cast<size_t>(row) * camera_.width + col]))
                        put(col, row, 1.0);
                }
            }
        }
    }
    if (!swept)
        return;
    // The tile at evenly spaced shifts along the sweep, bilinearly, at most
    // about 1.5 px apart (and no more than 12: a fast turn's long streak
    // is drawn as overlapping copies of the light).
    const int steps = std::clamp(static_cast<int>(std::ceil(sweep / 1.5)) + 1, 2, 12);
    const int outWidth = out.col1 - out.col0 + 1;
    sweepSum_.assign(static_cast<size_t>(outWidth) * (out.row1 - out.row0 + 1), 0.0);
    for (int k = 0; k < steps; ++k) {
        // Every pixel reads the tile at the same fractional shift: the
        // weights of the step's bilinear read are the same for all.
        const double along = -0.5 + static_cast<double>(k) / (steps - 1);
        const double shiftCol = -along * sweepCol, shiftRow = -along * sweepRow;
        const int dc = static_cast<int>(std::floor(shiftCol)), dr = static_cast<int>(std::floor(shiftRow));
        const double fc = shiftCol - dc, fr = shiftRow - dr;
        for (int row = out.row0; row <= out.row1; ++row) {
            const float *t0 = tile_.data() + static_cast<size_t>(row - box.row0 + pad + dr) * tileStride +
                              (out.col0 - box.col0 + pad + dc);
            const float *t1 = t0 + tileStride;
            double *sum = sweepSum_.data() + static_cast<size_t>(row - out.row0) * outWidth;
            for (int i = 0; i < outWidth; ++i)
                sum[i] += (1 - fr) * ((1 - fc) * t0[i] + fc * t0[i + 1]) + fr * ((1 - fc) * t1[i] + fc * t1[i + 1]);
        }
    }
    for (int row = out.row0; row <= out.row1; ++row) {
        const double *sum = sweepSum_.data() + static_cast<size_t>(row - out.row0) * outWidth;
        for (int col = out.col0; col <= out.col1; ++col) {
            const double cover = sum[col - out.col0] / steps;
            if (cover >= 1e-3)
                deposit(col, row, cover);
        }
    }
}

void CameraRenderer::finish(YuvFrame &frame)
{
    // Noise from the table, read on from a random start. This runs for every
    // pixel of every frame: where a row holds nothing but the background it
    // is copied from the tables with the noise already added.
    const float scale = static_cast<float>(settings_.noiseSigma / 16.0);
    constexpr size_t kMask = kNoiseTableSize - 1;
    size_t n = random_() % kNoiseTableSize;
    // Pixel i of a row takes the noise at n + i; [from, to) holds light, the
    // rest is `flat`'s (null: the whole row is computed).
    const auto addNoise = [&](const float *in, float base, float weight, const uint8_t *flat, uint8_t *out,
                              size_t count, size_t from, size_t to) {
        const auto segment = [&](size_t begin, size_t end, bool copy) {
            for (size_t i = begin; i < end;) {
                const size_t at = (n + i) & kMask;
                const size_t run = std::min(end - i, kNoiseTableSize - at);
                if (copy) {
                    std::copy_n(flat + at, run, out + i);
                } else {
                    const int8_t *noise = noise_.data() + at;
                    for (size_t j = 0; j < run; ++j) {
                        const float v = base + in[i + j] + weight * static_cast<float>(noise[j]);
                        out[i + j] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f);
                    }
                }
                i += run;
            }
        };
        if (!flat) {
            segment(0, count, false);
        } else {
            from = std::min(from, count);
            to = std::clamp(to, from, count);
            segment(0, from, true);
            segment(from, to, false);
            segment(to, count, true);
        }
        n = (n + count) & kMask;
    };
    const size_t width = static_cast<size_t>(camera_.width), halfWidth = width / 2;
    const auto spanFrom = [](const Span &s) { return s.to < s.from ? 0 : static_cast<size_t>(s.from); };
    const auto spanTo = [](const Span &s) { return s.to < s.from ? 0 : static_cast<size_t>(s.to) + 1; };
    for (size_t row = 0; row < rowSource_.size(); ++row)
        addNoise(luma_.data() + row * width, 0.0f, scale, rowSource_[row], frame.luma() + row * width, width,
                 spanFrom(touched_[row]), spanTo(touched_[row]));
    // A chroma row holds light where either luma row it covers does.
    for (size_t row = 0; row < rowSource_.size() / 2; ++row) {
        const Span &a = touched_[2 * row], &b = touched_[2 * row + 1];
        const Span both{std::min(a.from, b.from), std::max(a.to, b.to)};
        const size_t from = spanFrom(both) / 2, to = (spanTo(both) + 1) / 2;
        addNoise(chromaU_.data() + row * halfWidth, 128.0f, 0.5f * scale, noisyChroma_.data(),
                 frame.chromaU() + row * halfWidth, halfWidth, from, to);
        addNoise(chromaV_.data() + row * halfWidth, 128.0f, 0.5f * scale, noisyChroma_.data(),
                 frame.chromaV() + row * halfWidth, halfWidth, from, to);
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
