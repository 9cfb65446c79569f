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

std::vector<std::string> paintedPixels(const kxImage *image, uint16_t background)
{
    std::vector<std::string> painted;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            for (int k = 0; k < 3; ++k)
                if (kxtest::channelAt(image, x, y, k) != background) {
                    painted.push_back(std::to_string(x) + "," + std::to_string(y));
                    break;
                }
    return painted;
}

} // namespace pixeltest
