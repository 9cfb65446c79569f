// YUV 4:2:0 planar to RGB conversion of grabbed frames: the plain path, the
// walk over a frame's rows and columns that every path shares, and the choice
// of path by what the processor offers. The formula and the rule that every
// path matches it bit for bit are in grab_yuv.h.
#include "grab_yuv.h"

#include "grab_device.h"

namespace {

// Red depends on (Y, Cr) only and blue on (Y, Cb) only, so their exact
// results fit 64 KiB tables; green needs all three and is computed from the
// exact products. The tables hold exactly the products the formula computes,
// and the sums are done in the formula's order.
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

// One pixel with chroma bytes cb and cr.
inline void convertPixel(const ConversionTables &t, uint8_t y, uint8_t cb, uint8_t cr, uint16_t *out)
{
    int green = static_cast<int>(t.luma[y] - t.greenU[cb] - t.greenV[cr]);
    green = green > 255 ? 255 : green;
    green = green < 0 ? 0 : green;
    out[0] = t.red[cr][y];
    out[1] = static_cast<uint16_t>(green);
    out[2] = t.blue[cb][y];
}

size_t plainKernel(const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb, const uint8_t *cr,
                   uint16_t *out0, uint16_t *out1, size_t samples)
{
    const ConversionTables &t = tables();
    for (size_t k = 0; k < samples; ++k) {
        convertPixel(t, luma0[2 * k], cb[k], cr[k], out0 + 6 * k);
        convertPixel(t, luma0[2 * k + 1], cb[k], cr[k], out0 + 6 * k + 3);
        if (luma1) {
            convertPixel(t, luma1[2 * k], cb[k], cr[k], out1 + 6 * k);
            convertPixel(t, luma1[2 * k + 1], cb[k], cr[k], out1 + 6 * k + 3);
        }
    }
    return samples;
}

KxYuvRowKernel kernelFor(KxYuvPath path)
{
    switch (path) {
    case KxYuvPath::Sse2: return _kxYuvSse2Kernel;
    case KxYuvPath::Avx2: return _kxYuvAvx2Kernel;
    case KxYuvPath::Avx2Integer: return _kxYuvAvx2IntegerKernel;
    case KxYuvPath::Neon: return _kxYuvNeonKernel;
    case KxYuvPath::NeonInteger: return _kxYuvNeonIntegerKernel;
    case KxYuvPath::Plain: break;
    }
    return plainKernel;
}

// One or two luma rows (luma1 and out1 null for one) over the chroma row at
// cb and cr. The chroma column of pixel c is (c * (cols / 2)) / cols: c / 2
// for even widths; for odd ones pixel 0 alone takes sample 0 and from pixel
// 1 on the pairs (2j + 1, 2j + 2) take sample j.
void convertRows(KxYuvRowKernel kernel, const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb,
                 const uint8_t *cr, uint16_t *out0, uint16_t *out1, int32_t cols)
{
    const ConversionTables &t = tables();
    if (cols % 2) {
        convertPixel(t, luma0[0], cb[0], cr[0], out0);
        if (luma1) convertPixel(t, luma1[0], cb[0], cr[0], out1);
        ++luma0;
        out0 += 3;
        if (luma1) {
            ++luma1;
            out1 += 3;
        }
    }
    const size_t samples = static_cast<size_t>(cols / 2);
    const size_t done = kernel(luma0, luma1, cb, cr, out0, out1, samples);
    plainKernel(luma0 + 2 * done, luma1 ? luma1 + 2 * done : nullptr, cb + done, cr + done, out0 + 6 * done,
                out1 ? out1 + 6 * done : nullptr, samples - done);
}

void convertFrame(KxYuvRowKernel kernel, const uint8_t *frame, int32_t rows, int32_t cols, uint16_t *rgb)
{
    const size_t pixels = static_cast<size_t>(rows) * static_cast<size_t>(cols);
    const uint8_t *cbPlane = frame + pixels;
    const uint8_t *crPlane = frame + pixels * 5 / 4;
    const size_t chromaCols = static_cast<size_t>(cols / 2);
    const size_t rowSamples = static_cast<size_t>(cols) * 3;
    auto luma = [&](int32_t r) { return frame + static_cast<size_t>(r) * cols; };
    auto out = [&](int32_t r) { return rgb + static_cast<size_t>(r) * rowSamples; };
    // Rows pair up over the chroma rows the way columns do over the chroma
    // columns: (0, 1), (2, 3) ... for even heights; row 0 alone, then
    // (2j + 1, 2j + 2) on chroma row j for odd ones.
    int32_t r = 0;
    if (rows % 2) {
        convertRows(kernel, luma(0), nullptr, cbPlane, crPlane, out(0), nullptr, cols);
        r = 1;
    }
    for (; r + 1 < rows; r += 2) {
        const size_t chromaRow = static_cast<size_t>((static_cast<long long>(r) * (rows / 2)) / rows);
        convertRows(kernel, luma(r), luma(r + 1), cbPlane + chromaRow * chromaCols,
                    crPlane + chromaRow * chromaCols, out(r), out(r + 1), cols);
    }
}

} // namespace

#if !defined(__SSE2__)
const KxYuvRowKernel _kxYuvSse2Kernel = nullptr;
#endif
#if !(defined(__x86_64__) || defined(__i386__))
const KxYuvRowKernel _kxYuvAvx2Kernel = nullptr;
const KxYuvRowKernel _kxYuvAvx2IntegerKernel = nullptr;
#endif
#if !(defined(__aarch64__) && defined(__ARM_NEON))
const KxYuvRowKernel _kxYuvNeonKernel = nullptr;
const KxYuvRowKernel _kxYuvNeonIntegerKernel = nullptr;
#endif

bool _kxYuvPathAvailable(KxYuvPath path)
{
    switch (path) {
    case KxYuvPath::Plain: return true;
    case KxYuvPath::Sse2: return _kxYuvSse2Kernel != nullptr;
    case KxYuvPath::Avx2:
    case KxYuvPath::Avx2Integer:
#if defined(__x86_64__) || defined(__i386__)
        // The integer kernel hands blocks to the double one.
        return _kxYuvAvx2Kernel != nullptr && _kxYuvAvx2IntegerKernel != nullptr &&
               __builtin_cpu_supports("avx2");
#else
        return false;
#endif
    // NEON is part of every aarch64 processor: the build decides.
    case KxYuvPath::Neon: return _kxYuvNeonKernel != nullptr;
    case KxYuvPath::NeonInteger: return _kxYuvNeonKernel != nullptr && _kxYuvNeonIntegerKernel != nullptr;
    }
    return false;
}

KxYuvPath _kxYuvBestPath()
{
    static const KxYuvPath best = _kxYuvPathAvailable(KxYuvPath::Avx2Integer)   ? KxYuvPath::Avx2Integer
                                  : _kxYuvPathAvailable(KxYuvPath::Sse2)        ? KxYuvPath::Sse2
                                  : _kxYuvPathAvailable(KxYuvPath::NeonInteger) ? KxYuvPath::NeonInteger
                                                                                : KxYuvPath::Plain;
    return best;
}

void _kxGrabYuv420ToRgbWith(KxYuvPath path, const uint8_t *frame, int32_t rows, int32_t cols, uint16_t *rgb)
{
    if (rows <= 0 || cols <= 0) return;
    convertFrame(_kxYuvPathAvailable(path) ? kernelFor(path) : plainKernel, frame, rows, cols, rgb);
}

void _kxGrabYuv420ToRgb(const uint8_t *frame, int32_t rows, int32_t cols, uint16_t *rgb)
{
    _kxGrabYuv420ToRgbWith(_kxYuvBestPath(), frame, rows, cols, rgb);
}

size_t _kxGrabFrameBytes(int32_t rows, int32_t cols)
{
    size_t pixels = static_cast<size_t>(rows) * static_cast<size_t>(cols);
    size_t chroma = static_cast<size_t>(rows / 2) * static_cast<size_t>(cols / 2);
    return pixels * 5 / 4 + chroma;
}
