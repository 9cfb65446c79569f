// Standard output and standard error of a call, for the file tests: the
// loaders report failed system calls with perror, which writes to stderr.
#pragma once

#include <functional>
#include <string>

namespace kxfiles {

struct Output {
    std::string out;
    std::string err;
};

Output captureOutput(const std::function<void()> &body);

} // namespace kxfiles
