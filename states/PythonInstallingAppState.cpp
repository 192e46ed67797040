#include "states/PythonInstallingAppState.h"

#include "commands/ChildCommand.h"
#include "commands/CommandTable.h"
#include "commands/ConsoleOutput.h"
#include "commands/PythonCommands.h"
#include "device/ble/ApplicationBundle.h"
#include "device/midi/DeviceManager.h"
#include "runtime/Clock.h"
#include "states/KovraTikoFwUpdatingAppState.h"
#include "states/UpdateResultAppState.h"
#include "states/WorkflowCodes.h"
#include "ui/MainComponent.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <optional>

namespace {

constexpr std::uint32_t kLinkWaitMs = 30000;
constexpr std::uint32_t kInstallerLookMs = 2000;
constexpr std::uint32_t kLastInstallerLookMs = 149999;
constexpr double kInstallerStep = 0.023;
constexpr std::uint32_t kAmplifierWindowMs = 65000;
constexpr std::uint32_t kAmplifierLookMs = 4000;
constexpr double kBarHold = 0.99;

// What the worker needs from the window, copied on the message thread when
// the state starts it; the bar is the one the worker moves.
struct InstallationJob {
    StateLifetime::Watch window;
    std::uint32_t pythonCheckTime = 0;
    double bar = 0.0; // as the progress page starts
    // The amplifier the update started with, which the wait takes back and
    // no other (none: the first found).
    std::optional<zq::DeviceId> amplifier;
};

juce::String fromTable(const std::string& path) { return juce::String::fromUTF8(path.c_str()); }

// The bar goes up by `step` on the message thread, never past 0.99.
void advanceBar(InstallationJob& job, double step)
{
    job.bar = std::min(job.bar + step, kBarHold);
    job.window.post([step](MainComponent& main) {
        main.progressView->setProgress(std::min(main.progressView->progress + step, kBarHold));
    });
}

bool linkedSystemPython()
{
    if (!PythonCommands::isExistingFile(fromTable(CommandTable::current().systemPython)))
        return false;
    ChildCommand link;
    if (link.start(PythonCommands::privilegedLink()))
        link.waitForEnd(kLinkWaitMs);
    else
        console::printLine("Create symbolic link failed!");
    if (!PythonCommands::localPythonExists() || !localPythonIs27())
        return false;
    console::printLine("Python symbolic link created");
    return true;
}

int runInstaller(InstallationJob& job)
{
    const juce::String package = ApplicationBundle::pythonPackage().getFullPathName();
    ChildCommand installer(PythonCommands::installerSuccessText);
    if (!installer.start(PythonCommands::installer(package))) {
        console::printLine("Call installer script failed!");
        return workflow::kInstallerNotStarted;
    }

    zq::Clock::sleepMs(kInstallerLookMs);
    for (std::uint32_t t = 0; installer.isRunning() && t <= kLastInstallerLookMs; t += kInstallerLookMs) {
        zq::Clock::sleepMs(kInstallerLookMs);
        advanceBar(job, kInstallerStep);
    }
    const bool killed = installer.isRunning();
    if (killed)
        installer.kill();

    installer.readAllOutput();
    if (installer.foundWatchedText()) {
        console::printLine("Install python successfully");
        return workflow::kSucceeded;
    }
    console::printLine("Install python failed");
    return killed ? workflow::kInstallerTimedOut : workflow::kInstallerFailed;
}

int waitForAmplifier(InstallationJob& job)
{
    // On the clock that times the installer's looks, also when it runs faster.
    const std::uint32_t budget = amplifierWaitBudgetMs(zq::Clock::now() - job.pythonCheckTime);
    const std::uint32_t looks = budget / kAmplifierLookMs;
    const float step = looks == 0 ? std::numeric_limits<float>::infinity()
                                  : (1.0f - static_cast<float>(job.bar)) / static_cast<float>(looks);
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    for (std::uint32_t t = 0; t < budget && !manager->hasDevice(); t += kAmplifierLookMs) {
        zq::Clock::sleepMs(kAmplifierLookMs);
        advanceBar(job, step);
    }
    return manager->hasDevice() ? workflow::kSucceeded : workflow::kAmplifierNotBack;
}

int runInstallation(InstallationJob& job)
{
    int code = linkedSystemPython() ? workflow::kSucceeded : runInstaller(job);
    if (code == workflow::kSucceeded)
        code = waitForAmplifier(job);
    return code;
}

void postEnd(const InstallationJob& job, int code)
{
    job.window.post([code](MainComponent& main) {
        std::unique_ptr<AppState> next;
        if (code == workflow::kSucceeded)
            next = std::make_unique<KovraTikoFwUpdatingAppState>();
        else
            next = std::make_unique<UpdateResultAppState>(workflow::kResultFailed, code);
        main.progressView->setProgress(1.0);
        main.changeState(std::move(next));
    });
}

} // namespace

std::uint32_t amplifierWaitBudgetMs(std::uint32_t elapsedMs)
{
    return elapsedMs <= kAmplifierWindowMs ? kAmplifierWindowMs - elapsedMs : kAmplifierLookMs;
}

PythonInstallingAppState::~PythonInstallingAppState()
{
    if (worker.valid())
        worker.wait();
}

void PythonInstallingAppState::apply(MainComponent* main) const
{
    // The picture stays as the Python page left it.
    queueProgressPage(main, true, 0);

    InstallationJob job{lifetime.watch(main), main->pythonCheckTime.load(), 0.0, openAmplifierId()};
    worker = std::async(std::launch::async, [job]() mutable {
        zq::DeviceManager* manager = zq::DeviceManager::instance();
        // The callback before the first tick, which reports a change only once.
        manager->setOnDeviceListChangedCallback(reconnectCallbackFor(job.amplifier));
        manager->startPolling();

        int code = workflow::kWorkerFailed;
        try {
            code = runInstallation(job);
        } catch (...) {
            console::printUnexpectedError("Python installation");
        }
        manager->stopPolling();
        postEnd(job, code);
    });
}
