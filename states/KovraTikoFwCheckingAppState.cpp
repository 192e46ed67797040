#include "KovraTikoFwCheckingAppState.h"

#include "DeviceManager.h"
#include "KovraTikoFwUpdatingAppState.h"
#include "MainComponent.h"

KovraTikoFwCheckingAppState::~KovraTikoFwCheckingAppState()
{
    if (worker.valid())
        worker.wait();
}

void KovraTikoFwCheckingAppState::apply(MainComponent* main) const
{
    juce::Component::SafePointer<MainComponent> window(main);
    worker = std::async(std::launch::async, [window, state = lifetime.watch()] {
        zq::DeviceManager::instance()->stopPolling();
        juce::MessageManager::callAsync([window, state] {
            MainComponent* target = window.getComponent();
            if (target != nullptr && !state.expired())
                target->changeState(std::make_unique<KovraTikoFwUpdatingAppState>());
        });
    });
}
