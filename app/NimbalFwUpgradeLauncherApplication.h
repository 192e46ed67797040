#pragma once

#include "app/DeferredQuit.h"
#include "app/LaunchChoice.h"

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
    // The deferred quit's end: a close click kept meanwhile is carried out first.
    void quitNow();

    // The system's quit and the close button wait for a running worker.
    DeferredQuit deferredQuit{[this] { return workerRuns(); }, [this] { quitNow(); }};
};
