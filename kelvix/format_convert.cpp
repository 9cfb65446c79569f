// Conversions between the colour spaces of the library: RGB, HSI, NRG, GRAY
// and BINARY.
#include "pixel_internal.h"

#include <algorithm>
#include <cstdio>

namespace {

// Messages of one conversion; only the wrong-format line differs in wording
// between operations (kxRgb2R's carries "error: ").
struct Messages {
    const char *nullArgument;
    const char *wrongFormat;
    const char *initFailed;
};

// The frame shared by every conversion: checks, re-initialisation of the
// destination, then `rule(in, out)` on every pixel of the clipped window, row
// by row, left to right. `rule` is inlined, so the inner loop makes no call.
template <int InChannels, int OutChannels, typename Rule>
int32_t convert(const kxImage *src, const kxWindow *window, kxImage *dst, kxFormat from,
                kxFormat to, const Messages &messages, Rule rule)
{
    if (!src || !window || !dst || !src->data) {
        puts(messages.nullArgument);
        return -1;
    }
    if (src->format != from) {
        puts(messages.wrongFormat);
        return -1;
    }
    KxStableSource source(src, dst);
    if (!source.ok() || kxImageInit(dst, to, src->width, src->height) < 0) {
        puts(messages.initFailed);
        return -1;
    }
    const KxSpan span = _kxClipWindow(window, src->width, src->height);
    if (span.empty()) return 0;
    const size_t width = static_cast<size_t>(src->width);
    for (int y = span.y0; y < span.y1; ++y) {
        const size_t first = y * width + span.x0;
        const uint16_t *in = source.get()->data + first * InChannels;
        uint16_t *out = dst->data + first * OutChannels;
        for (int x = span.x0; x < span.x1; ++x, in += InChannels, out += OutChannels) rule(in, out);
    }
    return 0;
}

// RGB channels are 0..255; larger values would overflow the integer formulas
// and make 510 - sum zero, so they count as 255.
inline int rgbChannel(uint16_t value) { return value > 255 ? 255 : value; }

inline void rgbToHsi(const uint16_t *in, uint16_t *out)
{
    const int r = rgbChannel(in[0]), g = rgbChannel(in[1]), b = rgbChannel(in[2]);
    const int max = std::max(r, std::max(g, b));
    const int min = std::min(r, std::min(g, b));
    const int sum = max + min;
    const int intensity = sum * 65535 / 510;
    int hue = 0, saturation = 0;
    if (max != min) {
        const int delta = max - min;
        saturation = sum <= 254 ? delta * 65535 / sum : delta * 65535 / (510 - sum);
        // Order matters: a tie for the maximum goes to red, then green.
        if (r == max) {
            const int q = (g - b) * 65535 / (6 * delta);
            hue = g >= b ? q : 65535 + q;
        } else if (g == max) {
            hue = (b - r) * 65535 / (6 * delta) + 21845;
        } else if (b == max) {
            hue = (r - g) * 65535 / (6 * delta) + 43690;
        } else {
            puts("kxRgb2Hsi: Problem with hue");
            hue = 0;
        }
    }
    out[0] = static_cast<uint16_t>(hue);
    out[1] = static_cast<uint16_t>(saturation);
    out[2] = static_cast<uint16_t>(intensity);
}

inline uint16_t toByte(float value) { return static_cast<uint16_t>(static_cast<int>(255.0f * value + 0.5f)); }

inline void hsiToRgb(const uint16_t *in, uint16_t *out)
{
    const float h = in[0] * 360.0f / 65535.0f;
    const float s = in[1] / 65535.0f;
    const float l = in[2] / 65535.0f;
    const float m2 = l < 0.5f ? l * (1.0f + s) : l + s - l * s;
    const float m1 = 2.0f * l - m2;
    if (s == 0.0f) {
        uint16_t grey = 0;
        if (h == 0.0f) grey = toByte(l);
        else printf("kxHsi2Rgb: Problem with hue (input = %d, %d, %d)\n", in[0], in[1], in[2]);
        out[0] = out[1] = out[2] = grey;
        return;
    }
    out[0] = toByte(_kxValue(m1, m2, h + 120.0f));
    out[1] = toByte(_kxValue(m1, m2, h));
    out[2] = toByte(_kxValue(m1, m2, h - 120.0f));
}

inline void rgbToNrg(const uint16_t *in, uint16_t *out)
{
    const int total = in[0] + in[1] + in[2];
    if (total == 0) {
        out[0] = out[1] = 0;
        return;
    }
    // Double precision: the share is then rounded exactly as the rational
    // number would be, whatever the channel values.
    out[0] = static_cast<uint16_t>(static_cast<int>(in[0] * 255.0 / total + 0.5));
    out[1] = static_cast<uint16_t>(static_cast<int>(in[1] * 255.0 / total + 0.5));
}

int32_t rgbToChannel(const kxImage *src, const kxWindow *window, kxImage *dst, int channel,
                     const Messages &messages)
{
    return convert<3, 1>(src, window, dst, RGB, GRAY, messages,
                         [channel](const uint16_t *in, uint16_t *out) { out[0] = in[channel]; });
}

} // namespace

int32_t kxRgb2Hsi(const kxImage *src, const kxWindow *window, kxImage *dst)
{
    static const Messages messages{"kxRgb2Hsi: error: one of the parameters is NULL",
                                   "kxRgb2Hsi: src image is not RGB",
                                   "kxRgb2Hsi: error: could not initialize dest image"};
    return convert<3, 3>(src, window, dst, RGB, HSI, messages,
                         [](const uint16_t *in, uint16_t *out) { rgbToHsi(in, out); });
}

int32_t kxHsi2Rgb(const kxImage *src, const kxWindow *window, kxImage *dst)
{
    static const Messages messages{"kxHsi2Rgb: error: one of the parameters is NULL",
                                   "kxHsi2Rgb: src image is not HSI",
                                   "kxHsi2Rgb: error: could not initialize dest image"};
    return convert<3, 3>(src, window, dst, HSI, RGB, messages,
                         [](const uint16_t *in, uint16_t *out) { hsiToRgb(in, out); });
}

int32_t kxRgb2Nrg(const kxImage *src, const kxWindow *window, kxImage *dst)
{
    static const Messages messages{"kxRgb2Nrg: error: one of the parameters is NULL",
                                   "kxRgb2Nrg: src image is not RGB",
                                   "kxRgb2Nrg: error: could not initialize dest image"};
    return convert<3, 2>(src, window, dst, RGB, NRG, messages,
                         [](const uint16_t *in, uint16_t *out) { rgbToNrg(in, out); });
}

int32_t kxNrg2Gray(const kxImage *src, const kxWindow *window, kxImage *dst)
{
    static const Messages messages{"kxNrg2Gray: error: one of the parameters is NULL",
                                   "kxNrg2Gray: src image is not NRG",
                                   "kxNrg2Gray: error: could not initialize dest image"};
    return convert<2, 1>(src, window, dst, NRG, GRAY, messages, [](const uint16_t *in, uint16_t *out) {
        out[0] = static_cast<uint16_t>(in[0] + in[1]);
    });
}

int32_t kxRgb2Gray(const kxImage *src, const kxWindow *window, kxImage *dst)
{
    static const Messages messages{"kxRgb2Gray: error: one of the parameters is NULL",
                                   "kxRgb2Gray: src image is not RGB",
                                   "kxRgb2Gray: error: could not initialize dest image"};
    return convert<3, 1>(src, window, dst, RGB, GRAY, messages, [](const uint16_t *in, uint16_t *out) {
        out[0] = static_cast<uint16_t>((in[0] + in[1] + in[2]) / 3);
    });
}

int32_t kxRgb2R(const kxImage *src, const kxWindow *window, kxImage *dst)
{
    static const Messages messages{"kxRgb2R: error: one of the parameters is NULL",
                                   "kxRgb2R: error: src image is not RGB",
                                   "kxRgb2R: error: could not initialize dest image"};
    return rgbToChannel(src, window, dst, 0, messages);
}

int32_t kxRgb2G(const kxImage *src, const kxWindow *window, kxImage *dst)
{
    static const Messages messages{"kxRgb2G: error: one of the parameters is NULL",
                                   "kxRgb2G: src image is not RGB",
                                   "kxRgb2G: error: could not initialize dest image"};
    return rgbToChannel(src, window, dst, 1, messages);
}

int32_t kxRgb2B(const kxImage *src, const kxWindow *window, kxImage *dst)
{
    static const Messages messages{"kxRgb2B: error: one of the parameters is NULL",
                                   "kxRgb2B: src image is not RGB",
                                   "kxRgb2B: error: could not initialize dest image"};
    return rgbToChannel(src, window, dst, 2, messages);
}

int32_t kxBinary2Rgb(const kxImage *src, const kxWindow *window, kxImage *dst)
{
    static const Messages messages{"kxBinary2Rgb: error: one of the parameters is NULL",
                                   "kxBinary2Rgb: src image is not BINARY",
                                   "kxBinary2Rgb: error: could not initialize dest image"};
    return convert<1, 3>(src, window, dst, BINARY, RGB, messages, [](const uint16_t *in, uint16_t *out) {
        out[0] = out[1] = out[2] = in[0];
    });
}
