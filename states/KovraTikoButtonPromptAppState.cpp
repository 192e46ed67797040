#include "states/KovraTikoButtonPromptAppState.h"

#include "resources/Picture.h"
#include "ui/Constant.h"
#include "ui/MainComponent.h"

void KovraTikoButtonPromptAppState::apply(MainComponent* main) const
{
    // The polling and connectOnDeviceChange stay: a device change here connects too.
    main->pushAsyncEvent([main] {
        main->showTroubleshootingBanner = false;
        main->initialView->setVisible(true);
        main->connectedView->setVisible(false);
        main->progressView->setVisible(false);
        main->pythonInfoView->setVisible(false);
        main->initialView->titleLabel->setText(juce::String(constant::k_promptTitle), juce::dontSendNotification);
        main->initialView->subtitleLabel->setText(juce::String(constant::k_promptSubtitle), juce::dontSendNotification);
        main->setDeviceImage(resources::promptPicture());
        main->initialView->actionButton->setButtonText(juce::String(constant::k_goBackButtonText));
        main->initialView->actionButton->setEnabled(true);
        main->resized();
    });
    main->triggerAsyncUpdate();
}
