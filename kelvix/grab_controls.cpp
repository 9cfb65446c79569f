// Shutter and gain through the standard V4L2 controls, for the cameras whose
// drivers do not know the Philips webcam's private requests (every current
// V4L2 webcam). The requests go through the device's operations table; with
// libv4l1, requests it does not emulate pass straight to the V4L2 driver.
#include "grab_device.h"

#include <cerrno>
#include <cstring>

#include <linux/videodev2.h>

namespace {

// The control's range, or -1 with errno set (EINVAL when the driver lacks it
// or has it disabled).
int queryControl(const KxGrabDevice *device, int fd, uint32_t id, v4l2_queryctrl *query)
{
    memset(query, 0, sizeof *query);
    query->id = id;
    if (device->ioctl(device->context, fd, VIDIOC_QUERYCTRL, query) < 0) return -1;
    if (query->flags & V4L2_CTRL_FLAG_DISABLED) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

int setControl(const KxGrabDevice *device, int fd, uint32_t id, int32_t value)
{
    v4l2_control control{};
    control.id = id;
    control.value = value;
    return device->ioctl(device->context, fd, VIDIOC_S_CTRL, &control);
}

// Sets the first of `ids` the driver has, scaled from 0..65535.
int setScaled(const KxGrabDevice *device, int fd, const uint32_t *ids, int count, int32_t value)
{
    for (int i = 0; i < count; ++i) {
        v4l2_queryctrl query;
        if (queryControl(device, fd, ids[i], &query) < 0) {
            if (errno == EINVAL && i + 1 < count) continue;
            return -1;
        }
        return setControl(device, fd, ids[i],
                          _kxGrabScaleControl(value, query.minimum, query.maximum, query.step));
    }
    return -1;
}

// Switches an automatic mode off where the driver has one; cameras without
// it are already manual, so only a refused switch is a failure.
int switchOffAutomatic(const KxGrabDevice *device, int fd, uint32_t id, int32_t manualValue)
{
    v4l2_queryctrl query;
    if (queryControl(device, fd, id, &query) < 0) return errno == EINVAL ? 0 : -1;
    return setControl(device, fd, id, manualValue);
}

} // namespace

int32_t _kxGrabScaleControl(int32_t value, int32_t minimum, int32_t maximum, int32_t step)
{
    if (maximum <= minimum) return minimum;
    long long clamped = value < 0 ? 0 : (value > 65535 ? 65535 : value);
    long long range = static_cast<long long>(maximum) - minimum;
    long long offset = (clamped * range + 65535 / 2) / 65535;
    if (step > 1) {
        offset = (offset + step / 2) / step * step;
        if (offset > range) offset -= step;
    }
    return static_cast<int32_t>(minimum + offset);
}

int _kxGrabSetShutterControl(const KxGrabDevice *device, int fd, int32_t value)
{
    if (switchOffAutomatic(device, fd, V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL) < 0)
        return -1;
    // UVC cameras have the absolute exposure time; older drivers (gspca)
    // only the plain exposure control.
    const uint32_t ids[] = {V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE};
    return setScaled(device, fd, ids, 2, value);
}

int _kxGrabSetGainControl(const KxGrabDevice *device, int fd, int32_t value)
{
    if (switchOffAutomatic(device, fd, V4L2_CID_AUTOGAIN, 0) < 0) return -1;
    const uint32_t ids[] = {V4L2_CID_GAIN};
    return setScaled(device, fd, ids, 1, value);
}
