#pragma once

#include "AppState.h"

// Stops the polling and passes straight on to the updating state.
class KovraTikoFwCheckingAppState : public AppState {
public:
    ~KovraTikoFwCheckingAppState() override;

    void apply(MainComponent* main) const override;
    bool isBusy() const override { return running(worker); }

    mutable std::future<void> worker;
};
