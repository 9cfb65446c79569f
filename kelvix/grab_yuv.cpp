// YUV 4:2:0 planar to RGB conversion of grabbed frames.
//
// Results must equal, bit for bit, the plain double-precision formula
//   Y' = (Y - 16) * 1.1644
//   red = Y' + 1.596 V,  green = Y' - 0.3918 U - 0.813 V,  blue = Y' + 2.0172 U
// (U, V = chroma byte - 128), each truncated toward zero and limited to
// 0..255. The tables below hold exactly the products the formula computes,
// and the sums are done in the formula's order. This file is compiled with
// -ffp-contract=off: a fused multiply-add would skip a rounding step and
// change hundreds of results.
#include "grab_device.h"

namespace {

// Red depends on (Y, Cr) only and blue on (Y, Cb) only, so their exact
// results fit 64 KiB tables; green needs all three and is computed from the
// exact products.
struct ConversionTables {
    uint8_t red[256][256];   // [Cr][Y]
    uint8_t blue[256][256];  // [Cb][Y]
    double luma[256];        // (Y - 16) * 1.1644
    double greenU[256];      // 0.3918 * U
    double greenV[256];      // 0.813 * V

    ConversionTables()
    {
        for (int byte = 0; byte < 256; ++byte) {
            int chroma = byte - 128;
            luma[byte] = (byte - 16) * 1.1644;
            greenU[byte] = 0.3918 * chroma;
            greenV[byte] = 0.813 * chroma;
        }
        for (int c = 0; c < 256; ++c) {
            int chroma = c - 128;
            for (int y = 0; y < 256; ++y) {
                red[c][y] = limit(luma[y] + 1.596 * chroma);
                blue[c][y] = limit(luma[y] + 2.0172 * chroma);
            }
        }
    }

    static uint8_t limit(double value)
    {
        int truncated = static_cast<int>(value);
        return static_cast<uint8_t>(truncated > 255 ? 255 : (truncated < 0 ? 0 : truncated));
    }
};

const ConversionTables &tables()
{
    static const ConversionTables instance;
    return instance;
}

// One pixel; `green` is Y' - 0.3918 U, so that the final subtraction comes
// in the formula's order.
inline void convertPixel(const ConversionTables &t, uint8_t y, const uint8_t *red,
                         const uint8_t *blue, double greenU, double greenV, uint16_t *out)
{
    int green = static_cast<int>(t.luma[y] - greenU - greenV);
    green = green > 255 ? 255 : green;
    green = green < 0 ? 0 : green;
    out[0] = red[y];
    out[1] = static_cast<uint16_t>(green);
    out[2] = blue[y];
}

} // namespace

size_t _kxGrabFrameBytes(int32_t rows, int32_t cols)
{
    size_t pixels = static_cast<size_t>(rows) * static_cast<size_t>(cols);
    size_t chroma = static_cast<size_t>(rows / 2) * static_cast<size_t>(cols / 2);
    return pixels * 5 / 4 + chroma;
}

void _kxGrabYuv420ToRgb(const uint8_t *frame, int32_t rows, int32_t cols, uint16_t *rgb)
{
    const ConversionTables &t = tables();
    const size_t pixels = static_cast<size_t>(rows) * static_cast<size_t>(cols);
    const uint8_t *cbPlane = frame + pixels;
    const uint8_t *crPlane = frame + pixels * 5 / 4;
    const size_t chromaCols = static_cast<size_t>(cols / 2);
    for (int32_t r = 0; r < rows; ++r) {
        // Chroma row (r * (rows / 2)) / rows: r / 2 for even heights, and
        // never past the last chroma row for odd ones.
        size_t chromaRow = static_cast<size_t>(
            (static_cast<long long>(r) * (rows / 2)) / rows);
        const uint8_t *luma = frame + static_cast<size_t>(r) * cols;
        const uint8_t *cb = cbPlane + chromaRow * chromaCols;
        const uint8_t *cr = crPlane + chromaRow * chromaCols;
        uint16_t *out = rgb + static_cast<size_t>(r) * cols * 3;
        if (cols % 2 == 0) {
            for (int32_t c = 0; c < cols; c += 2) {
                size_t k = static_cast<size_t>(c) / 2;
                const uint8_t *red = t.red[cr[k]], *blue = t.blue[cb[k]];
                double gu = t.greenU[cb[k]], gv = t.greenV[cr[k]];
                convertPixel(t, luma[c], red, blue, gu, gv, out + 3 * c);
                convertPixel(t, luma[c + 1], red, blue, gu, gv, out + 3 * c + 3);
            }
        } else {
            for (int32_t c = 0; c < cols; ++c) {
                size_t k = static_cast<size_t>((static_cast<long long>(c) * (cols / 2)) / cols);
                convertPixel(t, luma[c], t.red[cr[k]], t.blue[cb[k]], t.greenU[cb[k]],
                             t.greenV[cr[k]], out + 3 * c);
            }
        }
    }
}
