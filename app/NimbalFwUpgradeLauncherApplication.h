#pragma once

#include "DeferredQuit.h"
#include "LaunchChoice.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class NimbalFwUpgradeLauncherApplication : public juce::JUCEApplication {
public:
    class MainWindow;

    NimbalFwUpgradeLauncherApplication();
    ~NimbalFwUpgradeLauncherApplication() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise(const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted(const juce::String& commandLine) override;
    void systemRequestedQuit() override;

    std::unique_ptr<MainWindow> mainWindow;

private:
    void runConsoleFlow(const LaunchChoice& choice);
    void openWindow();
    bool workerRuns() const;

    // The system's quit waits for a running worker, as the close button does.
    DeferredQuit deferredQuit{[this] { return workerRuns(); }};
};
