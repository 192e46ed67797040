#include "states/UpdateResultAppState.h"

#include "commands/ConsoleOutput.h"
#include "device/ble/ZQBLEFirmwareUpdater.h"
#include "device/bootloader/BootloaderMessages.h"
#include "device/midi/DeviceManager.h"
#include "resources/Picture.h"
#include "states/WorkflowCodes.h"
#include "ui/Constant.h"
#include "ui/MainComponent.h"

#include <string>

namespace {

struct ResultTexts {
    int badge;
    std::string title;
    std::string subtitle;
    std::string caption;
};

std::string failureSubtitle(std::int32_t code)
{
    switch (code) {
    case workflow::kAmplifierNotBack: return constant::k_noMidiDeviceSubtitle;
    case workflow::kInstallerFailed:
    case workflow::kInstallerNotStarted: return constant::k_pythonFailedSubtitle;
    case workflow::kInstallerTimedOut: return constant::k_pythonTimedOutSubtitle;
    case workflow::kPythonInstallCancelled: return constant::k_cancelInstallSubtitle;
    case ZQBLEFirmwareUpdater::kErrorDownloadTimeout: return constant::k_installBLETimedOutSubtitle;
    default: return constant::k_updateFailedSubtitle;
    }
}

ResultTexts resultTexts(std::int32_t kind, std::int32_t code)
{
    switch (kind) {
    case workflow::kResultUpdated:
        return {2, constant::k_successTitle, constant::k_successSubtitle, constant::k_doneButtonText};
    case workflow::kResultAlreadyLatest:
        return {2, constant::k_alreadyLatestTitle, constant::k_upToDateSubtitle, constant::k_doneButtonText};
    case workflow::kResultWrongDevice:
        if (code == workflow::kSibling25)
            return {3, constant::k_wrongDeviceTitle, constant::k_wrongDevice25Subtitle,
                    constant::k_download25UpdaterButtonText};
        return {3, constant::k_wrongDeviceTitle, constant::k_wrongDeviceZeSubtitle,
                constant::k_downloadZeUpdaterButtonText};
    default: {
        // A Bluetooth download that ran out of time says so instead of a number.
        const bool incomplete = code == ZQBLEFirmwareUpdater::kErrorDownloadTimeout;
        const std::string title =
            incomplete ? std::string("Bluetooth Firmware\nUpdate Incomplete") : "Error Code: " + std::to_string(code);
        return {3, title, failureSubtitle(code), constant::k_failedButtonText};
    }
    }
}

} // namespace

bool UpdateResultAppState::entersQuietly() const { return kind != workflow::kResultAlreadyLatest; }

void UpdateResultAppState::apply(MainComponent* main) const
{
    const std::int32_t resultKind = kind;
    const ResultTexts texts = resultTexts(kind, code);
    // A pending quit closes the page as soon as it shows: the failure is
    // said where it stays.
    if (kind == workflow::kResultFailed && main->quitPending())
        console::printLine(juce::String(texts.title).replace("\n", " "));
    main->pushAsyncEvent([main, resultKind, texts] {
        main->showTroubleshootingBanner = false;
        main->showOnlyScreen(main->initialView.get());
        main->initialView->actionButton->setEnabled(true);
        main->badgeKind = texts.badge;
        main->initialView->titleLabel->setText(juce::String(texts.title), juce::dontSendNotification);
        main->initialView->subtitleLabel->setText(juce::String(texts.subtitle), juce::dontSendNotification);
        main->initialView->actionButton->setButtonText(juce::String(texts.caption));
        if (resultKind == workflow::kResultAlreadyLatest) {
            // Up to date: the amplifier leaves its update mode.
            zq::DeviceManager::instance()->sendFwStatus(bootloader::kStatusToApplication);
        }
        main->setDeviceImage(resources::amplifierPicture());
        main->resized();
    });
    main->triggerAsyncUpdate();
}
