// Automatic exposure: the camera gain, for a given shutter, that puts the
// brightest pixel of the picture just below saturation.
#include "blob.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

// Releases the search's images and window on every way out.
struct ExposureImages {
    kxImage *rgb = kxImageCreate(RGB, kWidth, kHeight);
    kxImage *gray = kxImageCreate(GRAY, kWidth, kHeight);
    kxWindow *window = kxWindowCreate(0, 0, kWidth, kHeight);
    ExposureImages() = default;
    ExposureImages(const ExposureImages &) = delete;
    ExposureImages &operator=(const ExposureImages &) = delete;
    ~ExposureImages()
    {
        kxImageDestroy(rgb);
        kxImageDestroy(gray);
        kxWindowDestroy(window);
    }
    bool ok() const { return rgb && gray && window; }
};

// Largest grey value inside the 640 x 480 window, limited to the pixels the
// grey image really has (the grabber may run at another size).
int maximumGrey(const kxImage *gray)
{
    const int32_t rows = std::min(gray->height, kHeight);
    const int32_t cols = std::min(gray->width, kWidth);
    int maximum = 0;
    for (int32_t r = 0; r < rows; ++r) {
        const uint16_t *row = gray->data + static_cast<size_t>(r) * gray->width;
        for (int32_t c = 0; c < cols; ++c) maximum = std::max<int>(maximum, row[c]);
    }
    return maximum;
}

} // namespace

int autoExposure(int shutter)
{
    ExposureImages images;
    if (!images.ok()) {
        puts("autoExposure: error: could not create images");
        return -1;
    }
    if (kxGrabSetShutter(shutter) != 0) {
        puts("kxGrabSetShutter: error: unable to setup shutter");
        return -1;
    }
    int mingain = 1;
    int maxgain = 65535;
    int brightness = 0;
    do {
        const int gain = (mingain + maxgain) / 2;
        if (kxGrabSetGain(gain) != 0) {
            puts("kxGrabSetGain: error: unable to setup gain");
            return -1;
        }
        // Frames arrive one capture late: the first grab after a new gain
        // returns a picture begun under the old one. The third is measured.
        for (int frame = 0; frame < 3; ++frame) {
            // Measuring a stale or never-filled picture would steer the
            // search blindly; a camera that stopped delivering ends it.
            if (kxGrabImage(images.rgb) != 0) {
                puts("autoExposure: error: unable to grab a frame");
                return -1;
            }
        }
        if (kxRgb2Gray(images.rgb, images.window, images.gray) != 0) {
            puts("autoExposure: error: unable to convert the frame to grey");
            return -1;
        }
        brightness = maximumGrey(images.gray);
        printf("Current gain: %d - Maximum brightness: %d\n", gain, brightness);
        if (brightness > 240 && brightness < 255) return 0;
        if (brightness >= 255)
            maxgain = gain;
        else
            mingain = gain;
        printf("maxgain=%d mingain=%d\n", maxgain, mingain);
    } while (maxgain > mingain + 1);
    return brightness <= 240 ? 1 : 0;
}
