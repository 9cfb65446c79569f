#include "output_capture.h"

#include <cstdio>
#include <unistd.h>

#include "test_support.h"

namespace kxfiles {

Output captureOutput(const std::function<void()> &body)
{
    Output output;
    fflush(stderr);
    FILE *sink = tmpfile();
    if (!sink) {
        output.out = kxtest::captureStdout(body);
        return output;
    }
    int saved = dup(STDERR_FILENO);
    dup2(fileno(sink), STDERR_FILENO);
    output.out = kxtest::captureStdout(body);
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    rewind(sink);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, sink)) > 0) output.err.append(buffer, n);
    fclose(sink);
    return output;
}

} // namespace kxfiles
