// Pictures exchanged with the standard tools: files made by Netpbm and
// ImageMagick must load (or be refused) as they should, and what kxImageSave
// writes must read back in those tools pixel for pixel. The tools are
// installed by scripts/test; a missing tool fails the test.
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kelvix.h"
#include "output_capture.h"
#include "test_support.h"

using kxfiles::captureOutput;
using kxtest::ImagePtr;
using kxtest::makeImage;
using kxtest::ScratchDir;

namespace {

// Runs a shell command and returns its standard output; the test fails when
// the command does not succeed.
std::string run(const std::string &command)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return out;
    }
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    EXPECT_EQ(0, pclose(pipe)) << command;
    return out;
}

std::string tool(const char *path)
{
    std::string p = path;
    EXPECT_EQ(std::string::npos, p.find("NOTFOUND")) << "tool not installed (scripts/install-deps)";
    return "'" + p + "'";
}

const std::string ppmmake = tool(KX_PPMMAKE);
const std::string pamfile = tool(KX_PAMFILE);
const std::string pnmtopnm = tool(KX_PNMTOPNM);
const std::string pamdepth = tool(KX_PAMDEPTH);
const std::string convert = tool(KX_CONVERT);

// The samples of a plain (P1..P3) Netpbm file as written by pnmtopnm -plain.
std::vector<int> plainSamples(const std::string &text, std::string *magic)
{
    std::istringstream in(text);
    int width, height, maxval;
    in >> *magic >> width >> height >> maxval;
    std::vector<int> samples;
    int value;
    while (in >> value) samples.push_back(value);
    return samples;
}

// The samples of ImageMagick's "txt:" enumeration, "x,y: (r,g,b) ..." per line.
std::vector<int> enumeratedSamples(const std::string &text)
{
    std::vector<int> samples;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        int x, y, r, g, b;
        if (sscanf(line.c_str(), "%d,%d: (%d,%d,%d)", &x, &y, &r, &g, &b) != 5) {
            ADD_FAILURE() << "unexpected line: " << line;
            continue;
        }
        samples.insert(samples.end(), {r, g, b});
    }
    return samples;
}

std::vector<int> samplesOf(const kxImage *image)
{
    std::vector<int> samples;
    for (size_t i = 0; i < size_t(image->width) * image->height * 3; ++i) samples.push_back(image->data[i]);
    return samples;
}

kxImage *randomRgb(int width, int height, unsigned seed)
{
    kxImage *image = kxImageCreate(RGB, width, height);
    std::mt19937 random(seed);
    for (size_t i = 0; i < size_t(width) * height * 3; ++i) image->data[i] = random() & 0xFF;
    return image;
}

int32_t loadQuietly(kxImage *image, const std::string &path, kxfiles::Output *output = nullptr)
{
    int32_t result = 0;
    kxfiles::Output out = captureOutput([&] { result = kxImageLoad(image, path.c_str()); });
    if (output) *output = out;
    return result;
}

} // namespace

TEST(ToolsWrite, NetpbmPictureLoads)
{
    // The first red byte is 10, a line feed: only one byte may end the header.
    ScratchDir dir;
    const std::string path = dir.file("made.ppm");
    run(ppmmake + " rgb:0a/14/1e 3 2 > " + path);
    ImagePtr image(makeImage(NONE, 0, 0));
    ASSERT_EQ(0, loadQuietly(image.get(), path));
    EXPECT_EQ(3, image->width);
    EXPECT_EQ(2, image->height);
    EXPECT_EQ(std::vector<int>({10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30}),
              samplesOf(image.get()));
}

TEST(ToolsWrite, ImageMagickNoiseWithACommentLoadsAsNetpbmDecodesIt)
{
    ScratchDir dir;
    const std::string path = dir.file("noise.ppm");
    run(convert + " -seed 3 -size 64x48 xc:gray +noise Random -set comment 'made by a tool' -depth 8 ppm:" + path);
    ASSERT_NE(std::string::npos, kxtest::readFile(path).find("#made by a tool\n"));
    ImagePtr image(makeImage(NONE, 0, 0));
    ASSERT_EQ(0, loadQuietly(image.get(), path));
    std::string magic;
    const std::vector<int> expected = plainSamples(run(pnmtopnm + " -plain " + path), &magic);
    EXPECT_EQ("P3", magic);
    ASSERT_EQ(64u * 48u * 3u, expected.size());
    EXPECT_EQ(expected, samplesOf(image.get()));
}

TEST(ToolsWrite, OddWhiteSpaceAroundToolPixels)
{
    // Netpbm writes a tidy header; the same pixel bytes behind a header with
    // tabs, carriage returns, blank lines and a comment must load as Netpbm
    // itself decodes them. The red bytes are 32, a space, right after the tab
    // that ends the header.
    ScratchDir dir;
    const std::string tidy = run(ppmmake + " rgb:20/09/0d 2 2");
    ASSERT_EQ(0u, tidy.find("P6\n2 2\n255\n"));
    const std::string pixels = tidy.substr(11);
    const std::string path = dir.file("odd.ppm");
    ASSERT_TRUE(kxtest::writeFile(path, "P6\t\r\n\n#comment\n  2\t\r\n\n2   255\t" + pixels));
    ImagePtr image(makeImage(NONE, 0, 0));
    ASSERT_EQ(0, loadQuietly(image.get(), path));
    std::string magic;
    const std::vector<int> expected = plainSamples(run(pnmtopnm + " -plain " + path), &magic);
    EXPECT_EQ(std::vector<int>({32, 9, 13, 32, 9, 13, 32, 9, 13, 32, 9, 13}), expected);
    EXPECT_EQ(expected, samplesOf(image.get()));

    // White space before the magic is ours alone to accept.
    ASSERT_TRUE(kxtest::writeFile(path, " \t\n" + tidy));
    ASSERT_EQ(0, loadQuietly(image.get(), path));
    EXPECT_EQ(expected, samplesOf(image.get()));
}

TEST(ToolsWrite, PlainText16BitAndTruncatedFilesAreRefused)
{
    ScratchDir dir;
    const std::string source = dir.file("source.ppm");
    run(ppmmake + " rgb:01/02/03 4 4 > " + source);
    run(pnmtopnm + " -plain " + source + " > " + dir.file("plain.ppm"));
    run(pamdepth + " 65535 " + source + " > " + dir.file("deep.ppm"));
    run(convert + " -size 4x4 xc:red -depth 16 ppm:" + dir.file("deep_im.ppm"));
    run("head -c 40 " + source + " > " + dir.file("cut.ppm"));

    ImagePtr image(makeImage(NONE, 0, 0));
    kxfiles::Output out;
    EXPECT_EQ(-1, loadQuietly(image.get(), dir.file("plain.ppm"), &out));
    EXPECT_EQ("kxImageLoad: error: cannot read as P6 format PPM\n", out.out);
    for (const char *name : {"deep.ppm", "deep_im.ppm"}) {
        EXPECT_EQ(-1, loadQuietly(image.get(), dir.file(name), &out));
        EXPECT_EQ("kxImageLoad: error: file does not have maxval=255\n", out.out) << name;
    }
    EXPECT_EQ(-1, loadQuietly(image.get(), dir.file("cut.ppm"), &out));
    EXPECT_EQ("", out.out);
    EXPECT_EQ(0u, out.err.find("kxImageLoad: read error")) << out.err;
}

TEST(ToolsRead, SavedRgbPictureReadsBackPixelForPixel)
{
    ScratchDir dir;
    ImagePtr image(randomRgb(37, 23, 11));
    const std::string path = dir.file("saved.ppm");
    captureOutput([&] { ASSERT_EQ(0, kxImageSave(image.get(), path.c_str())); });

    EXPECT_NE(std::string::npos, run(pamfile + " " + path).find("PPM raw, 37 by 23  maxval 255"));
    std::string magic;
    EXPECT_EQ(samplesOf(image.get()), plainSamples(run(pnmtopnm + " -plain " + path), &magic));
    EXPECT_EQ(samplesOf(image.get()), enumeratedSamples(run(convert + " " + path + " -depth 8 txt:-")));
}

TEST(ToolsRead, SavedGrayAndBinaryPicturesReadAsEqualChannels)
{
    ScratchDir dir;
    ImagePtr gray(makeImage(GRAY, 3, 2));
    const uint16_t values[] = {0, 17, 128, 254, 255, 256};
    for (int i = 0; i < 6; ++i) gray->data[i] = values[i];
    ImagePtr binary(makeImage(BINARY, 2, 1));
    binary->data[0] = 255;
    binary->data[1] = 0;
    captureOutput([&] {
        ASSERT_EQ(0, kxImageSave(gray.get(), dir.file("g.ppm").c_str()));
        ASSERT_EQ(0, kxImageSave(binary.get(), dir.file("b.ppm").c_str()));
    });
    EXPECT_EQ(std::vector<int>({0, 0, 0, 17, 17, 17, 128, 128, 128, 254, 254, 254, 255, 255, 255, 0, 0, 0}),
              enumeratedSamples(run(convert + " " + dir.file("g.ppm") + " -depth 8 txt:-")));
    std::string magic;
    EXPECT_EQ(std::vector<int>({255, 255, 255, 0, 0, 0}),
              plainSamples(run(pnmtopnm + " -plain " + dir.file("b.ppm")), &magic));
}

TEST(ToolsRead, NetpbmRewritesASavedFrameByteForByte)
{
    // A full frame through pnmtopnm comes back identical: our header is the
    // canonical one and there is no trailer.
    ScratchDir dir;
    ImagePtr frame(randomRgb(640, 480, 5));
    const std::string path = dir.file("frame.ppm");
    captureOutput([&] { ASSERT_EQ(0, kxImageSave(frame.get(), path.c_str())); });
    const std::string rewritten = run(pnmtopnm + " " + path);
    EXPECT_TRUE(rewritten == kxtest::readFile(path)) << "sizes " << rewritten.size();

    const std::string back = dir.file("back.ppm");
    run(convert + " " + path + " png:- | " + convert + " png:- -depth 8 ppm:" + back);
    ImagePtr loaded(makeImage(NONE, 0, 0));
    ASSERT_EQ(0, loadQuietly(loaded.get(), back));
    EXPECT_TRUE(samplesOf(frame.get()) == samplesOf(loaded.get()));
}
