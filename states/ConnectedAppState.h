#pragma once

#include "states/AppState.h"
#include "states/StateLifetime.h"

#include <string>

// Asks the amplifier for its model, serial number and firmware versions and
// either offers the update or goes to a result.
class ConnectedAppState : public AppState {
public:
    void apply(MainComponent* main) const override;

private:
    // The queries are deferred to the next turn of the loop.
    StateLifetime lifetime;
};

// Below 0 when `lhs` is older than `rhs`, 0 when equal, above 0 when newer.
// Components compare as numbers; a text that cannot be read as one (not a
// number, or too large for an int) compares as older, as an empty text does,
// unless both texts are the same.
int CompareFWVersion(std::string lhs, std::string rhs);
