// kxview: shows a PPM picture (or a test pattern) in the library's window and
// prints the position and colour of every click. The right button ends it.
//
//   kxview [-r] [-s] [FILE.ppm]
//     -r  show the picture turned by 180 degrees
//     -s  send pixels through shared memory (MIT-SHM)
#include <cstdio>
#include <cstring>
#include <memory>

#include "kelvix.h"

namespace {

struct ImageDeleter {
    void operator()(kxImage *image) const { kxImageDestroy(image); }
};
using ImageOwner = std::unique_ptr<kxImage, ImageDeleter>;

// Colour bars over the top half, a grey ramp below: every packing of the
// display shows its steps here.
ImageOwner testPattern(int width, int height)
{
    ImageOwner image(kxImageCreate(RGB, width, height));
    if (!image) return nullptr;
    static const uint16_t bars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255},
                                        {0, 255, 0},     {255, 0, 255}, {255, 0, 0},
                                        {0, 0, 255},     {0, 0, 0}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint16_t *pixel = image->data + (static_cast<size_t>(y) * width + x) * 3;
            if (y < height / 2) {
                const uint16_t *bar = bars[x * 8 / width];
                memcpy(pixel, bar, 3 * sizeof(uint16_t));
            } else {
                uint16_t grey = static_cast<uint16_t>(x * 255 / (width - 1));
                pixel[0] = pixel[1] = pixel[2] = grey;
            }
        }
    }
    return image;
}

ImageOwner loadPicture(const char *path)
{
    ImageOwner image(kxImageCreate(RGB, 1, 1));
    if (!image || kxImageLoad(image.get(), path) != 0) return nullptr;
    return image;
}

void usage()
{
    fputs("usage: kxview [-r] [-s] [FILE.ppm]\n"
          "  shows the picture (a test pattern without FILE) and prints each click;\n"
          "  the right button quits\n"
          "  -r  turned by 180 degrees\n"
          "  -s  pixels through shared memory\n",
          stderr);
}

} // namespace

int main(int argc, char **argv)
{
    // Line by line even into a pipe: a signal ends the process without
    // stdio's flush at exit.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    bool rotated = false;
    int shm = 0;
    const char *path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "-r")) rotated = true;
        else if (!strcmp(argv[i], "-s")) shm = 1;
        else if (argv[i][0] == '-' || path) {
            usage();
            return 2;
        } else path = argv[i];
    }

    ImageOwner image = path ? loadPicture(path) : testPattern(320, 240);
    if (!image) {
        fprintf(stderr, "kxview: cannot read %s\n", path ? path : "the test pattern");
        return 1;
    }
    if (kxDisplayInit(image->width, image->height, shm) < 0) return 1;

    const int width = image->width, height = image->height;
    for (;;) {
        int shown = rotated ? kxShowRotated(image.get(), 0) : kxShow(image.get(), 0);
        if (shown != 0) break;
        kxPoint click{};
        int button = kxGetPoint(&click);
        if (button < 0 || button == 3) break;
        // Window position to picture position: a turned picture shows pixel
        // (width-1-x, height-1-y) at (x, y).
        int x = rotated ? width - 1 - click.x : click.x;
        int y = rotated ? height - 1 - click.y : click.y;
        if (x < 0 || y < 0 || x >= width || y >= height) continue;  // on the border
        const uint16_t *pixel = image->data + (static_cast<size_t>(y) * width + x) * 3;
        printf("point %d %d button %d colour %u %u %u\n", x, y, button, pixel[0], pixel[1],
               pixel[2]);
    }
    kxDisplayShutdown();
    return 0;
}
