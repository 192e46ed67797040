#pragma once

#include "states/AppState.h"

// Hold the PAIR and POWER buttons: the first page with the prompt texts.
class KovraTikoButtonPromptAppState : public AppState {
public:
    void apply(MainComponent* main) const override;
};
