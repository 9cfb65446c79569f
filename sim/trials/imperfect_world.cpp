#include "trials/imperfect_world.h"

#include <random>

namespace dockworld {

CameraModel mountedCamera(const CameraModel &design, const Imperfections &imp)
{
    CameraModel camera = design;
    camera.pitch += degToRad(imp.cameraPitchDeg);
    camera.yaw += degToRad(imp.cameraYawDeg);
    camera.heightOffset += imp.cameraHeightOffset;
    camera.k1 = imp.lensK1;
    camera.k2 = imp.lensK2;
    return camera;
}

RobotFlaws robotFlaws(const Imperfections &imp, uint32_t seed)
{
    RobotFlaws flaws;
    flaws.sonarNoise = imp.sonarNoise;
    flaws.seed = seed;
    flaws.pitchPerAccel = degToRad(imp.bodyPitch);
    if (imp.slip > 0.0) {
        std::mt19937 random(seed ^ 0x5119u);
        const auto factor = [&] { return 1.0 + imp.slip * (2.0 * (random() / 4294967295.0) - 1.0); };
        flaws.leftWheelFactor = factor();
        flaws.rightWheelFactor = factor();
    }
    return flaws;
}

FeedTiming feedTiming(const Imperfections &imp)
{
    FeedTiming timing;
    timing.latency = imp.latencyMs / 1000.0;
    timing.exposure = imp.exposureMs / 1000.0;
    return timing;
}

Lights lightsOf(const Imperfections &imp)
{
    if (imp.lights == "office")
        return Lights::Office;
    if (imp.lights == "lamp-beside")
        return Lights::LampBeside;
    return Lights::Dark;
}

DockingRoom imperfectRoom(const Imperfections &imp, bool hideStation)
{
    return DockingRoom(hideStation, CameraModel(), imp.station == "low", lightsOf(imp),
                       imp.markerBrightness);
}

} // namespace dockworld
