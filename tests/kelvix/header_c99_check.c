/* The public header must stand alone in a C99 translation unit, and its
 * functions must link with C names. */
#include "kelvix.h"

int main(void)
{
    kxImage *gray = kxImageCreate(GRAY, 2, 1);
    kxImage *binary = kxImageCreate(NONE, 0, 0);
    kxWindow window = {0, 0, 2, 1};
    int ok;
    if (!gray || !binary) return 1;
    gray->data[0] = 20;
    gray->data[1] = 5;
    ok = kxGray2Binary(gray, 10, &window, binary) == 0 && binary->format == BINARY &&
         binary->data[0] == 255 && binary->data[1] == 0;
    kxImageDestroy(gray);
    kxImageDestroy(binary);
    return ok ? 0 : 1;
}
