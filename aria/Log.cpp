#include "internal/Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace ariacompat {

void logLine(const char *format, ...)
{
    // One lock so lines of the cycle thread and the program never interleave.
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fputc('\n', stdout);
    fflush(stdout);
}

} // namespace ariacompat
