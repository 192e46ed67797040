#pragma once

#include "states/AppState.h"

// Shows the troubleshooting page.
class TroubleshootingAppState : public AppState {
public:
    void apply(MainComponent* main) const override;
};
