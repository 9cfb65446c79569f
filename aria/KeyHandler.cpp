// ArKeyHandler: terminal keys without blocking.
#include "Aria.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <mutex>

#include "internal/Access.h"
#include "internal/Global.h"

namespace {

class RestoreCallback : public ArFunctor {
public:
    explicit RestoreCallback(ArKeyHandler *handler) : handler_(handler) {}
    void invoke(void) override { handler_->restore(); }

private:
    ArKeyHandler *handler_;
};

const unsigned char kEscape = 27;

} // namespace

struct ArKeyHandler::State {
    std::mutex mutex;
    int fd = -1;
    bool isTerminal = false;
    bool taken = false;
    bool blocking = false;
    termios saved{};
    std::unique_ptr<RestoreCallback> exitCallback;
};

ArKeyHandler::ArKeyHandler(bool blocking, bool addAriaExitCB, FILE *stream,
                           bool takeKeysInConstructor)
    : myState(new State)
{
    myState->fd = fileno(stream != NULL ? stream : stdin);
    myState->blocking = blocking;
    // Anything but a terminal (a pipe, /dev/null) is left alone entirely.
    myState->isTerminal = myState->fd >= 0 && isatty(myState->fd);
    if (takeKeysInConstructor && myState->isTerminal &&
        tcgetattr(myState->fd, &myState->saved) == 0) {
        termios raw = myState->saved;
        raw.c_lflag &= ~(ICANON | ECHO);
        // VMIN 0 / VTIME 0: read returns at once with what is there.
        raw.c_cc[VMIN] = blocking ? 1 : 0;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(myState->fd, TCSANOW, &raw) == 0)
            myState->taken = true;
    }
    if (addAriaExitCB) {
        myState->exitCallback.reset(new RestoreCallback(this));
        Aria::addExitCallback(myState->exitCallback.get(), 51);
    }
}

ArKeyHandler::~ArKeyHandler()
{
    restore();
    if (myState->exitCallback)
        ariacompat::removeExitCallback(myState->exitCallback.get());
}

void ArKeyHandler::restore(void)
{
    std::lock_guard<std::mutex> lock(myState->mutex);
    if (!myState->taken)
        return;
    tcsetattr(myState->fd, TCSANOW, &myState->saved);
    myState->taken = false;
}

namespace ariacompat {

bool KeyAccess::escapePressed(ArKeyHandler *handler)
{
    ArKeyHandler::State &s = *handler->myState;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.taken)
        return false;
    bool escape = false;
    for (;;) {
        pollfd p{s.fd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN))
            break;
        unsigned char keys[64];
        ssize_t n = read(s.fd, keys, sizeof keys);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i) {
            if (keys[i] != kEscape)
                continue;
            // ESC [ or ESC O starts the sequence of an arrow or function key:
            // skip it up to its final letter; a lone ESC is the Escape key.
            if (i + 1 < n && (keys[i + 1] == '[' || keys[i + 1] == 'O')) {
                i += 2;
                while (i < n && !((keys[i] >= 'A' && keys[i] <= 'Z') ||
                                  (keys[i] >= 'a' && keys[i] <= 'z') || keys[i] == '~'))
                    ++i;
                continue;
            }
            escape = true;
        }
    }
    return escape;
}

} // namespace ariacompat
