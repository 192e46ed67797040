#include "states/InitialAppState.h"

#include "device/midi/DeviceManager.h"
#include "resources/Picture.h"
#include "states/ConnectingAppState.h"
#include "ui/Constant.h"
#include "ui/MainComponent.h"

#include <memory>

void InitialAppState::apply(MainComponent* main) const
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    // Dropped without a word to the amplifier: it is not ours any more.
    manager->closeDevice();
    manager->startPolling();
    manager->setOnDeviceListChangedCallback([main](zq::DeviceManager* m) { connectOnDeviceChange(main, m); });

    main->pushAsyncEvent([main] {
        main->showTroubleshootingBanner = false;
        main->showOnlyScreen(main->initialView.get());
        main->badgeKind = 0;
        main->initialView->actionButton->setButtonText(juce::String(constant::k_connectButtonText));
        main->initialView->actionButton->setEnabled(true);
        main->initialView->titleLabel->setText(juce::String(constant::k_title), juce::dontSendNotification);
        main->initialView->subtitleLabel->setText(juce::String(constant::k_subtitle), juce::dontSendNotification);
        main->setDeviceImage(resources::connectPicture());
        main->resized();
    });
    main->triggerAsyncUpdate();
}

void connectOnDeviceChange(MainComponent* main, zq::DeviceManager*)
{
    JUCE_ASSERT_MESSAGE_THREAD
    // A running worker may be waiting for the message thread.
    if (main->stateIsBusy())
        return;
    main->changeState(std::make_unique<ConnectingAppState>(false));
}
