#include "station_overlay.h"

#include <cstdio>
#include <cstring>

#include "overlay_text.h"

namespace {

void cross(kxImage *canvas, int32_t row, int32_t col, int32_t half, OverlayColour colour)
{
    kxWindow arms{col - half, row - half, 2 * half, 2 * half};
    kxDrawCross(canvas, &arms, colour.r, colour.g, colour.b);
}

void square(kxImage *canvas, int32_t row, int32_t col, int32_t half, OverlayColour colour)
{
    kxWindow box{col - half, row - half, 2 * half, 2 * half};
    kxDrawRect(canvas, &box, colour.r, colour.g, colour.b);
}

void bandLine(kxImage *canvas, int32_t row, OverlayColour colour)
{
    // Dashed, so that the picture stays visible along it.
    for (int32_t col = 0; col < kFrameWidth; col += 8)
        for (int32_t dash = col; dash < col + 4 && dash < kFrameWidth; ++dash)
            kxDrawPixel(3 * (row * kFrameWidth + dash), canvas, colour.r, colour.g, colour.b);
}

const char *const kMarkerNames[6] = {"UL", "UR", "ML", "MR", "LL", "LR"};

void statusLine(kxImage *canvas, int32_t candidates, const TargetReport &report,
                const report_meaning::ControllerReading &reading, long frameNumber)
{
    char distance[32] = "-";
    double metres = 0.0;
    if (report_meaning::distanceEstimate(report.urRow, report.lrRow, &metres))
        snprintf(distance, sizeof distance, "%.3f M", metres);
    char text[160];
    snprintf(text, sizeof text, "FRAME %ld  CANDIDATES %d  DISTANCE %s  TARGET %d  HEADING %.3f",
             frameNumber, candidates, distance, reading.target(), reading.centering().heading + 0.0);
    // On black behind the text only: the rest of the bottom rows, far below
    // the band, still shows the picture.
    const int32_t top = kFrameHeight - kStatusRows;
    const size_t cells = strlen(text) * kTextCellWidth + 4;
    const size_t width = cells < static_cast<size_t>(kFrameWidth) ? cells : kFrameWidth;
    for (int32_t row = top; row < kFrameHeight; ++row)
        memset(canvas->data + static_cast<size_t>(row) * kFrameWidth * 3, 0, width * 3 * sizeof(uint16_t));
    drawText(canvas, 2, top + 3, text, 255, 255, 255);
}

} // namespace

kxImage *createOverlayCanvas()
{
    return kxImageCreate(RGB, kFrameWidth, kFrameHeight);
}

bool drawStationOverlay(const VisionState &state, int32_t candidates, const TargetReport &report,
                        const report_meaning::ControllerReading &reading, long frameNumber,
                        kxImage *canvas)
{
    const kxImage *pic = state.pic;
    if (!pic || !pic->data || pic->format != RGB || pic->width != kFrameWidth ||
        pic->height != kFrameHeight || !canvas || !canvas->data || canvas->format != RGB ||
        canvas->width != kFrameWidth || canvas->height != kFrameHeight)
        return false;
    memcpy(canvas->data, pic->data,
           static_cast<size_t>(kFrameWidth) * kFrameHeight * 3 * sizeof(uint16_t));

    bandLine(canvas, kBandTop, kBandColour);
    bandLine(canvas, kBandBottom, kBandColour);
    // Blobs that got a centroid this frame; row -1 marks one that could not
    // be placed.
    for (const BlobRecord &blob : state.blobs)
        if (blob.count >= kMinBlobPixels && blob.row >= 0) cross(canvas, blob.row, blob.col, 3, kBlobColour);
    for (int32_t k = 0; k < candidates && k < kBlobTableSize; ++k)
        square(canvas, state.recon[k].row, state.recon[k].col, 6, kCandidateColour);

    const int32_t rows[6] = {report.ulRow, report.urRow, report.mlRow,
                             report.mrRow, report.llRow, report.lrRow};
    const int32_t cols[6] = {report.ulCol, report.urCol, report.mlCol,
                             report.mrCol, report.llCol, report.lrCol};
    for (int32_t k = 0; k < 6; ++k) {
        const int32_t row = rows[k], col = cols[k];
        if (row == 0 && col == 0) continue;
        const OverlayColour colour = k % 2 == 0 ? kLeftMarkerColour : kRightMarkerColour;
        cross(canvas, row, col, 9, colour);
        // Left labels to the left of the cross, right labels to the right.
        const int32_t labelX = k % 2 == 0 ? col - 11 - 2 * kTextCellWidth : col + 12;
        drawText(canvas, labelX, row - 3, kMarkerNames[k], colour.r, colour.g, colour.b);
    }
    statusLine(canvas, candidates, report, reading, frameNumber);
    return true;
}
