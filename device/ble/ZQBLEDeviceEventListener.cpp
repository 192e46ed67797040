#include "device/ble/ZQBLEDeviceEventListener.h"

#include "device/ble/ProductionLibraryApi.h"

#include <chrono>
#include <thread>

std::atomic<ZQBLEDeviceEventListener*> g_listener{nullptr};

namespace {

// Event calls that may still hold a listener they read from g_listener.
std::atomic<int> g_callsInProgress{0};
// This thread's own calls among them, so that clearing from inside an event
// does not wait for itself.
thread_local int t_callDepth = 0;

class EventCall {
public:
    EventCall()
    {
        g_callsInProgress.fetch_add(1);
        ++t_callDepth;
    }
    ~EventCall()
    {
        --t_callDepth;
        g_callsInProgress.fetch_sub(1);
    }
    EventCall(const EventCall&) = delete;
    EventCall& operator=(const EventCall&) = delete;
};

} // namespace

ZQBLEDeviceEventListener::~ZQBLEDeviceEventListener() { ZQBLE::clearListener(this); }

int DeviceCallback(int event, void* data, void* /*extra*/)
{
    if ((event != ZQBLE_EVENT_PROGRESS && event != ZQBLE_EVENT_COMPLETE) || data == nullptr)
        return 0;
    const int value = *static_cast<const int*>(data);

    // Counted before g_listener is read: clearListener stores null first and
    // then waits for the count, so a listener read here stays alive until the
    // call is over.
    EventCall call;
    ZQBLEDeviceEventListener* listener = g_listener.load();
    if (listener == nullptr)
        return 0;
    if (event == ZQBLE_EVENT_PROGRESS)
        listener->OnProgress(value);
    else
        listener->OnComplete(value);
    return 0;
}

namespace ZQBLE {

void clearListener(ZQBLEDeviceEventListener* listener)
{
    ZQBLEDeviceEventListener* expected = listener;
    g_listener.compare_exchange_strong(expected, nullptr);

    // Also when it was no longer current: a call that read it just before it
    // was replaced may still be running.
    for (int spins = 0; g_callsInProgress.load() > t_callDepth; ++spins) {
        if (spins < 100)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

int progressPercent(int p, bool mcuUpdateFollows)
{
    if (!mcuUpdateFollows)
        return p;
    const int q = p <= 79 ? p : p - 20;
    return q / 2;
}

} // namespace ZQBLE
