#include "states/KovraTikoFwCheckingAppState.h"

#include "device/midi/DeviceManager.h"
#include "states/KovraTikoFwUpdatingAppState.h"
#include "ui/MainComponent.h"

KovraTikoFwCheckingAppState::~KovraTikoFwCheckingAppState()
{
    if (worker.valid())
        worker.wait();
}

void KovraTikoFwCheckingAppState::apply(MainComponent* main) const
{
    worker = std::async(std::launch::async, [state = lifetime.watch(main)] {
        zq::DeviceManager::instance()->stopPolling();
        state.post([](MainComponent& window) { window.changeState(std::make_unique<KovraTikoFwUpdatingAppState>()); });
    });
}
