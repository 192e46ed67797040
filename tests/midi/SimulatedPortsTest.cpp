#include "simamp/ports/MidiStreamParser.h"
#include "tests/midi/MidiTestSupport.h"
#include "tests/support/FastClock.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;

class Recorder : public zq::MidiInputPortCallback {
public:
    void handleIncomingMidiMessage(zq::MidiInputPort*, const juce::MidiMessage& message) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        messages.emplace_back(message.getRawData(), message.getRawData() + message.getRawDataSize());
    }
    std::vector<Bytes> taken()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }

private:
    std::mutex mutex;
    std::vector<Bytes> messages;
};

bool send(zq::MidiOutputPort& port, const Bytes& bytes)
{
    return port.sendMessageNow(juce::MidiMessage(bytes.data(), static_cast<int>(bytes.size())));
}

const Bytes kModelRequest{0xF0, 0x01, 0x05, 0x00, 0x02, 0x11, 0xF7};
const Bytes kSetFwStatus00{0xF0, 'S', 'e', 't', 'F', 'w', 'S', 't', 'a', 't', 'u', 's', 0x00, 0xF7};

using SimulatedPorts = MidiTest;

} // namespace

TEST(MidiStreamParser, CutsCompleteMessagesOnly)
{
    sim::MidiStreamParser parser;
    // A SysEx in two pieces with a clock tick inside, a note, running status,
    // a SysEx broken off by a note, a stray F7 and stray data.
    const Bytes first{0xF0, 0x01, 0x02, 0xF8, 0x03};
    const Bytes second{0xF7, 0x90, 0x3C, 0x40, 0x3E, 0x41, 0xF0, 0x7E, 0xC0, 0x05, 0xF7, 0x11};
    std::vector<Bytes> got = parser.feed(first.data(), first.size());
    EXPECT_EQ(got, (std::vector<Bytes>{{0xF8}}));
    got = parser.feed(second.data(), second.size());
    EXPECT_EQ(got, (std::vector<Bytes>{
                       {0xF0, 0x01, 0x02, 0x03, 0xF7}, {0x90, 0x3C, 0x40}, {0x90, 0x3E, 0x41}, {0xC0, 0x05}}));
}

TEST_F(SimulatedPorts, ListsKeepPlacesLikeSoundCards)
{
    auto& amp = amplifier();
    const auto keys = ports->plugDevice("USB Keys", "USB Keys");
    const auto tiko = ports->plugAmplifier(amp);
    const auto pads = ports->plugDevice("Pads", "");
    EXPECT_EQ(ports->inputNames(), juce::StringArray({"USB Keys", "Kovra TIKO", "Pads"}));
    EXPECT_EQ(ports->outputNames(), juce::StringArray({"USB Keys", "Kovra TIKO"}));

    // Back with nothing else changed: the same indices.
    ports->unplug(tiko);
    EXPECT_EQ(ports->inputNames(), juce::StringArray({"USB Keys", "Pads"}));
    ports->replug(tiko);
    EXPECT_EQ(ports->inputNames(), juce::StringArray({"USB Keys", "Kovra TIKO", "Pads"}));

    // Another device took its place meanwhile: it comes back after the others.
    ports->unplug(tiko);
    const auto drums = ports->plugDevice("Drums", "Drums");
    ports->replug(tiko);
    EXPECT_EQ(ports->inputNames(), juce::StringArray({"USB Keys", "Drums", "Pads", "Kovra TIKO"}));
    EXPECT_EQ(ports->outputNames(), juce::StringArray({"USB Keys", "Drums", "Kovra TIKO"}));

    // A place freed early is the first taken.
    ports->unplug(keys);
    ports->unplug(drums);
    ports->replug(drums);
    EXPECT_EQ(ports->inputNames(), juce::StringArray({"Drums", "Pads", "Kovra TIKO"}));
    EXPECT_FALSE(ports->isPlugged(keys));
    EXPECT_TRUE(ports->isPlugged(pads));
}

TEST_F(SimulatedPorts, DeliversWholeMessagesOnAThreadOfItsOwn)
{
    auto& amp = amplifier();
    amp.faults.splitInto = 4;
    amp.faults.noiseBefore = true;
    ports->plugAmplifier(amp);
    Recorder recorder;
    auto input = ports->openInput(0, &recorder);
    auto output = ports->openOutput(0);
    ASSERT_TRUE(input && output);
    input->start();
    ASSERT_TRUE(send(*output, kModelRequest));
    ASSERT_TRUE(runUntil([&] { return recorder.taken().size() == 5; }));
    const auto got = recorder.taken();
    EXPECT_EQ(got[0], (Bytes{0x90, 0x3C, 0x40}));
    EXPECT_EQ(got[1], (Bytes{0xB0, 0x07, 0x64}));
    EXPECT_EQ(got[2], (Bytes{0xC0, 0x05}));
    EXPECT_EQ(got[3], (Bytes{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}));
    EXPECT_EQ(got[4],
              amp.commandReply(0x05, 0x03, 0x11, Bytes(amp.config.modelName.begin(), amp.config.modelName.end())));
}

TEST_F(SimulatedPorts, NothingBeforeStartOrAfterStop)
{
    const auto keys = ports->plugDevice("USB Keys", "");
    Recorder recorder;
    auto input = ports->openInput(0, &recorder);
    ASSERT_TRUE(input);
    ports->play(keys, {0x90, 0x3C, 0x40});
    ports->drain(keys);
    input->start();
    ports->play(keys, {0x90, 0x3E, 0x40});
    ports->drain(keys);
    input->stop();
    ports->play(keys, {0x90, 0x40, 0x40});
    ports->drain(keys);
    EXPECT_EQ(recorder.taken(), (std::vector<Bytes>{{0x90, 0x3E, 0x40}}));
}

TEST_F(SimulatedPorts, PortsOfAGoneDeviceStayDead)
{
    auto& amp = amplifier();
    const auto tiko = ports->plugAmplifier(amp);
    Recorder oldRecorder;
    auto oldInput = ports->openInput(0, &oldRecorder);
    auto oldOutput = ports->openOutput(0);
    oldInput->start();
    ports->unplug(tiko);
    EXPECT_FALSE(send(*oldOutput, kModelRequest));
    EXPECT_EQ(amp.receivedCount(), 0u);

    ports->replug(tiko);
    EXPECT_FALSE(send(*oldOutput, kModelRequest));
    Recorder newRecorder;
    auto newInput = ports->openInput(0, &newRecorder);
    auto newOutput = ports->openOutput(0);
    newInput->start();
    EXPECT_TRUE(send(*newOutput, kModelRequest));
    ASSERT_TRUE(runUntil([&] { return newRecorder.taken().size() == 1; }));
    EXPECT_TRUE(oldRecorder.taken().empty());
    EXPECT_EQ(ports->openCount(tiko), 4);
    oldInput.reset();
    oldOutput.reset();
    EXPECT_EQ(ports->openCount(tiko), 2);
    EXPECT_EQ(ports->openedCount(tiko), 4);
}

TEST_F(SimulatedPorts, StatusSwitchReEnumeratesAfterTheDelay)
{
    FastClock fast(10);
    ports->setReenumerationDelayMs(1000);
    auto& amp = amplifier();
    amp.faults.replyDelayMs = 500;
    ports->plugAmplifier(amp);
    Recorder recorder;
    auto input = ports->openInput(0, &recorder);
    auto output = ports->openOutput(0);
    input->start();

    // The reply still on its way is lost with the ports.
    ASSERT_TRUE(send(*output, kModelRequest));
    const auto switched = std::chrono::steady_clock::now();
    ASSERT_TRUE(send(*output, kSetFwStatus00));
    EXPECT_TRUE(ports->inputNames().isEmpty());
    EXPECT_TRUE(ports->outputNames().isEmpty());
    EXPECT_FALSE(send(*output, kModelRequest));

    ASSERT_TRUE(runUntil([&] { return ports->inputNames().size() == 1; }));
    EXPECT_GE(std::chrono::steady_clock::now() - switched, zq::Clock::duration(1000));
    EXPECT_EQ(ports->outputNames(), juce::StringArray({"Kovra TIKO"}));
    runFor(100);
    EXPECT_TRUE(recorder.taken().empty());
    EXPECT_EQ(amp.receivedCount(), 2u);
}

TEST_F(SimulatedPorts, StatusSwitchesThatReEnumerate)
{
    // Every switch takes the ports away at once; 00 and 01 bring them back
    // after the re-enumeration delay, 02 after the Bluetooth update's.
    struct Case {
        std::uint8_t status;
        int reenumerationMs;
        int bluetoothUpdateMs;
        bool backSoon;
    };
    for (const Case& c : {Case{0x00, 100, 60000, true}, Case{0x01, 100, 60000, true}, Case{0x02, 100, 60000, false},
                          Case{0x02, 60000, 100, true}, Case{0x00, 60000, 100, false}}) {
        SCOPED_TRACE(static_cast<int>(c.status));
        sim::SimulatedMidiPorts local;
        local.setReenumerationDelayMs(c.reenumerationMs);
        local.setBluetoothUpdateMs(c.bluetoothUpdateMs);
        auto& amp = amplifier();
        local.plugAmplifier(amp);
        auto output = local.openOutput(0);
        Bytes message = kSetFwStatus00;
        message[12] = c.status;
        EXPECT_TRUE(send(*output, message));
        EXPECT_TRUE(local.inputNames().isEmpty());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (local.inputNames().isEmpty() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(local.inputNames(), c.backSoon ? juce::StringArray("Kovra TIKO") : juce::StringArray());
    }
}

// What an amplifier's restart into its bootloader can bring: ports under
// another name (back under the first one out of it), a device listed after
// it gone for good, another amplifier in its place, a bootloader that does
// not answer the probe request.
TEST_F(SimulatedPorts, WhatTheRestartIntoTheBootloaderBrings)
{
    FastClock fast(10);
    ports->setReenumerationDelayMs(100);
    auto& amp = amplifier(amplifierWithId(1));
    auto& other = amplifier(amplifierWithId(2));
    amp.faults.bootloaderIgnoresProbe = true;
    other.bootloader.startInBootloader();
    const auto tiko = ports->plugAmplifier(amp);
    const auto keys = ports->plugDevice("USB Keys", "USB Keys");
    const auto standIn = ports->addAmplifierAway(other);
    EXPECT_FALSE(ports->isPlugged(standIn));
    ports->setBootloaderName(tiko, "USB Boot");
    ports->leaveWith(keys, tiko);

    // The probe request's answer on a fresh pair at index 0, if any within a
    // second.
    const auto answer = [&] {
        Recorder recorder;
        auto input = ports->openInput(0, &recorder);
        auto output = ports->openOutput(0);
        if (!input || !output)
            return Bytes{};
        input->start();
        EXPECT_TRUE(send(*output, probeRequest()));
        runUntil([&] { return !recorder.taken().empty(); }, 1000);
        const auto taken = recorder.taken();
        return taken.empty() ? Bytes{} : taken.front();
    };
    const auto switchTo = [&](std::uint8_t status) {
        auto output = ports->openOutput(0);
        ASSERT_TRUE(output);
        Bytes message = kSetFwStatus00;
        message[12] = status;
        ASSERT_TRUE(send(*output, message));
    };
    // The id 4B 54 31 30 00 00 00 0n packed in groups of seven behind a byte
    // of high bits; its checksum, the XOR of the packed bytes, 1F or 1C.
    const auto idReply = [](std::uint8_t last) {
        return Bytes{0xF0, 0x01, 0x00, static_cast<std::uint8_t>(last == 1 ? 0x1F : 0x1C),
                     0x03, 0x12, 0x00, 0x4B,
                     0x54, 0x31, 0x30, 0x00,
                     0x00, 0x00, 0x00, last,
                     0xF7};
    };
    ASSERT_EQ(answer(), idReply(1));

    switchTo(0x00);
    ASSERT_TRUE(runUntil([&] { return ports->isPlugged(tiko); }));
    EXPECT_EQ(ports->inputNames(), juce::StringArray({"USB Boot"}));
    EXPECT_EQ(ports->outputNames(), juce::StringArray({"USB Boot"}));
    EXPECT_FALSE(ports->isPlugged(keys));
    EXPECT_EQ(answer(), Bytes{});

    switchTo(0x01);
    ASSERT_TRUE(runUntil([&] { return ports->isPlugged(tiko); }));
    EXPECT_EQ(ports->inputNames(), juce::StringArray({"Kovra TIKO"}));
    EXPECT_EQ(answer(), idReply(1));

    // Swapped the next time it goes into its bootloader: the other comes
    // instead, in its place, under its name, and it stays away.
    ports->swapOnReturn(tiko, standIn);
    switchTo(0x00);
    ASSERT_TRUE(runUntil([&] { return ports->isPlugged(standIn); }));
    runFor(100);
    EXPECT_FALSE(ports->isPlugged(tiko));
    EXPECT_EQ(ports->inputNames(), juce::StringArray({"Kovra TIKO"}));
    EXPECT_EQ(answer(), idReply(2));
    EXPECT_TRUE(other.bootloader.inBootloader());
    EXPECT_TRUE(other.bootloader.statusSwitches().empty());
}
