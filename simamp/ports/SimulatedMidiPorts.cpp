#include "simamp/ports/SimulatedMidiPorts.h"

#include "runtime/Clock.h"
#include "simamp/DeliveryThread.h"
#include "simamp/ports/MidiStreamParser.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace sim {

namespace {

struct Endpoint {
    explicit Endpoint(std::string n) : name(std::move(n)) {}
    const std::string name;
    std::atomic<bool> alive{true};
};

class SimInputPort;

struct DeviceState {
    // Fixed at plugging.
    SimulatedAmplifier* amplifier = nullptr;
    std::string inputName;
    std::string outputName;

    // Guarded by Core::mutex.
    bool plugged = false;
    bool comingBack = false; // re-enumerating: back after the delay
    int place = -1;
    unsigned generation = 0; // changes whenever the ports go or come
    std::shared_ptr<Endpoint> input;
    std::shared_ptr<Endpoint> output;
    std::vector<SimulatedMidiPorts::Received> log;
    int opened = 0;
    int openNow = 0;
    int opensLeft = -1;                       // below 0: no limit
    std::unique_ptr<DeliveryThread> delivery; // the device's input thread
    std::unique_ptr<DeliveryThread> comeBack; // fires the return after re-enumeration
    std::string bootloaderName;               // the ports' name in the bootloader, if another
    std::vector<int> leaveWithIt;             // devices that leave for good when it re-enumerates
    int standIn = -1;                         // plugged in instead when it comes back into its bootloader
    int swappingTo = -1;                      // away into its bootloader: this stand-in comes instead

    // Held while messages are handed to the open input ports, so that a
    // closing port or a device going away waits for a delivery in progress.
    std::mutex deliverMutex;
    std::vector<SimInputPort*> listeners; // guarded by deliverMutex
    MidiStreamParser parser;              // guarded by deliverMutex
};

class SimInputPort : public zq::MidiInputPort {
public:
    SimInputPort(std::shared_ptr<SimulatedMidiPorts::Core> c, std::shared_ptr<DeviceState> d,
                 std::shared_ptr<Endpoint> e, zq::MidiInputPortCallback* cb);
    ~SimInputPort() override;

    void start() override { started = true; }
    void stop() override { started = false; }

    void deliver(const juce::MidiMessage& message)
    {
        if (started && endpoint->alive)
            callback->handleIncomingMidiMessage(this, message);
    }

private:
    std::shared_ptr<SimulatedMidiPorts::Core> core;
    std::shared_ptr<DeviceState> device;
    std::shared_ptr<Endpoint> endpoint;
    zq::MidiInputPortCallback* callback;
    std::atomic<bool> started{false};
};

class SimOutputPort : public zq::MidiOutputPort {
public:
    SimOutputPort(std::shared_ptr<SimulatedMidiPorts::Core> c, std::shared_ptr<DeviceState> d,
                  std::shared_ptr<Endpoint> e)
        : core(std::move(c)), device(std::move(d)), endpoint(std::move(e))
    {
    }
    ~SimOutputPort() override;
    bool sendMessageNow(const juce::MidiMessage& message) override;

private:
    std::shared_ptr<SimulatedMidiPorts::Core> core;
    std::shared_ptr<DeviceState> device;
    std::shared_ptr<Endpoint> endpoint;
};

} // namespace

struct SimulatedMidiPorts::Core : std::enable_shared_from_this<SimulatedMidiPorts::Core> {
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<DeviceState>> devices; // by handle
    bool closed = false;
    std::atomic<int> reenumerationDelayMs{1500};
    std::atomic<int> bluetoothUpdateMs{10000};
    bool returnLast = false; // guarded by mutex

    std::shared_ptr<DeviceState> at(Device handle) const
    {
        if (handle < 0 || static_cast<std::size_t>(handle) >= devices.size())
            return nullptr;
        return devices[static_cast<std::size_t>(handle)];
    }

    // Plugged devices in list order. Under mutex.
    std::vector<std::shared_ptr<DeviceState>> byPlace() const
    {
        std::vector<std::shared_ptr<DeviceState>> out;
        for (const auto& d : devices)
            if (d->plugged)
                out.push_back(d);
        std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a->place < b->place; });
        return out;
    }

    static const std::shared_ptr<Endpoint>& endpointOf(const DeviceState& d, bool input)
    {
        return input ? d.input : d.output;
    }

    juce::StringArray names(bool input) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        juce::StringArray out;
        for (const auto& d : byPlace())
            if (const auto& e = endpointOf(*d, input))
                out.add(juce::String::fromUTF8(e->name.c_str()));
        return out;
    }

    // The device and port at `index` of a list, counted as opened; nulls when
    // the index names no port.
    std::pair<std::shared_ptr<DeviceState>, std::shared_ptr<Endpoint>> open(bool input, int index)
    {
        std::lock_guard<std::mutex> lock(mutex);
        int i = 0;
        for (const auto& d : byPlace()) {
            const auto& e = endpointOf(*d, input);
            if (e && i++ == index) {
                if (d->opensLeft == 0)
                    return {};
                if (d->opensLeft > 0)
                    --d->opensLeft;
                ++d->opened;
                ++d->openNow;
                return {d, e};
            }
        }
        return {};
    }

    // Under mutex.
    void bringIn(DeviceState& d)
    {
        const bool returning = d.generation > 0;
        int place = 0;
        for (const auto& other : byPlace()) {
            if (returning && returnLast)
                place = other->place + 1;
            else if (other->place != place)
                break;
            else
                ++place;
        }
        d.place = place;
        d.plugged = true;
        d.comingBack = false;
        ++d.generation;
        const bool renamed =
            !d.bootloaderName.empty() && d.amplifier != nullptr && d.amplifier->bootloader.inBootloader();
        d.input = d.inputName.empty() ? nullptr : std::make_shared<Endpoint>(renamed ? d.bootloaderName : d.inputName);
        d.output =
            d.outputName.empty() ? nullptr : std::make_shared<Endpoint>(renamed ? d.bootloaderName : d.outputName);
    }

    Device add(std::shared_ptr<DeviceState> d, bool plugIn = true)
    {
        const Device handle = static_cast<Device>(devices.size());
        DeviceState* raw = d.get();
        d->delivery =
            std::make_unique<DeliveryThread>([raw](const std::vector<std::uint8_t>& bytes) { dispatch(*raw, bytes); });
        std::weak_ptr<Core> weak = shared_from_this();
        d->comeBack = std::make_unique<DeliveryThread>([weak, handle](const std::vector<std::uint8_t>&) {
            if (auto c = weak.lock())
                c->returnAfterReenumeration(handle);
        });
        devices.push_back(std::move(d));
        if (plugIn)
            bringIn(*devices.back());
        return handle;
    }

    static void dispatch(DeviceState& d, const std::vector<std::uint8_t>& bytes)
    {
        std::lock_guard<std::mutex> lock(d.deliverMutex);
        for (const MidiStreamParser::Message& m : d.parser.feed(bytes.data(), bytes.size())) {
            const juce::MidiMessage message(m.data(), static_cast<int>(m.size()));
            for (SimInputPort* port : d.listeners)
                port->deliver(message);
        }
    }

    // Takes the ports away; after this returns no message reaches them. A
    // device that is away for `backAfterMs` product ms comes back by itself;
    // below 0 it stays away.
    void takeAway(Device handle, int backAfterMs)
    {
        const bool reenumerating = backAfterMs >= 0;
        std::shared_ptr<DeviceState> d;
        std::shared_ptr<Endpoint> input;
        std::shared_ptr<Endpoint> output;
        {
            std::lock_guard<std::mutex> lock(mutex);
            d = at(handle);
            if (!d || closed)
                return;
            if (d->plugged) {
                d->plugged = false;
                d->place = -1;
                ++d->generation;
                input = std::move(d->input);
                output = std::move(d->output);
                if (d->delivery)
                    d->delivery->clear();
            }
            d->comingBack = reenumerating;
            if (d->comeBack) {
                d->comeBack->clear();
                if (reenumerating) {
                    const auto due =
                        std::chrono::steady_clock::now() + zq::Clock::duration(static_cast<std::uint32_t>(backAfterMs));
                    d->comeBack->post({}, due);
                }
            }
        }
        if (output)
            output->alive = false;
        if (input)
            input->alive = false;
        std::lock_guard<std::mutex> lock(d->deliverMutex);
        d->parser.reset();
    }

    void bringBack(Device handle)
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto d = at(handle);
        if (!d || closed)
            return;
        if (d->comeBack)
            d->comeBack->clear();
        if (!d->plugged)
            bringIn(*d);
    }

    void returnAfterReenumeration(Device handle)
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto d = at(handle);
        if (!d || closed || !d->comingBack || d->plugged)
            return;
        if (auto standIn = at(d->swappingTo)) {
            d->swappingTo = -1;
            d->comingBack = false;
            if (!standIn->plugged)
                bringIn(*standIn);
            return;
        }
        bringIn(*d);
    }

    // An amplifier's status switch: into its bootloader and back out it
    // restarts its USB (taking along what leaves with it); in Bluetooth
    // update mode it is away until the module's update and its own restart
    // are over.
    void switched(Device handle, std::uint8_t status)
    {
        std::vector<Device> leaving;
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto d = at(handle);
            if (!d)
                return;
            leaving = d->leaveWithIt;
            if (status == 0x00) {
                d->swappingTo = d->standIn;
                d->standIn = -1;
            }
        }
        if (status == 0x00 || status == 0x01) {
            takeAway(handle, std::max(0, reenumerationDelayMs.load()));
            for (const Device other : leaving)
                takeAway(other, -1);
        } else if (status == 0x02) {
            takeAway(handle, std::max(0, bluetoothUpdateMs.load()));
        }
    }

    void shutDown()
    {
        std::vector<std::unique_ptr<DeliveryThread>> threads;
        std::vector<std::shared_ptr<Endpoint>> endpoints;
        std::vector<std::shared_ptr<DeviceState>> all;
        {
            std::lock_guard<std::mutex> lock(mutex);
            closed = true;
            all = devices;
            for (auto& d : devices) {
                d->plugged = false;
                ++d->generation;
                endpoints.push_back(std::move(d->input));
                endpoints.push_back(std::move(d->output));
                threads.push_back(std::move(d->comeBack));
                threads.push_back(std::move(d->delivery));
            }
        }
        for (auto& e : endpoints)
            if (e)
                e->alive = false;
        for (auto& d : all)
            std::lock_guard<std::mutex> lock(d->deliverMutex);
        threads.clear();
    }

    void portClosed(DeviceState& d)
    {
        std::lock_guard<std::mutex> lock(mutex);
        --d.openNow;
    }
};

namespace {

SimInputPort::SimInputPort(std::shared_ptr<SimulatedMidiPorts::Core> c, std::shared_ptr<DeviceState> d,
                           std::shared_ptr<Endpoint> e, zq::MidiInputPortCallback* cb)
    : core(std::move(c)), device(std::move(d)), endpoint(std::move(e)), callback(cb)
{
    std::lock_guard<std::mutex> lock(device->deliverMutex);
    device->listeners.push_back(this);
}

SimInputPort::~SimInputPort()
{
    {
        std::lock_guard<std::mutex> lock(device->deliverMutex);
        auto& l = device->listeners;
        l.erase(std::remove(l.begin(), l.end(), this), l.end());
    }
    core->portClosed(*device);
}

SimOutputPort::~SimOutputPort() { core->portClosed(*device); }

bool SimOutputPort::sendMessageNow(const juce::MidiMessage& message)
{
    if (!endpoint->alive)
        return false;
    const Bytes bytes(message.getRawData(), message.getRawData() + message.getRawDataSize());
    if (device->amplifier != nullptr && device->amplifier->refusesToTake(bytes))
        return false;
    SimulatedAmplifier* amplifier;
    unsigned generation;
    {
        std::lock_guard<std::mutex> lock(core->mutex);
        device->log.push_back({bytes, std::chrono::steady_clock::now()});
        amplifier = device->amplifier;
        generation = device->generation;
    }
    if (amplifier == nullptr)
        return true;
    // May re-enumerate the amplifier: no lock is held here.
    const auto now = std::chrono::steady_clock::now();
    std::vector<Delivery> replies = amplifier->receive(bytes.data(), bytes.size());
    const auto due = now + zq::Clock::duration(static_cast<std::uint32_t>(std::max(0, amplifier->replyDelayMs())));
    std::lock_guard<std::mutex> lock(core->mutex);
    // Replies of an amplifier that went away meanwhile are lost with it.
    if (device->generation == generation && device->delivery)
        for (Delivery& reply : replies)
            device->delivery->post(std::move(reply), due);
    return true;
}

} // namespace

SimulatedMidiPorts::SimulatedMidiPorts() : core(std::make_shared<Core>()) {}

SimulatedMidiPorts::~SimulatedMidiPorts() { core->shutDown(); }

SimulatedMidiPorts::Device SimulatedMidiPorts::plugAmplifier(SimulatedAmplifier& amplifier, const std::string& portName)
{
    return addAmplifier(amplifier, portName, true);
}

SimulatedMidiPorts::Device SimulatedMidiPorts::addAmplifierAway(SimulatedAmplifier& amplifier,
                                                                const std::string& portName)
{
    return addAmplifier(amplifier, portName, false);
}

SimulatedMidiPorts::Device SimulatedMidiPorts::addAmplifier(SimulatedAmplifier& amplifier, const std::string& portName,
                                                            bool plugIn)
{
    auto d = std::make_shared<DeviceState>();
    d->amplifier = &amplifier;
    d->inputName = portName;
    d->outputName = portName;
    std::weak_ptr<Core> weak = core;
    std::lock_guard<std::mutex> lock(core->mutex);
    // The amplifier is wired up before its ports become visible: from then
    // on a probe on another thread may already talk to it.
    const auto handle = static_cast<Device>(core->devices.size());
    auto previous = amplifier.onFirmwareStatusSwitch;
    amplifier.onFirmwareStatusSwitch = [weak, handle, previous](std::uint8_t status) {
        if (previous)
            previous(status);
        if (auto c = weak.lock())
            c->switched(handle, status);
    };
    return core->add(std::move(d), plugIn);
}

SimulatedMidiPorts::Device SimulatedMidiPorts::plugDevice(const std::string& inputName, const std::string& outputName)
{
    auto d = std::make_shared<DeviceState>();
    d->inputName = inputName;
    d->outputName = outputName;
    std::lock_guard<std::mutex> lock(core->mutex);
    return core->add(std::move(d));
}

void SimulatedMidiPorts::unplug(Device device) { core->takeAway(device, -1); }

void SimulatedMidiPorts::replug(Device device) { core->bringBack(device); }

bool SimulatedMidiPorts::isPlugged(Device device) const
{
    std::lock_guard<std::mutex> lock(core->mutex);
    auto d = core->at(device);
    return d && d->plugged;
}

void SimulatedMidiPorts::play(Device device, const Bytes& bytes)
{
    std::lock_guard<std::mutex> lock(core->mutex);
    auto d = core->at(device);
    if (d && d->plugged && d->delivery)
        d->delivery->post(bytes, std::chrono::steady_clock::now());
}

void SimulatedMidiPorts::drain(Device device)
{
    DeliveryThread* delivery = nullptr;
    {
        std::lock_guard<std::mutex> lock(core->mutex);
        auto d = core->at(device);
        if (d)
            delivery = d->delivery.get();
    }
    if (delivery)
        delivery->drain();
}

std::vector<SimulatedMidiPorts::Received> SimulatedMidiPorts::received(Device device) const
{
    std::lock_guard<std::mutex> lock(core->mutex);
    auto d = core->at(device);
    return d ? d->log : std::vector<Received>{};
}

int SimulatedMidiPorts::openedCount(Device device) const
{
    std::lock_guard<std::mutex> lock(core->mutex);
    auto d = core->at(device);
    return d ? d->opened : 0;
}

int SimulatedMidiPorts::openCount(Device device) const
{
    std::lock_guard<std::mutex> lock(core->mutex);
    auto d = core->at(device);
    return d ? d->openNow : 0;
}

int SimulatedMidiPorts::openedCount() const
{
    std::lock_guard<std::mutex> lock(core->mutex);
    int n = 0;
    for (const auto& d : core->devices)
        n += d->opened;
    return n;
}

int SimulatedMidiPorts::openCount() const
{
    std::lock_guard<std::mutex> lock(core->mutex);
    int n = 0;
    for (const auto& d : core->devices)
        n += d->openNow;
    return n;
}

void SimulatedMidiPorts::limitOpens(Device device, int opens)
{
    std::lock_guard<std::mutex> lock(core->mutex);
    if (auto d = core->at(device))
        d->opensLeft = opens;
}

void SimulatedMidiPorts::setBootloaderName(Device device, const std::string& name)
{
    std::lock_guard<std::mutex> lock(core->mutex);
    if (auto d = core->at(device))
        d->bootloaderName = name;
}

void SimulatedMidiPorts::leaveWith(Device device, Device amplifier)
{
    std::lock_guard<std::mutex> lock(core->mutex);
    if (auto d = core->at(amplifier))
        d->leaveWithIt.push_back(device);
}

void SimulatedMidiPorts::swapOnReturn(Device amplifier, Device standIn)
{
    std::lock_guard<std::mutex> lock(core->mutex);
    if (auto d = core->at(amplifier))
        d->standIn = standIn;
}

void SimulatedMidiPorts::setReenumerationDelayMs(int ms) { core->reenumerationDelayMs = ms; }

void SimulatedMidiPorts::setBluetoothUpdateMs(int ms) { core->bluetoothUpdateMs = ms; }

void SimulatedMidiPorts::setReturnLast(bool last)
{
    std::lock_guard<std::mutex> lock(core->mutex);
    core->returnLast = last;
}

juce::StringArray SimulatedMidiPorts::inputNames() { return core->names(true); }

juce::StringArray SimulatedMidiPorts::outputNames() { return core->names(false); }

std::unique_ptr<zq::MidiInputPort> SimulatedMidiPorts::openInput(int index, zq::MidiInputPortCallback* callback)
{
    if (callback == nullptr)
        return nullptr;
    auto [device, endpoint] = core->open(true, index);
    if (!device)
        return nullptr;
    return std::make_unique<SimInputPort>(core, std::move(device), std::move(endpoint), callback);
}

std::unique_ptr<zq::MidiOutputPort> SimulatedMidiPorts::openOutput(int index)
{
    auto [device, endpoint] = core->open(false, index);
    if (!device)
        return nullptr;
    return std::make_unique<SimOutputPort>(core, std::move(device), std::move(endpoint));
}

} // namespace sim
