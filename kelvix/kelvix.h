/*
 * Kelvix: a small image library for robot vision.
 *
 * Plain records built on malloc/free, each with a create and a destroy
 * operation (destroy accepts NULL). Operations return 0 on success and -1 on
 * failure, or a pointer that is NULL on failure; every failure prints exactly
 * one line on standard output, beginning with the operation's name.
 * Channel values are unsigned 16-bit numbers.
 *
 * This header compiles as C99 and as C++; every function has C linkage.
 */
#ifndef KELVIX_KELVIX_H
#define KELVIX_KELVIX_H

#include <stdint.h>
#include <sys/time.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Image and object model                                                   */
/* ------------------------------------------------------------------------ */

/* Pixel layouts. Values outside NONE..BINARY are unsupported. In C++ the
 * enumeration is given its 32-bit type explicitly, so that any value a C
 * caller stores (an unsupported one included) is a valid kxFormat. */
#ifdef __cplusplus
typedef enum : int32_t {
#else
typedef enum {
#endif
    NONE = 0,   /* no pixels: a one-byte buffer whatever the size */
    RGB = 1,    /* red, green, blue; 0..255 each */
    HSI = 2,    /* hue, saturation, intensity; 0..65535 each */
    NRG = 3,    /* normalised red, normalised green; 0..255 each */
    GRAY = 4,   /* grey value 0..255 */
    BINARY = 5  /* 0 or 255 */
} kxFormat;

/* One picture. Channel k of pixel (x, y) is data[(y * width + x) * channels + k];
 * rows are not padded. The image owns data. */
typedef struct {
    kxFormat format;
    int32_t width;
    int32_t height;
    uint16_t *data;
} kxImage;

/* A coloured object: place, size, colour boundaries (maximum first) and a
 * run-length shape of `height` rows. The object owns both shape tables. */
typedef struct {
    int32_t defined;    /* 0 until filled; 1 once an object file was read to its end */
    int32_t width;      /* shape width in pixels */
    int32_t height;     /* shape rows; entries of each shape table */
    int32_t x;          /* column of the left edge in the image */
    int32_t y;          /* row of the top edge in the image */
    kxFormat format;    /* which boundaries are meaningful: RGB, HSI, NRG or BINARY */
    uint16_t r_max, r_min;
    uint16_t g_max, g_min;
    uint16_t b_max, b_min;
    uint16_t nr_max, nr_min;
    uint16_t ng_max, ng_min;
    uint16_t h_max, h_min;   /* 0..65535 for 0..360 degrees */
    uint16_t s_max, s_min;   /* 0..65535 for 0..100 percent */
    uint16_t i_max, i_min;   /* 0..65535 for 0..100 percent */
    int32_t *shape_offset;   /* per row: first column of the run, from the left edge */
    int32_t *shape_length;   /* per row: pixels in the run */
    int32_t reserved[20];    /* -1 after create/init; carried by copy */
} kxObject;

/* A width x height table of 32-bit values, row by row; owns data. */
typedef struct {
    int32_t width;
    int32_t height;
    int32_t *data;
} kxMask;

/* Columns x .. x+width-1, rows y .. y+height-1. */
typedef struct {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
} kxWindow;

/* A position and the colour measured there (filled by the statistics). */
typedef struct {
    int32_t x;
    int32_t y;
    uint16_t r, g, b;
    uint16_t h, s, i;
    uint16_t nr, ng;
} kxPoint;

/* Three channels of one pixel, in storage order. */
typedef struct {
    int32_t c1;
    int32_t c2;
    int32_t c3;
} kxColor;

/* New image with an uninitialised buffer; NULL on an unsupported format, an
 * illegal size or an allocation failure. Free with kxImageDestroy(). */
kxImage *kxImageCreate(kxFormat format, int32_t width, int32_t height);
/* Replaces the image's buffer by a new one of the given format and size.
 * After an allocation failure the new format and size are stored and data is
 * NULL; an unsupported format or illegal size leaves the image untouched. */
int32_t kxImageInit(kxImage *image, kxFormat format, int32_t width, int32_t height);
/* Makes dst an exact copy of src (format, size, pixels) in a buffer of its own. */
int32_t kxImageCopy(const kxImage *src, kxImage *dst);
void kxImageDestroy(kxImage *image);

/* New object with uninitialised shape tables of `height` entries. */
kxObject *kxObjectCreate(int32_t x, int32_t y, int32_t width, int32_t height);
/* Resets the object to an undefined one of the given size; colour boundaries
 * are kept. The object's old tables are freed. */
int32_t kxObjectInit(kxObject *object, int32_t width, int32_t height);
int32_t kxObjectCopy(const kxObject *src, kxObject *dst);
void kxObjectDestroy(kxObject *object);

/* New mask; values (may be NULL) supplies width * height initial values. */
kxMask *kxMaskCreate(int32_t width, int32_t height, const int32_t *values);
void kxMaskDestroy(kxMask *mask);

kxWindow *kxWindowCreate(int32_t x, int32_t y, int32_t width, int32_t height);
void kxWindowDestroy(kxWindow *window);

/* New point; the colour values are left unset. */
kxPoint *kxPointCreate(int32_t x, int32_t y);
void kxPointDestroy(kxPoint *point);

/* Channels per pixel: 3, 2 or 1; -1 (with a message) for NONE or unknown. */
int32_t kxPixelSize(kxFormat format);
/* Prints the point's coordinates and returns the three channels there.
 * Zeros for a point outside the image or an image without three channels. */
kxColor kxPixelColor(const kxImage *image, const kxPoint *point);
/* qsort comparison of two uint16_t values, largest first. */
int kxQsortCompare(const void *a, const void *b);
/* later - earlier in seconds. */
float kxCalcTimevalDiff(const struct timeval *later, const struct timeval *earlier);

/* ------------------------------------------------------------------------ */
/* Thresholding                                                             */
/* ------------------------------------------------------------------------ */

/* dst becomes a BINARY image of src's size; inside the window (clipped to the
 * image) a pixel is 255 when its channel mean (integer division by 3) is
 * greater than threshold, else 0. Pixels outside the window are unset. */
int32_t kxRgb2Binary(const kxImage *src, int32_t threshold, const kxWindow *window, kxImage *dst);
/* As kxRgb2Binary for a GRAY source: the grey value is compared. */
int32_t kxGray2Binary(const kxImage *src, int32_t threshold, const kxWindow *window, kxImage *dst);

/* ------------------------------------------------------------------------ */
/* Colour-space conversions                                                 */
/* ------------------------------------------------------------------------ */

/* Every conversion takes the source, a window and the destination. The
 * destination (any earlier format and size) is re-initialised to the source's
 * size in the output format and only the pixels of the window, clipped to the
 * image, are written; the others are left unset. Source and destination may
 * be one record. A wrong source format leaves the destination untouched.
 * Channel scales: RGB, NRG and GRAY 0..255; HSI 0..65535 on all channels. */

/* RGB -> HSI in integer arithmetic: intensity (max + min) / 2, saturation and
 * hue on 0..65535 (red 0, green 21845, blue 43690). RGB channels above 255
 * count as 255. */
int32_t kxRgb2Hsi(const kxImage *src, const kxWindow *window, kxImage *dst);
/* HSI -> RGB in single precision; a zero saturation with a non-zero hue is
 * reported ("Problem with hue") and gives black. */
int32_t kxHsi2Rgb(const kxImage *src, const kxWindow *window, kxImage *dst);
/* RGB -> NRG: each of red and green as a rounded share of r + g + b, times
 * 255; black gives (0, 0). */
int32_t kxRgb2Nrg(const kxImage *src, const kxWindow *window, kxImage *dst);
/* NRG -> GRAY: normalised red + normalised green (0..256 for NRG input). */
int32_t kxNrg2Gray(const kxImage *src, const kxWindow *window, kxImage *dst);
/* RGB -> GRAY: (r + g + b) / 3, truncated. */
int32_t kxRgb2Gray(const kxImage *src, const kxWindow *window, kxImage *dst);
/* RGB -> GRAY holding one channel unchanged: red, green or blue. */
int32_t kxRgb2R(const kxImage *src, const kxWindow *window, kxImage *dst);
int32_t kxRgb2G(const kxImage *src, const kxWindow *window, kxImage *dst);
int32_t kxRgb2B(const kxImage *src, const kxWindow *window, kxImage *dst);
/* BINARY -> RGB: all three channels take the binary value. */
int32_t kxBinary2Rgb(const kxImage *src, const kxWindow *window, kxImage *dst);

/* ------------------------------------------------------------------------ */
/* Picture and object files                                                 */
/* ------------------------------------------------------------------------ */

/* Reads a binary PPM file (P6, maximum value 255) into image, which becomes
 * an RGB image of the file's size. A "#" comment may stand between the magic
 * and the width. A header whose size is negative or asks for more pixel
 * bytes than the file holds is refused before anything is allocated; a zero
 * width or height gives an image without pixels. After a
 * failure the image keeps its old contents, except after a short pixel read,
 * which leaves the pixels read so far. */
int32_t kxImageLoad(kxImage *image, const char *path);
/* Writes an RGB, GRAY or BINARY image as a P6 file (low 8 bits of each
 * channel; a grey or binary value three times). Announces "Writing to <path>".
 * A failed write leaves an incomplete file behind. */
int32_t kxImageSave(const kxImage *image, const char *path);

/* Writes the object as a commented text file: size, place, format word, the
 * colour boundaries of its format (hue in degrees, saturation and intensity
 * in percent) and one shape row of '.' and 'x' per object row. */
int32_t kxObjectSave(const kxObject *object, const char *path);
/* Reads an object file into an existing object (kxObjectCreate). width and
 * height must come before any other key; the object is re-initialised at the
 * first other key and marked defined when the whole file has been read. After
 * a failure the object keeps the values read so far and is not defined. */
int32_t kxObjectLoad(kxObject *object, const char *path);

/* ------------------------------------------------------------------------ */
/* Colour statistics, arithmetic and drawing                                */
/* ------------------------------------------------------------------------ */

/* Medians of the 3 x 3 neighbourhood of (in->x, in->y), channel by channel,
 * written into out's colour fields of the image's space (r, g, b / h, s, i /
 * nr, ng); nothing else of out is touched, and out may be in. On the outer
 * rows and columns the RGB and HSI forms copy in's own fields, the NRG form
 * takes the pixel itself (a point outside the image is refused). */
int32_t kxMedianRgbValue(const kxImage *image, const kxPoint *in, kxPoint *out);
int32_t kxMedianHsiValue(const kxImage *image, const kxPoint *in, kxPoint *out);
int32_t kxMedianNrgValue(const kxImage *image, const kxPoint *in, kxPoint *out);

/* dst = a - b channel by channel, clamped at 0, inside the window (clipped to
 * the images); a and b must have one format and size. dst is re-initialised to
 * a's format and size; pixels outside the window are left unset. */
int32_t kxSubtract(const kxImage *a, const kxImage *b, const kxWindow *window, kxImage *dst);
/* dst = src resized by factor (>= 0) with nearest-pixel sampling: the new
 * size is the size times factor, truncated; pixel (i, j) comes from
 * (i / factor, j / factor), truncated. Refuses factors whose size overflows. */
int32_t kxScale(const kxImage *src, float factor, kxImage *dst);

/* Drawing into RGB images. Colours replace whole pixels; nothing is blended.
 * Every operation paints only the pixels of its figure that lie inside the
 * image, so figures may reach over the border. */

/* Sets values index, index + 1, index + 2 of the buffer (3 * (y * width + x)
 * for pixel x, y of an RGB image) to r, g, b. Indices outside the buffer are
 * ignored. */
void kxDrawPixel(int32_t index, kxImage *image, uint16_t r, uint16_t g, uint16_t b);
/* Outline along columns x and min(x + width, image width - 1) and rows y and
 * min(y + height, image height - 1), each edge half-open (the far corner is
 * not painted). */
int32_t kxDrawRect(kxImage *image, const kxWindow *window, uint8_t r, uint8_t g, uint8_t b);
/* A horizontal and a vertical bar through the middle of kxDrawRect's outline. */
int32_t kxDrawCross(kxImage *image, const kxWindow *window, uint8_t r, uint8_t g, uint8_t b);
/* Paints every pixel of the window whose value in `binary` (a BINARY image of
 * the same size) is not 0. */
int32_t kxDrawBinary(kxImage *image, const kxImage *binary, const kxWindow *window, uint8_t r,
                     uint8_t g, uint8_t b);
/* Paints the object's run-length shape at its place; the last image row and
 * column are never painted. */
int32_t kxDrawObject(kxImage *image, const kxObject *object, uint8_t r, uint8_t g, uint8_t b);
/* A 10-pixel grid, green every 100 pixels, red otherwise; prints the size. */
int32_t kxDrawGrid(kxImage *image);
/* A 20-pixel grid about the image centre: a red centre cross two pixels
 * thick, green lines elsewhere. */
int32_t kxDrawCenteredGrid(kxImage *image);

/* ------------------------------------------------------------------------ */
/* Library start and stop                                                   */
/* ------------------------------------------------------------------------ */

/* Starts the frame grabber on the default camera at 320 x 240, a 320 x 240
 * window without shared memory and motion detection, in that order. At the
 * first failure prints one "kxInit: error: ..." line and returns -1; what
 * was started before stays started until kxShutdown. 0 on success. */
int32_t kxInit(void);
/* As kxInit at 640 x 480 (motion detection through kxMotionInitGrande). */
int32_t kxInitGrande(void);
/* Stops motion detection, the display and the grabber, whichever are
 * running; may be called at any time and more than once. Always 0. */
int32_t kxShutdown(void);

/* ------------------------------------------------------------------------ */
/* Frame grabber                                                            */
/* ------------------------------------------------------------------------ */

/* One capture device per process, delivering RGB frames converted from
 * planar YUV 4:2:0. The device is a Video4Linux camera (opened through
 * libv4l1, so current V4L2 webcams work too) or a recorded YUV4MPEG2 video:
 * a regular file, which starts over at its end, or a FIFO, whose end makes
 * the grab fail. Failed system calls are reported with perror (standard
 * error); other failures print one line on standard output. */

/* Frame rate to request at kxGrabInit, 4..30 frames per second. Outside that
 * range the rate becomes 15 and -1 is returned; -1 after kxGrabInit. */
int32_t kxGrabSetFrameRate(int32_t rate);
/* Opens `device` (NULL: "/dev/video0") for width x height capture (0 means
 * 320 wide, 240 high) and starts capturing. The second and fifth arguments
 * are ignored (callers pass 0 and 1). -1 when already initialised or on any
 * failure, after which the device is closed again. */
int32_t kxGrabInit(const char *device, int32_t unused1, int32_t width, int32_t height,
                   int32_t unused2);
/* Shutter and gain, passed to the camera unchanged (Philips webcam driver
 * requests); other drivers get them through their exposure and gain
 * controls, 0..65535 scaled into each control's range. 0, or -1. */
int32_t kxGrabSetShutter(int32_t value);
int32_t kxGrabSetGain(int32_t value);
/* The next frame into `image` (re-initialised as RGB at the capture size);
 * the following frame is captured meanwhile. On failure the image is left
 * as it was. After a failed capture or synchronisation every later grab
 * fails until kxGrabShutdown or kxGrabReopen. */
int32_t kxGrabImage(kxImage *image);
/* Shuts the grabber down and opens the device of the last kxGrabInit again
 * with the same capture size, frame rate, shutter and gain: a webcam that
 * was unplugged and plugged in again, or a recorded stream's FIFO with a new
 * writer (waited for at most 0.2 s). Prints nothing, so that a caller may
 * retry it, say, once a second and report the loss once itself. 0 when the
 * device is capturing again; -1 with the grabber shut down otherwise. */
int32_t kxGrabReopen(void);
/* Converts the frame last delivered by kxGrabImage again into `image`;
 * -1 when no frame is held. */
int32_t kxGrabLastImage(kxImage *image);
/* Releases the capture memory and closes the device; 0 when nothing is open. */
int32_t kxGrabShutdown(void);

/* ------------------------------------------------------------------------ */
/* Display and mouse                                                        */
/* ------------------------------------------------------------------------ */

/* The library owns one X11 window per process. Pictures are shown one image
 * pixel per window pixel; the window follows the size of the last image.
 * Every function below except kxDistance needs a display opened with
 * kxDisplayInit; without one they print a message and fail. */

/* Opens the display (reusing an open connection) and one window of
 * width x height on the deepest TrueColor visual; prints the banner
 * "Kelvix 1.9.2". shm non-zero carries the pixels through a System V
 * shared-memory segment (MIT-SHM) instead of the X connection. Installs the
 * clean-up for process exit and handlers for SIGHUP, SIGINT and SIGTERM.
 * A repeated call replaces the window. Returns the visual's depth, or -1.
 *
 * On one of those signals the process ends with status 0, and exit() runs
 * only on the program's own thread (the one that called kxDisplayInit),
 * never on a second one:
 *   - at its next display or grab call, or inside a wait for a click;
 *   - or, when it is parked in a wait of its own (pause, sleep, poll) with
 *     no library call under way, right there 200 ms after the signal.
 * Then buffered output is written and atexit handlers run; a display call
 * from such a handler fails at once (kxDisplayShutdown returns 0) instead of
 * waiting for the X server. Anywhere else (inside Xlib, blocked writing to
 * a full pipe, busy in its own code) the process ends with _exit(0) 200 ms
 * after the signal: no output still buffered, no exit handler. An exit()
 * that does not finish within 2 s (a full output pipe, a hung handler) is
 * ended with _exit(0) too. Further signals during the ending change nothing.
 * A signal during the program's own exit() leaves that exit and its status
 * alone for 5 s, then takes its ordinary effect. A child forked after
 * kxDisplayInit has no library thread: parked, it ends at once; otherwise at
 * its next display or grab call, or 1 s after the signal through SIGALRM
 * (whose handler is then replaced). It never touches its parent's window.
 * A shared segment never outlives the process, whatever signal ends it:
 * it is marked for removal right after it is made, with these signals
 * blocked in between. Only SIGKILL in those three system calls could leave
 * one behind, which System V shared memory cannot prevent. */
int32_t kxDisplayInit(int32_t width, int32_t height, int32_t shm);
/* Shows the image upright. wait non-zero then prints "press ENTER to
 * continue" and reads one character from standard input. 0 or -1. */
int32_t kxShow(const kxImage *image, int32_t wait);
/* As kxShow, turned by 180 degrees: window (x, y) shows image pixel
 * (width - 1 - x, height - 1 - y). */
int32_t kxShowRotated(const kxImage *image, int32_t wait);
/* Releases the X image, its shared segment and the window and closes the
 * connection. Harmless when nothing is open; always 0. */
int32_t kxDisplayShutdown(void);
/* Installs handler for signum (restarting interrupted calls, except for
 * SIGALRM). 0 or -1. */
int32_t kxSigHndInstall(int32_t signum, void (*handler)(int));

/* Two positions picked with the mouse: both columns first, then both rows.
 * Returned on the heap; the caller releases it with free(). */
typedef struct {
    int32_t x1;
    int32_t x2;
    int32_t y1;
    int32_t y2;
} kxSegment;

/* Positions are window coordinates (column x, row y). */

/* 1 when at least one X event is queued, else 0. */
int32_t kxEvent(void);
/* 1 when a button press is pending (it stays queued), else 0. */
int32_t kxButtonPress(void);
/* Prints "click  corner" and waits for the next button press; returns its
 * whole event (include <X11/Xlib.h> for XEvent). Other events are dropped.
 * Without a display the event returned is all zeros (type 0). */
/* The union is complete wherever a caller uses the result (Xlib.h
 * included); clang warns about the incomplete type in the declaration only. */
#if defined(__clang__) && defined(__cplusplus)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
union _XEvent kxGetClick(void);
#if defined(__clang__) && defined(__cplusplus)
#pragma clang diagnostic pop
#endif
/* Waits for a click and stores its position; returns the button number
 * (1 left, 2 middle, 3 right) or -1. */
int32_t kxGetPoint(kxPoint *point);
/* Waits for a click; returns a new point at its position (colour values
 * unset; free with kxPointDestroy), or NULL. */
kxPoint *kxReturnPoint(void);
/* Two clicks give the corners; stores the rectangle with x <= x + width and
 * y <= y + height (width and height are plain differences). 0 or -1. */
int32_t kxGetRect(kxWindow *window);
/* Polled: NULL until a button release is pending, then a new segment from
 * the press (also stored in point) to the release. The first call starts
 * reporting releases, so a drag finished before it is lost. Free with free(). */
kxSegment *kxDefineRectWithMouse(kxPoint *point);
/* Shows the image (upright or turned) until the first click, which is
 * consumed. 0 or -1. */
int32_t kxShowUntilClick(const kxImage *image);
int32_t kxShowRotatedUntilClick(const kxImage *image);
/* Prints "Distance: %0.2f \n" with the distance of the two points; 0. */
int32_t kxDistance(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
/* Line tool (drawing; declared here because it returns a kxSegment): two
 * clicks, each prompted "click  corner", give the ends; prints their distance
 * as kxDistance does and paints the line in (r, g, b) into the RGB image, one
 * pixel per column (shallow) or per row (steep), both ends included, only
 * where it lies inside the image. Returns the clicked ends; all zeros when no
 * display is open or the image is NULL. */
kxSegment kxDrawLine(kxImage *image, uint16_t r, uint16_t g, uint16_t b);

/* ------------------------------------------------------------------------ */
/* Motion detection                                                         */
/* ------------------------------------------------------------------------ */

/* The module keeps one reference picture and one change threshold (default 50)
 * for the whole process. A pixel has changed when the sum of its three channel
 * differences from the reference, (c1-r1)+(c2-r2)+(c3-r3), is above the
 * threshold or below minus the threshold.
 * The detection and update operations need an RGB reference of the picture's
 * size and refuse otherwise; windows are clipped to the picture. */

/* Sets the change threshold, 0..255. */
int32_t kxMotionThresholdSet(int32_t threshold);
/* dest becomes a BINARY image of the picture's size: 255 where a window pixel
 * changed, 0 where it did not. Pixels outside the window are unset. */
int32_t kxMotionBinaryImage(const kxImage *image, const kxWindow *window, kxImage *dest);
/* As kxMotionBinaryImage, then every window row and every window column is
 * filled with 255 between its first and last set pixel. */
int32_t kxMotionBinaryArea(const kxImage *image, const kxWindow *window, kxImage *dest);
/* dest becomes an RGB image holding the changed window pixels of the picture
 * and black elsewhere in the window; prints the share of unchanged pixels of
 * the whole picture ("correlazione = ..."). */
int32_t kxMotionRgbImage(const kxImage *image, const kxWindow *window, kxImage *dest);
/* As kxMotionBinaryArea, with the picture's own pixels in the filled region. */
int32_t kxMotionRgbArea(const kxImage *image, const kxWindow *window, kxImage *dest);
/* reference := (reference + picture) / 2, channel by channel. */
int32_t kxMotionUpdate(const kxImage *image);
/* picture := (reference + picture) / 2; the reference is unchanged. */
int32_t kxMotionUpdate2(kxImage *image);
/* Takes the reference from the PPM file "prova" in the working directory, or,
 * failing that, from the next grabbed frame (the grabber must be running). */
int32_t kxMotionInit(void);
/* As kxMotionInit, with a 640 x 480 reference and a 2 s pause before grabbing. */
int32_t kxMotionInitGrande(void);
/* Releases the reference; harmless when there is none. */
int32_t kxMotionShutdown(void);

#ifdef __cplusplus
}
#endif

#endif /* KELVIX_KELVIX_H */
