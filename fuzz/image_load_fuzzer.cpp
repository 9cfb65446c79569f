// Any bytes as a PPM file. A picture that loads must save and load back to
// the same pixels.
#include <cstring>

#include "fuzz_file.h"
#include "kelvix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MemoryFile input("kx-image-in");
    static MemoryFile output("kx-image-out");
    input.assign(data, size);

    kxImage *image = kxImageCreate(NONE, 0, 0);
    kxImage *again = kxImageCreate(NONE, 0, 0);
    if (!image || !again) abort();
    if (kxImageLoad(image, input.path()) == 0) {
        if (image->format != RGB || image->width < 0 || image->height < 0) abort();
        if (kxImageSave(image, output.path()) != 0) abort();
        if (kxImageLoad(again, output.path()) != 0) abort();
        const size_t bytes = static_cast<size_t>(image->width) * image->height * 3 * sizeof(uint16_t);
        if (again->width != image->width || again->height != image->height ||
            memcmp(again->data, image->data, bytes) != 0)
            abort();
    }
    kxImageDestroy(again);
    kxImageDestroy(image);
    return 0;
}
