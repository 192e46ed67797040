#pragma once

#include "AppState.h"

#include <string>

// Asks the amplifier for its model, serial number and firmware versions and
// either offers the update or goes to a result.
class ConnectedAppState : public AppState {
public:
    void apply(MainComponent* main) const override;
};

// Below 0 when `lhs` is older than `rhs`, 0 when equal, above 0 when newer.
int CompareFWVersion(std::string lhs, std::string rhs);
