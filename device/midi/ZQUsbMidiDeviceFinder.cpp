#include "device/midi/ZQUsbMidiDeviceFinder.h"

#include "device/core/ZQSysEx.h"
#include "device/midi/ZQUsbMidiG1.h"
#include "runtime/Clock.h"
#include "runtime/messagethread/OnMessageThread.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>

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
// probe, the search's own list during FindAgain and AskAt. Guarded by
// desc_mutex_, and told of each reply that goes in.
std::vector<_G1MidiDeviceDescriptor>* probe_sink_ = &descriptors_;
std::condition_variable_any probe_reply_;

// Takes probe_mutex_; on the message thread only when it is free (see ProbeAll).
bool lockProbe(std::unique_lock<std::mutex>& probeLock)
{
    if (juce::MessageManager::existsAndIsCurrentThread())
        return probeLock.try_lock();
    probeLock.lock();
    return true;
}

// Replies go into `sink` while one lives, then into descriptors_ again.
class SinkScope {
public:
    explicit SinkScope(std::vector<_G1MidiDeviceDescriptor>& sink)
    {
        std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
        probe_sink_ = &sink;
    }
    ~SinkScope()
    {
        std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
        probe_sink_ = &descriptors_;
    }
    SinkScope(const SinkScope&) = delete;
    SinkScope& operator=(const SinkScope&) = delete;
};

using ProbeInputs = std::vector<std::unique_ptr<zq::MidiInputPort>>;

// Opens the inputs that `pick` chooses from the input names, each with the
// probe's listener, and starts them. Under probe_mutex_.
template <typename Pick>
ProbeInputs openProbeInputs(const std::shared_ptr<zq::MidiPortSystem>& ports, Pick pick)
{
    {
        std::lock_guard<std::mutex> lock(probe_map_mutex_);
        probe_map_.clear();
    }
    probe_out_ = -1;

    ProbeInputs inputs;
    const juce::StringArray inputNames = zq::onMessageThread([&] { return ports->inputNames(); });
    for (const int i : pick(inputNames)) {
        if (i < 0 || i >= inputNames.size())
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
    return inputs;
}

// Sends the probe request on each output that `pick` chooses from the output
// names, in its order, each followed by its second of replies, until
// `enough` holds after one. With `endOnEnough` the second ends as soon as
// `enough` holds. Under probe_mutex_.
template <typename Pick, typename Enough>
void probeOutputs(const std::shared_ptr<zq::MidiPortSystem>& ports, Pick pick, Enough enough, bool endOnEnough)
{
    const juce::StringArray outputNames = zq::onMessageThread([&] { return ports->outputNames(); });
    for (const int j : pick(outputNames)) {
        if (j < 0 || j >= outputNames.size())
            continue;
        std::unique_ptr<zq::MidiOutputPort> output = zq::onMessageThread([&] { return ports->openOutput(j); });
        if (!output)
            continue;
        probe_out_ = j;
        const auto end = std::chrono::steady_clock::now() + zq::Clock::duration(1000);
        output->sendMessageNow(juce::MidiMessage(kProbeRequest, static_cast<int>(sizeof kProbeRequest)));
        if (endOnEnough) {
            std::unique_lock<std::recursive_mutex> lock(desc_mutex_);
            probe_reply_.wait_until(lock, end, enough);
        } else {
            zq::Clock::sleepMs(1000);
        }
        output.reset();
        if (enough())
            break;
    }
}

// Closes the inputs again. Under probe_mutex_.
void closeProbeInputs(ProbeInputs& inputs)
{
    inputs.clear();
    std::lock_guard<std::mutex> lock(probe_map_mutex_);
    probe_map_.clear();
}

std::vector<int> candidates(const juce::StringArray& names)
{
    std::vector<int> picked;
    for (int i = 0; i < names.size(); ++i)
        if (IsCandidate(names[i]))
            picked.push_back(i);
    return picked;
}

} // namespace

bool ProbeAll()
{
    std::unique_lock<std::mutex> probeLock(probe_mutex_, std::defer_lock);
    if (!lockProbe(probeLock))
        return false;

    ClearDescriptors();
    const std::shared_ptr<zq::MidiPortSystem> ports = zq::midiPortSystem();
    ProbeInputs inputs = openProbeInputs(ports, candidates);
    probeOutputs(
        ports, candidates, [] { return false; }, false);
    closeProbeInputs(inputs);

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
    const auto candidateOutputs = [&](const juce::StringArray& names) {
        std::vector<int> picked;
        for (const int j : outputs)
            if (j >= 0 && j < names.size() && IsCandidate(names[j]))
                picked.push_back(j);
        return picked;
    };
    {
        SinkScope sink(replies);
        const std::shared_ptr<zq::MidiPortSystem> ports = zq::midiPortSystem();
        ProbeInputs inputs = openProbeInputs(ports, candidates);
        probeOutputs(ports, candidateOutputs, answered, false);
        closeProbeInputs(inputs);
    }
    return answered();
}

Answer AskAt(int inputIndex, int outputIndex, const std::array<std::uint8_t, 8>& id)
{
    std::unique_lock<std::mutex> probeLock(probe_mutex_, std::defer_lock);
    if (!lockProbe(probeLock))
        return Answer::NotAsked;

    std::vector<_G1MidiDeviceDescriptor> replies;
    const auto replied = [&] {
        std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
        return !replies.empty();
    };
    {
        SinkScope sink(replies);
        const std::shared_ptr<zq::MidiPortSystem> ports = zq::midiPortSystem();
        ProbeInputs inputs =
            openProbeInputs(ports, [inputIndex](const juce::StringArray&) { return std::vector<int>{inputIndex}; });
        // Without its input nothing could answer: no request, no wait.
        if (!inputs.empty())
            probeOutputs(
                ports, [outputIndex](const juce::StringArray&) { return std::vector<int>{outputIndex}; }, replied,
                true);
        closeProbeInputs(inputs);
    }
    std::lock_guard<std::recursive_mutex> lock(desc_mutex_);
    if (replies.empty())
        return Answer::Nothing;
    return replies.front().uuid == id ? Answer::Own : Answer::Another;
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
    probe_reply_.notify_all();
    source->stop();
}
