#include "device/midi/ZQUsbMidiG1.h"

#include "device/midi/ZQUsbMidiDeviceFinder.h"
#include "runtime/messagethread/OnMessageThread.h"

#include <cstring>

ZQUsbMidiG1::ZQUsbMidiG1(const char* id) : ZQUsbMidiG1(reinterpret_cast<const std::uint8_t*>(id)) {}

ZQUsbMidiG1::ZQUsbMidiG1(const std::uint8_t* id) { std::memcpy(uuid.data(), id, uuid.size()); }

ZQUsbMidiG1::~ZQUsbMidiG1()
{
    // The ports must stop delivering before the ZQDevice part goes.
    Close();
    descriptor.reset();
}

std::vector<int> ZQUsbMidiG1::outputsToSearch(int asked) const
{
    JUCE_ASSERT_MESSAGE_THREAD
    const juce::StringArray outputs = zq::midiPortSystem()->outputNames();
    const juce::String name = openedOutputNames[asked];
    // The ports with its name first, then the others where the list changed.
    std::vector<int> search;
    for (int j = 0; j < outputs.size(); ++j)
        if (j != asked && outputs[j] == name)
            search.push_back(j);
    for (int j = 0; j < outputs.size(); ++j)
        if (j != asked && outputs[j] != name && (j >= openedOutputNames.size() || outputs[j] != openedOutputNames[j]))
            search.push_back(j);
    return search;
}

bool ZQUsbMidiG1::isOpen()
{
    std::lock_guard<std::mutex> lock(portMutex);
    return midiInput && midiOutput;
}

bool ZQUsbMidiG1::openOnMessageThread(int inputIndex, int outputIndex)
{
    return zq::onMessageThread([this, inputIndex, outputIndex] { return OpenMidi(inputIndex, outputIndex); });
}

bool ZQUsbMidiG1::reopen(int inputIndex, int outputIndex)
{
    if (isOpen())
        return true;
    using ZQUsbMidiDeviceFinder::Answer;
    const Answer answer = ZQUsbMidiDeviceFinder::AskAt(inputIndex, outputIndex, uuid);
    if (answer == Answer::NotAsked)
        return false;
    if (answer == Answer::Own)
        return openOnMessageThread(inputIndex, outputIndex);

    const std::vector<int> search = zq::onMessageThread([this, outputIndex] { return outputsToSearch(outputIndex); });
    _G1MidiDeviceDescriptor found{};
    if (!search.empty() && ZQUsbMidiDeviceFinder::FindAgain(uuid, search, found)) {
        {
            std::lock_guard<std::recursive_mutex> lock(ZQUsbMidiDeviceFinder::desc_mutex_);
            descriptor = std::make_unique<_G1MidiDeviceDescriptor>(found);
        }
        return openOnMessageThread(found.midiInputIndex, found.midiOutputIndex);
    }
    // Not found by its id (a bootloader need not answer the probe): where it
    // was, unless another amplifier is there now.
    if (answer == Answer::Another)
        return false;
    return openOnMessageThread(inputIndex, outputIndex);
}

bool ZQUsbMidiG1::Open()
{
    int inputIndex;
    int outputIndex;
    {
        std::unique_lock<std::recursive_mutex> lock(ZQUsbMidiDeviceFinder::desc_mutex_);
        // Opened by index alone, it has nothing to find again by.
        if (openedBefore && descriptor) {
            inputIndex = descriptor->midiInputIndex;
            outputIndex = descriptor->midiOutputIndex;
            lock.unlock();
            return reopen(inputIndex, outputIndex);
        }
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
    return openOnMessageThread(inputIndex, outputIndex);
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
