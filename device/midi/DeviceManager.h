#pragma once

#include "device/core/ZQDevice.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zq {

using DeviceId = std::array<std::uint8_t, 8>;

// The process-wide owner of the one open amplifier and the watcher of the
// MIDI port list (polled every 2000 ms on the message thread while polling
// is on). Created on first use, destroyed at process exit, which closes a
// device still in the slot without sending it anything.
class DeviceManager {
public:
    class Impl;

    static DeviceManager* instance();
    ~DeviceManager();
    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

    // The open-device slot lives in `impl` and is reached only through the
    // calls below, each under the slot's guard, which is taken again on the
    // same thread and held only as long as the slot itself is touched: never
    // while waiting for the message thread (Open on a worker, a probe) or
    // through a session, since the message thread may want the slot
    // meanwhile. The slot shares its device: one taken from it
    // (currentDevice) lives on until its last holder lets go, whatever
    // empties the slot meanwhile, so a worker runs its session on a copy it
    // holds.

    // Both under the slot's guard. openDevice, message thread only: puts a
    // ZQUsbMidiG1 on `id` into the slot (dropping the device it held) and
    // opens it; when Open fails the slot is emptied again. It returns the
    // open device or null. closeDevice, any thread: closes the device in the
    // slot, if any, and empties the slot, sending the amplifier nothing; a
    // holder of the device sees it closed (its sends fail) but never gone.
    std::shared_ptr<ZQDevice> openDevice(const DeviceId& id);
    void closeDevice();
    // Any thread, under the slot's guard: sends "SetFwStatus" with `status`
    // to the device in the slot, if any, without waiting for a reply.
    void sendFwStatus(std::uint8_t status);

    // Any thread, each under the slot's guard for the read alone: whether the
    // slot holds a device, and the device it holds (or null), shared with the
    // caller for as long as the caller keeps it.
    bool hasDevice();
    std::shared_ptr<ZQDevice> currentDevice();
    // Any thread, under the slot's guard: puts `device` (or nothing) into the
    // slot as it is, opened or not, dropping the device the slot held. The
    // product fills the slot through openDevice; tests put devices of their
    // own in here.
    void putDevice(std::shared_ptr<ZQDevice> device);

    // Any thread. A stopped polling runs no further tick; one already running
    // on the message thread finishes.
    void startPolling();
    void stopPolling();

    // One probe, on the calling thread, with its print of the MIDI input
    // names; returns the number of amplifiers found. On the message thread
    // while another thread probes it does not wait (that thread waits for the
    // message thread) and returns 0.
    int probeAll();
    // The ids of the amplifiers found by the last probe, in probe order.
    std::vector<DeviceId> deviceUuids() const;
    // Any thread; replaces the one callback, which the polling calls on the
    // message thread (it may probe, set the slot, start or stop the polling
    // and replace itself).
    void setOnDeviceListChangedCallback(std::function<void(DeviceManager*)> callback);
    // Any thread. Forgets the port names and ids the polling last saw, so
    // that its next tick probes and reports whatever answers then, as the
    // first tick of a new manager does: a wait for an amplifier that may have
    // left and come back under the same names while the polling was stopped
    // starts with this.
    void forgetDeviceList();

    // Any thread. Back to what a new manager is: the polling stopped, no
    // callback, the slot emptied (its device destroyed), the device list
    // forgotten and the last probe's descriptors dropped. For tests, between
    // cases.
    void reset();

private:
    friend struct DeviceManagerInspector; // tests/support/DeviceManagerInspector.h
    using DeviceLock = std::unique_lock<std::recursive_mutex>;

    DeviceManager();
    DeviceLock lockDevice();

    std::unique_ptr<Impl> impl;
};

} // namespace zq
