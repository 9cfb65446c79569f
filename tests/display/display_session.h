// Shared set-up of the display suites: one Xvfb server per kind of screen for
// the whole test program, and the library's window opened on it.
#pragma once

#include <memory>
#include <sys/types.h>
#include <vector>

#include <gtest/gtest.h>

#include "kelvix.h"
#include "xvfb_server.h"

namespace kxtest {

// Title of the library's window.
extern const char *const kWindowTitle;

// The server of this depth (and Composite setting), started on first use
// and stopped when the program ends.
XvfbServer &serverFor(int depth, bool composite = false);

// Ids of the System V shared-memory segments that process `pid` created and
// that still exist (as `ipcs -m -p` lists them).
std::vector<int> segmentsOf(pid_t pid);

// A test that opens the library's window on a server; the window is shut
// down after each test. Start-up failures of the server fail the test.
class DisplayTest : public ::testing::Test {
protected:
    void TearDown() override { kxDisplayShutdown(); }

    // Opens width x height on the server of `depth`; returns the library's
    // result and sets user_ and window_ (0 when no window appeared).
    int open(int depth, int width, int height, int shm, bool composite = false);

    std::unique_ptr<XUser> user_;
    XWindowId window_ = 0;
};

} // namespace kxtest
