#include "device/core/ZQDeviceSession.h"

#include "device/core/ZQDevice.h"

namespace {

struct SidRelease {
    ZQDevice* device;
    int sid;
    ~SidRelease() { device->ReleaseSid(sid); }
};

} // namespace

bool ZQDeviceSession::Perform(ZQDevice* device)
{
    if (device == nullptr) {
        error = kErrorNoDevice;
        return false;
    }
    const int sid = device->AllocateSid();
    if (sid == -1) {
        error = kErrorNoSessionId;
        return false;
    }
    SidRelease release{device, sid};
    return do_perform(device, sid);
}
