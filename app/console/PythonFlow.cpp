#include "app/console/PythonFlow.h"

#include "commands/ChildCommand.h"
#include "commands/ConsoleOutput.h"
#include "commands/PythonCommands.h"
#include "device/ble/ApplicationBundle.h"
#include "runtime/Clock.h"

#include <optional>

namespace console {

namespace {

constexpr std::uint32_t kLinkWaitMs = 3000;
constexpr std::uint32_t kInstallerPollMs = 2000;
constexpr std::uint32_t kLastPollMs = 89999;

} // namespace

void runPythonFlow()
{
    const std::uint32_t start = juce::Time::getMillisecondCounter();

    if (!PythonCommands::linkLocalPythonIfMissing(kLinkWaitMs, [] { printLine("Python symbolic link created"); }))
        return;

    juce::String versionText;
    if (!PythonCommands::localPythonExists()) {
        printLine("Python 2.7 has not been installed yet!");
        versionText = "python not found";
    } else {
        const std::optional<juce::String> answer =
            PythonCommands::askVersion([] { printLine("Start checking Python version..."); });
        if (!answer)
            return;
        versionText = *answer;
        printLine(versionText);
    }

    if (PythonCommands::isPython27(versionText)) {
        printLine("Python 2.7 is available");
        return;
    }

    printLine("Start installing Python...");
    const juce::String package = ApplicationBundle::pythonPackage().getFullPathName();
    printLine("Will install Python package " + package);
    ChildCommand installer(PythonCommands::installerSuccessText);
    if (!installer.start(PythonCommands::installer(package))) {
        printLine("Call installer script failed!");
        return;
    }

    zq::Clock::sleepMs(kInstallerPollMs);
    std::uint32_t elapsed = kInstallerPollMs;
    while (installer.isRunning() && elapsed - kInstallerPollMs <= kLastPollMs) {
        zq::Clock::sleepMs(kInstallerPollMs);
        printLine("Wait for installation completion after " + juce::String(elapsed) + " ms");
        elapsed += kInstallerPollMs;
    }
    if (installer.isRunning()) {
        printLine("Timed out! Will kill the process");
        installer.kill();
    }

    const juce::String output = installer.readAllOutput();
    printLine(output);
    if (installer.foundWatchedText())
        printLine("Install python succesfully after " + juce::String(juce::Time::getMillisecondCounter() - start)
                  + " ms");
    else
        printLine("Install python failed!");
}

} // namespace console
