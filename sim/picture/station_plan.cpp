#include "picture/station_plan.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "kelvix.h"
#include "overlay_text.h"

namespace dockworld {

namespace {

using P = StationPlan;

const Rgb kInk{30, 30, 30};
const Rgb kGuide{150, 90, 40};
const Rgb kHousing{110, 110, 110};
const Rgb kMarker{200, 160, 0};
const Rgb kDimension{0, 90, 200};
const Rgb kCamera{200, 40, 40};

// Text in the overlay font, drawn twice its size so that it reads in a
// README.
void label(Canvas &canvas, double x, double y, const char *text, Rgb colour)
{
    const int cells = static_cast<int>(std::strlen(text));
    kxImage *cell = kxImageCreate(RGB, cells * kTextCellWidth, kTextCellHeight);
    if (!cell) return;
    std::memset(cell->data, 0, static_cast<size_t>(cell->width) * cell->height * 3 * sizeof *cell->data);
    drawText(cell, 0, 0, text, 255, 255, 255);
    for (int row = 0; row < cell->height; ++row)
        for (int col = 0; col < cell->width; ++col) {
            if (!cell->data[(static_cast<size_t>(row) * cell->width + col) * 3]) continue;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx)
                    canvas.set(static_cast<int>(x) + 2 * col + dx, static_cast<int>(y) + 2 * row + dy, colour);
        }
    kxImageDestroy(cell);
}

std::string metres(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g M", value);
    return text;
}

// A dimension line between two points with end ticks and its value beside it.
void dimension(Canvas &canvas, double x0, double y0, double x1, double y1, double value, double labelX,
               double labelY)
{
    canvas.line(x0, y0, x1, y1, kDimension);
    const bool horizontal = y0 == y1;
    for (double t : {0.0, 1.0}) {
        const double x = x0 + t * (x1 - x0), y = y0 + t * (y1 - y0);
        if (horizontal)
            canvas.line(x, y - 5, x, y + 5, kDimension);
        else
            canvas.line(x - 5, y, x + 5, y, kDimension);
    }
    label(canvas, labelX, labelY, metres(value).c_str(), kDimension);
}

// Top view: 350 pixels a metre; `side` to the right of the picture as the
// robot facing the plate has it on its left, `out` from the wall downwards.
constexpr double kTopScale = 350.0;
constexpr double kTopMargin = 70.0;
constexpr double kTopRulers = 0.75; // metres left of the housing for the rulers
double topX(double side) { return kTopMargin + (P::mouthWidth / 2 + kTopRulers + side) * kTopScale; }
double topY(double out) { return kTopMargin + (out + P::plateDepth) * kTopScale; }

} // namespace

Canvas drawStationTopView()
{
    const int width = static_cast<int>(topX(P::mouthWidth / 2 + 0.05) + kTopMargin);
    const double leftEdge = -P::mouthWidth / 2 - kTopRulers;
    const int height = static_cast<int>(topY(P::mouthOut + 0.15) + kTopMargin);
    Canvas canvas(width, height);
    const double wall = -P::plateDepth;
    canvas.line(topX(leftEdge), topY(wall), topX(P::mouthWidth / 2 + 0.05), topY(wall), kInk, 3);
    label(canvas, topX(leftEdge), topY(wall) - 24, "WALL", kInk);

    // Plate: face and sides.
    const double w = P::plateWidth / 2;
    canvas.line(topX(-w), topY(0), topX(w), topY(0), kInk, 3);
    canvas.line(topX(-w), topY(0), topX(-w), topY(wall), kInk, 3);
    canvas.line(topX(w), topY(0), topX(w), topY(wall), kInk, 3);
    for (double side : {-P::columnSpacing / 2, P::columnSpacing / 2})
        canvas.disc(topX(side), topY(0) - 4, 4, kMarker);

    for (double sign : {-1.0, 1.0}) {
        const double rail = sign * P::railGap / 2;
        canvas.line(topX(rail), topY(wall), topX(rail), topY(P::railEnd), kGuide, 3);
        canvas.line(topX(rail), topY(P::railEnd), topX(sign * P::bendWidth / 2), topY(P::bendOut), kGuide, 3);
        canvas.line(topX(sign * P::bendWidth / 2), topY(P::bendOut), topX(sign * P::mouthWidth / 2),
                    topY(P::mouthOut), kHousing, 3);
        canvas.line(topX(sign * P::mouthWidth / 2), topY(P::mouthOut), topX(sign * P::mouthWidth / 2), topY(wall),
                    kHousing, 3);
    }
    label(canvas, topX(-0.08), topY(0.02), "PLATE", kInk);
    label(canvas, topX(-0.1), topY(0.25), "RAILS", kGuide);
    label(canvas, topX(0.45), topY(0.55), "FLARE", kGuide);
    label(canvas, topX(0.7), topY(0.2), "HOUSING", kHousing);
    label(canvas, topX(-0.28), topY(1.3), "THE ROBOT COMES IN FROM HERE", kInk);

    // Widths across, distances out from the plate's face on the left.
    dimension(canvas, topX(-w), topY(-0.05), topX(w), topY(-0.05), P::plateWidth, topX(w) + 8, topY(-0.05) - 8);
    dimension(canvas, topX(-P::railGap / 2), topY(0.38), topX(P::railGap / 2), topY(0.38), P::railGap,
              topX(P::railGap / 2) + 8, topY(0.38) - 8);
    dimension(canvas, topX(-P::bendWidth / 2), topY(P::bendOut), topX(P::bendWidth / 2), topY(P::bendOut),
              P::bendWidth, topX(-0.07), topY(P::bendOut) + 6);
    dimension(canvas, topX(-P::mouthWidth / 2), topY(P::mouthOut + 0.08), topX(P::mouthWidth / 2),
              topY(P::mouthOut + 0.08), P::mouthWidth, topX(0.6), topY(P::mouthOut + 0.08) + 6);
    // Out from the plate's face, left of the housing.
    const double ruler = -P::mouthWidth / 2 - 0.08;
    canvas.line(topX(ruler - 0.5), topY(0), topX(-w), topY(0), kDimension);
    dimension(canvas, topX(ruler), topY(wall), topX(ruler), topY(0), P::plateDepth, topX(ruler) + 8, topY(-0.07));
    dimension(canvas, topX(ruler), topY(0), topX(ruler), topY(P::railEnd), P::railEnd, topX(ruler) + 8,
              topY(P::railEnd / 2));
    dimension(canvas, topX(ruler - 0.25), topY(0), topX(ruler - 0.25), topY(P::bendOut), P::bendOut,
              topX(ruler - 0.25) + 8, topY(P::bendOut / 2 + 0.1));
    dimension(canvas, topX(ruler - 0.5), topY(0), topX(ruler - 0.5), topY(P::mouthOut), P::mouthOut,
              topX(ruler - 0.5) + 8, topY(P::mouthOut / 2 + 0.25));
    label(canvas, topX(ruler - 0.6), topY(-0.05) - 4, "PLATE FACE", kDimension);
    return canvas;
}

namespace {

// Front view: 600 pixels a metre across the plate and markers, the guide
// to the same scale.
constexpr double kFrontScale = 600.0;
constexpr double kFrontMargin = 80.0;
constexpr double kFrontHalf = 0.62; // metres shown either side of the middle
double frontX(double side) { return kFrontMargin + (kFrontHalf + side) * kFrontScale; }
double frontY(double height) { return kFrontMargin + (P::housingHeight + 0.05 - height) * kFrontScale; }

} // namespace

Canvas drawStationFrontView()
{
    const int width = static_cast<int>(frontX(kFrontHalf) + kFrontMargin);
    const int height = static_cast<int>(frontY(0) + kFrontMargin);
    Canvas canvas(width, height);
    canvas.line(frontX(-kFrontHalf), frontY(0), frontX(kFrontHalf), frontY(0), kInk, 3);
    label(canvas, frontX(-kFrontHalf), frontY(0) + 8, "FLOOR", kInk);

    // Housing sides beyond the funnel stand taller than the markers: shown
    // as the outline of the steep flares seen end on.
    for (double sign : {-1.0, 1.0}) {
        const double x = sign * (P::bendWidth / 2);
        canvas.line(frontX(x), frontY(0), frontX(x), frontY(P::housingHeight), kHousing, 3);
        const double rail = sign * P::railGap / 2;
        canvas.line(frontX(rail), frontY(P::guideHeight), frontX(x), frontY(P::guideHeight), kGuide, 2);
        canvas.line(frontX(rail), frontY(0), frontX(rail), frontY(P::guideHeight), kGuide, 3);
    }
    label(canvas, frontX(-P::bendWidth / 2) + 6, frontY(P::housingHeight) + 6, "HOUSING", kHousing);
    label(canvas, frontX(P::railGap / 2) + 6, frontY(P::guideHeight) - 22, "RAIL, FLARE", kGuide);

    // Plate face, as tall as the housing, carrying the markers.
    const double w = P::plateWidth / 2;
    canvas.line(frontX(-w), frontY(0), frontX(-w), frontY(P::housingHeight), kInk, 3);
    canvas.line(frontX(w), frontY(0), frontX(w), frontY(P::housingHeight), kInk, 3);
    canvas.line(frontX(-w), frontY(P::housingHeight), frontX(w), frontY(P::housingHeight), kInk, 3);
    for (double h : {P::upperHeight, P::middleHeight, P::lowerHeight})
        for (double side : {-P::columnSpacing / 2, P::columnSpacing / 2})
            canvas.disc(frontX(side), frontY(h), P::markerDiameter / 2 * kFrontScale, kMarker);

    // Camera height, dashed.
    for (double x = -kFrontHalf; x < kFrontHalf; x += 0.04)
        canvas.line(frontX(x), frontY(P::cameraHeight), frontX(x + 0.02), frontY(P::cameraHeight), kCamera);
    label(canvas, frontX(w) + 8, frontY(P::cameraHeight) - 20, ("CAMERA " + metres(P::cameraHeight)).c_str(),
          kCamera);

    // Heights on the left, widths below.
    const double ruler = -w - 0.06;
    for (double h : {P::upperHeight, P::middleHeight, P::lowerHeight})
        dimension(canvas, frontX(ruler), frontY(0), frontX(ruler), frontY(h), h, frontX(ruler - 0.02) - 90,
                  frontY(h) - 8);
    dimension(canvas, frontX(-P::railGap / 2 - 0.1), frontY(0), frontX(-P::railGap / 2 - 0.1),
              frontY(P::guideHeight), P::guideHeight, frontX(-P::railGap / 2 - 0.1) - 100, frontY(0.1));
    dimension(canvas, frontX(P::bendWidth / 2 + 0.02), frontY(0), frontX(P::bendWidth / 2 + 0.02),
              frontY(P::housingHeight), P::housingHeight, frontX(P::bendWidth / 2 + 0.02) + 6,
              frontY(P::housingHeight / 2 + 0.15));
    dimension(canvas, frontX(-P::columnSpacing / 2), frontY(P::upperHeight + 0.05), frontX(P::columnSpacing / 2),
              frontY(P::upperHeight + 0.05), P::columnSpacing, frontX(P::columnSpacing / 2) + 8,
              frontY(P::upperHeight + 0.05) - 8);
    dimension(canvas, frontX(-w), frontY(-0.04), frontX(w), frontY(-0.04), P::plateWidth, frontX(w) + 8,
              frontY(-0.04) - 8);
    dimension(canvas, frontX(-P::railGap / 2), frontY(0.03), frontX(P::railGap / 2), frontY(0.03), P::railGap,
              frontX(P::railGap / 2) + 8, frontY(0.03) - 8);
    label(canvas, frontX(0.2), frontY(P::lowerHeight) - 8,
          ("MARKERS " + metres(P::markerDiameter) + " ACROSS").c_str(), kMarker);
    return canvas;
}

} // namespace dockworld
