// The layer's log: one line on standard output per event, like ARIA's.
#pragma once

namespace ariacompat {

void logLine(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace ariacompat
