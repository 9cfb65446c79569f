// The simulated camera's cost per frame: it bounds how much faster than real
// time a trial can run (30 frames per simulated second each).
#include <benchmark/benchmark.h>

#include "camera/camera_render.h"
#include "world/docking_room.h"

using namespace dockworld;

namespace {

// 2 m in front of the station, facing it, turning at 0.5 rad/s.
std::vector<BodyPose> exposurePoses(const DockingRoom &room, double exposureSec)
{
    const Station &s = room.station();
    Pose p = s.dockedPose();
    const Vec2 at = s.toWorld(2.0, 0.1);
    p.x = at.x;
    p.y = at.y;
    std::vector<BodyPose> poses;
    const double turn = 0.5 * exposureSec;
    for (double f : {-0.5, 0.0, 0.5}) {
        Pose q = p;
        q.heading += f * turn;
        poses.push_back({q, 0.0});
        if (exposureSec == 0.0)
            break;
    }
    return poses;
}

void renderFrames(benchmark::State &state, bool realistic)
{
    CameraModel camera;
    if (realistic) {
        camera.k1 = -0.08;
        camera.k2 = 0.01;
    }
    const Lights lights = realistic ? Lights::Office : Lights::Dark;
    const DockingRoom room(false, CameraModel(), false, lights);
    CameraRenderer renderer(camera, renderSettingsFor(lights), 7);
    const std::vector<BodyPose> poses = exposurePoses(room, realistic ? 0.02 : 0.0);
    const LineOfSight clear = [&room](const Vec3 &a, const Vec3 &b) { return room.lineOfSight(a, b); };
    YuvFrame frame;
    for (auto _ : state) {
        renderer.render(poses, room.emitters(), clear, frame);
        benchmark::DoNotOptimize(frame.bytes.data());
    }
}

void BM_RenderIdealRoom(benchmark::State &state) { renderFrames(state, false); }
void BM_RenderOfficeTurning(benchmark::State &state) { renderFrames(state, true); }

} // namespace

BENCHMARK(BM_RenderIdealRoom)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderOfficeTurning)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
