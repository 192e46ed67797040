#pragma once

#include "NimbalFwUpgradeLauncherApplication.h"

class MainComponent;

// The one window: native title bar, resizable, centred, with the main
// component as its owned content.
class NimbalFwUpgradeLauncherApplication::MainWindow : public juce::DocumentWindow {
public:
    MainWindow();
    ~MainWindow() override;

    // Tells an open amplifier the update is over, closes it and quits; does
    // nothing while a worker of the workflow still uses the device.
    void closeButtonPressed() override;

    MainComponent* mainComponent() const;
};
