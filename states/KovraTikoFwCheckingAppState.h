#pragma once

#include "AppState.h"

#include <memory>

// Stops the polling and passes straight on to the updating state.
class KovraTikoFwCheckingAppState : public AppState {
public:
    ~KovraTikoFwCheckingAppState() override;

    void apply(MainComponent* main) const override;
    bool isBusy() const override { return running(worker); }

    mutable std::future<void> worker;

private:
    // The hand-over holds it weakly: a polling tick that began before the
    // worker stopped the polling may have replaced this state meanwhile, and
    // the state now current must not be replaced from here.
    std::shared_ptr<const char> alive = std::make_shared<const char>('\0');
};
