// Showing an image: conversion of every format into the RGB display buffer,
// resizing the window to the picture, packing for the visual's depth and
// sending the X image to the window.
#include "display_internal.h"
#include "display_state.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <X11/extensions/XShm.h>

namespace {

// The display buffer is remade only when the picture's size changes.
bool prepareBuffer(const kxImage *image)
{
    KxDisplayState &d = _kxDisplay;
    if (d.rgb_pic && (d.rgb_pic->width != image->width || d.rgb_pic->height != image->height)) {
        kxImageDestroy(d.rgb_pic);
        d.rgb_pic = nullptr;
    }
    if (!d.rgb_pic) {
        d.rgb_pic = kxImageCreate(RGB, image->width, image->height);
        if (!d.rgb_pic) return false;
        // Black until something is converted into it (formats the display
        // does not know leave the buffer as it is).
        memset(d.rgb_pic->data, 0, static_cast<size_t>(image->width) * image->height * 6);
    }
    return true;
}

void convertToRgb(const kxImage *image, kxImage *rgb)
{
    const size_t pixels = static_cast<size_t>(image->width) * image->height;
    const uint16_t *in = image->data;
    uint16_t *out = rgb->data;
    auto put = [&](size_t i, uint16_t r, uint16_t g, uint16_t b) {
        out[3 * i] = r;
        out[3 * i + 1] = g;
        out[3 * i + 2] = b;
    };
    switch (image->format) {
    case RGB: memcpy(out, in, pixels * 3 * sizeof(uint16_t)); break;
    case HSI:
        // Only the hue is shown, as a grey level: 0..65535 becomes 0..255.
        for (size_t i = 0; i < pixels; ++i) {
            uint16_t grey = in[3 * i] / 257;
            put(i, grey, grey, grey);
        }
        break;
    case NRG:
        for (size_t i = 0; i < pixels; ++i) put(i, in[2 * i], in[2 * i + 1], 0);
        break;
    case GRAY:
        for (size_t i = 0; i < pixels; ++i) put(i, in[i], in[i], in[i]);
        break;
    case BINARY:
        for (size_t i = 0; i < pixels; ++i) {
            uint16_t level = in[i] != 0 ? 255 : 0;
            put(i, level, level, level);
        }
        break;
    default: break;
    }
}

const char *const kShowFailed = "kxShow: error: could not display image";

// The window and the X image follow the size of the picture.
bool _kxResetDisplay()
{
    KxDisplayState &d = _kxDisplay;
    const int width = d.rgb_pic->width, height = d.rgb_pic->height;
    const bool sizeChanged = width != d.window_width || height != d.window_height;
    if (!sizeChanged && d.xImage) return true;
    if (sizeChanged) {
        _kxSetSizeHints(width, height);
        XResizeWindow(d.display, d.window, width, height);
    }
    if (_kxDestroyImage() != 0) {
        puts("_kxResetDisplay: could not destroy old shm");
        puts(kShowFailed);
        return false;
    }
    if (_kxSetupImage(width, height) != 0) {
        puts("_kxResetDisplay: could not setup new shm");
        puts(kShowFailed);
        return false;
    }
    return true;
}

// Stores packed pixels straight into the image when its layout is the
// host's; otherwise through XPutPixel, which knows every layout.
template <typename Pixel>
void storeDirect(XImage *x, int column, int row, unsigned long value)
{
    char *line = x->data + static_cast<size_t>(row) * x->bytes_per_line;
    reinterpret_cast<Pixel *>(line)[column] = static_cast<Pixel>(value);
}

bool hostByteOrder(const XImage *x)
{
    const uint16_t probe = 1;
    const bool little = *reinterpret_cast<const unsigned char *>(&probe) == 1;
    return x->byte_order == (little ? LSBFirst : MSBFirst);
}

bool _kxDisplayImage(bool rotated)
{
    KxDisplayState &d = _kxDisplay;
    if (d.depth != 8 && d.depth != 16 && d.depth != 24 && d.depth != 32) {
        printf("_kxDisplayImage: depth=%d is not supported\n", d.depth);
        puts(kShowFailed);
        return false;
    }
    XImage *x = d.xImage;
    const int bpp = x->bits_per_pixel;
    const bool direct = hostByteOrder(x) && (bpp == 8 || bpp == 16 || bpp == 32);
    const int width = d.window_width, height = d.window_height;
    const uint16_t *rgb = d.rgb_pic->data;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column, rgb += 3) {
            unsigned long value = _kxPackPixel(d.depth, rgb[0], rgb[1], rgb[2]);
            int tx = rotated ? width - 1 - column : column;
            int ty = rotated ? height - 1 - row : row;
            if (!direct) XPutPixel(x, tx, ty, value);
            else if (bpp == 32) storeDirect<uint32_t>(x, tx, ty, value);
            else if (bpp == 16) storeDirect<uint16_t>(x, tx, ty, value);
            else storeDirect<uint8_t>(x, tx, ty, value);
        }
    }
    return true;
}

void sendImage()
{
    KxDisplayState &d = _kxDisplay;
    if (d.useShm)
        XShmPutImage(d.display, d.window, d.gc, d.xImage, 0, 0, 0, 0, d.window_width,
                     d.window_height, False);
    else
        XPutImage(d.display, d.window, d.gc, d.xImage, 0, 0, 0, 0, d.window_width,
                  d.window_height);
    XSync(d.display, False);
}

} // namespace

unsigned long _kxPackPixel(int depth, unsigned r, unsigned g, unsigned b)
{
    switch (depth) {
    case 8: return ((r & 0xE0) >> 5) | ((g & 0xE0) >> 2) | (b & 0xC0);
    case 16: return ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | ((b & 0xF8) >> 3);
    default: return ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
    }
}

int _kxShowCommon(const kxImage *image, int wait, int rotated)
{
    if (_kxEndIfSignalled() || _kxDisplayLeftToServer()) {
        // An exit handler of a signal's ending: the server may not answer.
        puts("kxShow: error: the process is ending");
        return -1;
    }
    KxLibraryCall call;
    KxDisplayState &d = _kxDisplay;
    if (!image || !image->data) {  // no pixels: what a failed kxImageInit leaves
        puts("kxShow: error: NULL image");
        return -1;
    }
    if (!d.display) {
        puts("kxShow: error: no display open");
        return -1;
    }
    if (image->format == NONE) {
        puts("can't display image with format NONE");
        return -1;
    }
    if (image->width <= 0 || image->height <= 0 || image->width > kKxMaxWindowSide ||
        image->height > kKxMaxWindowSide) {
        puts("kxShow: error: illegal image");
        return -1;
    }
    if (!prepareBuffer(image)) {
        puts("kxShow: error: unable to create display image");
        return -1;
    }
    convertToRgb(image, d.rgb_pic);
    if (!_kxResetDisplay() || !_kxDisplayImage(rotated != 0)) return -1;
    sendImage();
    if (wait) {
        puts("press ENTER to continue");
        fflush(stdout);
        getc(stdin);
    }
    return 0;
}

int32_t kxShow(const kxImage *image, int32_t wait) { return _kxShowCommon(image, wait, 0); }

int32_t kxShowRotated(const kxImage *image, int32_t wait)
{
    return _kxShowCommon(image, wait, 1);
}
