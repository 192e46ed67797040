#include "states/UpdateResultAppState.h"
#include "tests/support/window/WindowTestSupport.h"
#include "ui/Constant.h"

namespace {

using ResultPage = WindowTest;

struct ResultCase {
    int kind, code;
    int badge;
    std::string title, subtitle, caption;
    std::size_t statusSwitches; // "SetFwStatus" 01 sent to the open device
};

} // namespace

TEST_F(ResultPage, EveryKindAndTheCodesThatChooseATitleOrSubtitle)
{
    using namespace constant;
    const std::vector<ResultCase> cases = {
        {0, 0, 2, k_successTitle, k_successSubtitle, k_doneButtonText, 0},
        {1, 0, 2, k_alreadyLatestTitle, k_upToDateSubtitle, k_doneButtonText, 1},
        {2, -15, 3, "Error Code: -15", k_noMidiDeviceSubtitle, k_failedButtonText, 0},
        {2, -14, 3, "Error Code: -14", k_pythonFailedSubtitle, k_failedButtonText, 0},
        {2, -13, 3, "Error Code: -13", k_pythonFailedSubtitle, k_failedButtonText, 0},
        {2, -11, 3, "Error Code: -11", k_pythonTimedOutSubtitle, k_failedButtonText, 0},
        {2, -10, 3, "Error Code: -10", k_cancelInstallSubtitle, k_failedButtonText, 0},
        {2, -4, 3, "Bluetooth Firmware\nUpdate Incomplete", k_installBLETimedOutSubtitle, k_failedButtonText, 0},
        {2, -12, 3, "Error Code: -12", k_updateFailedSubtitle, k_failedButtonText, 0},
        {2, -65535, 3, "Error Code: -65535", k_updateFailedSubtitle, k_failedButtonText, 0},
        {2, 16, 3, "Error Code: 16", k_updateFailedSubtitle, k_failedButtonText, 0},
        {3, 1, 3, k_wrongDeviceTitle, k_wrongDevice25Subtitle, k_download25UpdaterButtonText, 0},
        {3, 2, 3, k_wrongDeviceTitle, k_wrongDeviceZeSubtitle, k_downloadZeUpdaterButtonText, 0},
    };
    ASSERT_EQ(k_failedButtonText, "Exit & Try Again");
    showQueued();
    for (const ResultCase& c : cases) {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " code " + std::to_string(c.code));
        // What an earlier page may have left.
        main->showTroubleshootingBanner = true;
        main->connectedView->setVisible(true);
        main->troubleshootingView->setVisible(true);
        main->initialView->actionButton->setEnabled(false);
        const auto log = openLoggedDevice();

        main->changeState(std::make_unique<UpdateResultAppState>(c.kind, c.code));
        EXPECT_TRUE(log->sent.empty()); // only once the screen update runs
        showQueued();

        EXPECT_EQ(main->badgeKind, c.badge);
        EXPECT_TRUE(main->statusBadgeButton->isVisible());
        EXPECT_EQ(main->initialView->titleLabel->getText().toStdString(), c.title);
        EXPECT_EQ(main->initialView->subtitleLabel->getText().toStdString(), c.subtitle);
        EXPECT_EQ(caption().toStdString(), c.caption);
        EXPECT_TRUE(main->initialView->actionButton->isEnabled());
        EXPECT_FALSE(main->showTroubleshootingBanner);
        EXPECT_FALSE(main->troubleshootingBanner->isVisible());
        EXPECT_TRUE(main->initialView->isVisible());
        EXPECT_FALSE(main->connectedView->isVisible());
        EXPECT_FALSE(main->troubleshootingView->isVisible());
        EXPECT_TRUE(main->deviceImageButton->isVisible());
        EXPECT_EQ(picture().getBounds(), juce::Rectangle<int>(0, 0, 238, 278));
        EXPECT_EQ(log->sent, std::vector<Bytes>(c.statusSwitches, setFwStatus(0x01)));
        EXPECT_TRUE(log->events.size() == c.statusSwitches); // sent, never closed
    }
}

TEST_F(ResultPage, UpToDateWithoutADeviceSendsNothing)
{
    showQueued();
    main->changeState(std::make_unique<UpdateResultAppState>(1, 0));
    showQueued();
    EXPECT_FALSE(zq::DeviceManager::instance()->hasDevice());
    EXPECT_EQ(main->badgeKind, 2);
}

// Under a pending quit only the result pages that send nothing are entered:
// the up-to-date page would tell the amplifier "SetFwStatus" 01, so it is
// left out, also after another page.
TEST_F(ResultPage, UnderAPendingQuitOnlyPagesThatSendNothingAreEntered)
{
    showQueued();
    main->holdForQuit();
    struct Case {
        int kind, code;
        int shownKind; // the page's kind afterwards, -1: none
    };
    const auto log = openLoggedDevice();
    for (const Case& c : {Case{1, 0, -1}, Case{0, 0, 0}, Case{1, 0, 0}, Case{2, 16, 2}, Case{3, 1, 3}, Case{1, 0, 3}}) {
        SCOPED_TRACE("kind " + std::to_string(c.kind));
        main->changeState(std::make_unique<UpdateResultAppState>(c.kind, c.code));
        showQueued();
        const auto* page = stateAs<UpdateResultAppState>();
        EXPECT_EQ(page != nullptr ? page->kind : -1, c.shownKind);
        EXPECT_TRUE(log->sent.empty());
    }
}
