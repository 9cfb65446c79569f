// The X image that carries the pixels to the server: plain client memory sent
// through the connection, or a System V shared-memory segment the server
// reads itself (MIT-SHM).
#include "display_internal.h"
#include "display_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

// Xlib's default error handler ends the process; while a segment is being
// attached a refusal by the server must become an ordinary failure instead.
int attachErrors = 0;
int countAttachError(Display *, XErrorEvent *)
{
    ++attachErrors;
    return 0;
}

bool imageBytes(const XImage *image, size_t *bytes)
{
    if (image->bytes_per_line <= 0 || image->height <= 0) return false;
    return !__builtin_mul_overflow(static_cast<size_t>(image->bytes_per_line),
                                   static_cast<size_t>(image->height), bytes);
}

int setupShared(int width, int height)
{
    KxDisplayState &d = _kxDisplay;
    if (!XShmQueryExtension(d.display)) {
        puts("_kxSetupImage: unable to attach shared memory");
        return -1;
    }
    if (!d.shminfo) {
        d.shminfo = static_cast<XShmSegmentInfo *>(calloc(1, sizeof(XShmSegmentInfo)));
        if (!d.shminfo) {
            perror("_kxSetupImage: malloc");
            return -1;
        }
        d.shminfo->shmid = -1;
    }
    d.xImage = XShmCreateImage(d.display, d.visual, d.depth, ZPixmap, nullptr, d.shminfo,
                               width, height);
    if (!d.xImage) {
        perror("_kxSetupImage: XShmCreateImage");
        return -1;
    }
    size_t bytes;
    if (!imageBytes(d.xImage, &bytes)) {
        puts("_kxSetupImage: X image too large");
        _kxDestroyImage();
        return -1;
    }
    if (_kxDisplayLeftToServer()) {  // an exit handler after a signal: the process is ending
        _kxDestroyImage();
        return -1;
    }
    // Three system calls that cannot hang, with the handled signals blocked:
    // every ending waits for them, so no segment is left unmarked (SIGKILL
    // between shmget and the mark is the one way System V leaves open).
    sigset_t saved;
    if (!_kxBeginSegment(&saved)) {
        puts("_kxSetupImage: the process is ending");
        _kxDestroyImage();
        return -1;
    }
    d.shminfo->shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    void *address = d.shminfo->shmid < 0 ? reinterpret_cast<void *>(-1)
                                         : shmat(d.shminfo->shmid, nullptr, 0);
    // Marked for removal at once (Linux still lets the server attach it),
    // the segment goes away with the last detach, however the process ends,
    // and the server's attach below can take as long as it likes with every
    // signal effective.
    const bool marked = d.shminfo->shmid >= 0 && shmctl(d.shminfo->shmid, IPC_RMID, nullptr) == 0;
    const int savedErrno = errno;
    _kxEndSegment(&saved);
    errno = savedErrno;
    d.shmMarkedForRemoval = marked;
    if (d.shminfo->shmid < 0) {
        perror("_kxSetupImage: shmget");
        _kxDestroyImage();
        return -1;
    }
    if (address == reinterpret_cast<void *>(-1)) {
        perror("_kxSetupImage: shmat");
        _kxDestroyImage();
        return -1;
    }
    d.shminfo->shmaddr = static_cast<char *>(address);
    d.shminfo->readOnly = False;
    d.xImage->data = d.shminfo->shmaddr;
    if (!marked) {
        perror("_kxSetupImage: shmctl");
        _kxDestroyImage();
        return -1;
    }

    attachErrors = 0;
    XErrorHandler previous = XSetErrorHandler(countAttachError);
    Bool attached = XShmAttach(d.display, d.shminfo);
    XSync(d.display, False);
    XSetErrorHandler(previous);
    if (!attached || attachErrors) {
        puts("_kxSetupImage: unable to attach shared memory");
        _kxDestroyImage();
        return -1;
    }
    d.shmServerAttached = true;
    return 0;
}

int setupPlain(int width, int height)
{
    KxDisplayState &d = _kxDisplay;
    d.xImage = XCreateImage(d.display, d.visual, d.depth, ZPixmap, 0, nullptr, width, height,
                            32, 0);
    if (!d.xImage) {
        perror("_kxSetupImage: XCreateImage");
        return -1;
    }
    size_t bytes;
    if (!imageBytes(d.xImage, &bytes) ||
        !(d.xImage->data = static_cast<char *>(malloc(bytes)))) {
        puts("_kxSetupImage: unable to allocate storage for X image");
        _kxDestroyImage();
        return -1;
    }
    XSync(d.display, False);
    return 0;
}

} // namespace

int _kxSetupImage(int width, int height)
{
    KxDisplayState &d = _kxDisplay;
    // An image left from an earlier size or mode is never reused: the X image
    // must always have the window's size.
    if (d.xImage && _kxDestroyImage() != 0) return -1;
    d.window_width = width;
    d.window_height = height;
    return d.useShm ? setupShared(width, height) : setupPlain(width, height);
}

int _kxDestroyImage()
{
    KxDisplayState &d = _kxDisplay;
    int status = 0;
    if (d.shminfo) {
        if (d.shmServerAttached && d.display && !XShmDetach(d.display, d.shminfo)) {
            puts("_kxDestroyImage: unable to detach shared memory");
            status = -1;
        }
        if (d.shminfo->shmaddr && shmdt(d.shminfo->shmaddr) != 0) {
            perror("_kxDestroyImage: shmdt");
            status = -1;
        }
        if (d.shminfo->shmid >= 0 && !d.shmMarkedForRemoval &&
            shmctl(d.shminfo->shmid, IPC_RMID, nullptr) != 0) {
            perror("_kxDestroyImage: shmctl");
            status = -1;
        }
        free(d.shminfo);
        d.shminfo = nullptr;
        d.shmServerAttached = false;
        d.shmMarkedForRemoval = false;
        // The segment's memory is gone; XDestroyImage of a shared image
        // frees only the record, but make sure it never sees the address.
        if (d.xImage && d.useShm) d.xImage->data = nullptr;
    }
    if (d.xImage && XDestroyImage(d.xImage) == 0) {
        puts("_kxDestroyImage: unable to destroy image");
        status = -1;
    }
    d.xImage = nullptr;
    return status;
}
