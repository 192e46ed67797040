#include "TroubleshootingAppState.h"

#include "MainComponent.h"

void TroubleshootingAppState::apply(MainComponent* main) const
{
    // Banner, badge, picture and action button stay as they were.
    main->pushAsyncEvent([main] {
        main->initialView->setVisible(false);
        main->connectedView->setVisible(false);
        main->progressView->setVisible(false);
        main->pythonInfoView->setVisible(false);
        main->troubleshootingView->setVisible(true);
        main->resized();
    });
    main->triggerAsyncUpdate();
}
