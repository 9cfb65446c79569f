// The interactive line tool: two clicks on the library's window give the
// ends of a line that is painted into an RGB image.
#include "pixel_internal.h"

#include <cstdio>

#include <X11/Xlib.h>

kxSegment kxDrawLine(kxImage *image, uint16_t r, uint16_t g, uint16_t b)
{
    kxSegment segment{0, 0, 0, 0};
    // Refused before any click is waited for.
    if (!image || !image->data) {
        puts("kxDrawLine: error: NULL image");
        return segment;
    }
    // kxGetClick prompts "click  corner" and waits; without an open display
    // it reports that and returns an empty event.
    const XEvent first = kxGetClick();
    if (first.type != ButtonPress) return segment;
    const XEvent second = kxGetClick();
    if (second.type != ButtonPress) return segment;
    segment.x1 = first.xbutton.x;
    segment.y1 = first.xbutton.y;
    segment.x2 = second.xbutton.x;
    segment.y2 = second.xbutton.y;
    kxDistance(segment.x1, segment.y1, segment.x2, segment.y2);
    fflush(stdout);
    // Clicks may fall outside the image (the window can be larger): only
    // the part of the line inside the image is painted.
    _kxPaintLine(image, segment.x1, segment.y1, segment.x2, segment.y2, r, g, b);
    return segment;
}
