#include "states/ConnectingAppState.h"

#include "commands/ConsoleOutput.h"
#include "device/midi/DeviceManager.h"
#include "states/ConnectedAppState.h"
#include "states/InitialAppState.h"
#include "states/TroubleshootingAppState.h"
#include "ui/Constant.h"
#include "ui/MainComponent.h"

#include <juce_events/juce_events.h>

#include <exception>

ConnectingAppState::~ConnectingAppState()
{
    // Before the members go: the worker may still be about to post.
    if (worker.valid())
        worker.wait();
}

void ConnectingAppState::apply(MainComponent* main) const
{
    const bool quiet = troubleshootingMode;
    main->pushAsyncEvent([main, quiet] {
        if (!quiet) {
            main->initialView->actionButton->setButtonText("Connecting...");
            main->initialView->actionButton->setEnabled(false);
        }
        main->resized();
    });
    main->triggerAsyncUpdate();

    worker = std::async(std::launch::async, [this, state = lifetime.watch(main)] {
        zq::DeviceManager* manager = zq::DeviceManager::instance();
        manager->stopPolling();
        int found = 0;
        try {
            found = manager->probeAll();
        } catch (...) {
            // A probe that fails found nothing: the user is told and can retry,
            // rather than being left on "Connecting..." with the polling off.
            console::printUnexpectedError("Connecting");
            found = 0;
        }
        state.post([this, found](MainComponent& window) { connect(&window, found); });
    });
}

void ConnectingAppState::connect(MainComponent* main, int found) const
{
    JUCE_ASSERT_MESSAGE_THREAD
    // A pending quit opens no amplifier: the connected page would query it.
    if (main->quitPending())
        return;
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    const std::vector<zq::DeviceId> ids = found > 0 ? manager->deviceUuids() : std::vector<zq::DeviceId>{};
    if (ids.empty()) {
        main->toast->messageLabel->setText(juce::String(constant::CONNECT_FAIL_MSG), juce::dontSendNotification);
        main->toast->show(3000);
        if (troubleshootingMode)
            main->changeState(std::make_unique<TroubleshootingAppState>());
        else
            main->changeState(std::make_unique<InitialAppState>());
        return;
    }

    main->showTroubleshootingBanner = troubleshootingMode;
    manager->openDevice(ids.front());
    main->changeState(std::make_unique<ConnectedAppState>());
}
