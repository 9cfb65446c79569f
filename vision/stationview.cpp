// stationview: what the vision program sees, for setting up a station with a
// real camera. Grabs frames with the vision program's settings, runs its
// frame processing and shows the picture with the row band, the blobs, the
// candidates and the recognised markers, and what the controller would make
// of the report (distance, target column, heading change).
//
//   stationview [options] [DEVICE]
//
// Without a window (no DISPLAY, or --no-window) it prints one line per frame
// on standard output and nothing else there (the library's own messages go
// to standard error):
//   frame N candidates K UL r,c UR r,c ML r,c MR r,c LL r,c LR r,c distance D target T heading H
// With --calibrate it prints the station figures for this camera instead;
// with --check-contact (robot standing on its contacts) the one line
//   contact upper R1,R2 margin M1 lower R3,R4 margin M2 verdict V
// where V is ok, no-markers, tilt-down D deg, tilt-up D deg, or one or two of
// raise-upper N mm, lower-upper N mm, raise-lower N mm, lower-lower N mm
// (see contact_check.h). A tilt comes alone: tilt, then check again.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "camera_settings.h"
#include "camera_user.h"
#include "contact_check.h"
#include "frame.h"
#include "kelvix.h"
#include "report_line.h"
#include "report_meaning.h"
#include "station_calibration.h"
#include "station_overlay.h"

namespace {

const char *const kUsage =
    "usage: stationview [options] [DEVICE]\n"
    "  DEVICE             camera device or .y4m recording (default /dev/video0)\n"
    "  --shutter VALUE    shutter, 0..65535 (default 38500, as the vision program)\n"
    "  --gain VALUE       gain, 0..65535 (default 55)\n"
    "  -n FRAMES          stop after FRAMES frames (default: run until stopped;\n"
    "                     30 with --calibrate)\n"
    "  --save FILE.ppm    write the last picture with its overlays at the end\n"
    "  --no-window        print one line per frame instead of showing a window\n"
    "  --calibrate DISTANCE --spacing METRES\n"
    "                     the station faces the camera DISTANCE metres away, its\n"
    "                     upper and lower markers METRES apart: print the focal\n"
    "                     length, the controller's reading and the station this\n"
    "                     camera needs\n"
    "  --check-contact    the robot stands on its contacts: where the outer marker\n"
    "                     pairs are against the row band and what to change\n"
    "                     (30 frames unless -n; --spacing METRES and --focal\n"
    "                     PIXELS default to the station's 0.2986 and 355)\n"
    "In the window a click prints the point and its colour; the right button ends.\n";

constexpr int kCalibrationFrames = 30;
constexpr std::chrono::milliseconds kRecordingFramePeriod(33);

struct Options {
    const char *device = "/dev/video0";
    int32_t shutter = kShutter;
    int32_t gain = kGain;
    long frames = 0;  // 0: until stopped
    const char *save = nullptr;
    bool noWindow = false;
    double distance = 0.0;  // > 0 with --calibrate
    double spacing = 0.0;
    bool checkContact = false;
    double focal = kDesignFocalPixels;
};

bool parseLong(const char *text, long low, long high, long *value)
{
    if (!text || !*text) return false;
    char *end = nullptr;
    errno = 0;
    const long parsed = strtol(text, &end, 10);
    if (errno || *end || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

bool parseNumber(const char *text, double low, double high, double *value)
{
    if (!text || !*text) return false;
    char *end = nullptr;
    const double parsed = strtod(text, &end);
    if (*end || !(parsed >= low && parsed <= high)) return false;
    *value = parsed;
    return true;
}

// Anything from a millimetre to a kilometre is a plausible measurement.
bool parseMetres(const char *text, double *value) { return parseNumber(text, 0.001, 1000.0, value); }

bool parseOptions(int argc, char **argv, Options *options)
{
    bool haveDevice = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        long number = 0;
        if (arg == "--shutter" && parseLong(next, 0, 65535, &number)) {
            options->shutter = static_cast<int32_t>(number);
        } else if (arg == "--gain" && parseLong(next, 0, 65535, &number)) {
            options->gain = static_cast<int32_t>(number);
        } else if (arg == "-n" && parseLong(next, 1, 1000000000L, &number)) {
            options->frames = number;
        } else if (arg == "--save" && next && *next) {
            options->save = next;
        } else if (arg == "--calibrate" && parseMetres(next, &options->distance)) {
        } else if (arg == "--spacing" && parseMetres(next, &options->spacing)) {
        } else if (arg == "--focal" && parseNumber(next, 10.0, 100000.0, &options->focal)) {
        } else if (arg == "--check-contact") {
            options->checkContact = true;
            continue;
        } else if (arg == "--no-window") {
            options->noWindow = true;
            continue;
        } else if (arg[0] != '-' && !haveDevice) {
            options->device = argv[i];
            haveDevice = true;
            continue;
        } else {
            return false;
        }
        ++i;  // the option's value
    }
    if (options->checkContact) {
        if (options->distance > 0) return false;  // one study at a time
        if (options->spacing == 0) options->spacing = kDesignMarkerSpacing;
        return true;
    }
    // Calibration needs both figures.
    return (options->distance > 0) == (options->spacing > 0);
}

volatile sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int) { stopRequested = 1; }

// Ctrl-C and SIGTERM end the loop, so the picture is still saved. Without
// restart, a grab waiting on a FIFO returns at once.
void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Standard output carries only the tool's own lines: everything else written
// to file descriptor 1 (the library's messages) goes to standard error.
FILE *ownOutput()
{
    fflush(stdout);
    const int own = dup(STDOUT_FILENO);
    if (own < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return stdout;
    FILE *out = fdopen(own, "w");
    if (!out) return stdout;
    setvbuf(out, nullptr, _IOLBF, 0);
    return out;
}

bool isCamera(const char *device)
{
    struct stat info {};
    return stat(device, &info) == 0 && S_ISCHR(info.st_mode);
}

// Prints every pending click in the picture: position and the camera's colour.
// False once the right button was pressed.
bool handleClicks(const kxImage *pic, FILE *out)
{
    while (kxButtonPress()) {
        kxPoint click{};
        const int button = kxGetPoint(&click);
        if (button == 3) return false;
        if (button < 0 || click.x < 0 || click.y < 0 || click.x >= pic->width || click.y >= pic->height)
            continue;  // the window's border
        const uint16_t *pixel = pic->data + (static_cast<size_t>(click.y) * pic->width + click.x) * 3;
        fprintf(out, "point %d %d button %d colour %u %u %u\n", click.x, click.y, button, pixel[0],
                pixel[1], pixel[2]);
    }
    return true;
}

void printFigures(FILE *out, const Options &options, long frames, const OuterRows &rows,
                  const StationFigures &f)
{
    fprintf(out, "frames %ld, with the four outer markers %d\n", frames, rows.frames());
    fprintf(out, "row difference: left %.2f, right %.2f, mean %.2f pixels\n", rows.leftDifference(),
            rows.rightDifference(), f.rowDifference);
    fprintf(out, "focal length: %.1f pixels (horizontal field of view %.1f degrees)\n", f.focalPixels,
            f.fieldOfViewDegrees);
    fprintf(out, "controller reads: %.3f m at %.3f m (error %+.3f m, %+.1f%%)\n", f.controllerDistance,
            options.distance, f.distanceError, 100 * f.distanceError / options.distance);
    fprintf(out, "spacing needed: %.4f m between upper and lower markers (now %.4f m)\n",
            f.neededSpacing, options.spacing);
    fprintf(out, "arrival: both outer pairs leave the row band %.3f m from the camera\n",
            f.arrivalDistance);
    fprintf(out, "heights needed above the lens: upper %+.4f m, middle %+.4f m, lower %+.4f m\n",
            f.upperHeight, f.middleHeight, f.lowerHeight);
    fprintf(out, "heights now above the lens: upper %+.4f m, lower %+.4f m\n", f.upperHeightNow,
            f.lowerHeightNow);
}

// The verdict's words as an instruction for the person at the station.
std::string contactAdvice(const std::string &verdict)
{
    if (verdict == "ok") return "both marker pairs leave the row band together just before contact: nothing to change";
    if (verdict == "no-markers")
        return "the four outer markers were not seen: check the lights, the exposure and that the robot faces the station";
    std::istringstream words(verdict);
    std::string advice, word, amount, unit;
    while (words >> word >> amount >> unit) {
        const size_t dash = word.find('-');
        const std::string action = word.substr(0, dash), what = word.substr(dash + 1);
        if (!advice.empty()) advice += ", and ";
        if (unit == "deg")
            advice += "tilt the camera " + what + " by " + amount + " degrees";
        else
            advice += (action == "raise" ? "raise the " : "lower the ") + what + " markers by " + amount + " mm";
    }
    return advice + ", then check again";
}

// Writes the picture; the library announces the file on standard output.
bool savePicture(const kxImage *canvas, const char *path)
{
    if (kxImageSave(canvas, path) == 0) return true;
    fprintf(stderr, "stationview: could not write %s\n", path);
    return false;
}

VisionState state;

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    Options options;
    if (argc == 2 && (!strcmp(argv[1], "-h") || !strcmp(argv[1], "--help"))) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (!parseOptions(argc, argv, &options)) {
        fputs(kUsage, stderr);
        return 2;
    }
    const bool calibrate = options.distance > 0;
    const bool study = calibrate || options.checkContact;
    if (study && options.frames == 0) options.frames = kCalibrationFrames;

    if (const pid_t holder = visionProgramHolding(options.device)) {
        fprintf(stderr,
                "stationview: %s is in use by the vision program (pid %d); stop it first, or "
                "watch its reports with dockmon\n",
                options.device, static_cast<int>(holder));
        return 1;
    }

    const char *display = getenv("DISPLAY");
    const bool window = !options.noWindow && display && *display;
    FILE *out = window ? stdout : ownOutput();

    kxImage *canvas = createOverlayCanvas();
    if (!createVisionImages(state) || !canvas) {
        fputs("stationview: could not create the images\n", stderr);
        return 1;
    }
    if (kxGrabInit(options.device, 0, kFrameWidth, kFrameHeight, 1) < 0) {
        fprintf(stderr, "stationview: cannot grab from %s\n", options.device);
        return 1;
    }
    if (kxGrabSetShutter(options.shutter) != 0) {
        fprintf(stderr, "stationview: %s refused shutter %d\n", options.device, options.shutter);
        kxGrabShutdown();
        return 1;
    }
    if (kxGrabSetGain(options.gain) != 0)  // the vision program goes on too
        fprintf(stderr, "stationview: %s refused gain %d\n", options.device, options.gain);
    // A recording needs no settling, and its first frame is then frame 1.
    const bool camera = isCamera(options.device);
    if (camera)
        for (int frame = 0; frame < kSettlingFrames; ++frame) kxGrabImage(state.pic);

    if (window && kxDisplayInit(kFrameWidth, kFrameHeight, 0) < 0) {
        fputs("stationview: no window (use --no-window without a display)\n", stderr);
        kxGrabShutdown();
        return 1;
    }
    catchStopSignals();

    report_meaning::ControllerReading reading;
    OuterRows outerRows;
    long frame = 0;
    bool drawn = false;
    while (!stopRequested && (options.frames == 0 || frame < options.frames)) {
        clearGoalPositions(state.goal);
        if (kxGrabImage(state.pic) != 0) {
            // A stop signal interrupts a grab that waits for its frame.
            if (!stopRequested) fprintf(stderr, "stationview: no more frames from %s\n", options.device);
            break;
        }
        ++frame;
        // At contact the outer pairs are outside the band: look at every row.
        const int32_t candidates =
            options.checkContact ? processFrame(state, 0, kFrameHeight - 1) : processFrame(state);
        const TargetReport report = reportPositions(state.goal);
        reading.next(report);
        outerRows.add(report.ulRow, report.urRow, report.llRow, report.lrRow);
        if (window || options.save)
            drawn = drawStationOverlay(state, candidates, report, reading, frame, canvas);
        if (window) {
            if (kxShow(canvas, 0) != 0 || !handleClicks(state.pic, out)) break;
            // A recording is read as fast as the disk goes; shown at a
            // camera's pace it can be watched (and leaves the processor be).
            if (!camera) std::this_thread::sleep_for(kRecordingFramePeriod);
        } else if (!study) {
            fprintf(out, "frame %ld candidates %d %s\n", frame, candidates,
                    reportLine(report, reading).c_str());
        }
    }

    int status = frame > 0 ? 0 : 1;
    if (options.save && drawn && !savePicture(canvas, options.save)) status = 1;
    if (calibrate) {
        StationFigures figures{};
        if (stationFigures(outerRows, options.distance, options.spacing, &figures)) {
            printFigures(out, options, frame, outerRows, figures);
        } else {
            fprintf(stderr, "stationview: the four outer markers were not found in any of %ld frames\n",
                    frame);
            status = 1;
        }
    }
    if (options.checkContact) {
        const ContactVerdict verdict = contactVerdict(outerRows, options.focal, options.spacing);
        fprintf(out, "%s\n", contactLine(verdict).c_str());
        if (!options.noWindow) fprintf(out, "%s\n", contactAdvice(verdict.verdict).c_str());
        if (!verdict.found) status = 1;
    }
    fflush(out);
    kxDisplayShutdown();
    kxGrabShutdown();
    destroyVisionImages(state);
    kxImageDestroy(canvas);
    kxFindBlobRelease();
    return status;
}
