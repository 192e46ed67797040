#include "states/TroubleshootingAppState.h"

#include "ui/MainComponent.h"

void TroubleshootingAppState::apply(MainComponent* main) const
{
    // Banner, badge, picture and action button stay as they were.
    main->pushAsyncEvent([main] {
        main->showOnlyScreen(main->troubleshootingView.get());
        main->resized();
    });
    main->triggerAsyncUpdate();
}
