#include "app/NimbalFwUpgradeLauncherApplication.h"

#include "app/DisplayLoss.h"
#include "app/MainWindow.h"
#include "app/QuitSignals.h"

#include "app/console/DeviceFlows.h"
#include "app/console/FirmwareUpgradeTool.h"
#include "app/console/PythonFlow.h"
#include "commands/ConsoleOutput.h"
#include "commands/Descendants.h"
#include "ui/MainComponent.h"

NimbalFwUpgradeLauncherApplication::NimbalFwUpgradeLauncherApplication() = default;

NimbalFwUpgradeLauncherApplication::~NimbalFwUpgradeLauncherApplication() = default;

const juce::String NimbalFwUpgradeLauncherApplication::getApplicationName() { return "Kovra Tiko Firmware Updater"; }

const juce::String NimbalFwUpgradeLauncherApplication::getApplicationVersion() { return "1.0.0"; }

bool NimbalFwUpgradeLauncherApplication::moreThanOneInstanceAllowed() { return true; }

void NimbalFwUpgradeLauncherApplication::initialise(const juce::String&)
{
    QuitSignals::install();
    std::vector<std::string> args;
    for (const auto& arg : getCommandLineParameterArray())
        args.push_back(arg.toStdString());

    const LaunchChoice choice = chooseLaunch(args);
    if (choice.flow == LaunchFlow::Window)
        openWindow();
    else
        runConsoleFlow(choice);
}

void NimbalFwUpgradeLauncherApplication::runConsoleFlow(const LaunchChoice& choice)
{
    switch (choice.flow) {
    case LaunchFlow::Path: {
        // A relative path counts from the working directory; none at all stays empty.
        const juce::String path = juce::String::fromUTF8(choice.imagePath.c_str());
        const juce::File image =
            path.isEmpty() ? juce::File() : juce::File::getCurrentWorkingDirectory().getChildFile(path);
        console::FirmwareUpgradeTool(image).execute();
        break;
    }
    case LaunchFlow::Reset: console::runResetFlow(); break;
    case LaunchFlow::Bluetooth: console::runBluetoothFlow(); break;
    case LaunchFlow::Python: console::runPythonFlow(); break;
    case LaunchFlow::Window: break;
    }
    juce::JUCEApplicationBase::quit();
}

void NimbalFwUpgradeLauncherApplication::openWindow()
{
    // JUCE crashes building a window without a display.
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr) {
        console::printLine(
            "No display available: the window cannot be opened (set DISPLAY, or use --path, --reset, --bt or --python).");
        juce::JUCEApplicationBase::quit();
        return;
    }
    // The screens are drawn against the framework's V2 defaults.
    static juce::LookAndFeel_V2 lookAndFeel;
    juce::LookAndFeel::setDefaultLookAndFeel(&lookAndFeel);
    // The display's end (a logout, a crashed server), also while the window
    // is being built, is a quit like a hang-up: the running step ends
    // without the window.
    DisplayLoss::survive(&QuitSignals::request);
    mainWindow = std::make_unique<MainWindow>();
    QuitSignals::listen([this] { systemRequestedQuit(); });
}

bool NimbalFwUpgradeLauncherApplication::workerRuns() const
{
    const MainComponent* content = mainWindow != nullptr ? mainWindow->mainComponent() : nullptr;
    return content != nullptr && content->stateIsBusy();
}

void NimbalFwUpgradeLauncherApplication::shutdown()
{
    QuitSignals::stopListening();
    mainWindow.reset();
    // Every step has ended: what a child program left running goes too.
    Descendants::endAdopted();
    QuitSignals::restoreInherited();
}

void NimbalFwUpgradeLauncherApplication::anotherInstanceStarted(const juce::String&) {}

void NimbalFwUpgradeLauncherApplication::systemRequestedQuit()
{
    // Sends nothing to the amplifier and leaves the device to the exit. While
    // a step runs, the step that follows it must not start: the quit waits
    // for this one alone.
    if (MainComponent* content = mainWindow != nullptr ? mainWindow->mainComponent() : nullptr)
        content->holdForQuit();
    deferredQuit.request();
}

void NimbalFwUpgradeLauncherApplication::quitNow()
{
    if (mainWindow != nullptr)
        mainWindow->closeIfClicked();
    juce::JUCEApplicationBase::quit();
}
