#include "states/ConnectingAppState.h"
#include "states/InitialAppState.h"
#include "states/KovraTikoButtonPromptAppState.h"
#include "states/KovraTikoFwCheckingAppState.h"
#include "states/PythonInstallingAppState.h"
#include "states/TroubleshootingAppState.h"
#include "states/UpdateResultAppState.h"
#include "tests/support/FastClock.h"
#include "tests/support/ScopedCommandTable.h"
#include "tests/support/TempFolder.h"
#include "tests/support/window/WindowTestSupport.h"
#include "ui/Constant.h"

namespace {

const std::string kTutorial =
    "https://help.kovra.example/hc/en-us/articles/360038685111-Kovra-Firmware-Update-Video-Tutorial-";
const std::string kZeArticle = "https://help.kovra.example/hc/en-us/articles/15470073547789-Kovra-ZE-Firmware-Update";

using Routing = WindowTest;

struct CaptionCase {
    const char* name;
    std::string caption;
    int quits;
    std::vector<std::string> pages;
};

} // namespace

// Captions that quit or open a page leave the state where it is and send
// nothing to an open amplifier; a caption that nothing routes does nothing.
TEST_F(Routing, CaptionsThatKeepTheState)
{
    const std::vector<CaptionCase> cases = {
        {"done", constant::k_doneButtonText, 1, {}},
        {"failed", constant::k_failedButtonText, 1, {}},
        {"download with blanks", constant::k_download25UpdaterButtonText, 0, {kTutorial}},
        {"download", constant::k_downloadZeUpdaterButtonText, 0, {kZeArticle}},
        {"one blank only", "Download ", 0, {}},
        {"connecting", "Connecting...", 0, {}},
        {"other case", "ok. go next", 0, {}},
    };
    ASSERT_EQ(constant::k_download25UpdaterButtonText, " Download ");
    ASSERT_EQ(constant::k_downloadZeUpdaterButtonText, "Download");
    const auto log = openLoggedDevice();
    for (const CaptionCase& c : cases) {
        SCOPED_TRACE(c.name);
        quits = 0;
        opened.clear();
        const AppState* before = main->currentState.get();
        setCaption(c.caption);
        clickAction();
        EXPECT_EQ(main->currentState.get(), before);
        EXPECT_EQ(quits, c.quits);
        EXPECT_EQ(opened, c.pages);
    }
    EXPECT_TRUE(log->sent.empty());
    EXPECT_TRUE(log->events.empty());
}

TEST_F(Routing, GoNextAndGoBack)
{
    setCaption(constant::k_connectButtonText);
    clickAction();
    EXPECT_NE(stateAs<KovraTikoButtonPromptAppState>(), nullptr);
    setCaption(constant::k_goBackButtonText);
    clickAction();
    EXPECT_NE(stateAs<InitialAppState>(), nullptr);
}

TEST_F(Routing, LinksOpenTheProductAndHelpPages)
{
    main->buttonClicked(main->initialView->learnMoreButton.get());
    main->buttonClicked(main->initialView->helpCenterButton.get());
    EXPECT_EQ(opened,
              (std::vector<std::string>{"https://www.kovra.example/kovra-tiko",
                                        "https://help.kovra.example/hc/en-us/categories/4418053666573-Kovra-Tiko"}));
    EXPECT_NE(stateAs<InitialAppState>(), nullptr);
}

TEST_F(Routing, CancelSendsOneStatusSwitchBeforeTheInitialStateDropsTheDevice)
{
    const auto log = openLoggedDevice();
    main->changeState(std::make_unique<BusyState>(false));
    main->buttonClicked(main->connectedView->cancelButton.get());
    EXPECT_EQ(log->sent, std::vector<Bytes>{setFwStatus(0x01)});
    EXPECT_EQ(log->sent.at(0).size(), 14u);
    EXPECT_EQ(log->events, (std::vector<std::string>{"send", "close", "gone"}));
    EXPECT_NE(stateAs<InitialAppState>(), nullptr);
    EXPECT_FALSE(zq::DeviceManager::instance()->hasDevice());
}

TEST_F(Routing, CancelWithoutADeviceStillReturnsToTheFirstPage)
{
    main->changeState(std::make_unique<BusyState>(false));
    main->buttonClicked(main->connectedView->cancelButton.get());
    EXPECT_NE(stateAs<InitialAppState>(), nullptr);
}

TEST_F(Routing, PageButtonsEnterTheirStates)
{
    main->buttonClicked(main->initialView->troubleshootingLinkButton.get());
    EXPECT_NE(stateAs<TroubleshootingAppState>(), nullptr);
    main->buttonClicked(main->troubleshootingView->retryButton.get());
    EXPECT_NE(stateAs<InitialAppState>(), nullptr);

    main->buttonClicked(main->pythonInfoView->cancelButton.get());
    const auto* result = stateAs<UpdateResultAppState>();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->kind, 2);
    EXPECT_EQ(result->code, -10);

    main->buttonClicked(main->connectedView->updateButton.get());
    EXPECT_NE(stateAs<KovraTikoFwCheckingAppState>(), nullptr);
}

TEST_F(Routing, ModeButtonConnectsInTroubleshootingMode)
{
    FastClock fast{10};
    main->buttonClicked(main->troubleshootingView->modeButton.get());
    const auto* connecting = stateAs<ConnectingAppState>();
    ASSERT_NE(connecting, nullptr);
    EXPECT_TRUE(connecting->troubleshootingMode);
    EXPECT_TRUE(runUntil([this] { return !main->stateIsBusy(); }, 20000));
}

TEST_F(Routing, ProceedStartsThePythonInstallation)
{
    // No outside program exists in the table: the installation gives up at once.
    TempFolder fakes;
    ScopedCommandTable commands;
    CommandTable& table = CommandTable::current();
    table.localPython = fakes.path() + "/usr/local/bin/python";
    table.systemPython = fakes.path() + "/usr/bin/python";
    table.ln = fakes.path() + "/bin/ln";
    table.osascript = fakes.path() + "/bin/osascript";

    main->buttonClicked(main->pythonInfoView->proceedButton.get());
    EXPECT_NE(stateAs<PythonInstallingAppState>(), nullptr);
    EXPECT_TRUE(runUntil([this] { return !main->stateIsBusy(); }, 20000));
    main.reset();
}

// Once a quit waits for a step, no click reaches the amplifier or enters a
// state, also after the step has ended: the quit comes next.
TEST_F(Routing, ClicksDoNothingWhileAQuitIsPending)
{
    const auto log = openLoggedDevice();
    main->holdForQuit();
    const AppState* before = main->currentState.get();
    for (juce::Button* button :
         {main->connectedView->cancelButton.get(), main->connectedView->updateButton.get(),
          main->pythonInfoView->proceedButton.get(), main->troubleshootingView->modeButton.get()})
        main->buttonClicked(button);
    setCaption(constant::k_connectButtonText);
    clickAction();
    EXPECT_EQ(main->currentState.get(), before);
    EXPECT_TRUE(log->sent.empty());
    EXPECT_TRUE(log->events.empty());
}

// Clicks that would change the state or quit wait for the worker; the links
// leave the state alone and open their pages all the same.
TEST_F(Routing, ClicksLeaveABusyStateAlone)
{
    main->changeState(std::make_unique<BusyState>());
    const AppState* busy = main->currentState.get();
    const std::vector<juce::Button*> buttons = {
        main->initialView->actionButton.get(),       main->initialView->learnMoreButton.get(),
        main->connectedView->cancelButton.get(),     main->connectedView->updateButton.get(),
        main->troubleshootingView->modeButton.get(), main->pythonInfoView->cancelButton.get(),
    };
    const auto log = openLoggedDevice();
    for (const std::string& text : {constant::k_connectButtonText, constant::k_doneButtonText}) {
        setCaption(text);
        for (juce::Button* button : buttons)
            main->buttonClicked(button);
    }
    EXPECT_EQ(main->currentState.get(), busy);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(log->sent.empty());
    const std::string product = "https://www.kovra.example/kovra-tiko";
    EXPECT_EQ(opened, (std::vector<std::string>{product, product}));

    opened.clear();
    main->buttonClicked(main->initialView->helpCenterButton.get());
    setCaption(constant::k_download25UpdaterButtonText);
    clickAction();
    EXPECT_EQ(opened, (std::vector<std::string>{
                          "https://help.kovra.example/hc/en-us/categories/4418053666573-Kovra-Tiko", kTutorial}));
    EXPECT_EQ(main->currentState.get(), busy);
    static_cast<const BusyState*>(busy)->busy = false;
}
