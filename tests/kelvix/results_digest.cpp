// Prints one digest line per library operation whose arithmetic could depend
// on how the library was compiled: every colour conversion, thresholding, the
// grabber's YUV conversion (through a recorded video), kxScale, kxDistance and
// kxCalcTimevalDiff, each on a fixed large input. Two builds of the library
// that compute the same results print the same lines; scripts/checks/
// native-results compares a -march=native build with the default one.
//
//   results_digest <scratch directory>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "kelvix.h"

namespace {

// 64-bit FNV-1a over whatever the operation produced.
struct Digest {
    uint64_t value = 1469598103934665603ULL;
    void add(const void *bytes, size_t count)
    {
        const unsigned char *p = static_cast<const unsigned char *>(bytes);
        for (size_t i = 0; i < count; ++i) value = (value ^ p[i]) * 1099511628211ULL;
    }
};

// Deterministic input: xorshift32, the same sequence on every machine.
struct Sequence {
    uint32_t state = 2463534242u;
    uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

size_t values(const kxImage *image)
{
    int channels = image->format == NONE ? 0 : kxPixelSize(image->format);
    return static_cast<size_t>(image->width) * image->height * (channels > 0 ? channels : 0);
}

void report(const char *name, int32_t status, const kxImage *image)
{
    Digest digest;
    if (status == 0) digest.add(image->data, values(image) * sizeof(uint16_t));
    printf("%-18s %3d %dx%d %016" PRIx64 "\n", name, status, image->width, image->height,
           digest.value);
}

kxImage *create(kxFormat format, int width, int height)
{
    kxImage *image = kxImageCreate(format, width, height);
    if (!image) exit(2);
    return image;
}

// Every (red, green) pair, every blue value, 4 Mi pixels.
kxImage *rgbInput()
{
    kxImage *image = create(RGB, 2048, 2048);
    for (uint32_t i = 0; i < 2048u * 2048u; ++i) {
        uint16_t r = i & 255, g = (i >> 8) & 255;
        image->data[3 * i] = r;
        image->data[3 * i + 1] = g;
        image->data[3 * i + 2] = static_cast<uint16_t>((((i >> 16) << 2) | ((r ^ g) & 3)) & 255);
    }
    return image;
}

// Every hue, with pseudo-random saturation and intensity; the first pixel is
// one that a fused multiply-add turns one step redder.
kxImage *hsiInput()
{
    kxImage *image = create(HSI, 1024, 1024);
    Sequence random;
    for (uint32_t i = 0; i < 1024u * 1024u; ++i) {
        uint32_t bits = random.next();
        image->data[3 * i] = static_cast<uint16_t>(i);
        image->data[3 * i + 1] = static_cast<uint16_t>(bits);
        image->data[3 * i + 2] = static_cast<uint16_t>(bits >> 16);
    }
    const uint16_t example[3] = {8579, 32227, 53652};
    for (int k = 0; k < 3; ++k) image->data[k] = example[k];
    return image;
}

// A 1024 x 1024 recorded picture in which every (Cb, Cr) pair appears with
// 16 luma values, and every luma value with every Cb and with every Cr.
std::string writeVideo(const std::string &directory)
{
    const int width = 1024, height = 1024;
    std::string path = directory + "/results.y4m";
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) exit(3);
    fprintf(file, "YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C420jpeg\nFRAME\n", width, height);
    std::string luma(static_cast<size_t>(width) * height, '\0');
    std::string cb(luma.size() / 4, '\0'), cr(luma.size() / 4, '\0');
    for (int by = 0; by < height / 2; ++by)
        for (int bx = 0; bx < width / 2; ++bx) {
            const int block = by * (width / 2) + bx;
            const int blue = block & 255, red = (block >> 8) & 255, round = block >> 16;
            cb[block] = static_cast<char>(blue);
            cr[block] = static_cast<char>(red);
            for (int s = 0; s < 4; ++s) {
                const int y = 2 * by + (s >> 1), x = 2 * bx + (s & 1);
                luma[static_cast<size_t>(y) * width + x] =
                    static_cast<char>(blue + red + 37 * s + 101 * round);
            }
        }
    fwrite(luma.data(), 1, luma.size(), file);
    fwrite(cb.data(), 1, cb.size(), file);
    fwrite(cr.data(), 1, cr.size(), file);
    if (fclose(file) != 0) exit(3);
    return path;
}

// Runs `call` with standard output captured and returns what it printed.
template <typename Call>
std::string printedBy(const std::string &directory, Call call)
{
    std::string path = directory + "/printed.txt";
    fflush(stdout);
    int saved = dup(1);
    if (!freopen(path.c_str(), "w", stdout)) exit(4);
    call();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    if (FILE *file = fopen(path.c_str(), "r")) {
        for (int c; (c = getc(file)) != EOF;) text.push_back(static_cast<char>(c));
        fclose(file);
    }
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <scratch directory>\n", argv[0]);
        return 1;
    }
    const std::string directory = argv[1];
    kxImage *out = create(NONE, 0, 0);
    kxImage *more = create(NONE, 0, 0);

    kxImage *rgb = rgbInput();
    kxWindow all{0, 0, rgb->width, rgb->height};
    report("kxRgb2Hsi", kxRgb2Hsi(rgb, &all, out), out);
    report("kxHsi2Rgb(rgb)", kxHsi2Rgb(out, &all, more), more);
    report("kxRgb2Nrg", kxRgb2Nrg(rgb, &all, out), out);
    report("kxNrg2Gray", kxNrg2Gray(out, &all, more), more);
    report("kxRgb2Gray", kxRgb2Gray(rgb, &all, out), out);
    report("kxGray2Binary", kxGray2Binary(out, 100, &all, more), more);
    report("kxRgb2R", kxRgb2R(rgb, &all, out), out);
    report("kxRgb2G", kxRgb2G(rgb, &all, out), out);
    report("kxRgb2B", kxRgb2B(rgb, &all, out), out);
    report("kxRgb2Binary", kxRgb2Binary(rgb, 15, &all, out), out);
    report("kxBinary2Rgb", kxBinary2Rgb(out, &all, more), more);

    kxImage *hsi = hsiInput();
    kxWindow hsiAll{0, 0, hsi->width, hsi->height};
    report("kxHsi2Rgb", kxHsi2Rgb(hsi, &hsiAll, out), out);
    printf("kxHsi2Rgb example  %u %u %u\n", out->data[0], out->data[1], out->data[2]);

    // Nearest-pixel resizing of an odd-sized picture by awkward factors.
    kxImage *small = create(RGB, 333, 257);
    for (size_t i = 0; i < values(small); ++i) small->data[i] = static_cast<uint16_t>(i * 7919);
    const float factors[] = {0.1f, 0.3333f, 0.7f, 0.999f, 1.1f, 1.7f, 2.3f, 3.14159f};
    for (float factor : factors) {
        char name[32];
        snprintf(name, sizeof name, "kxScale(%g)", factor);
        report(name, kxScale(small, factor, out), out);
    }

    {
        Sequence random;
        std::string printed = printedBy(directory, [&] {
            for (int k = 0; k < 20000; ++k) {
                uint32_t a = random.next(), b = random.next();
                kxDistance(static_cast<int32_t>(a & 0xFFFF), static_cast<int32_t>(a >> 16),
                           static_cast<int32_t>(b & 0xFFFF), static_cast<int32_t>(b >> 16));
            }
        });
        Digest digest;
        digest.add(printed.data(), printed.size());
        printf("%-18s %016" PRIx64 "\n", "kxDistance", digest.value);
    }
    {
        Sequence random;
        Digest digest;
        for (int k = 0; k < 20000; ++k) {
            struct timeval later{static_cast<time_t>(random.next() & 0xFFFFF),
                                 static_cast<suseconds_t>(random.next() % 1000000)};
            struct timeval earlier{static_cast<time_t>(random.next() & 0xFFFFF),
                                   static_cast<suseconds_t>(random.next() % 1000000)};
            float seconds = kxCalcTimevalDiff(&later, &earlier);
            digest.add(&seconds, sizeof seconds);
        }
        printf("%-18s %016" PRIx64 "\n", "kxCalcTimevalDiff", digest.value);
    }

    // The grabber's conversion, through a recorded video.
    const std::string video = writeVideo(directory);
    int32_t status = kxGrabInit(video.c_str(), 0, 1024, 1024, 1);
    if (status == 0) status = kxGrabImage(out);
    report("kxGrabImage", status, out);
    kxGrabShutdown();

    kxImageDestroy(small);
    kxImageDestroy(hsi);
    kxImageDestroy(rgb);
    kxImageDestroy(more);
    kxImageDestroy(out);
    return 0;
}
