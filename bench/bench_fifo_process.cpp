// Whole processes reading the same YUV4MPEG2 FIFO, the way the simulator and a
// live replay feed the vision program: `quorvantel` itself, a process doing
// OpenCV's equivalent of its image work (when OpenCV is installed), and a
// process that only reads the frames (the pipe's own cost, the floor). The
// benchmark writes the frames into the FIFO; once a few warm-up frames are
// through, the time to push the next frames is the consumer's time per frame
// (the writer is the faster side); the consumer's own processor time per frame
// is reported beside it. The vision program is stopped afterwards
// the way the controller stops it: by clearing the report's run flag.
#include <benchmark/benchmark.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench_frames.h"
#include "report_ipc.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWarmupFrames = 40;  // beyond the 20 the vision program throws away
constexpr int kTimedFrames = 300;

enum Consumer { kQuorvantel, kOpenCv, kReadOnly, kConsumers };
const char *const kConsumerNames[kConsumers] = {"quorvantel", "opencv_process", "read_only"};

// A scratch directory holding the key file and the FIFO, removed at the end
// together with the shared segment the vision program leaves behind.
class Scratch {
public:
    Scratch()
    {
        char pattern[] = "/tmp/kelvix-fifo-bench-XXXXXX";
        if (!mkdtemp(pattern)) return;
        dir_ = pattern;
        std::ofstream(file("quorvantel"));
        ok_ = mkfifo(file("camera.y4m").c_str(), 0600) == 0;
    }
    ~Scratch()
    {
        if (dir_.empty()) return;
        key_t key = ftok(file("quorvantel").c_str(), 74);
        int shmid = key == -1 ? -1 : shmget(key, 0, 0);
        if (shmid != -1) shmctl(shmid, IPC_RMID, nullptr);
        unlink(file("quorvantel").c_str());
        unlink(file("camera.y4m").c_str());
        rmdir(dir_.c_str());
    }
    bool ok() const { return ok_; }
    const std::string &dir() const { return dir_; }
    std::string file(const char *name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
    bool ok_ = false;
};

// The consumer in the scratch directory, its output thrown away.
pid_t startConsumer(Consumer consumer, const Scratch &scratch)
{
    std::string fifo = scratch.file("camera.y4m");
    std::vector<std::string> words;
    if (consumer == kQuorvantel) words = {QUORVANTEL_PATH, fifo};
    else words = {Y4M_CONSUMER_PATH, consumer == kOpenCv ? "opencv" : "read", fifo};
    pid_t pid = fork();
    if (pid != 0) return pid;
    int null = open("/dev/null", O_WRONLY);
    if (null < 0 || chdir(scratch.dir().c_str()) != 0) _exit(127);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    std::vector<char *> argv;
    for (std::string &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

// Opens the FIFO for writing once the consumer has opened it for reading;
// -1 if the consumer ended or did not come within ten seconds.
int openWriter(const std::string &fifo, pid_t child)
{
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < limit) {
        int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            fcntl(fd, F_SETFL, 0);  // blocking writes from now on
            return fd;
        }
        if (errno != ENXIO || waitpid(child, nullptr, WNOHANG) != 0) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return -1;
}

bool writeAll(int fd, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += size_t(wrote);
    }
    return true;
}

// The controller's stop: clear the run flag under the lock.
bool stopVisionProgram(const Scratch &scratch)
{
    ReportIpc ipc;
    if (openReportIpc(scratch.file("quorvantel").c_str(), ipc)) return false;
    bool ok = !semaphoreStep(ipc.semid, -1);
    ipc.data->running = 0;
    ok = ok && !semaphoreStep(ipc.semid, +1);
    shmdt(ipc.data);
    return ok;
}

// Waits up to ten seconds for the consumer to end, then kills it.
bool reap(pid_t child)
{
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (Clock::now() < limit) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return false;
}

// Nanoseconds the process has run on a processor so far (the scheduler's
// own count), or -1. On a loaded machine the wall time per frame includes
// waiting for a processor; this does not.
double cpuNanoseconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/schedstat");
    double ns = -1;
    return stat >> ns ? ns : -1;
}

struct RunTimes {
    double wallPerFrame = -1;  // seconds
    double cpuPerFrame = -1;   // seconds of the consumer's processor time, -1 if unknown
};

// Times per frame of one whole run; wallPerFrame < 0 with *error set on failure.
RunTimes oneRun(Consumer consumer, const std::string &frameRecord, const char **error)
{
    RunTimes times;
    Scratch scratch;
    if (!scratch.ok()) {
        *error = "could not make the FIFO";
        return times;
    }
    pid_t child = startConsumer(consumer, scratch);
    if (child < 0) {
        *error = "could not start the consumer";
        return times;
    }
    int fd = openWriter(scratch.file("camera.y4m"), child);
    bool written = fd >= 0 && writeAll(fd, benchframes::streamHeader());
    for (int frame = 0; written && frame < kWarmupFrames; ++frame) written = writeAll(fd, frameRecord);
    const double cpuStart = cpuNanoseconds(child);
    const Clock::time_point start = Clock::now();
    for (int frame = 0; written && frame < kTimedFrames; ++frame) written = writeAll(fd, frameRecord);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpuEnd = cpuNanoseconds(child);
    bool stopped = consumer != kQuorvantel || (written && stopVisionProgram(scratch));
    if (fd >= 0) close(fd);
    bool ended = reap(child);
    if (!written || !stopped || !ended) {
        *error = !written ? "the consumer stopped reading" : !stopped ? "could not stop quorvantel"
                                                                       : "the consumer failed";
        return times;
    }
    times.wallPerFrame = seconds / kTimedFrames;
    if (cpuStart >= 0 && cpuEnd >= cpuStart) times.cpuPerFrame = (cpuEnd - cpuStart) * 1e-9 / kTimedFrames;
    return times;
}

void BM_WholeProcessOnFifo(benchmark::State &state)
{
    const auto consumer = Consumer(state.range(0));
    const int kind = int(state.range(1));
    state.SetLabel(std::string(kConsumerNames[consumer]) + "/" + benchframes::kKindNames[kind]);
#ifndef KX_BENCH_OPENCV
    if (consumer == kOpenCv) {
        state.SkipWithError("built without OpenCV");
        return;
    }
#endif
    std::vector<uint8_t> frame = benchframes::makeFrame(kind);
    const std::string record = "FRAME\n" + std::string(frame.begin(), frame.end());
    double cpu = 0;
    bool cpuKnown = true;
    for (auto _ : state) {
        const char *error = nullptr;
        const RunTimes times = oneRun(consumer, record, &error);
        if (times.wallPerFrame < 0) {
            state.SkipWithError(error);
            break;
        }
        state.SetIterationTime(times.wallPerFrame);
        cpu += times.cpuPerFrame;
        cpuKnown = cpuKnown && times.cpuPerFrame >= 0;
    }
    // The consumer's own processor time per frame, in microseconds.
    if (cpuKnown && state.iterations() > 0) state.counters["consumer_cpu_us"] = 1e6 * cpu / double(state.iterations());
}
BENCHMARK(BM_WholeProcessOnFifo)
    ->ArgsProduct({{kQuorvantel, kOpenCv, kReadOnly}, {benchframes::kSixMarkers, benchframes::kHalfBright}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    signal(SIGPIPE, SIG_IGN);  // a consumer that dies early gives EPIPE instead
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
