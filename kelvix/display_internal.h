// The display module's state and steps shared with the mouse helpers and the
// tests; not part of the public API.
#pragma once

#include <X11/Xlib.h>

#include "internal.h"
#include "kelvix.h"

// Open connection, or nullptr when the display is closed.
Display *_kxDisplayConnection();
// The library's window (0 when none).
Window _kxDisplayWindow();

// The whole show: convert into the display buffer, resize the window and the
// X image when the size changed, pack, send; with wait, read one character
// from standard input. 0 or -1.
int _kxShowCommon(const kxImage *image, int wait, int rotated);

// Makes the X image of width x height (shared or plain) and records the
// window size. 0 or -1; a failure leaves no X image behind.
int _kxSetupImage(int width, int height);
// Releases the X image and, in shared mode, its segment. 0 or -1.
int _kxDestroyImage();

// X pixel value of one RGB triple for a visual of `depth` bits (8, 16, 24 or
// 32); only the low eight bits of each channel count. Fixed bit positions:
// depth 8 packs red 3 bits into bits 0-2, green 3 into 3-5, blue 2 into 6-7;
// depth 16 is 5-6-5 with red on top; 24 and 32 are 0x00RRGGBB.
unsigned long _kxPackPixel(int depth, unsigned r, unsigned g, unsigned b);

// From the first call on, the window also reports button releases (its
// structure changes are no longer reported). Synchronises with the server.
void _kxReportReleases();
