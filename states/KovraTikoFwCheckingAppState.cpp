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
    worker = std::async(std::launch::async, [window] {
        zq::DeviceManager::instance()->stopPolling();
        juce::MessageManager::callAsync([window] {
            if (MainComponent* target = window.getComponent())
                target->changeState(std::make_unique<KovraTikoFwUpdatingAppState>());
        });
    });
}
