#include "device/bootloader/BootloaderMessages.h"
#include "device/bootloader/FirmwareUpdateSession.h"
#include "device/core/GenericDeviceSession.h"
#include "device/midi/ZQUsbMidiG1.h"
#include "tests/midi/MidiTestSupport.h"
#include "tests/support/FastClock.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using UsbMidiDevice = MidiTest;

// One amplifier plugged in and found by a probe, and a device on its id.
class FoundAmplifier : public MidiTest {
protected:
    void SetUp() override
    {
        MidiTest::SetUp();
        tiko = ports->plugAmplifier(amp);
        ASSERT_EQ(probe().size(), 1u);
    }

    FastClock fast{20};
    sim::SimulatedAmplifier& amp = amplifier();
    sim::SimulatedMidiPorts::Device tiko = -1;
    ZQUsbMidiG1 device{idOf(amp).data()};
};

const Bytes kModelRequest = modelRequest();

std::string modelName(ZQDevice& device)
{
    auto session = std::make_shared<zq::ModelNameSession>();
    session->timeoutMs = 500;
    try {
        if (session->Perform(&device))
            return session->reply.value;
    } catch (const std::runtime_error&) {
    }
    return "(no reply)";
}

int send(ZQDevice& device, const Bytes& bytes) { return device.Send(bytes.data(), static_cast<int>(bytes.size())); }

} // namespace

TEST_F(FoundAmplifier, OpensOnAWorkerSendsAndCloses)
{
    EXPECT_EQ(std::memcmp(device.GetUUID(), idOf(amp).data(), 8), 0);
    EXPECT_EQ(send(device, kModelRequest), -1);
    // Open hands the ports to the message thread and waits for it.
    EXPECT_TRUE(onWorker([&] { return device.Open(); }));
    EXPECT_EQ(ports->openCount(tiko), 2);
    EXPECT_TRUE(device.Open());
    EXPECT_EQ(ports->openCount(tiko), 2);
    EXPECT_EQ(onWorker([&] { return modelName(device); }), "Kovra TIKO");
    EXPECT_EQ(send(device, kModelRequest), 7);

    device.Close();
    EXPECT_EQ(ports->openCount(tiko), 0);
    const auto sent = amp.receivedCount();
    EXPECT_EQ(send(device, kModelRequest), -1);
    EXPECT_EQ(amp.receivedCount(), sent);
}

TEST_F(UsbMidiDevice, UnknownIdDoesNotOpen)
{
    ports->plugAmplifier(amplifier());
    const zq::DeviceId other{9, 9, 9, 9, 9, 9, 9, 9};
    ZQUsbMidiG1 device(other.data());
    EXPECT_FALSE(device.Open());
    EXPECT_EQ(ports->openedCount(), 0);
    EXPECT_EQ(device.descriptor, nullptr);
}

// Gone, a keyboard in its place, which does not answer the probe: the
// reopen asks the keyboard, then opens the ports it remembers, as nothing
// there says it is another amplifier. Back behind the keyboard, it is found
// at its new indices under its name.
TEST_F(FoundAmplifier, ReopensTheRememberedPortsUntilItsIdAnswersElsewhere)
{
    // Half a second for the amplifier's answer, also when loaded.
    FastClock calm(2);
    ASSERT_TRUE(device.Open());
    device.Close();

    ports->unplug(tiko);
    const auto keys = ports->plugDevice("USB Keys", "USB Keys");
    ASSERT_TRUE(probe().empty());
    ZQUsbMidiG1 stranger(idOf(amp).data());
    EXPECT_FALSE(stranger.Open());

    EXPECT_TRUE(onWorker([&] { return device.Open(); }));
    EXPECT_EQ(ports->openCount(keys), 2);
    EXPECT_EQ(send(device, kModelRequest), 7);
    ASSERT_EQ(ports->received(keys).size(), 2u);
    EXPECT_EQ(ports->received(keys).front().bytes, probeRequest());
    device.Close();

    ports->replug(tiko);
    ASSERT_EQ(ports->inputNames(), juce::StringArray({"USB Keys", "Kovra TIKO"}));
    ASSERT_TRUE(onWorker([&] { return device.Open(); }));
    EXPECT_EQ(ports->openCount(keys), 0);
    EXPECT_EQ(send(device, kModelRequest), 7);
    EXPECT_EQ(ports->received(keys).size(), 3u);
    EXPECT_EQ(probesReceived(*ports, keys), 2);
    ASSERT_FALSE(ports->received(tiko).empty());
    EXPECT_EQ(ports->received(tiko).back().bytes, kModelRequest);
}

// One amplifier, opened, restarts into its bootloader; the port lists may
// differ from those of the open and its bootloader may not answer the probe.
// The reopen asks the device at the remembered ports first (a probe request
// on its output, the reply on its input), ending at the reply. Its own id
// there, or no answer at all with its id found nowhere else: it opens those
// ports. Another id there: it opens nothing. Another amplifier whose
// bootloader does not answer cannot be told from it there.
TEST_F(UsbMidiDevice, ReopenIntoTheBootloaderAsksWhoIsAtItsPorts)
{
    enum class Reached { First, Other, None };
    struct Case {
        const char* what;
        bool silent;           // the bootloaders do not answer the probe
        std::string renamedTo; // its ports' name in the bootloader
        bool keyboardLeaves;   // a keyboard listed after it leaves meanwhile
        bool swapped;          // another amplifier comes in its place instead
        Reached reached;
    };
    const Case cases[] = {
        {"answering, lists as before", false, "", false, false, Reached::First},
        {"silent, lists as before", true, "", false, false, Reached::First},
        {"renamed without Kovra or G1, answering", false, "USB Boot", false, false, Reached::First},
        {"renamed without Kovra or G1, silent", true, "USB Boot", false, false, Reached::First},
        {"renamed to a candidate name, silent", true, "Kovra Boot", false, false, Reached::First},
        {"a device after it left, silent", true, "", true, false, Reached::First},
        {"a device after it left, answering", false, "", true, false, Reached::First},
        {"another amplifier in its place, answering", false, "", false, true, Reached::None},
        {"another amplifier in its place, silent", true, "", false, true, Reached::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Half a second for each answer of the set-up's probe.
        FastClock fast(2);
        zq::DeviceManager::instance()->reset();
        auto local = std::make_shared<sim::SimulatedMidiPorts>();
        ScopedMidiPortSystem localSystem(local);
        local->setReenumerationDelayMs(100);
        auto& first = amplifier(amplifierWithId(1));
        auto& other = amplifier(amplifierWithId(2));
        first.faults.bootloaderIgnoresProbe = other.faults.bootloaderIgnoresProbe = c.silent;
        other.bootloader.startInBootloader();
        const auto a = local->plugAmplifier(first);
        const auto keys = local->plugDevice("USB Keys", "USB Keys");
        const auto b = local->addAmplifierAway(other);
        if (!c.renamedTo.empty())
            local->setBootloaderName(a, c.renamedTo);
        if (c.keyboardLeaves)
            local->leaveWith(keys, a);
        if (c.swapped)
            local->swapOnReturn(a, b);
        ASSERT_EQ(probe().size(), 1u);

        ZQUsbMidiG1 device(idOf(first).data());
        ASSERT_TRUE(device.Open());
        EXPECT_EQ(bootloader::SendSetFwStatus(&device, bootloader::kStatusToBootloader), 14);
        device.Close();
        const auto back = c.swapped ? b : a;
        ASSERT_TRUE(runUntil([&] { return local->isPlugged(back); }));
        ASSERT_EQ(local->isPlugged(keys), !c.keyboardLeaves);
        const std::string name = c.renamedTo.empty() ? "Kovra TIKO" : c.renamedTo;
        ASSERT_EQ(local->outputNames()[0], juce::String(name));

        // At the product's speed: a reply on a loaded machine well within
        // the second, whose whole wait stands out.
        std::chrono::steady_clock::time_point returned;
        const bool opened = [&] {
            FastClock real(1);
            return onWorker([&] {
                const bool open = device.Open();
                returned = std::chrono::steady_clock::now();
                return open;
            });
        }();
        EXPECT_EQ(opened, c.reached != Reached::None);

        if (opened) {
            EXPECT_EQ(send(device, kModelRequest), 7);
            EXPECT_EQ(local->received(back).back().bytes, kModelRequest);
        }
        EXPECT_EQ(c.reached == Reached::Other, other.receivedCount() > 1);

        // Asked once, at the remembered ports; no more than the second passed
        // when the bootloader answered, the whole second when it did not.
        const auto asked = local->received(back);
        const std::size_t before = c.swapped ? 0 : 2; // the probe's request and "SetFwStatus" 00
        EXPECT_EQ(probesReceived(*local, back), c.swapped ? 1 : 2);
        EXPECT_GT(asked.size(), before);
        if (asked.size() > before) {
            EXPECT_EQ(asked[before].bytes, probeRequest());
            const auto took = returned - asked[before].at;
            if (c.silent) {
                EXPECT_GE(took, zq::Clock::duration(1000));
            } else {
                EXPECT_LT(took, zq::Clock::duration(1000));
            }
        }
        if (!c.keyboardLeaves) {
            EXPECT_TRUE(local->received(keys).empty());
        }
        device.Close();
    }
}

// Two amplifiers; the first, opened, restarts into its bootloader and comes
// back where it was or behind the other (or not at all). The reopen reaches
// it alone: it asks whoever is at the ports it remembers, and where that is
// the other, it probes the ports under its own name, never taking the other.
TEST_F(UsbMidiDevice, ReopenAfterAReEnumerationReachesTheSameAmplifier)
{
    struct Case {
        const char* what;
        std::string otherName;
        bool returnLast;
        bool comesBack;
        int probes;      // requests the first got in the reopen
        int otherProbes; // ... and the other
    };
    const Case cases[] = {
        {"back where it was", "Kovra TIKO 2", false, true, 1, 0},
        {"back behind the other", "Kovra TIKO 2", true, true, 1, 1},
        {"same names, back where it was", "Kovra TIKO", false, true, 1, 0},
        {"same names, back behind the other", "Kovra TIKO", true, true, 1, 1},
        {"not back", "Kovra TIKO 2", false, false, 0, 1},
        {"same names, not back", "Kovra TIKO", false, false, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A quarter of a second for each output's replies, also when loaded.
        FastClock fast(4);
        zq::DeviceManager::instance()->reset();
        auto local = std::make_shared<sim::SimulatedMidiPorts>();
        ScopedMidiPortSystem localSystem(local);
        auto& first = amplifier(amplifierWithId(1));
        auto& other = amplifier(amplifierWithId(2));
        const auto a = local->plugAmplifier(first);
        const auto b = local->plugAmplifier(other, c.otherName);
        ASSERT_EQ(probe().size(), 2u);

        ZQUsbMidiG1 device(idOf(first).data());
        ASSERT_TRUE(device.Open());
        local->setReturnLast(c.returnLast);
        if (c.comesBack) {
            EXPECT_EQ(bootloader::SendSetFwStatus(&device, bootloader::kStatusToBootloader), 14);
            ASSERT_FALSE(local->isPlugged(a));
            device.Close();
            ASSERT_TRUE(runUntil([&] { return local->isPlugged(a); }));
        } else {
            device.Close();
            local->unplug(a);
        }
        const int probesBefore = probesReceived(*local, a);
        const int otherProbesBefore = probesReceived(*local, b);
        const auto otherBefore = local->received(b).size();

        EXPECT_EQ(onWorker([&] { return device.Open(); }), c.comesBack);
        EXPECT_EQ(probesReceived(*local, a) - probesBefore, c.probes);
        EXPECT_EQ(probesReceived(*local, b) - otherProbesBefore, c.otherProbes);
        if (c.comesBack) {
            EXPECT_EQ(send(device, kModelRequest), 7);
            ASSERT_FALSE(local->received(a).empty());
            EXPECT_EQ(local->received(a).back().bytes, kModelRequest);
        }
        // The other amplifier got a probe request at most.
        const auto toOther = local->received(b);
        for (std::size_t i = otherBefore; i < toOther.size(); ++i)
            EXPECT_EQ(toOther[i].bytes, probeRequest());
        device.Close();
    }
}

TEST_F(FoundAmplifier, AnOutputThatDoesNotOpenClosesTheInputAgain)
{
    EXPECT_FALSE(device.OpenMidi(0, 1));
    EXPECT_EQ(device.midiInput, nullptr);
    EXPECT_EQ(ports->openCount(tiko), 0);
    EXPECT_FALSE(device.OpenMidi(1, 0));
    EXPECT_EQ(ports->openedCount(tiko), 4 + 1);
}

TEST_F(FoundAmplifier, BootloaderSwitchReEnumeratesAndTheDeviceFindsItAgain)
{
    ports->setReenumerationDelayMs(1500);
    ASSERT_TRUE(device.Open());

    // A request whose reply is still on its way when the amplifier restarts.
    amp.faults.replyDelayMs = 300;
    EXPECT_EQ(send(device, kModelRequest), 7);
    amp.faults.replyDelayMs = 0;
    EXPECT_EQ(bootloader::SendSetFwStatus(&device, bootloader::kStatusToBootloader), 14);
    EXPECT_TRUE(ports->inputNames().isEmpty());
    const auto taken = amp.receivedCount();
    EXPECT_EQ(send(device, kModelRequest), -1);
    EXPECT_EQ(modelName(device), "(no reply)");
    EXPECT_EQ(amp.receivedCount(), taken);

    // The reconnect: close, wait, open.
    device.Close();
    runFor(static_cast<int>(zq::Clock::duration(1500).count() / 1000) + 50);
    ASSERT_EQ(ports->inputNames(), juce::StringArray({"Kovra TIKO"}));
    ASSERT_TRUE(onWorker([&] { return device.Open(); }));
    std::uint8_t buffer[64];
    EXPECT_EQ(device.ReadNext(device.defaultSid, buffer, sizeof buffer, -1), -1);
    EXPECT_EQ(onWorker([&] { return modelName(device); }), "Kovra TIKO");

    // Out of the bootloader again.
    EXPECT_EQ(bootloader::SendSetFwStatus(&device, bootloader::kStatusToApplication), 14);
    EXPECT_TRUE(ports->outputNames().isEmpty());
    device.Close();
    ASSERT_TRUE(runUntil([&] { return ports->outputNames().size() == 1; }));
    ASSERT_TRUE(device.Open());
    EXPECT_EQ(modelName(device), "Kovra TIKO");
}

TEST_F(FoundAmplifier, DestroyingAnOpenDeviceClosesItsPorts)
{
    {
        ZQUsbMidiG1 open(idOf(amp).data());
        ASSERT_TRUE(open.Open());
        // Replies keep coming while it goes.
        amp.faults.splitInto = 7;
        for (int i = 0; i < 20; ++i)
            send(open, kModelRequest);
    }
    EXPECT_EQ(ports->openCount(tiko), 0);
    ports->drain(tiko);
}

namespace {

// The reconnect that the firmware update's callers give the session: close,
// 5 s, open. At this speed the amplifier's own restart races those 5 s on
// another thread, so when `user` names the ports it is due back on, the open
// waits for them to list it first.
bool reconnect(ZQDevice* device, FirmwareUpdateSession*, void* user)
{
    device->Close();
    zq::Clock::sleepMs(5000);
    if (auto* ports = static_cast<sim::SimulatedMidiPorts*>(user)) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ports->inputNames().isEmpty() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return device->Open();
}

} // namespace

TEST_F(UsbMidiDevice, FirmwareUpdateReconnectsThroughBothReEnumerations)
{
    struct Case {
        int reEnumerationMs; // back within the reconnect's 5 s, or long after
        int error;
    };
    for (const Case& c : {Case{1500, 0}, Case{60000, FirmwareUpdateSession::kErrorEnterBootloader}}) {
        SCOPED_TRACE(c.reEnumerationMs);
        FastClock fast(50);
        zq::DeviceManager::instance()->reset();
        auto local = std::make_shared<sim::SimulatedMidiPorts>();
        local->setReenumerationDelayMs(c.reEnumerationMs);
        ScopedMidiPortSystem localSystem(local);
        auto& amp = amplifier();
        local->plugAmplifier(amp);
        ASSERT_EQ(probe().size(), 1u);

        Bytes image(3 * bootloader::kChunkBytes);
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<std::uint8_t>(i * 7);
        ZQUsbMidiG1 device(idOf(amp).data());
        ASSERT_TRUE(device.Open());
        FirmwareUpdateSession session;
        session.image = image.data();
        session.imageSize = static_cast<int>(image.size());
        session.enterBootloaderCallback = reconnect;
        session.doneCallback = reconnect;
        session.callbackUserData = c.error == 0 ? local.get() : nullptr;
        const bool ok = onWorker([&] { return session.Perform(&device); });
        EXPECT_EQ(ok, c.error == 0);
        EXPECT_EQ(session.error, c.error);
        if (c.error == 0) {
            EXPECT_EQ(amp.bootloader.flash(), image);
            EXPECT_EQ(amp.bootloader.statusSwitches(), (Bytes{0x00, 0x01}));
            // Open again after the second restart: its reply within half a
            // second of real time, not the 10 ms that 500 ms are at this speed.
            FastClock calm(1);
            EXPECT_EQ(modelName(device), "Kovra TIKO");
        }
        device.Close();
    }
}
