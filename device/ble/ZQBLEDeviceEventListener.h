#pragma once

#include <atomic>

// Receives the Bluetooth-module library's events, on the library's threads.
class ZQBLEDeviceEventListener {
public:
    // Clears g_listener if it still points here; owners should clear it
    // themselves before destruction begins (ZQBLE::clearListener), since
    // an event may otherwise reach a half-destroyed listener.
    virtual ~ZQBLEDeviceEventListener();

    virtual void OnProgress(int value) = 0;
    virtual void OnComplete(int code) = 0;
};

// The one current listener, null at start. Set it before building a context;
// the library may call back for as long as it stays loaded.
extern std::atomic<ZQBLEDeviceEventListener*> g_listener;

// The callback handed to the library's Initialize: event 1 is progress, 6 is
// completion, each with an int behind `data`; any other event is ignored.
// Always returns 0.
int DeviceCallback(int event, void* data, void* extra);

namespace ZQBLE {

// Stops events from reaching `listener`: clears g_listener when it points
// there and waits until no event call is in progress any more. Afterwards the
// listener may be destroyed even while the library stays loaded. Its methods
// must not wait for the thread that calls this.
void clearListener(ZQBLEDeviceEventListener* listener);

// The percentage a listener shows for library percent `p`: when an MCU update
// follows, the module's part takes the first half (with a step back at 80).
int progressPercent(int p, bool mcuUpdateFollows);

} // namespace ZQBLE
