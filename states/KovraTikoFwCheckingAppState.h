#pragma once

#include "states/AppState.h"
#include "states/StateLifetime.h"

// Stops the polling and passes straight on to the updating state.
class KovraTikoFwCheckingAppState : public AppState {
public:
    ~KovraTikoFwCheckingAppState() override;

    void apply(MainComponent* main) const override;
    bool isBusy() const override { return running(worker); }

    mutable std::future<void> worker;

private:
    // A polling tick that began before the worker stopped the polling may
    // have replaced this state meanwhile; the state now current must not be
    // replaced by the hand-over.
    StateLifetime lifetime;
};
