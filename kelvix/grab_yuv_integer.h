// The exact integer form of the conversion formula that the integer kernels
// (AVX2, NEON) compute in 16-bit lanes; not part of the public API.
//
// Why integers give the formula's bits: with y = Y - 16, u, v = chroma - 128
// every channel's exact value is N / 10000 for an integer N (red N = 11644 y
// + 15960 v, green 11644 y - 3918 u - 8130 v, blue 11644 y + 20172 u). Where
// N is not a multiple of 10000 the exact value lies at least 1e-4 from every
// integer, far beyond the doubles' rounding (below 1e-12 here), so the
// formula truncates to floor(N / 10000) (or 0 below zero). Only where N is a
// multiple of 10000 can the formula's doubles land just below the integer
// and truncate one lower; that happens for 71 (Y, Cb, Cr) of green and
// blue, all where N / 10000 is 2 or more. A block with such a pixel (N a
// multiple of 10000, quotient 2 or more) is converted again by a double
// kernel.
//
// floor(N / 10000) is computed as aY + aC + carry: 11644 Y = 10000 aY + bY
// per pixel, the chroma term C = 10000 aC + bC per chroma sample (both b in
// 0..9999), carry = bY + bC >= 10000. N is a multiple of 10000 where bY ==
// (10000 - bC) mod 10000.
#pragma once

#include <cstdint>

// The quotient and remainder by 10000 of a chroma term K x + C of one chroma
// byte x: a = floor((K x + C) / 10000) = I x + E + floor((x + c0) M / 65536),
// whose constants were found by a search over all 256 bytes (the conversion
// test checks every combination), and 9999 - b = 10000 a - K x - C + 9999,
// computed modulo 65536 (the result lies in 0..9999).
struct ByteTerm {
    int16_t factor;      // K
    int16_t offset;      // C mod 65536
    int16_t slope;       // I
    int16_t multiplier;  // M, as unsigned
    int16_t shift;       // c0
    int16_t base;        // E
};

// The terms without 11644 Y, the luma offset included (11644 * -16 =
// -186304, and -128 times each chroma factor): red 15960 Cr - 2229184, blue
// 20172 Cb - 2768320, green -3918 Cb + (-8130 Cr + 1355840).
constexpr int16_t wrapped(int32_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF)); }
constexpr ByteTerm kRedTerm{15960, wrapped(-2229184), 1, wrapped(39055), 27, -239};
constexpr ByteTerm kBlueTerm{20172, wrapped(-2768320), 2, 1126, 10, -277};
constexpr ByteTerm kGreenCbTerm{-3918, 0, -1, wrapped(39855), 296, -180};
constexpr ByteTerm kGreenCrTerm{-8130, wrapped(1355840), -1, 12257, 94, 118};
