#include "device/midi/DeviceManagerImpl.h"

#include "device/bootloader/BootloaderMessages.h"
#include "device/midi/MidiPortSystem.h"
#include "device/midi/ZQUsbMidiDeviceFinder.h"
#include "device/midi/ZQUsbMidiG1.h"
#include "runtime/Clock.h"
#include "runtime/LinePrinter.h"

#include <algorithm>

namespace zq {

namespace {

constexpr std::uint32_t kPollingPeriodMs = 2000;

} // namespace

DeviceManager* DeviceManager::instance()
{
    // Built first, so that the current port system outlives the manager and
    // the devices it closes at exit.
    midiPortSystem();
    static std::unique_ptr<DeviceManager> inst(new DeviceManager());
    return inst.get();
}

DeviceManager::DeviceManager() : impl(std::make_unique<Impl>(this)) {}

DeviceManager::~DeviceManager()
{
    {
        DeviceLock lock(impl->deviceMutex);
        if (impl->device) {
            impl->device->Close();
            impl->device.reset();
        }
    }
    impl.reset();
}

DeviceManager::DeviceLock DeviceManager::lockDevice() { return DeviceLock(impl->deviceMutex); }

std::shared_ptr<ZQDevice> DeviceManager::openDevice(const DeviceId& id)
{
    JUCE_ASSERT_MESSAGE_THREAD
    // On the message thread Open runs at once, so the guard may stay.
    auto lock = lockDevice();
    impl->device = std::make_shared<ZQUsbMidiG1>(id.data());
    if (!impl->device->Open())
        impl->device.reset();
    return impl->device;
}

void DeviceManager::closeDevice()
{
    auto lock = lockDevice();
    if (impl->device != nullptr) {
        impl->device->Close();
        impl->device.reset();
    }
}

void DeviceManager::sendFwStatus(std::uint8_t status)
{
    auto lock = lockDevice();
    if (impl->device != nullptr)
        bootloader::SendSetFwStatus(impl->device.get(), status);
}

bool DeviceManager::hasDevice() { return currentDevice() != nullptr; }

std::shared_ptr<ZQDevice> DeviceManager::currentDevice()
{
    auto lock = lockDevice();
    return impl->device;
}

void DeviceManager::putDevice(std::shared_ptr<ZQDevice> device)
{
    auto lock = lockDevice();
    // The old device leaves in `device`, destroyed after the guard is
    // released (its destructor closes its ports, which waits for their
    // callbacks).
    impl->device.swap(device);
}

void DeviceManager::startPolling() { impl->startPolling(); }

void DeviceManager::stopPolling() { impl->stopPolling(); }

int DeviceManager::probeAll() { return impl->probeAll(); }

std::vector<DeviceId> DeviceManager::deviceUuids() const
{
    std::vector<DeviceId> ids;
    for (const _G1MidiDeviceDescriptor& d : ZQUsbMidiDeviceFinder::GetDescriptors())
        ids.push_back(d.uuid);
    return ids;
}

void DeviceManager::setOnDeviceListChangedCallback(std::function<void(DeviceManager*)> callback)
{
    std::lock_guard<std::mutex> lock(impl->stateMutex);
    // The old callback leaves in `callback`, destroyed after the lock is
    // released, in case what it owns calls back in here.
    impl->onDeviceListChanged.swap(callback);
}

void DeviceManager::forgetDeviceList()
{
    std::lock_guard<std::mutex> lock(impl->stateMutex);
    impl->lastMidiInputNames.clear();
    impl->lastUuids.clear();
}

void DeviceManager::reset()
{
    stopPolling();
    setOnDeviceListChangedCallback(nullptr);
    {
        auto lock = lockDevice();
        impl->device.reset();
    }
    forgetDeviceList();
    ZQUsbMidiDeviceFinder::ClearDescriptors();
}

DeviceManager::Impl::Impl(DeviceManager* o) : owner(o) {}

DeviceManager::Impl::~Impl() { stopTimer(); }

void DeviceManager::Impl::startPolling()
{
    std::lock_guard<std::mutex> lock(pollingMutex);
    polling = true;
    const auto periodMs = Clock::duration(kPollingPeriodMs).count() / 1000;
    startTimer(static_cast<int>(std::max<std::int64_t>(1, periodMs)));
}

void DeviceManager::Impl::stopPolling()
{
    std::lock_guard<std::mutex> lock(pollingMutex);
    polling = false;
    stopTimer();
}

juce::StringArray DeviceManager::Impl::listInputNames() { return midiPortSystem()->inputNames(); }

int DeviceManager::Impl::probeAll()
{
    int found = 0;
    probe(found);
    return found;
}

bool DeviceManager::Impl::probe(int& found)
{
    found = 0;
    const juce::StringArray names = listInputNames();
    for (const juce::String& name : names)
        LinePrinter::print(name.toStdString());
    if (!ZQUsbMidiDeviceFinder::ProbeAll())
        return false;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        lastMidiInputNames = names;
    }
    found = static_cast<int>(ZQUsbMidiDeviceFinder::GetDescriptors().size());
    return true;
}

void DeviceManager::Impl::timerCallback()
{
    if (!polling)
        return;
    {
        const juce::StringArray names = listInputNames();
        std::lock_guard<std::mutex> lock(stateMutex);
        if (names == lastMidiInputNames)
            return;
    }
    int n = 0;
    if (!probe(n))
        return;
    const std::vector<DeviceId> ids = owner->deviceUuids();
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (lastUuids.size() == static_cast<std::size_t>(n) && lastUuids == ids)
            return;
    }
    const juce::StringArray names = listInputNames();
    std::function<void(DeviceManager*)> callback;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        lastMidiInputNames = names;
        lastUuids = ids;
        callback = onDeviceListChanged;
    }
    if (callback)
        callback(owner);
}

} // namespace zq
