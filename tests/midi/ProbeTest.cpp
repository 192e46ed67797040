#include "tests/midi/MidiTestSupport.h"
#include "tests/support/FastClock.h"

#include <atomic>
#include <mutex>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Probe = MidiTest;

// Answers the probe with an id of only five bytes.
class ShortIdAmplifier : public sim::SimulatedAmplifier {
protected:
    bool handleOther(const Bytes& message, std::vector<Bytes>& replies) override
    {
        if (message == probeRequest()) {
            replies.push_back(commandReply(0x00, 0x03, 0x12, {1, 2, 3, 4, 5}));
            return true;
        }
        return SimulatedAmplifier::handleOther(message, replies);
    }
};

// Answers the probe through another device's input.
class ElsewhereAmplifier : public sim::SimulatedAmplifier {
public:
    sim::SimulatedMidiPorts* ports = nullptr;
    sim::SimulatedMidiPorts::Device replyFrom = -1;

protected:
    bool handleOther(const Bytes& message, std::vector<Bytes>& replies) override
    {
        if (message == probeRequest()) {
            ports->play(replyFrom,
                        commandReply(0x00, 0x03, 0x12, Bytes(config.deviceId.begin(), config.deviceId.end())));
            return true;
        }
        return SimulatedAmplifier::handleOther(message, replies);
    }
};

// Hands everything to the probe's listener and counts it.
class CountingForwarder : public zq::MidiInputPortCallback {
public:
    void handleIncomingMidiMessage(zq::MidiInputPort* source, const juce::MidiMessage& message) override
    {
        ZQUsbMidiDeviceFinder::input_callback_.handleIncomingMidiMessage(source, message);
        ++count;
    }
    std::atomic<int> count{0};
};

} // namespace

TEST_F(Probe, NoCandidateOpensNothingAndTakesNoTime)
{
    const auto keys = ports->plugDevice("USB Keys", "USB Keys");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(probe().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(700)); // well under the 1 s wait
    EXPECT_EQ(ports->openedCount(), 0);
    EXPECT_TRUE(ports->received(keys).empty());
}

TEST_F(Probe, CandidateNames)
{
    FastClock fast(20);
    struct Case {
        const char* name;
        int probes;
    };
    const Case cases[] = {
        {"Kovra TIKO", 1}, {"Kovra G1 MIDI 1", 1}, {"TIKO G1", 1},  {"USB Kovra", 1}, {"kovra tiko", 0},
        {"g1", 0},         {"KOVRA", 0},           {"USB Keys", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto device = ports->plugDevice(c.name, c.name);
        probe();
        EXPECT_EQ(probesReceived(*ports, device), c.probes);
        EXPECT_EQ(ports->openedCount(device), 2 * c.probes);
        EXPECT_EQ(ports->openCount(device), 0);
        ports->unplug(device);
    }
}

TEST_F(Probe, FindsAnAmplifierAndClosesEverything)
{
    FastClock fast(20);
    auto& amp = amplifier();
    const auto keys = ports->plugDevice("USB Keys", "USB Keys");
    const auto tiko = ports->plugAmplifier(amp);
    const auto found = probe();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].uuid, idOf(amp));
    EXPECT_EQ(found[0].midiInputIndex, 1);
    EXPECT_EQ(found[0].midiOutputIndex, 1);
    EXPECT_EQ(amp.receivedMessages(), std::vector<Bytes>{probeRequest()});
    EXPECT_TRUE(ports->received(keys).empty());
    // The probe's own pair and the pair that step 8 opens to keep it.
    EXPECT_EQ(ports->openedCount(tiko), 4);
    EXPECT_EQ(ports->openCount(), 0);
    std::lock_guard<std::mutex> lock(ZQUsbMidiDeviceFinder::probe_map_mutex_);
    EXPECT_TRUE(ZQUsbMidiDeviceFinder::probe_map_.empty());
}

TEST_F(Probe, RepliesThatDoNotCount)
{
    FastClock fast(20);
    struct Case {
        const char* what;
        std::function<void(sim::SimulatedAmplifier&)> fault;
        std::size_t found;
    };
    const Case cases[] = {
        {"wrong checksum", [](sim::SimulatedAmplifier& a) { a.faults.wrongChecksum = true; }, 0},
        {"no reply", [](sim::SimulatedAmplifier& a) { a.faults.noReply = true; }, 0},
        {"split with noise around",
         [](sim::SimulatedAmplifier& a) {
             a.faults.splitInto = 3;
             a.faults.noiseBefore = true;
             a.faults.noiseBetween = true;
         },
         1},
        {"broken by a note inside",
         [](sim::SimulatedAmplifier& a) {
             a.faults.splitInto = 2;
             a.faults.noiseInside = true;
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto& amp = amplifier();
        c.fault(amp);
        const auto tiko = ports->plugAmplifier(amp);
        EXPECT_EQ(probe().size(), c.found);
        ports->unplug(tiko);
    }
}

TEST_F(Probe, ReplyWithAShortIdIsIgnored)
{
    FastClock fast(20);
    auto& amp = amplifier<ShortIdAmplifier>();
    ports->plugAmplifier(amp);
    EXPECT_TRUE(probe().empty());
    EXPECT_EQ(amp.receivedCount(), 1u);
}

TEST_F(Probe, ReplyOnAnInputTheProbeDidNotOpenIsIgnored)
{
    FastClock fast(10);
    auto& amp = amplifier<ElsewhereAmplifier>();
    amp.faults.noReply = true;
    const auto keys = ports->plugDevice("USB Keys", "");
    amp.ports = ports.get();
    amp.replyFrom = keys;
    ports->plugAmplifier(amp);

    CountingForwarder forwarder;
    auto foreign = ports->openInput(0, &forwarder);
    ASSERT_TRUE(foreign);
    foreign->start();
    EXPECT_TRUE(probe().empty());
    EXPECT_EQ(forwarder.count, 1);
}

TEST_F(Probe, TwoOutputsOneSecondApartEachPairedWithItsReply)
{
    // Slow enough that a second wait would stand out from a loaded machine's
    // delays.
    FastClock fast(2);
    ports->plugDevice("USB Keys", "");
    auto& first = amplifier(amplifierWithId(1));
    auto& second = amplifier(amplifierWithId(2));
    const auto a = ports->plugAmplifier(first, "Kovra TIKO");
    const auto b = ports->plugAmplifier(second, "Kovra TIKO 2");
    const auto found = probe();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].uuid, idOf(first));
    EXPECT_EQ(found[0].midiInputIndex, 1);
    EXPECT_EQ(found[0].midiOutputIndex, 0);
    EXPECT_EQ(found[1].uuid, idOf(second));
    EXPECT_EQ(found[1].midiInputIndex, 2);
    EXPECT_EQ(found[1].midiOutputIndex, 1);
    ASSERT_EQ(probesReceived(*ports, a), 1);
    ASSERT_EQ(probesReceived(*ports, b), 1);
    const auto apart = ports->received(b)[0].at - ports->received(a)[0].at;
    EXPECT_GE(apart, zq::Clock::duration(1000));
    EXPECT_LT(apart, zq::Clock::duration(1000) + std::chrono::milliseconds(400));
}

TEST_F(Probe, LateReplyPairsWithTheOutputProbedLast)
{
    // The late reply lands 500 ms into the second output's second; a gentle
    // clock keeps that margin wide in real time.
    FastClock fast(2);
    auto& first = amplifier(amplifierWithId(1));
    auto& second = amplifier(amplifierWithId(2));
    first.faults.replyDelayMs = 1500;
    ports->plugAmplifier(first, "Kovra TIKO");
    ports->plugAmplifier(second, "Kovra TIKO 2");
    const auto found = probe();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].uuid, idOf(second));
    EXPECT_EQ(found[0].midiOutputIndex, 1);
    EXPECT_EQ(found[1].uuid, idOf(first));
    EXPECT_EQ(found[1].midiInputIndex, 0);
    EXPECT_EQ(found[1].midiOutputIndex, 1);
}

TEST_F(Probe, AmplifierUnpluggedDuringTheProbeIsDropped)
{
    FastClock fast(10);
    auto& first = amplifier(amplifierWithId(1));
    auto& second = amplifier(amplifierWithId(2));
    auto& third = amplifier(amplifierWithId(3));
    ports->plugAmplifier(first, "Kovra TIKO");
    ports->plugAmplifier(second, "Kovra TIKO 2");
    const auto c = ports->plugAmplifier(third, "Kovra TIKO 3");

    auto worker = std::async(std::launch::async, [] { return ZQUsbMidiDeviceFinder::ProbeAll(); });
    // The last one goes once it has answered, within its second.
    ASSERT_TRUE(runUntil([] { return ZQUsbMidiDeviceFinder::GetDescriptors().size() == 3; }));
    ports->unplug(c);
    ASSERT_TRUE(runUntil([&] { return worker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(worker.get());
    const auto found = ZQUsbMidiDeviceFinder::GetDescriptors();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].uuid, idOf(first));
    EXPECT_EQ(found[1].uuid, idOf(second));
}

TEST_F(Probe, MessageThreadDoesNotWaitForAProbeOnAWorker)
{
    FastClock fast(10);
    ports->plugAmplifier(amplifier());
    auto worker = std::async(std::launch::async, [] { return ZQUsbMidiDeviceFinder::ProbeAll(); });
    ASSERT_TRUE(runUntil([] { return !ZQUsbMidiDeviceFinder::GetDescriptors().empty(); }));
    // The worker holds the probe and needs this thread for its last step.
    EXPECT_FALSE(ZQUsbMidiDeviceFinder::ProbeAll());
    ASSERT_TRUE(runUntil([&] { return worker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(worker.get());
    EXPECT_EQ(ZQUsbMidiDeviceFinder::GetDescriptors().size(), 1u);
}
