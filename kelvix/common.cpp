// Records of the library: images, objects, masks, windows and points.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool supportedFormat(int format) { return format >= NONE && format <= BINARY; }

// Shape tables of an object: two arrays of `height` entries, both or none.
bool allocShapeTables(kxObject *object, int32_t height)
{
    size_t entries = height > 0 ? static_cast<size_t>(height) : 1;
    object->shape_offset = static_cast<int32_t *>(malloc(entries * sizeof(int32_t)));
    object->shape_length = static_cast<int32_t *>(malloc(entries * sizeof(int32_t)));
    if (object->shape_offset && object->shape_length) return true;
    free(object->shape_offset);
    free(object->shape_length);
    object->shape_offset = nullptr;
    object->shape_length = nullptr;
    return false;
}

void freeShapeTables(kxObject *object)
{
    free(object->shape_length);
    free(object->shape_offset);
    object->shape_length = nullptr;
    object->shape_offset = nullptr;
}

void resetReserved(kxObject *object)
{
    for (int32_t &word : object->reserved) word = -1;
}

} // namespace

int _kxBytesPerPixel(kxFormat format)
{
    switch (format) {
    case RGB:
    case HSI: return 6;
    case NRG: return 4;
    case GRAY:
    case BINARY: return 2;
    default: return 0;
    }
}

bool _kxImageBytes(kxFormat format, int32_t width, int32_t height, size_t *bytes)
{
    if (!supportedFormat(format) || width < 0 || height < 0) return false;
    if (format == NONE) {
        *bytes = 1;
        return true;
    }
    size_t pixels;
    if (__builtin_mul_overflow(static_cast<size_t>(width), static_cast<size_t>(height), &pixels))
        return false;
    return !__builtin_mul_overflow(pixels, static_cast<size_t>(_kxBytesPerPixel(format)), bytes);
}

KxSpan _kxClipWindow(const kxWindow *window, int32_t width, int32_t height)
{
    // 64-bit arithmetic: x + width may overflow 32 bits for hostile windows.
    long long x0 = window->x, y0 = window->y;
    long long x1 = x0 + window->width, y1 = y0 + window->height;
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 > width) x1 = width;
    if (y1 > height) y1 = height;
    KxSpan span{static_cast<int>(x0), static_cast<int>(x1), static_cast<int>(y0),
                static_cast<int>(y1)};
    if (x0 >= x1 || y0 >= y1) span = KxSpan{0, 0, 0, 0};
    return span;
}

kxImage *kxImageCreate(kxFormat format, int32_t width, int32_t height)
{
    if (!supportedFormat(format)) {
        puts("kxImageCreate: unsupported image format");
        return nullptr;
    }
    size_t bytes;
    if (!_kxImageBytes(format, width, height, &bytes)) {
        puts("kxImageCreate: error: illegal image size");
        return nullptr;
    }
    kxImage *image = static_cast<kxImage *>(malloc(sizeof(kxImage)));
    // A zero-pixel image still gets a buffer, so that data is never NULL on success.
    uint16_t *data = image ? static_cast<uint16_t *>(malloc(bytes ? bytes : 1)) : nullptr;
    if (!data) {
        free(image);
        printf("kxImageCreate: malloc failed");
        return nullptr;
    }
    image->format = format;
    image->width = width;
    image->height = height;
    image->data = data;
    return image;
}

int32_t kxImageInit(kxImage *image, kxFormat format, int32_t width, int32_t height)
{
    if (!image) {
        puts("kxImageInit: error: NULL image");
        return -1;
    }
    if (!supportedFormat(format)) {
        puts("kxImageCreate: unsupported image format");
        return -1;
    }
    size_t bytes;
    if (!_kxImageBytes(format, width, height, &bytes)) {
        puts("kxImageInit: error: illegal image size");
        return -1;
    }
    image->format = format;
    image->width = width;
    image->height = height;
    free(image->data);
    image->data = static_cast<uint16_t *>(malloc(bytes ? bytes : 1));
    if (!image->data) {
        printf("kxImageInit: malloc failed");
        return -1;
    }
    return 0;
}

int32_t kxImageCopy(const kxImage *src, kxImage *dst)
{
    // A source without pixels (left by a failed kxImageInit) has nothing to copy.
    if (!src || !dst || !src->data) {
        puts("kxImageCopy: error: NULL image");
        return -1;
    }
    if (src == dst) return 0;  // copying an image onto itself must not free its pixels
    free(dst->data);
    dst->data = nullptr;
    dst->format = src->format;
    dst->width = src->width;
    dst->height = src->height;
    if (!supportedFormat(src->format)) {
        puts("kxImageCopy: unsupported image format");
        return -1;
    }
    size_t bytes;
    if (!_kxImageBytes(src->format, src->width, src->height, &bytes)) {
        puts("kxImageCopy: error: illegal image size");
        return -1;
    }
    dst->data = static_cast<uint16_t *>(malloc(bytes ? bytes : 1));
    if (!dst->data) {
        puts("kxImageCopy: malloc failed");
        return -1;
    }
    if (bytes) memcpy(dst->data, src->data, bytes);
    return 0;
}

void kxImageDestroy(kxImage *image)
{
    if (!image) return;
    free(image->data);
    free(image);
}

kxObject *kxObjectCreate(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (height < 0) {
        puts("kxObjectCreate: error: illegal object size");
        return nullptr;
    }
    kxObject *object = static_cast<kxObject *>(malloc(sizeof(kxObject)));
    if (!object || !allocShapeTables(object, height)) {
        free(object);
        printf("kxObjectCreate: malloc failed");
        return nullptr;
    }
    object->defined = 0;
    object->format = NONE;
    object->x = x;
    object->y = y;
    object->width = width;
    object->height = height;
    resetReserved(object);
    return object;
}

int32_t kxObjectInit(kxObject *object, int32_t width, int32_t height)
{
    if (!object) {
        puts("kxObjectInit: error: NULL object");
        return -1;
    }
    if (height < 0) {
        puts("kxObjectInit: error: illegal object size");
        return -1;
    }
    object->defined = 0;
    object->x = 0;
    object->y = 0;
    object->format = NONE;
    object->width = width;
    object->height = height;
    freeShapeTables(object);
    resetReserved(object);
    if (!allocShapeTables(object, height)) {
        printf("kxObjectInit: malloc failed");
        return -1;
    }
    return 0;
}

int32_t kxObjectCopy(const kxObject *src, kxObject *dst)
{
    if (!src || !dst) {
        puts("kxObjectCopy: error: NULL object");
        return -1;
    }
    if (src == dst) return 0;
    freeShapeTables(dst);
    *dst = *src;
    dst->shape_offset = nullptr;
    dst->shape_length = nullptr;
    int32_t rows = src->height > 0 ? src->height : 0;
    if (!allocShapeTables(dst, rows)) {
        printf("kxObjectCopy: malloc failed");
        return -1;
    }
    if (rows && src->shape_offset) memcpy(dst->shape_offset, src->shape_offset, rows * sizeof(int32_t));
    if (rows && src->shape_length) memcpy(dst->shape_length, src->shape_length, rows * sizeof(int32_t));
    return 0;
}

void kxObjectDestroy(kxObject *object)
{
    if (!object) return;
    freeShapeTables(object);
    free(object);
}

kxMask *kxMaskCreate(int32_t width, int32_t height, const int32_t *values)
{
    size_t cells;
    if (width < 0 || height < 0 ||
        __builtin_mul_overflow(static_cast<size_t>(width), static_cast<size_t>(height), &cells) ||
        cells > SIZE_MAX / sizeof(int32_t)) {
        puts("kxMaskCreate: error: illegal mask size");
        return nullptr;
    }
    kxMask *mask = static_cast<kxMask *>(malloc(sizeof(kxMask)));
    int32_t *data = mask ? static_cast<int32_t *>(malloc(cells ? cells * sizeof(int32_t) : 1)) : nullptr;
    if (!data) {
        free(mask);
        printf("kxMaskCreate: malloc failed");
        return nullptr;
    }
    mask->width = width;
    mask->height = height;
    mask->data = data;
    if (values && height >= 1) memcpy(data, values, cells * sizeof(int32_t));
    return mask;
}

void kxMaskDestroy(kxMask *mask)
{
    if (!mask) return;
    free(mask->data);
    free(mask);
}

kxWindow *kxWindowCreate(int32_t x, int32_t y, int32_t width, int32_t height)
{
    kxWindow *window = static_cast<kxWindow *>(malloc(sizeof(kxWindow)));
    if (!window) {
        printf("kxWindowCreate: malloc failed");
        return nullptr;
    }
    *window = kxWindow{x, y, width, height};
    return window;
}

kxPoint *kxPointCreate(int32_t x, int32_t y)
{
    kxPoint *point = static_cast<kxPoint *>(malloc(sizeof(kxPoint)));
    if (!point) {
        printf("kxPointCreate: malloc failed");
        return nullptr;
    }
    point->x = x;
    point->y = y;
    return point;
}

// Windows and points own nothing but the record itself.
void kxWindowDestroy(kxWindow *window) { free(window); }
void kxPointDestroy(kxPoint *point) { free(point); }

int32_t kxPixelSize(kxFormat format)
{
    switch (format) {
    case RGB:
    case HSI: return 3;
    case NRG: return 2;
    case GRAY:
    case BINARY: return 1;
    default:
        puts("kxPixelSize -> unknown image format");
        return -1;
    }
}

kxColor kxPixelColor(const kxImage *image, const kxPoint *point)
{
    kxColor color{0, 0, 0};
    if (!point) return color;
    printf("X %d \n", point->x);
    printf("Y %d \n", point->y);
    if (!image || !image->data || (image->format != RGB && image->format != HSI)) return color;
    if (point->x < 0 || point->y < 0 || point->x >= image->width || point->y >= image->height)
        return color;
    size_t index = static_cast<size_t>(point->x) + static_cast<size_t>(point->y) * image->width;
    color.c1 = image->data[3 * index];
    color.c2 = image->data[3 * index + 1];
    color.c3 = image->data[3 * index + 2];
    return color;
}

int kxQsortCompare(const void *a, const void *b)
{
    uint16_t first = *static_cast<const uint16_t *>(a);
    uint16_t second = *static_cast<const uint16_t *>(b);
    if (first < second) return 1;
    if (first > second) return -1;
    return 0;
}

float kxCalcTimevalDiff(const struct timeval *later, const struct timeval *earlier)
{
    int32_t seconds = static_cast<int32_t>(later->tv_sec - earlier->tv_sec);
    int32_t micros = static_cast<int32_t>(later->tv_usec - earlier->tv_usec);
    long double sum = static_cast<long double>(seconds) + static_cast<long double>(micros) / 1000000;
    return static_cast<float>(sum);
}
