#include "pixel_helpers.h"

#include <gtest/gtest.h>

namespace pixeltest {

std::vector<uint16_t> convertPixel(Conversion conversion, kxFormat from, std::vector<uint16_t> in)
{
    kxtest::ImagePtr src(kxtest::makeImage(from, 1, 1));
    for (size_t k = 0; k < in.size(); ++k) src->data[k] = in[k];
    kxtest::ImagePtr dst(kxtest::makeImage(GRAY, 1, 1));
    kxWindow window{0, 0, 1, 1};
    EXPECT_EQ(conversion(src.get(), &window, dst.get()), 0);
    return valuesOf(dst.get());
}

std::vector<uint16_t> valuesOf(const kxImage *image)
{
    int channels = kxPixelSize(image->format);
    size_t count = size_t(image->width) * image->height * channels;
    return std::vector<uint16_t>(image->data, image->data + count);
}

Pixels paintedPixels(const kxImage *image, uint16_t background)
{
    Pixels painted;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            for (int k = 0; k < 3; ++k)
                if (kxtest::channelAt(image, x, y, k) != background) {
                    painted.insert({x, y});
                    break;
                }
    return painted;
}

Pixels pixelsOfColour(const kxImage *image, uint16_t r, uint16_t g, uint16_t b)
{
    Pixels found;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            if (kxtest::channelAt(image, x, y, 0) == r && kxtest::channelAt(image, x, y, 1) == g &&
                kxtest::channelAt(image, x, y, 2) == b)
                found.insert({x, y});
    return found;
}

} // namespace pixeltest
