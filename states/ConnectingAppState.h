#pragma once

#include "AppState.h"

#include <memory>

// Probes the USB MIDI ports on a worker and opens the first amplifier found.
class ConnectingAppState : public AppState {
public:
    explicit ConnectingAppState(bool troubleshootingMode) : troubleshootingMode(troubleshootingMode) {}
    ~ConnectingAppState() override;

    void apply(MainComponent* main) const override;
    bool isBusy() const override { return running(worker); }

    mutable std::future<void> worker;
    mutable bool troubleshootingMode;

private:
    // Message thread: the worker's result, n amplifiers found.
    void connect(MainComponent* main, int found) const;

    // Lives as long as the state; the posted connect step holds it weakly, so
    // a step that arrives after the state was replaced does nothing.
    std::shared_ptr<const ConnectingAppState*> self = std::make_shared<const ConnectingAppState*>(this);
};
