#include "states/ConnectingAppState.h"
#include "states/InitialAppState.h"
#include "states/KovraTikoButtonPromptAppState.h"
#include "states/TroubleshootingAppState.h"
#include "tests/support/DeviceManagerInspector.h"
#include "tests/support/FastClock.h"
#include "tests/support/window/WindowTestSupport.h"
#include "ui/Constant.h"

namespace {

// The polling period at the test speed is 200 real ms.
class WaitingStates : public WindowTest {
protected:
    FastClock fast{10};

    void expectFirstPage()
    {
        EXPECT_FALSE(main->showTroubleshootingBanner);
        EXPECT_TRUE(main->initialView->isVisible());
        for (juce::Component* view : {static_cast<juce::Component*>(main->connectedView.get()),
                                      static_cast<juce::Component*>(main->troubleshootingView.get()),
                                      static_cast<juce::Component*>(main->progressView.get()),
                                      static_cast<juce::Component*>(main->pythonInfoView.get())})
            EXPECT_FALSE(view->isVisible());
        EXPECT_EQ(main->badgeKind, 0);
        EXPECT_FALSE(main->statusBadgeButton->isVisible());
        EXPECT_EQ(caption(), juce::String(constant::k_connectButtonText));
        EXPECT_TRUE(main->initialView->actionButton->isEnabled());
        EXPECT_EQ(main->initialView->titleLabel->getText(), juce::String(constant::k_title));
        EXPECT_EQ(main->initialView->subtitleLabel->getText(), juce::String(constant::k_subtitle));
        EXPECT_EQ(picture().getBounds(), juce::Rectangle<int>(0, 0, 342, 552));
    }

    // Plugs an amplifier in and waits for the polling to start connecting.
    void expectConnectingAfterPlugIn()
    {
        ports->plugAmplifier(amplifier());
        ASSERT_TRUE(runUntil([this] { return stateAs<ConnectingAppState>() != nullptr; }));
        EXPECT_FALSE(stateAs<ConnectingAppState>()->troubleshootingMode);
    }
};

// Records the order of its own life into a shared log.
class LoggedState : public AppState {
public:
    LoggedState(std::string stateName, std::vector<std::string>& events, MainComponent*& shownOn)
        : name(std::move(stateName)), log(events), main(shownOn)
    {
    }
    ~LoggedState() override
    {
        const auto* current = dynamic_cast<const LoggedState*>(main->currentState.get());
        log.push_back(name + " gone, current " + (current != nullptr ? current->name : "?"));
    }
    void apply(MainComponent* m) const override
    {
        EXPECT_EQ(m, main);
        log.push_back(name + " applied");
    }

    std::string name;
    std::vector<std::string>& log;
    MainComponent*& main;
};

} // namespace

TEST_F(WaitingStates, FirstPageAfterTheFirstTurn)
{
    showQueued();
    expectFirstPage();
}

TEST_F(WaitingStates, InitialStateDropsAnOpenDeviceSilentlyAndRestartsThePolling)
{
    showQueued();
    zq::DeviceManager::instance()->stopPolling();
    zq::DeviceManager::instance()->setOnDeviceListChangedCallback(nullptr);
    main->badgeKind = 3;
    main->showTroubleshootingBanner = true;
    const auto log = openLoggedDevice();

    main->changeState(std::make_unique<InitialAppState>());
    EXPECT_EQ(log->events, (std::vector<std::string>{"close", "gone"}));
    EXPECT_TRUE(log->sent.empty());
    EXPECT_FALSE(zq::DeviceManager::instance()->hasDevice());
    showQueued();
    expectFirstPage();
    EXPECT_FALSE(main->troubleshootingBanner->isVisible());
    expectConnectingAfterPlugIn();
}

TEST_F(WaitingStates, GoNextThenGoBackKeepsThePolling)
{
    showQueued();
    setCaption(constant::k_connectButtonText);
    clickAction();
    showQueued();
    EXPECT_NE(stateAs<KovraTikoButtonPromptAppState>(), nullptr);
    EXPECT_EQ(main->initialView->titleLabel->getText(), juce::String(constant::k_promptTitle));
    EXPECT_EQ(main->initialView->subtitleLabel->getText(), juce::String(constant::k_promptSubtitle));
    EXPECT_EQ(caption(), juce::String(constant::k_goBackButtonText));
    EXPECT_TRUE(main->initialView->actionButton->isEnabled());
    EXPECT_EQ(picture().getBounds(), juce::Rectangle<int>(0, 0, 290, 552));

    clickAction();
    showQueued();
    EXPECT_NE(stateAs<InitialAppState>(), nullptr);
    expectFirstPage();
    expectConnectingAfterPlugIn();
}

TEST_F(WaitingStates, PromptLeavesTheBadgeAndTheTroubleshootingPage)
{
    showQueued();
    main->badgeKind = 2;
    main->troubleshootingView->setVisible(true);
    main->showTroubleshootingBanner = true;
    main->changeState(std::make_unique<KovraTikoButtonPromptAppState>());
    showQueued();
    EXPECT_EQ(main->badgeKind, 2);
    EXPECT_TRUE(main->troubleshootingView->isVisible());
    EXPECT_FALSE(main->showTroubleshootingBanner);
}

TEST_F(WaitingStates, DeviceChangeOnThePromptPageConnects)
{
    showQueued();
    setCaption(constant::k_connectButtonText);
    clickAction();
    showQueued();
    expectConnectingAfterPlugIn();
}

TEST_F(WaitingStates, DeviceChangeOnTheFirstPageConnects)
{
    showQueued();
    expectConnectingAfterPlugIn();
}

// The device manager outlives the window: a device change after the window
// went must not reach the first page's callback.
TEST_F(WaitingStates, DeviceChangeAfterTheWindowWentReachesNoCallback)
{
    showQueued();
    main.reset();
    EXPECT_FALSE(zq::DeviceManagerInspector::hasCallback(*zq::DeviceManager::instance()));
    // The polling still runs; a plug-in must pass without touching the window.
    ports->plugAmplifier(amplifier());
    runFor(600);
}

TEST_F(WaitingStates, DeviceChangeIgnoresTheManagerAndABusyState)
{
    showQueued();
    main->changeState(std::make_unique<BusyState>());
    connectOnDeviceChange(main.get(), nullptr);
    EXPECT_NE(stateAs<BusyState>(), nullptr);
    stateAs<BusyState>()->busy = false;
    connectOnDeviceChange(main.get(), nullptr);
    ASSERT_NE(stateAs<ConnectingAppState>(), nullptr);
    EXPECT_FALSE(stateAs<ConnectingAppState>()->troubleshootingMode);
}

TEST_F(WaitingStates, TroubleshootingKeepsBannerBadgeAndCaption)
{
    showQueued();
    main->showTroubleshootingBanner = true;
    main->badgeKind = 3;
    setCaption("Connecting...");
    main->changeState(std::make_unique<TroubleshootingAppState>());
    showQueued();
    EXPECT_TRUE(main->troubleshootingView->isVisible());
    EXPECT_FALSE(main->initialView->isVisible());
    EXPECT_TRUE(main->troubleshootingBanner->isVisible());
    EXPECT_EQ(main->badgeKind, 3);
    EXPECT_TRUE(main->statusBadgeButton->isVisible());
    EXPECT_FALSE(main->deviceImageButton->isVisible());
    EXPECT_EQ(caption(), "Connecting...");
}

TEST_F(WaitingStates, ChangeStateDestroysTheOldOneWhileTheNewOneIsCurrentThenApplies)
{
    std::vector<std::string> log;
    MainComponent* m = main.get();
    main->changeState(std::make_unique<LoggedState>("first", log, m));
    main->changeState(std::make_unique<LoggedState>("second", log, m));
    EXPECT_EQ(log, (std::vector<std::string>{"first applied", "first gone, current second", "second applied"}));
    main->changeState(std::make_unique<InitialAppState>());
}
