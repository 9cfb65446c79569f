#include "contact_check.h"

#include <cmath>
#include <cstdio>

#include "frame.h"

namespace {

// Degrees to a tenth, millimetres whole: about what a mount can be set to.
std::string degrees(const char *word, double amount)
{
    char text[64];
    snprintf(text, sizeof text, "%s %.1f deg", word, amount);
    return text;
}

std::string millimetres(const char *word, double amount)
{
    char text[64];
    snprintf(text, sizeof text, "%s %.0f mm", word, amount);
    return text;
}

void append(std::string &verdict, const std::string &change)
{
    if (!verdict.empty()) verdict += ' ';
    verdict += change;
}

} // namespace

ContactVerdict contactVerdict(const OuterRows &rows, double focalPixels, double spacing)
{
    ContactVerdict v{};
    v.found = rows.frames() > 0;
    v.upperLeft = rows.upperLeftRow();
    v.upperRight = rows.upperRightRow();
    v.lowerLeft = rows.lowerLeftRow();
    v.lowerRight = rows.lowerRightRow();
    const double upper = rows.upperRow(), lower = rows.lowerRow();
    v.upperMargin = kBandTop - upper;
    v.lowerMargin = lower - kBandBottom;
    if (!v.found || !(lower > upper)) {
        v.verdict = "no-markers";
        return v;
    }

    // Rows above and below the axis row at which each pair leaves the band.
    const double axisRow = kFrameHeight / 2.0;
    const double above = axisRow - kBandTop, below = kBandBottom + 1 - axisRow;
    // The pairs leave together when (axisRow - upper + s) / above equals
    // (lower - axisRow - s) / below: s is the common shift that breaks that.
    v.shiftRows = (above * (lower - axisRow) - below * (axisRow - upper)) / (above + below);
    if (std::fabs(v.shiftRows) >= kTiltRows) {
        // Content too low in the picture: the camera looks too high.
        const double tilt = std::atan(std::fabs(v.shiftRows) / focalPixels) * 180.0 / M_PI;
        v.verdict = degrees(v.shiftRows > 0 ? "tilt-down" : "tilt-up", tilt);
        return v;
    }

    // The pairs' row difference spans the marker spacing at the marker plane.
    const double mmPerRow = spacing * 1000.0 / (lower - upper);
    if (v.upperMargin < kMinMargin)
        append(v.verdict, millimetres("raise-upper", (kTargetMargin - v.upperMargin) * mmPerRow));
    else if (v.upperMargin > kMaxMargin)
        append(v.verdict, millimetres("lower-upper", (v.upperMargin - kTargetMargin) * mmPerRow));
    if (v.lowerMargin < kMinMargin)
        append(v.verdict, millimetres("lower-lower", (kTargetMargin - v.lowerMargin) * mmPerRow));
    else if (v.lowerMargin > kMaxMargin)
        append(v.verdict, millimetres("raise-lower", (v.lowerMargin - kTargetMargin) * mmPerRow));
    if (v.verdict.empty()) v.verdict = "ok";
    return v;
}

std::string contactLine(const ContactVerdict &v)
{
    char text[256];
    if (!v.found) {
        snprintf(text, sizeof text, "contact upper -,- margin - lower -,- margin - verdict %s", v.verdict.c_str());
    } else {
        snprintf(text, sizeof text, "contact upper %.0f,%.0f margin %.1f lower %.0f,%.0f margin %.1f verdict %s",
                 v.upperLeft, v.upperRight, v.upperMargin, v.lowerLeft, v.lowerRight, v.lowerMargin,
                 v.verdict.c_str());
    }
    return text;
}
