#pragma once

#include "app/NimbalFwUpgradeLauncherApplication.h"

class MainComponent;

// The one window: native title bar, resizable, centred, with the main
// component as its owned content.
class NimbalFwUpgradeLauncherApplication::MainWindow : public juce::DocumentWindow {
public:
    MainWindow();
    ~MainWindow() override;

    // Tells an open amplifier the update is over, closes it and quits. While
    // a worker of the workflow still uses the device, the click is kept and
    // carried out once its step has ended; no new step starts meanwhile.
    void closeButtonPressed() override;
    // Once the display has gone the window's size reads as nothing: the
    // content keeps its layout rather than shrink to nothing.
    void resized() override;
    // The close kept while a step ran, without the quit; nothing when there
    // was no such click.
    void closeIfClicked();

    MainComponent* mainComponent() const;

private:
    void closeDevice();

    bool closeClicked = false;
};
