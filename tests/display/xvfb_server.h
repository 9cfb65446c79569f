// A private X server for tests: Xvfb on a display number of its own, plus
// XTest input and pixel read-back through a connection of the test's own.
// Links with X11 and Xtst only (no GoogleTest), so benchmarks can use it too.
//
// Use from any test area: `kelvix_add_test(... LIBS xvfb_fixture)`, then
//
//     kxtest::XvfbServer server;                 // sets DISPLAY
//     ASSERT_TRUE(server.ok()) << server.error();  // fail, never skip
//     ASSERT_GT(kxDisplayInit(200, 100, 0), 0);
//     kxtest::XUser user(server.name());
//     auto window = user.findWindow("Kelvix 1.9.2");
//     user.click(window, 10, 20);                // queued for the library
//     kxPoint p{};  kxGetPoint(&p);             // p is (10, 20)
//     kxDisplayShutdown();                       // before the server stops
//
// A library connection still open when its server stops ends the process
// through Xlib's I/O error handler (status 1).
// Include <gtest/gtest.h> before any X header of your own (see below).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Xlib's own header is left out on purpose: its macros (None, Bool, Status,
// True, ...) break GoogleTest when included before it. Window ids are plain
// unsigned longs, as in Xlib.
struct _XDisplay;

namespace kxtest {

using XWindowId = unsigned long;

struct XvfbOptions {
    int depth = 24;        // 8 starts an 8-bit TrueColor default visual
    int width = 1024;      // screen size; keep windows inside it for read-back
    int height = 768;
    bool composite = false;  // Composite adds 32-bit TrueColor visuals
    std::vector<std::string> extraArguments;  // e.g. {"-extension", "MIT-SHM"}
};

// Starts Xvfb on a free display number (the server picks it, so parallel
// tests never collide), waits until it accepts connections and points
// DISPLAY at it. The destructor stops the server and restores DISPLAY.
// When start-up fails, ok() is false and error() says why: tests must then
// fail, not skip.
class XvfbServer {
public:
    explicit XvfbServer(const XvfbOptions &options = XvfbOptions());
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    bool ok() const { return !name_.empty(); }
    const std::string &name() const { return name_; }  // e.g. ":3"
    const std::string &error() const { return error_; }
    int depth() const { return options_.depth; }
    pid_t pid() const { return pid_; }  // e.g. to stop the server for a while

private:
    bool start();
    void stop();

    XvfbOptions options_;
    pid_t pid_ = -1;
    std::string name_;
    std::string error_;
    std::string savedDisplay_;
    bool hadDisplay_ = false;
};

// A client connection that plays the user: finds windows by title, moves
// the pointer and presses buttons with the XTest extension, and reads a
// window's pixels back.
class XUser {
public:
    explicit XUser(const std::string &displayName);
    ~XUser();
    XUser(const XUser &) = delete;
    XUser &operator=(const XUser &) = delete;

    bool ok() const { return display_ != nullptr; }
    _XDisplay *display() const { return display_; }  // Xlib's Display

    // A mapped top-level window with this title, or 0. Waits up to
    // timeoutMs for it to appear.
    XWindowId findWindow(const std::string &title, int timeoutMs = 2000) const;
    // Pointer to (x, y) in the window's own coordinates.
    void moveTo(XWindowId window, int x, int y) const;
    void press(int button) const;
    void release(int button) const;
    // moveTo, press, release.
    void click(XWindowId window, int x, int y, int button = 1) const;
    // Raw X pixel values of a window rectangle, row by row (XGetImage). Empty
    // when the rectangle cannot be read.
    std::vector<unsigned long> readPixels(XWindowId window, int x, int y, int width,
                                          int height) const;
    // The window's inside size, or false.
    bool windowSize(XWindowId window, int *width, int *height) const;

private:
    _XDisplay *display_ = nullptr;
};

} // namespace kxtest
