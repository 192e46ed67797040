#pragma once

#include "states/AppState.h"
#include "states/StateLifetime.h"

// Probes the USB MIDI ports on a worker and opens the first amplifier found.
class ConnectingAppState : public AppState {
public:
    explicit ConnectingAppState(bool troubleshooting) : troubleshootingMode(troubleshooting) {}
    ~ConnectingAppState() override;

    void apply(MainComponent* main) const override;
    bool isBusy() const override { return running(worker); }

    mutable std::future<void> worker;
    mutable bool troubleshootingMode;

private:
    // The worker's result, n amplifiers found.
    void connect(MainComponent* main, int found) const;

    StateLifetime lifetime;
};
