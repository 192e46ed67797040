#pragma once

#include "AppState.h"

#include <memory>
#include <string>

// Asks the amplifier for its model, serial number and firmware versions and
// either offers the update or goes to a result.
class ConnectedAppState : public AppState {
public:
    void apply(MainComponent* main) const override;

private:
    // The deferred queries hold it weakly: once the state has been replaced
    // (or the window closed) they do nothing.
    std::shared_ptr<const char> alive = std::make_shared<const char>('\0');
};

// Below 0 when `lhs` is older than `rhs`, 0 when equal, above 0 when newer.
// Components compare as numbers; a text that cannot be read as one (not a
// number, or too large for an int) compares as older, as an empty text does,
// unless both texts are the same.
int CompareFWVersion(std::string lhs, std::string rhs);
