#include "device/midi/ZQUsbMidiG1.h"

#include "device/midi/OnMessageThread.h"
#include "device/midi/ZQUsbMidiDeviceFinder.h"

#include <cstring>

ZQUsbMidiG1::ZQUsbMidiG1(const char* id) : ZQUsbMidiG1(reinterpret_cast<const std::uint8_t*>(id)) {}

ZQUsbMidiG1::ZQUsbMidiG1(const std::uint8_t* id) { std::memcpy(uuid.data(), id, uuid.size()); }

ZQUsbMidiG1::~ZQUsbMidiG1()
{
    // The ports must stop delivering before the ZQDevice part goes.
    Close();
    descriptor.reset();
}

namespace {

bool onlyOnce(const juce::StringArray& names, const juce::String& name)
{
    const int first = names.indexOf(name);
    return first >= 0 && names.indexOf(name, false, first + 1) < 0;
}

} // namespace

ZQUsbMidiG1::Reopen ZQUsbMidiG1::reopenLastPair(std::vector<int>& probed)
{
    JUCE_ASSERT_MESSAGE_THREAD
    // Opened by index alone: nothing to find again by.
    if (!descriptor)
        return Reopen::FirstOpen;
    {
        std::lock_guard<std::mutex> lock(portMutex);
        if (midiInput && midiOutput)
            return Reopen::Opened;
    }
    const std::shared_ptr<zq::MidiPortSystem> ports = zq::midiPortSystem();
    const juce::StringArray inputs = ports->inputNames();
    const juce::StringArray outputs = ports->outputNames();
    const juce::String inputName = openedInputNames[descriptor->midiInputIndex];
    const juce::String outputName = openedOutputNames[descriptor->midiOutputIndex];
    if (inputs == openedInputNames && outputs == openedOutputNames && onlyOnce(inputs, inputName)
        && onlyOnce(outputs, outputName))
        return OpenMidi(descriptor->midiInputIndex, descriptor->midiOutputIndex) ? Reopen::Opened : Reopen::Failed;
    // The ports with its name first, then the others where the list changed:
    // another amplifier is asked only when its own name did not answer.
    for (int j = 0; j < outputs.size(); ++j)
        if (outputs[j] == outputName)
            probed.push_back(j);
    for (int j = 0; j < outputs.size(); ++j)
        if (outputs[j] != outputName && (j >= openedOutputNames.size() || outputs[j] != openedOutputNames[j]))
            probed.push_back(j);
    return Reopen::Search;
}

bool ZQUsbMidiG1::Open()
{
    std::vector<int> changed;
    const Reopen reopen =
        openedBefore ? zq::onMessageThread([this, &changed] { return reopenLastPair(changed); }) : Reopen::FirstOpen;
    switch (reopen) {
    case Reopen::Opened: return true;
    case Reopen::Failed: return false;
    case Reopen::Search: {
        _G1MidiDeviceDescriptor found{};
        if (!ZQUsbMidiDeviceFinder::FindAgain(uuid, changed, found))
            return false;
        {
            std::lock_guard<std::recursive_mutex> lock(ZQUsbMidiDeviceFinder::desc_mutex_);
            descriptor = std::make_unique<_G1MidiDeviceDescriptor>(found);
        }
        return zq::onMessageThread([this, found] { return OpenMidi(found.midiInputIndex, found.midiOutputIndex); });
    }
    case Reopen::FirstOpen: break;
    }

    int inputIndex;
    int outputIndex;
    {
        std::lock_guard<std::recursive_mutex> lock(ZQUsbMidiDeviceFinder::desc_mutex_);
        for (const _G1MidiDeviceDescriptor& d : ZQUsbMidiDeviceFinder::descriptors_) {
            if (d.uuid == uuid) {
                descriptor = std::make_unique<_G1MidiDeviceDescriptor>(d);
                break;
            }
        }
        if (!descriptor)
            return false;
        inputIndex = descriptor->midiInputIndex;
        outputIndex = descriptor->midiOutputIndex;
    }
    return zq::onMessageThread([this, inputIndex, outputIndex] { return OpenMidi(inputIndex, outputIndex); });
}

bool ZQUsbMidiG1::OpenMidi(int inputIndex, int outputIndex)
{
    JUCE_ASSERT_MESSAGE_THREAD
    std::lock_guard<std::mutex> lock(portMutex);
    if (midiInput && midiOutput)
        return true;
    const std::shared_ptr<zq::MidiPortSystem> ports = zq::midiPortSystem();
    // The lists that the indices refer to, kept for a reopen.
    const juce::StringArray inputNames = ports->inputNames();
    const juce::StringArray outputNames = ports->outputNames();
    // A half-open pair (impossible through Open) is opened afresh.
    midiInput.reset();
    midiOutput.reset();
    midiInput = ports->openInput(inputIndex, this);
    if (!midiInput)
        return false;
    midiOutput = ports->openOutput(outputIndex);
    if (!midiOutput) {
        midiInput.reset();
        return false;
    }
    midiInput->start();
    openedBefore = true;
    openedInputNames = inputNames;
    openedOutputNames = outputNames;
    return true;
}

void ZQUsbMidiG1::Close()
{
    std::unique_ptr<zq::MidiInputPort> input;
    std::unique_ptr<zq::MidiOutputPort> output;
    {
        std::lock_guard<std::mutex> lock(portMutex);
        input = std::move(midiInput);
        output = std::move(midiOutput);
    }
    // Closed outside the lock: closing an input waits for its callback.
}

const std::uint8_t* ZQUsbMidiG1::GetUUID() const { return uuid.data(); }

int ZQUsbMidiG1::Internal_Send(const std::uint8_t* data, std::size_t size)
{
    std::lock_guard<std::mutex> lock(portMutex);
    if (!midiOutput)
        return -1;
    if (data == nullptr || size == 0)
        return 0;
    if (!midiOutput->sendMessageNow(juce::MidiMessage(data, static_cast<int>(size))))
        return -1;
    return static_cast<int>(size);
}

void ZQUsbMidiG1::handleIncomingMidiMessage(zq::MidiInputPort*, const juce::MidiMessage& message)
{
    OnReadNext(message.getRawData(), message.getRawDataSize());
}
