#pragma once

class ZQDevice;

// One operation on a device. Perform takes a session id for the run, hands it
// to do_perform and releases it again, also when do_perform throws.
class ZQDeviceSession {
public:
    static constexpr int kErrorNoReply = 1;
    static constexpr int kErrorRefused = 2;
    static constexpr int kErrorNoDevice = 8;
    static constexpr int kErrorNoSessionId = 10;

    virtual ~ZQDeviceSession() = default;
    virtual bool Perform(ZQDevice* device);
    virtual bool do_perform(ZQDevice* device, int sid) = 0;

    int timeoutMs = 3000;
    int error = 0;
};
