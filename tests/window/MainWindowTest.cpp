#include "app/MainWindow.h"
#include "simamp/SimulatedAmplifier.h"
#include "states/ConnectingAppState.h"
#include "tests/support/BareXServer.h"
#include "tests/support/FastClock.h"
#include "tests/support/window/WindowTestSupport.h"

namespace {

// The application object, with the system's quit request counted instead of
// stopping the loop, so the test can look on after a close; or counted and
// passed on.
class CountingApplication : public NimbalFwUpgradeLauncherApplication {
public:
    void systemRequestedQuit() override
    {
        ++quitRequests;
        if (passOn)
            NimbalFwUpgradeLauncherApplication::systemRequestedQuit();
    }
    int quitRequests = 0;
    bool passOn = false;
};

// Before the first window system call.
[[maybe_unused]] const bool bareXServerReady = prepareBareXServer();

class Window : public MidiTest {
protected:
    void SetUp() override
    {
        MidiTest::SetUp();
        ASSERT_NE(juce::Desktop::getInstance().getDisplays().getPrimaryDisplay(), nullptr)
            << "the window tests need an X display (DISPLAY)";
        app = std::make_unique<CountingApplication>();
        app->initialise({});
        ASSERT_NE(app->mainWindow, nullptr);
        window = app->mainWindow.get();
        main = window->mainComponent();
        ASSERT_NE(main, nullptr);
    }

    void TearDown() override
    {
        if (app != nullptr) {
            app->shutdown();
            app.reset();
        }
        MidiTest::TearDown();
    }

    // After the close the polling must not start connecting any more.
    void expectPollingStopped()
    {
        ports->plugAmplifier(amplifier());
        runFor(1000);
        EXPECT_EQ(dynamic_cast<ConnectingAppState*>(main->currentState.get()), nullptr);
    }

    FastClock fast{10};
    std::unique_ptr<CountingApplication> app;
    NimbalFwUpgradeLauncherApplication::MainWindow* window = nullptr;
    MainComponent* main = nullptr;
};

} // namespace

TEST_F(Window, OpensCentredAndResizableWithTheModelsTitle)
{
    EXPECT_EQ(app->getApplicationName(), "Kovra Tiko Firmware Updater");
    EXPECT_EQ(window->getName(), "Kovra TIKO Firmware Updater");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isOnDesktop());
    EXPECT_TRUE(window->isUsingNativeTitleBar());
    EXPECT_TRUE(window->isResizable());
    const int buttons = juce::ComponentPeer::windowHasMinimiseButton | juce::ComponentPeer::windowHasMaximiseButton
                        | juce::ComponentPeer::windowHasCloseButton;
    EXPECT_EQ(window->getDesktopWindowStyleFlags() & buttons, buttons);
    EXPECT_EQ(main->getWidth(), 375);
    EXPECT_EQ(main->getHeight(), 667);
    EXPECT_EQ(window->getWidth(), 375);
    EXPECT_EQ(window->getHeight(), 667);
    const auto area = juce::Desktop::getInstance().getDisplays().getDisplayForRect(window->getBounds())->userArea;
    EXPECT_NEAR(window->getBounds().getCentreX(), area.getCentreX(), 1);
    EXPECT_NEAR(window->getBounds().getCentreY(), area.getCentreY(), 1);
    const auto& defaultLook = juce::Desktop::getInstance().getDefaultLookAndFeel();
    EXPECT_EQ(typeid(defaultLook), typeid(juce::LookAndFeel_V2));
}

TEST_F(Window, CloseWithADeviceSendsOneSwitchThenClosesItAndAsksToQuit)
{
    const auto log = openLoggedDevice();
    window->closeButtonPressed();
    EXPECT_EQ(log->sent, std::vector<Bytes>{setFwStatus(0x01)});
    EXPECT_EQ(log->events, (std::vector<std::string>{"send", "close", "gone"}));
    EXPECT_FALSE(zq::DeviceManager::instance()->hasDevice());
    EXPECT_EQ(app->quitRequests, 1);
    // The window stays until shutdown.
    EXPECT_EQ(app->mainWindow.get(), window);
    expectPollingStopped();
}

TEST_F(Window, CloseWithoutADeviceStopsThePollingAndAsksToQuit)
{
    window->closeButtonPressed();
    EXPECT_EQ(app->quitRequests, 1);
    expectPollingStopped();
}

// A close while a worker uses the device is kept: once the worker has ended,
// the close is carried out as at any other time, and the state that the
// worker's end would start is not entered.
TEST_F(Window, CloseWhileAWorkerRunsIsCarriedOutOnceItHasEnded)
{
    app->passOn = true;
    const auto log = openLoggedDevice();
    main->changeState(std::make_unique<BusyState>());
    window->closeButtonPressed();
    EXPECT_TRUE(log->events.empty());
    EXPECT_TRUE(zq::DeviceManager::instance()->hasDevice());
    runFor(300);
    EXPECT_TRUE(log->events.empty());
    EXPECT_FALSE(juce::MessageManager::getInstance()->hasStopMessageBeenSent());

    const AppState* busy = main->currentState.get();
    main->changeState(std::make_unique<ConnectingAppState>(false));
    EXPECT_EQ(main->currentState.get(), busy);
    static_cast<const BusyState*>(busy)->busy = false;
    EXPECT_TRUE(runUntil([] { return juce::MessageManager::getInstance()->hasStopMessageBeenSent(); }, 2000));
    EXPECT_EQ(log->sent, std::vector<Bytes>{setFwStatus(0x01)});
    EXPECT_EQ(log->events, (std::vector<std::string>{"send", "close", "gone"}));
    EXPECT_FALSE(zq::DeviceManager::instance()->hasDevice());
    EXPECT_EQ(app->quitRequests, 1);
}

TEST_F(Window, SystemQuitRequestSendsNothingAndLeavesTheDevice)
{
    const auto log = openLoggedDevice();
    app->NimbalFwUpgradeLauncherApplication::systemRequestedQuit();
    EXPECT_TRUE(juce::MessageManager::getInstance()->hasStopMessageBeenSent());
    app->shutdown();
    app.reset();
    EXPECT_TRUE(log->events.empty());
    EXPECT_TRUE(zq::DeviceManager::instance()->hasDevice());
}

namespace {
class EnteredState : public AppState {
public:
    explicit EnteredState(bool& enteredFlag) : entered(enteredFlag) {}
    void apply(MainComponent*) const override { entered = true; }
    bool& entered;
};
} // namespace

// A worker's last act is to post the switch to the next state, which may
// start the next worker (the check hands over to the update). A quit that
// comes between the two must not let that worker start under a stopping loop.
TEST_F(Window, NoStateIsEnteredOnceTheQuitIsSent)
{
    bool entered = false;
    juce::MessageManager::callAsync([this, &entered] { main->changeState(std::make_unique<EnteredState>(entered)); });
    app->NimbalFwUpgradeLauncherApplication::systemRequestedQuit();
    ASSERT_TRUE(juce::MessageManager::getInstance()->hasStopMessageBeenSent());
    runFor(200);
    EXPECT_FALSE(entered);
}

// The quit arrives while the update waits in its reconnect into the
// bootloader, where the device must be opened again on the message thread:
// a loop stopped at once would fail that reconnect (error 13) and leave the
// amplifier in its bootloader. Waited for, the update ends and the amplifier
// is flashed and back in its application.
TEST_F(Window, SystemQuitInTheBootloaderReconnectLetsTheUpdateEnd)
{
    sim::AmplifierConfig older;
    older.mcuVersion = {1, 10, 0, 0};
    sim::SimulatedAmplifier& amp = amplifier(older);
    ports->plugAmplifier(amp);
    ASSERT_TRUE(runUntil([this] { return main->connectedView->isVisible() && !main->stateIsBusy(); }, 30000));
    main->buttonClicked(main->connectedView->updateButton.get());
    ASSERT_TRUE(runUntil([&amp] { return !amp.bootloader.statusSwitches().empty(); }, 10000));

    app->NimbalFwUpgradeLauncherApplication::systemRequestedQuit();
    EXPECT_TRUE(runUntil([] { return juce::MessageManager::getInstance()->hasStopMessageBeenSent(); }, 60000));
    // What the framework does once the loop has stopped.
    app->shutdown();
    app.reset();
    EXPECT_EQ(amp.bootloader.flashCheck(), sim::FlashCheck::Passed);
    EXPECT_EQ(amp.bootloader.statusSwitches(), (std::vector<std::uint8_t>{0x00, 0x01}));
}
