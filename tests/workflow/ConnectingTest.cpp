#include "tests/support/CapturedStdout.h"
#include "tests/workflow/ConnectedTestFixture.h"

#include "device/midi/DeviceManager.h"
#include "states/ConnectedAppState.h"
#include "states/ConnectingAppState.h"
#include "states/InitialAppState.h"
#include "states/TroubleshootingAppState.h"
#include "states/UpdateResultAppState.h"
#include "tests/support/JuceTimerSlack.h"
#include "tests/support/VisibilityTimes.h"
#include "ui/Constant.h"

#include <chrono>
#include <stdexcept>

namespace {

class ConnectingTest : public ConnectedTest {
protected:
    bool toastSaysConnectFailed() const
    {
        return main->toast->isVisible()
               && main->toast->messageLabel->getText().toStdString() == constant::CONNECT_FAIL_MSG;
    }

    std::vector<std::uint8_t> openedId()
    {
        const std::shared_ptr<ZQDevice> device = zq::DeviceManager::instance()->currentDevice();
        if (!device)
            return {};
        const std::uint8_t* id = device->GetUUID();
        return {id, id + 8};
    }
};

// A port named like an amplifier that never answers keeps the probe in its
// 1 s wait, long enough to look at the connecting screen.
TEST_F(ConnectingTest, NoAmplifierToastsAndReturnsToTheFirstPage)
{
    ports->plugDevice("Kovra TIKO", "Kovra TIKO");

    const VisibilityTimes toastTimes(*main->toast);
    main->changeState(std::make_unique<ConnectingAppState>(false));
    ASSERT_TRUE(runUntil([&] { return caption() == "Connecting..."; }));
    EXPECT_FALSE(main->initialView->actionButton->isEnabled());
    EXPECT_TRUE(main->currentState->isBusy());
    EXPECT_FALSE(toastSaysConnectFailed());

    ASSERT_TRUE(runUntil([&] { return stateAs<InitialAppState>() != nullptr && toastSaysConnectFailed(); }));
    ASSERT_TRUE(runUntil([&] { return caption() == juce::String(constant::k_connectButtonText); }));
    EXPECT_TRUE(main->initialView->actionButton->isEnabled());
    EXPECT_TRUE(main->initialView->isVisible());
    EXPECT_FALSE(zq::DeviceManager::instance()->hasDevice());

    // The toast's 3000 ms are real time, from the show to the hiding.
    ASSERT_TRUE(runUntil([&] { return !main->toast->isVisible(); }, 8000));
    ASSERT_EQ(toastTimes.shown.size(), 1u);
    ASSERT_EQ(toastTimes.hidden.size(), 1u);
    const double shownForMs =
        std::chrono::duration<double, std::milli>(toastTimes.hidden.front() - toastTimes.shown.front()).count();
    EXPECT_GE(shownForMs, 3000 - juceTimerSlack::earlyMs);
    EXPECT_LE(shownForMs, 3000 + juceTimerSlack::lateMs);
}

TEST_F(ConnectingTest, NoAmplifierInTroubleshootingModeStaysOnTheTroubleshootingPage)
{
    ports->plugDevice("Kovra TIKO", "Kovra TIKO");
    ASSERT_TRUE(enterAndRunUntil(std::make_unique<TroubleshootingAppState>(),
                                 [&] { return main->troubleshootingView->isVisible(); }));
    const juce::String before = caption();

    main->changeState(std::make_unique<ConnectingAppState>(true));
    bool connectingShown = false;
    bool pageLeft = false;
    const bool done = runUntil([&] {
        connectingShown = connectingShown || caption() == "Connecting...";
        pageLeft = pageLeft || !main->troubleshootingView->isVisible();
        return stateAs<TroubleshootingAppState>() != nullptr && toastSaysConnectFailed();
    });
    ASSERT_TRUE(done);
    runFor(50);
    EXPECT_FALSE(connectingShown);
    EXPECT_FALSE(pageLeft);
    EXPECT_TRUE(main->troubleshootingView->isVisible());
    EXPECT_EQ(caption(), before);
    EXPECT_FALSE(main->showTroubleshootingBanner);
}

// A MIDI system that fails when the worker lists its ports.
class FailingPorts : public zq::MidiPortSystem {
public:
    juce::StringArray inputNames() override
    {
        if (!juce::MessageManager::existsAndIsCurrentThread())
            throw std::runtime_error("MIDI system gone");
        return {};
    }
    juce::StringArray outputNames() override { return {}; }
    std::unique_ptr<zq::MidiInputPort> openInput(int, zq::MidiInputPortCallback*) override { return nullptr; }
    std::unique_ptr<zq::MidiOutputPort> openOutput(int) override { return nullptr; }
};

// A probe that fails counts as finding nothing, rather than leaving the
// page on "Connecting..." with the polling stopped; what failed is printed.
TEST_F(ConnectingTest, ProbeErrorCountsAsNoAmplifier)
{
    ScopedMidiPortSystem failing(std::make_shared<FailingPorts>());

    CapturedStdout capture;
    main->changeState(std::make_unique<ConnectingAppState>(false));
    const bool toasted = runUntil([&] { return stateAs<InitialAppState>() != nullptr && toastSaysConnectFailed(); });
    const std::string out = capture.take();
    ASSERT_TRUE(toasted);
    EXPECT_NE(out.find("Connecting stopped by an unexpected error: MIDI system gone\n"), std::string::npos) << out;
    ASSERT_TRUE(runUntil([&] { return caption() == juce::String(constant::k_connectButtonText); }));
    EXPECT_TRUE(main->initialView->actionButton->isEnabled());
}

TEST_F(ConnectingTest, TwoAmplifiersOpenTheFirstId)
{
    auto& first = amplifier(amplifierWithId(1));
    auto& second = amplifier(amplifierWithId(2));
    ports->plugAmplifier(first, "Kovra TIKO");
    ports->plugAmplifier(second, "Kovra TIKO 2");

    ASSERT_TRUE(enterAndRunUntil(std::make_unique<ConnectingAppState>(false), [&] { return resultShown(1, 0); }));
    const std::vector<zq::DeviceId> ids = zq::DeviceManager::instance()->deviceUuids();
    ASSERT_EQ(ids.size(), 2u);
    const std::vector<std::uint8_t> openedBytes = openedId();
    ASSERT_EQ(openedBytes, std::vector<std::uint8_t>(ids.front().begin(), ids.front().end()));

    // Only the opened one was asked who it is.
    const zq::DeviceId firstId = idOf(first);
    const bool firstOpened = openedBytes == std::vector<std::uint8_t>(firstId.begin(), firstId.end());
    sim::SimulatedAmplifier& chosen = firstOpened ? first : second;
    sim::SimulatedAmplifier& other = firstOpened ? second : first;
    EXPECT_TRUE(receivedCommand(chosen, 0x02, 0x11));
    EXPECT_FALSE(receivedCommand(other, 0x02, 0x11));
}

TEST_F(ConnectingTest, TroubleshootingModeSuccessTurnsTheBannerOn)
{
    sim::AmplifierConfig config;
    config.mcuVersion = {1, 10, 0, 0};
    ports->plugAmplifier(amplifier(config));
    ASSERT_TRUE(enterAndRunUntil(std::make_unique<TroubleshootingAppState>(),
                                 [&] { return main->troubleshootingView->isVisible(); }));

    ASSERT_TRUE(enterAndRunUntil(std::make_unique<ConnectingAppState>(true), [&] { return connectedPageShown(); }));
    EXPECT_TRUE(main->showTroubleshootingBanner);
    EXPECT_TRUE(main->troubleshootingBanner->isVisible());
    EXPECT_EQ(row(1), "1.10.0.0 -> 1.11.2.75");
}

// The whole road from the first page: the polling sees the amplifier come.
TEST_F(ConnectingTest, PluggedAmplifierIsConnectedThroughThePolling)
{
    main->changeState(std::make_unique<InitialAppState>());
    sim::AmplifierConfig config;
    config.btVersion = "0105";
    ports->plugAmplifier(amplifier(config));

    ASSERT_TRUE(runUntil([&] { return connectedPageShown(); }));
    EXPECT_FALSE(main->showTroubleshootingBanner);
    EXPECT_EQ(row(0), "KT10A2400001");
    EXPECT_EQ(row(1), "1.11.2.75");
    EXPECT_EQ(row(2), "0105 -> 0107");
    EXPECT_FALSE(openedId().empty());
}

} // namespace
