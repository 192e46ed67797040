#include "UpdateResultAppState.h"

#include "BootloaderMessages.h"
#include "Constant.h"
#include "DeviceManager.h"
#include "MainComponent.h"
#include "Picture.h"

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
    case -15: return constant::k_noMidiDeviceSubtitle;
    case -14:
    case -13: return constant::k_pythonFailedSubtitle;
    case -11: return constant::k_pythonTimedOutSubtitle;
    case -10: return constant::k_cancelInstallSubtitle;
    case -4: return constant::k_installBLETimedOutSubtitle;
    default: return constant::k_updateFailedSubtitle;
    }
}

ResultTexts resultTexts(std::int32_t kind, std::int32_t code)
{
    switch (kind) {
    case 0: return {2, constant::k_successTitle, constant::k_successSubtitle, constant::k_doneButtonText};
    case 1: return {2, constant::k_alreadyLatestTitle, constant::k_upToDateSubtitle, constant::k_doneButtonText};
    case 3:
        if (code == 1)
            return {3, constant::k_wrongDeviceTitle, constant::k_wrongDevice25Subtitle,
                    constant::k_download25UpdaterButtonText};
        return {3, constant::k_wrongDeviceTitle, constant::k_wrongDeviceZeSubtitle, constant::k_downloadZeUpdaterButtonText};
    default: {
        // A Bluetooth download that ran out of time says so instead of a number.
        const std::string title =
            code == -4 ? std::string("Bluetooth Firmware\nUpdate Incomplete") : "Error Code: " + std::to_string(code);
        return {3, title, failureSubtitle(code), constant::k_failedButtonText};
    }
    }
}

} // namespace

void UpdateResultAppState::apply(MainComponent* main) const
{
    const std::int32_t resultKind = kind;
    const ResultTexts texts = resultTexts(kind, code);
    main->pushAsyncEvent([main, resultKind, texts] {
        main->showTroubleshootingBanner = false;
        main->showOnlyScreen(main->initialView.get());
        main->initialView->actionButton->setEnabled(true);
        main->badgeKind = texts.badge;
        main->initialView->titleLabel->setText(juce::String(texts.title), juce::dontSendNotification);
        main->initialView->subtitleLabel->setText(juce::String(texts.subtitle), juce::dontSendNotification);
        main->initialView->actionButton->setButtonText(juce::String(texts.caption));
        if (resultKind == 1) {
            // Up to date: the amplifier leaves its update mode.
            zq::DeviceManager* manager = zq::DeviceManager::instance();
            auto lock = manager->lockDevice();
            if (ZQDevice* device = manager->device().get())
                bootloader::SendSetFwStatus(device, bootloader::kStatusToApplication);
        }
        main->setDeviceImage(resources::amplifierPicture());
        main->resized();
    });
    main->triggerAsyncUpdate();
}
