#pragma once

#include "AppState.h"

// Makes Python 2.7 answer (a privileged link, else the installer), waits for
// the amplifier and starts the update again.
class PythonInstallingAppState : public AppState {
public:
    ~PythonInstallingAppState() override;

    void apply(MainComponent* main) const override;
    bool isBusy() const override { return running(worker); }

    mutable std::future<void> worker;
};
