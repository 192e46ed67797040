#include "tests/workflow/UpdateTestFixture.h"

#include "states/KovraTikoFwCheckingAppState.h"
#include "states/UpdateResultAppState.h"
#include "tests/support/DeviceManagerInspector.h"

#include <cmath>

bool holds(const std::vector<double>& values, double wanted)
{
    for (double v : values)
        if (std::abs(v - wanted) < 1e-6)
            return true;
    return false;
}

void UpdateTest::SetUp()
{
    ConnectedTest::SetUp();
    if (HasFatalFailure())
        return;
    setKnob("KOVRA_STANDIN_DOWNLOAD_MS", "100");
    barValues = std::make_unique<ProgressValues>(*main->progressView, bar);

    CommandTable& table = CommandTable::current();
    table.localPython = temp->path() + "/usr/local/bin/python";
    table.systemPython = temp->path() + "/usr/bin/python";
    table.ln = temp->path() + "/bin/ln";
    table.osascript = temp->path() + "/bin/osascript";
    // The folder the link goes into.
    temp->writeFile("usr/local/bin/.keep", "");
}

void UpdateTest::TearDown()
{
    // The window goes first: its state waits for a worker that may still
    // run the fake programs.
    barValues.reset();
    main.reset();
    fasterClock.reset();
    ConnectedTest::TearDown();
}

void UpdateTest::speedUp(std::uint32_t factor)
{
    fasterClock.reset();
    fasterClock = std::make_unique<FastClock>(factor);
}

sim::SimulatedAmplifier& UpdateTest::plugAmplifier(sim::AmplifierConfig config)
{
    sim::SimulatedAmplifier& made = amplifier(config);
    plugged = ports->plugAmplifier(made);
    return made;
}

void UpdateTest::fillRows(const std::string& serial, const std::string& mcu, const std::string& bt, int hardwareType)
{
    const std::string texts[] = {serial, mcu, bt};
    for (std::size_t i = 0; i < 3; ++i)
        main->connectedView->rows[i]->valueLabel->setText(juce::String::fromUTF8(texts[i].c_str()),
                                                          juce::dontSendNotification);
    main->hardwareType = hardwareType;
}

void UpdateTest::startUpdate() { main->changeState(std::make_unique<KovraTikoFwCheckingAppState>()); }

std::string UpdateTest::toastText() const { return main->toast->messageLabel->getText().toStdString(); }

std::string UpdateTest::localPython() const { return CommandTable::current().localPython; }

std::string UpdateTest::systemPython() const { return CommandTable::current().systemPython; }

void UpdateTest::localPythonAnswers(const std::string& versionLine)
{
    temp->writeScript("usr/local/bin/python", "echo '" + versionLine + "' >&2");
}

void UpdateTest::systemPythonAnswers(const std::string& versionLine)
{
    temp->writeScript("usr/bin/python", "echo '" + versionLine + "' >&2");
}

void UpdateTest::lnWorks() { temp->writeScript("bin/ln", "exec /bin/ln \"$@\""); }

void UpdateTest::lnMakesNothing() { temp->writeScript("bin/ln", "exit 1"); }

void UpdateTest::osascript(const std::string& installerBody)
{
    temp->writeScript("bin/osascript", "case \"$2\" in\n"
                                       "*'sudo ln -s'*) exec /bin/ln -s '"
                                           + systemPython() + "' '" + localPython()
                                           + "' ;;\n"
                                             "*'sudo installer -pkg'*) "
                                           + installerBody
                                           + " ;;\n"
                                             "esac\n");
}

std::string UpdateTest::waitForRelease() const
{
    return "while [ ! -e '" + temp->path() + "/released' ]; do sleep 0.01; done";
}

void UpdateTest::release() const { temp->writeFile("released", ""); }

bool UpdateTest::runSlicesUntil(const std::function<bool()>& done, int timeoutMs, const std::function<void()>& onSlice)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        if (onSlice)
            onSlice();
        juce::MessageManager::getInstance()->runDispatchLoopUntil(1);
    }
}

bool UpdateTest::runUntilResult(int timeoutMs, const std::function<void()>& onSlice)
{
    return runSlicesUntil([this] { return result().has_value(); }, timeoutMs, onSlice);
}

std::optional<std::pair<int, int>> UpdateTest::result() const
{
    if (auto* r = stateAs<UpdateResultAppState>())
        return std::make_pair(static_cast<int>(r->kind), static_cast<int>(r->code));
    return std::nullopt;
}

bool UpdateTest::pythonPageShown() const
{
    return main->pythonInfoView->isVisible() && !main->progressView->isVisible() && !main->stateIsBusy();
}

bool UpdateTest::tookStatus(const sim::SimulatedAmplifier& amplifier, std::uint8_t status)
{
    for (std::uint8_t s : amplifier.bootloader.statusSwitches())
        if (s == status)
            return true;
    return false;
}

bool UpdateTest::pollingSawNoPorts()
{
    return zq::DeviceManagerInspector::lastMidiInputNames(*zq::DeviceManager::instance()).isEmpty();
}

bool UpdateTest::pollingRuns()
{
    const sim::SimulatedMidiPorts::Device listener = ports->plugDevice("Kovra listener", "Kovra listener");
    const auto period = std::chrono::duration_cast<std::chrono::milliseconds>(zq::Clock::duration(2000));
    runFor(static_cast<int>(5 * period.count()));
    const bool probed = probesReceived(*ports, listener) > 0;
    ports->unplug(listener);
    return probed;
}

std::function<void()> UpdateTest::rebootAfterBluetoothUpdate(const sim::SimulatedAmplifier& amplifier, bool comesBack)
{
    return [this, &amplifier, comesBack] {
        if (!wentAway) {
            if (tookStatus(amplifier, 0x02)) {
                ports->unplug(plugged);
                wentAway = true;
            }
        } else if (comesBack && !ports->isPlugged(plugged) && pollingSawNoPorts()) {
            ports->replug(plugged);
        }
    };
}
