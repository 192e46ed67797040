#pragma once

#include "states/AppState.h"
#include "states/StateLifetime.h"

#include <cstdint>

// Makes Python 2.7 answer (a privileged link, else the installer), waits for
// the amplifier and starts the update again.
class PythonInstallingAppState : public AppState {
public:
    ~PythonInstallingAppState() override;

    void apply(MainComponent* main) const override;
    bool isBusy() const override { return running(worker); }

    mutable std::future<void> worker;

private:
    StateLifetime lifetime;
};

// How long to wait for the amplifier after an installation, `elapsedMs` after
// the update found Python missing: what is left of 65 s, else one 4-s look.
std::uint32_t amplifierWaitBudgetMs(std::uint32_t elapsedMs);
