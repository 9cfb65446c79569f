#include "xvfb_server.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace kxtest {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Start-up may be slow on a loaded machine (and under sanitizers).
const auto kStartTimeout = std::chrono::seconds(30);

} // namespace

XvfbServer::XvfbServer(const XvfbOptions &options) : options_(options)
{
    if (const char *current = getenv("DISPLAY")) {
        hadDisplay_ = true;
        savedDisplay_ = current;
    }
    if (!start()) stop();
}

XvfbServer::~XvfbServer()
{
    stop();
    if (hadDisplay_) setenv("DISPLAY", savedDisplay_.c_str(), 1);
    else unsetenv("DISPLAY");
}

bool XvfbServer::start()
{
    int ready[2];
    if (pipe(ready) != 0) {
        error_ = std::string("pipe: ") + strerror(errno);
        return false;
    }
    char log[] = "/tmp/kelvix-xvfb-XXXXXX";
    int logFd = mkstemp(log);
    if (logFd >= 0) unlink(log);

    std::string screen = std::to_string(options_.width) + "x" + std::to_string(options_.height) +
                         "x" + std::to_string(options_.depth);
    std::string fd = std::to_string(ready[1]);
    std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-screen", "0", screen,
                                     "-nolisten", "tcp", "-noreset"};
    // Xvfb's 8-bit screens default to PseudoColor; class 4 is TrueColor.
    if (options_.depth == 8) args.insert(args.end(), {"-cc", "4"});
    if (!options_.composite) args.insert(args.end(), {"-extension", "Composite"});
    args.insert(args.end(), options_.extraArguments.begin(), options_.extraArguments.end());

    pid_ = fork();
    if (pid_ < 0) {
        error_ = std::string("fork: ") + strerror(errno);
        return false;
    }
    if (pid_ == 0) {
        // The server must not outlive a test that crashes or times out.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(ready[0]);
        int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(logFd >= 0 ? logFd : null, STDERR_FILENO);
        std::vector<char *> argv;
        for (std::string &arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        fprintf(stderr, "cannot run Xvfb: %s\n", strerror(errno));
        _exit(127);
    }
    close(ready[1]);

    // Xvfb writes its display number to the pipe once it accepts clients.
    auto deadline = Clock::now() + kStartTimeout;
    std::string number;
    bool complete = false;
    while (!complete) {
        pollfd p{ready[0], POLLIN, 0};
        int n = poll(&p, 1, msLeft(deadline));
        if (n <= 0) break;
        char c;
        if (read(ready[0], &c, 1) != 1) break;
        if (c == '\n') complete = true;
        else number += c;
    }
    close(ready[0]);
    if (!complete || number.empty()) {
        error_ = "Xvfb did not start";
        if (logFd >= 0) {
            char text[2048] = {};
            if (pread(logFd, text, sizeof text - 1, 0) > 0) error_ += std::string(": ") + text;
        }
        if (logFd >= 0) close(logFd);
        return false;
    }
    if (logFd >= 0) close(logFd);

    std::string name = ":" + number;
    while (true) {
        if (Display *probe = XOpenDisplay(name.c_str())) {
            XCloseDisplay(probe);
            break;
        }
        if (msLeft(deadline) == 0) {
            error_ = "Xvfb " + name + " accepts no connection";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    name_ = name;
    setenv("DISPLAY", name_.c_str(), 1);
    return true;
}

void XvfbServer::stop()
{
    name_.clear();
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (msLeft(deadline) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

XUser::XUser(const std::string &displayName) : display_(XOpenDisplay(displayName.c_str())) {}

XUser::~XUser()
{
    if (display_) XCloseDisplay(display_);
}

Window XUser::findWindow(const std::string &title, int timeoutMs) const
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children,
                       &count)) {
            for (unsigned i = 0; i < count && !found; ++i) {
                char *name = nullptr;
                XWindowAttributes attributes;
                if (XFetchName(display_, children[i], &name) && name) {
                    if (title == name &&
                        XGetWindowAttributes(display_, children[i], &attributes) &&
                        attributes.map_state == IsViewable)
                        found = children[i];
                    XFree(name);
                }
            }
            if (children) XFree(children);
        }
        if (found) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (msLeft(deadline) > 0);
    return 0;
}

void XUser::moveTo(Window window, int x, int y) const
{
    int rootX = 0, rootY = 0;
    Window child;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), x, y, &rootX, &rootY,
                          &child);
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, CurrentTime);
    XSync(display_, False);
}

void XUser::press(int button) const
{
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, CurrentTime);
    XSync(display_, False);
}

void XUser::release(int button) const
{
    XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, CurrentTime);
    XSync(display_, False);
}

void XUser::click(Window window, int x, int y, int button) const
{
    moveTo(window, x, y);
    press(button);
    release(button);
}

std::vector<unsigned long> XUser::readPixels(Window window, int x, int y, int width,
                                             int height) const
{
    std::vector<unsigned long> pixels;
    XImage *image = XGetImage(display_, window, x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return pixels;
    pixels.reserve(static_cast<size_t>(width) * height);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            pixels.push_back(XGetPixel(image, column, row));
    XDestroyImage(image);
    return pixels;
}

bool XUser::windowSize(Window window, int *width, int *height) const
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes)) return false;
    *width = attributes.width;
    *height = attributes.height;
    return true;
}

} // namespace kxtest
