#pragma once

#include "states/AppState.h"

#include <cstdint>

// The result page: 0 updated, 1 up to date, 2 failed with `code`, 3 wrong
// device (code 1 the Kovra 25, 2 the Kovra ZE).
class UpdateResultAppState : public AppState {
public:
    UpdateResultAppState(std::int32_t resultKind, std::int32_t resultCode) : kind(resultKind), code(resultCode) {}

    void apply(MainComponent* main) const override;
    // The up-to-date page tells the amplifier to leave its update mode.
    bool entersQuietly() const override;

    mutable std::int32_t kind;
    mutable std::int32_t code;
};
