// Drawing primitives: overlays painted straight into the pixels of RGB
// images (rectangles, crosses, grids, binary masks, object shapes, lines).
#include "pixel_internal.h"

#include <algorithm>
#include <cstdio>

namespace {

struct Colour {
    uint16_t r, g, b;
};

const Colour red{255, 0, 0};
const Colour green{0, 255, 0};

// An RGB image to paint on. Every figure is computed in 64-bit coordinates
// from the caller's numbers and each of its pixels is painted only when it
// lies inside the image: figures may reach over any border.
class Canvas {
public:
    explicit Canvas(kxImage *image) : image_(image) {}

    long long width() const { return image_->width; }
    long long height() const { return image_->height; }

    void paint(long long x, long long y, Colour c) const
    {
        if (x < 0 || y < 0 || x >= width() || y >= height()) return;
        uint16_t *pixel = image_->data + (static_cast<size_t>(y) * image_->width + x) * 3;
        pixel[0] = c.r;
        pixel[1] = c.g;
        pixel[2] = c.b;
    }
    // Columns [x0, x1) of row y.
    void row(long long y, long long x0, long long x1, Colour c) const
    {
        if (y < 0 || y >= height()) return;
        for (long long x = std::max(x0, 0LL), end = std::min(x1, width()); x < end; ++x) paint(x, y, c);
    }
    // Rows [y0, y1) of column x.
    void column(long long x, long long y0, long long y1, Colour c) const
    {
        if (x < 0 || x >= width()) return;
        for (long long y = std::max(y0, 0LL), end = std::min(y1, height()); y < end; ++y) paint(x, y, c);
    }

private:
    kxImage *image_;
};

// The outline bounds shared by rectangles and crosses: the left and top sides
// as given, the right and bottom ones one past the window and clamped to the
// last column and row.
struct Bounds {
    long long x0, x1, y0, y1;
};

Bounds outlineBounds(const kxImage *image, const kxWindow *window)
{
    return Bounds{window->x, std::min<long long>(image->width - 1LL, (long long)window->x + window->width),
                  window->y, std::min<long long>(image->height - 1LL, (long long)window->y + window->height)};
}

// The checks of the rectangle family and of the grids (which share the
// rectangle's messages).
bool rgbTarget(const kxImage *image, bool otherArgumentsPresent, const char *illegal, const char *notRgb)
{
    if (!image || !otherArgumentsPresent || !image->data) {
        puts(illegal);
        return false;
    }
    if (image->format != RGB) {
        puts(notRgb);
        return false;
    }
    return true;
}

// Full-width grid lines: columns 0 to width - 3; full-height ones: rows 1 to
// height - 2. Images too narrow or too low get no such lines.
void gridRow(const Canvas &canvas, long long y, Colour c)
{
    if (canvas.width() >= 3) canvas.row(y, 0, canvas.width() - 2, c);
}

void gridColumn(const Canvas &canvas, long long x, Colour c)
{
    if (canvas.height() >= 3) canvas.column(x, 1, canvas.height() - 1, c);
}

} // namespace

void kxDrawPixel(int32_t index, kxImage *image, uint16_t r, uint16_t g, uint16_t b)
{
    if (index < 0 || static_cast<size_t>(index) + 2 >= _kxImageValues(image)) return;
    image->data[index] = r;
    image->data[index + 1] = g;
    image->data[index + 2] = b;
}

int32_t kxDrawRect(kxImage *image, const kxWindow *window, uint8_t r, uint8_t g, uint8_t b)
{
    if (!rgbTarget(image, window, "kxDrawRect: error: illegal parameter", "kxDrawRect: error: image is not RGB"))
        return -1;
    const Canvas canvas(image);
    const Bounds o = outlineBounds(image, window);
    const Colour c{r, g, b};
    // Half-open edges: the corner (x1, y1) belongs to none of them.
    if (o.x0 < o.x1) {
        canvas.row(o.y0, o.x0, o.x1, c);
        canvas.row(o.y1, o.x0, o.x1, c);
    }
    if (o.y0 < o.y1) {
        canvas.column(o.x0, o.y0, o.y1, c);
        canvas.column(o.x1, o.y0, o.y1, c);
    }
    return 0;
}

int32_t kxDrawCross(kxImage *image, const kxWindow *window, uint8_t r, uint8_t g, uint8_t b)
{
    if (!rgbTarget(image, window, "kxDrawCross: error: illegal parameter", "kxDrawCross: error: image is not RGB"))
        return -1;
    const Canvas canvas(image);
    const Bounds o = outlineBounds(image, window);
    const Colour c{r, g, b};
    if (o.x0 < o.x1) canvas.row(o.y0 + (o.y1 - o.y0) / 2, o.x0, o.x1, c);
    if (o.y0 < o.y1) canvas.column(o.x0 + (o.x1 - o.x0) / 2, o.y0, o.y1, c);
    return 0;
}

int32_t kxDrawBinary(kxImage *image, const kxImage *binary, const kxWindow *window, uint8_t r,
                     uint8_t g, uint8_t b)
{
    if (!image || !binary || !window || !image->data || !binary->data) {
        puts("kxDrawBinary: error: illegal parameter");
        return -1;
    }
    if (image->format != RGB || binary->format != BINARY || image->width != binary->width ||
        image->height != binary->height) {
        puts("kxDrawBinary: invalid image format or image size");
        return -1;
    }
    const Canvas canvas(image);
    const KxSpan span = _kxClipWindow(window, image->width, image->height);
    const Colour c{r, g, b};
    const size_t width = static_cast<size_t>(image->width);
    for (int y = span.y0; y < span.y1; ++y)
        for (int x = span.x0; x < span.x1; ++x)
            if (binary->data[y * width + x] != 0) canvas.paint(x, y, c);
    return 0;
}

int32_t kxDrawObject(kxImage *image, const kxObject *object, uint8_t r, uint8_t g, uint8_t b)
{
    const bool tablesPresent = object && (object->height <= 0 || (object->shape_offset && object->shape_length));
    if (!image || !object || !tablesPresent || !image->data) {
        puts("kxDrawObj: error: illegal parameter");
        return -1;
    }
    if (image->format != RGB) {
        puts("kxDrawObject: error: image is not RGB");
        return -1;
    }
    const Canvas canvas(image);
    const Colour c{r, g, b};
    // Rows and runs stop one short of the last image row and column.
    const long long rows = std::min<long long>(object->height, canvas.height() - object->y - 1);
    for (long long i = 0; i < rows; ++i) {
        const long long start = (long long)object->x + object->shape_offset[i];
        const long long length = std::min<long long>(object->shape_length[i], canvas.width() - start - 1);
        if (length > 0) canvas.row(object->y + i, start, start + length, c);
    }
    return 0;
}

int32_t kxDrawGrid(kxImage *image)
{
    if (!rgbTarget(image, true, "kxDrawRect: error: illegal parameter", "kxDrawRect: error: image is not RGB"))
        return -1;
    printf("Larghezza %d, altezza %d\n", image->width, image->height);
    const Canvas canvas(image);
    // Vertical lines come last, so crossings take their colour.
    for (long long y = 0; y < canvas.height(); y += 10) gridRow(canvas, y, y % 100 == 0 ? green : red);
    for (long long x = 0; x < canvas.width(); x += 10) gridColumn(canvas, x, x % 100 == 0 ? green : red);
    return 0;
}

int32_t kxDrawCenteredGrid(kxImage *image)
{
    if (!rgbTarget(image, true, "kxDrawRect: error: illegal parameter", "kxDrawRect: error: image is not RGB"))
        return -1;
    const Canvas canvas(image);
    const long long h = canvas.height() / 2, w = canvas.width() / 2;
    // Each family starts with a red line at the centre and goes on in green.
    for (long long y = h; y < canvas.height(); y += 20) gridRow(canvas, y, y == h ? red : green);
    for (long long y = h - 1; y > 0; y -= 20) gridRow(canvas, y, y == h - 1 ? red : green);
    for (long long x = w; x < canvas.width(); x += 20) gridColumn(canvas, x, x == w ? red : green);
    for (long long x = w - 1; x > 0; x -= 20) gridColumn(canvas, x, x == w - 1 ? red : green);
    return 0;
}

void _kxPaintLine(kxImage *image, int x1, int y1, int x2, int y2, uint16_t r, uint16_t g, uint16_t b)
{
    if (!image || !image->data) return;
    // The buffer is taken as RGB pixels of the image's width; with another
    // format only pixels that fit in the buffer are painted.
    const size_t values = _kxImageValues(image);
    auto paint = [&](long long x, long long y) {
        if (x < 0 || y < 0 || x >= image->width || y >= image->height) return;
        const size_t index = (static_cast<size_t>(y) * image->width + x) * 3;
        if (index + 2 >= values) return;
        image->data[index] = r;
        image->data[index + 1] = g;
        image->data[index + 2] = b;
    };
    const long long dx = (long long)x2 - x1, dy = (long long)y2 - y1;
    const long long sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const long long ax = 2 * (dx < 0 ? -dx : dx), ay = 2 * (dy < 0 ? -dy : dy);
    long long x = x1, y = y1;
    paint(x, y);
    if (ax > ay) {
        // Starts at 2 * ay - ax (not ay - ax / 2): shallow lines step to the
        // next row later than a symmetric line would.
        long long d = 2 * ay - ax;
        for (x = x1 + sx;; x += sx, d += ay) {
            if (d >= 0) {
                y += sy;
                d -= ax;
            }
            paint(x, y);
            if (x == x2) break;
        }
    } else {
        if (y1 == y2) return;
        long long d = ax - ay / 2;
        for (y = y1 + sy;; y += sy, d += ax) {
            if (d >= 0) {
                x += sx;
                d -= ay;
            }
            paint(x, y);
            if (y == y2) break;
        }
    }
}
