// The YUV 4:2:0 to RGB conversion's ways of computing (paths) and their row
// kernels; not part of the public API.
//
// Every path gives, bit for bit, the plain double-precision formula
//   Y' = (Y - 16) * 1.1644
//   red = Y' + 1.596 V,  green = (Y' - 0.3918 U) - 0.813 V,  blue = Y' + 2.0172 U
// (U, V = chroma byte - 128), each truncated toward zero and limited to
// 0..255: the double vector paths do the same IEEE double operations, in the
// same order, several pixels at a time; the integer path computes the exact
// values the doubles round to and hands the rare pixels where rounding
// decides to the doubles (see grab_yuv_integer.h). No path may fuse a
// multiply and an add (that skips a rounding): their sources are compiled
// with -ffp-contract=off and the AVX2 ones without FMA.
#pragma once

#include <cstddef>
#include <cstdint>

enum class KxYuvPath {
    Plain,  // exact tables and scalar doubles; every processor
    Sse2,   // two pixels per double vector; every x86-64
    Avx2,   // four pixels per double vector
    Avx2Integer,  // sixteen pixels per 16-bit integer vector, Avx2 where rounding decides
    Neon,         // two pixels per double vector; every aarch64
    NeonInteger,  // eight pixels per 16-bit integer vector, Neon where rounding decides
};

// True when this processor (and this build) can run `path`.
bool _kxYuvPathAvailable(KxYuvPath path);

// The fastest available path: the one _kxGrabYuv420ToRgb uses.
KxYuvPath _kxYuvBestPath();

// _kxGrabYuv420ToRgb on a chosen path, so that tests and benchmarks can
// check and time each one. A path the processor lacks falls back to the
// plain one rather than run instructions it does not have.
void _kxGrabYuv420ToRgbWith(KxYuvPath path, const uint8_t *frame, int32_t rows, int32_t cols,
                            uint16_t *rgb);

// A row kernel converts one or two luma rows that share a chroma row, from
// their first pixel: pixels 2k and 2k + 1 take chroma sample k. luma1 and
// out1 are null for a single row. It converts whole blocks of its own size
// and returns the number of chroma samples it covered (at most `samples`);
// the caller converts the rest.
using KxYuvRowKernel = size_t (*)(const uint8_t *luma0, const uint8_t *luma1, const uint8_t *cb,
                                  const uint8_t *cr, uint16_t *out0, uint16_t *out1, size_t samples);

// Unrolls the kernels' short loops over vectors completely, so that their
// arrays of vectors stay in registers.
#if defined(__clang__)
#define KX_UNROLL _Pragma("unroll")
#else
#define KX_UNROLL _Pragma("GCC unroll 16")
#endif

// The vector kernels; null where the build has none.
extern const KxYuvRowKernel _kxYuvSse2Kernel;
extern const KxYuvRowKernel _kxYuvAvx2Kernel;
extern const KxYuvRowKernel _kxYuvAvx2IntegerKernel;
extern const KxYuvRowKernel _kxYuvNeonKernel;
extern const KxYuvRowKernel _kxYuvNeonIntegerKernel;
