#include "device/midi/ZQUsbMidiDeviceFinder.h"

#include "device/core/Clock.h"
#include "device/core/ZQSysEx.h"
#include "device/midi/OnMessageThread.h"
#include "device/midi/ZQUsbMidiG1.h"

#include <algorithm>

namespace ZQUsbMidiDeviceFinder {

std::mutex probe_mutex_;
std::map<zq::MidiInputPort*, int> probe_map_;
std::mutex probe_map_mutex_;
std::atomic<int> probe_out_{-1};
std::recursive_mutex desc_mutex_;
std::vector<_G1MidiDeviceDescriptor> descriptors_;
DeviceManagerCallback input_callback_;

const std::uint8_t kProbeRequest[7] = {0xF0, 0x01, 0x00, 0x00, 0x02, 0x12, 0xF7};

bool IsCandidate(const juce::String& portName) { return portName.contains("Kovra") || portName.contains("G1"); }

std::vector<_G1MidiDeviceDescriptor> GetDescriptors()
{
    std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
    return descriptors_;
}

void ClearDescriptors()
{
    std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
    descriptors_.clear();
}

namespace {

// Where the reply handler puts what it finds: descriptors_ during a whole
// probe, the search's own list during FindAgain. Guarded by desc_mutex_.
std::vector<_G1MidiDeviceDescriptor>* probe_sink_ = &descriptors_;

// Takes probe_mutex_; on the message thread only when it is free (see ProbeAll).
bool lockProbe(std::unique_lock<std::mutex>& probeLock)
{
    if (juce::MessageManager::existsAndIsCurrentThread())
        return probeLock.try_lock();
    probeLock.lock();
    return true;
}

// Opens every candidate input, sends the probe request on each candidate
// output among those that `order` picks from the output names, in its order,
// each followed by its second of replies, until `enough` holds after one,
// and closes the inputs again. Under probe_mutex_.
template <typename Order, typename Enough>
void probePorts(Order order, Enough enough)
{
    {
        std::lock_guard<std::mutex> lock(probe_map_mutex_);
        probe_map_.clear();
    }
    probe_out_ = -1;

    const std::shared_ptr<zq::MidiPortSystem> ports = zq::midiPortSystem();

    std::vector<std::unique_ptr<zq::MidiInputPort>> inputs;
    const juce::StringArray inputNames = zq::onMessageThread([&] { return ports->inputNames(); });
    for (int i = 0; i < inputNames.size(); ++i) {
        if (!IsCandidate(inputNames[i]))
            continue;
        std::unique_ptr<zq::MidiInputPort> input =
            zq::onMessageThread([&] { return ports->openInput(i, &input_callback_); });
        if (!input)
            continue;
        // In the map before it starts, so that no reply from it is missed.
        {
            std::lock_guard<std::mutex> lock(probe_map_mutex_);
            probe_map_[input.get()] = i;
        }
        zq::onMessageThread([&] { input->start(); });
        inputs.push_back(std::move(input));
    }

    const juce::StringArray outputNames = zq::onMessageThread([&] { return ports->outputNames(); });
    for (const int j : order(outputNames)) {
        if (j < 0 || j >= outputNames.size() || !IsCandidate(outputNames[j]))
            continue;
        std::unique_ptr<zq::MidiOutputPort> output = zq::onMessageThread([&] { return ports->openOutput(j); });
        if (!output)
            continue;
        probe_out_ = j;
        output->sendMessageNow(juce::MidiMessage(kProbeRequest, static_cast<int>(sizeof kProbeRequest)));
        zq::Clock::sleepMs(1000);
        output.reset();
        if (enough())
            break;
    }

    inputs.clear();
    {
        std::lock_guard<std::mutex> lock(probe_map_mutex_);
        probe_map_.clear();
    }
}

} // namespace

bool ProbeAll()
{
    std::unique_lock<std::mutex> probeLock(probe_mutex_, std::defer_lock);
    if (!lockProbe(probeLock))
        return false;

    ClearDescriptors();
    const auto everyOutput = [](const juce::StringArray& names) {
        std::vector<int> all(static_cast<std::size_t>(names.size()));
        for (std::size_t j = 0; j < all.size(); ++j)
            all[j] = static_cast<int>(j);
        return all;
    };
    probePorts(everyOutput, [] { return false; });

    // Keep the amplifiers that still open. Each Open waits for the message
    // thread, so desc_mutex_ is not held meanwhile: only this probe changes
    // descriptors_ now that its inputs are closed.
    std::vector<_G1MidiDeviceDescriptor> kept;
    for (const _G1MidiDeviceDescriptor& descriptor : GetDescriptors()) {
        ZQUsbMidiG1 device(descriptor.uuid.data());
        if (device.Open())
            kept.push_back(descriptor);
    }
    {
        std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
        descriptors_ = std::move(kept);
    }
    return true;
}

bool FindAgain(const std::array<std::uint8_t, 8>& id, const std::vector<int>& outputs, _G1MidiDeviceDescriptor& found)
{
    std::unique_lock<std::mutex> probeLock(probe_mutex_, std::defer_lock);
    if (!lockProbe(probeLock))
        return false;

    std::vector<_G1MidiDeviceDescriptor> replies;
    const auto answered = [&] {
        std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
        const auto it = std::find_if(replies.begin(), replies.end(), [&](const auto& d) { return d.uuid == id; });
        if (it == replies.end())
            return false;
        found = *it;
        return true;
    };
    {
        std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
        probe_sink_ = &replies;
    }
    probePorts([&](const juce::StringArray&) { return outputs; }, answered);
    {
        std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
        probe_sink_ = &descriptors_;
    }
    return answered();
}

} // namespace ZQUsbMidiDeviceFinder

void DeviceManagerCallback::handleIncomingMidiMessage(zq::MidiInputPort* source, const juce::MidiMessage& message)
{
    using namespace ZQUsbMidiDeviceFinder;

    const std::uint8_t* m = message.getRawData();
    const int size = message.getRawDataSize();
    if (size < 7 || m[0] != 0xF0 || m[size - 1] != 0xF7 || m[4] != 0x03 || m[5] != 0x12)
        return;
    if (ZQSysEx::Checksum(m + 6, static_cast<std::size_t>(size - 7)) != m[3])
        return;
    // Fewer than 8 bytes make no whole device id.
    const std::vector<std::uint8_t> payload = ZQSysEx::Unpack(m + 6, static_cast<std::size_t>(size - 7));
    if (payload.size() < 8)
        return;

    _G1MidiDeviceDescriptor descriptor{};
    {
        std::lock_guard<std::mutex> lock(probe_map_mutex_);
        const auto it = probe_map_.find(source);
        if (it == probe_map_.end())
            return;
        descriptor.midiInputIndex = it->second;
        probe_map_.erase(it);
    }
    std::copy(payload.begin(), payload.begin() + 8, descriptor.uuid.begin());
    descriptor.midiOutputIndex = probe_out_.load();
    {
        std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
        probe_sink_->push_back(descriptor);
    }
    source->stop();
}
