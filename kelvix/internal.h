// Helpers shared by the library's sources; not part of the public API.
#pragma once

#include <cstddef>

#include "kelvix.h"

// Bytes per pixel of a supported format other than NONE (2 per channel).
int _kxBytesPerPixel(kxFormat format);

// Buffer size of a width x height image of `format` (1 byte for NONE).
// Returns false for an unsupported format, a negative size or a byte count
// that does not fit in size_t.
bool _kxImageBytes(kxFormat format, int32_t width, int32_t height, size_t *bytes);

// The part of `window` that lies inside a width x height image, as half-open
// ranges [x0, x1) and [y0, y1). Empty ranges when the window misses the image
// or has no area. Callers iterate these ranges so that no window, however
// placed, reaches outside the buffer.
struct KxSpan {
    int x0, x1, y0, y1;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};
KxSpan _kxClipWindow(const kxWindow *window, int32_t width, int32_t height);

// Ending after SIGHUP, SIGINT or SIGTERM once a window is open
// (display_signal.cpp). Called where a display or grab call starts, on the
// program's own thread: when a signal asked for the ending, runs exit(0) here
// and does not return. True when the caller is an exit handler of that
// ending (it must not wait for the X server); false otherwise.
bool _kxEndIfSignalled();

// Held for the whole of a library call that may block or that uses state the
// library's destructors free: the ending never runs exit() from a signal
// handler while one is under way.
class KxLibraryCall {
public:
    KxLibraryCall();
    ~KxLibraryCall();
    KxLibraryCall(const KxLibraryCall &) = delete;
    KxLibraryCall &operator=(const KxLibraryCall &) = delete;
};
