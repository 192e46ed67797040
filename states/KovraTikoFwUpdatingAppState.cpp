#include "states/KovraTikoFwUpdatingAppState.h"

#include "commands/ConsoleOutput.h"
#include "commands/PythonCommands.h"
#include "device/ble/ListenerScope.h"
#include "device/ble/ZQBLE.h"
#include "device/ble/ZQBLEFirmwareUpdater.h"
#include "device/bootloader/BootloaderMessages.h"
#include "device/bootloader/FirmwareUpdateSession.h"
#include "device/midi/DeviceManager.h"
#include "resources/BinaryData.h"
#include "resources/Picture.h"
#include "runtime/Clock.h"
#include "runtime/messagethread/OnMessageThread.h"
#include "states/UpdateResultAppState.h"
#include "states/WorkflowCodes.h"
#include "ui/MainComponent.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <optional>

namespace {

constexpr std::uint32_t kLinkWaitMs = 30000;
constexpr std::uint32_t kBeforeBluetoothUpdateMs = 3000;
constexpr std::uint32_t kAmplifierLookMs = 4000;
constexpr std::uint32_t kAmplifierWaitMs = 65000;
constexpr std::uint32_t kReconnectWaitMs = 5000;

// Computed afresh by each run; showUpdateProgress reads the Bluetooth flag.
std::atomic<bool> needUpdateMcuFw{false};
std::atomic<bool> needUpdateBtFw{false};

// What the worker needs from the message thread, copied there before it starts.
struct UpdateJob {
    StateLifetime::Watch state;
    AsnycBLEEventListener* listener = nullptr;
    juce::String serialNumber;
    juce::String mcuRow;
    juce::String btRow;
    int hardwareType = 0;
};

juce::String rowText(MainComponent* main, std::size_t index)
{
    const auto& rows = main->connectedView->rows;
    return index < rows.size() && rows[index] != nullptr ? rows[index]->valueLabel->getText() : juce::String();
}

void setBar(const UpdateJob& job, double fraction)
{
    job.state.post([fraction](MainComponent& window) { window.progressView->setProgress(fraction); });
}

bool reconnectDevice(ZQDevice* device, FirmwareUpdateSession*, void*)
{
    if (device == nullptr)
        return false;
    device->Close();
    zq::Clock::sleepMs(kReconnectWaitMs);
    return device->Open();
}

void showUpdateProgress(ZQDevice*, FirmwareUpdateSession*, int percent, void* user)
{
    console::printLine("Updating: " + juce::String(percent) + "%");
    const int v = needUpdateBtFw ? percent / 2 + 50 : percent;
    setBar(*static_cast<const UpdateJob*>(user), v / 100.0);
}

// Link the system Python when the local one is missing, then ask its version.
bool pythonReady()
{
    return PythonCommands::linkLocalPythonIfMissing(kLinkWaitMs) && PythonCommands::localPythonExists()
           && localPythonIs27();
}

// The time is taken here, when the check failed; the window notes it on its
// own thread, where the Python installation's state later reads it.
void showPythonPage(const UpdateJob& job)
{
    const std::uint32_t checkTime = zq::Clock::now();
    job.state.post([checkTime](MainComponent& window) {
        MainComponent* main = &window;
        main->pythonCheckTime = checkTime;
        main->pushAsyncEvent([main] {
            main->setDeviceImage(resources::installerPicture());
            main->badgeKind = 0;
            main->progressView->setVisible(false);
            main->pythonInfoView->setVisible(true);
            main->resized();
        });
        main->triggerAsyncUpdate();
    });
}

// Closes the amplifier so that the library can reach the Bluetooth module;
// returns the id of the amplifier that left, if one was open.
std::optional<zq::DeviceId> handOverToBluetoothModule(const UpdateJob& job)
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    const std::optional<zq::DeviceId> leaving = openAmplifierId();
    manager->sendFwStatus(bootloader::kStatusBluetoothUpdate);
    zq::Clock::sleepMs(kBeforeBluetoothUpdateMs);
    manager->closeDevice();
    setBar(job, 0.02);
    return leaving;
}

int updateBluetoothModule(AsnycBLEEventListener* listener)
{
    listener->mcuUpdateFollows = needUpdateMcuFw;
    ZQBLE::ListenerScope events(listener);

    ZQBLEFirmwareUpdater updater(std::make_unique<ZQBLEDeviceContext>());
    const std::string text = updater.SetFirmwarePath(ZQBLE::getFirmwarePath());
    if (text.empty())
        return workflow::kNoBluetoothLibrary;
    if (text == ZQBLEFirmwareUpdater::kRefusedFile)
        return workflow::kBluetoothFileRefused;
    const int u = updater.UpdateFirmware();
    // The module's part ends here: a library left loaded after a time-out
    // keeps calling back and must not move the bar of the MCU's part.
    events.end();
    // Without a completion event the result stays 0, the download's own
    // word for success.
    return u == 0 ? listener->result.load() : u;
}

// Waits for the amplifier that left (`leaving`; without one, for the first
// found): another amplifier that the polling finds meanwhile is not taken.
void waitForAmplifier(const UpdateJob& job, const std::optional<zq::DeviceId>& leaving)
{
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    // The amplifier may already be back under the names the polling saw
    // before it stopped; its first tick must look for it all the same.
    manager->forgetDeviceList();
    // The callback first: a tick between the two would hand what it finds to
    // the previous state's callback, and the polling reports it only once.
    manager->setOnDeviceListChangedCallback(reconnectCallbackFor(leaving));
    manager->startPolling();
    for (std::uint32_t t = 0; t < kAmplifierWaitMs && !manager->hasDevice(); t += kAmplifierLookMs) {
        zq::Clock::sleepMs(kAmplifierLookMs);
        job.state.post([](MainComponent& window) {
            FirmwareUpdateProgressView& bar = *window.progressView;
            if (bar.progress < 0.5)
                bar.setProgress(bar.progress + 0.01);
        });
    }
    manager->stopPolling();
    // A tick already running on the message thread may still be probing and
    // opening the amplifier: only once it has ended does the slot say which
    // device the session runs on, and no probe of its talks to the ports the
    // session starts on. So let it end first.
    zq::onMessageThread([] {});
}

int updateMcu(UpdateJob& job, bool bluetoothIncomplete)
{
    const McuImage image = mcuImageFor(job.hardwareType, job.serialNumber);

    FirmwareUpdateSession session;
    session.timeoutMs = 3000;
    session.image = reinterpret_cast<const std::uint8_t*>(image.data);
    session.imageSize = image.size;
    session.loadFromFile = false;
    session.settleDelayMs = 0;
    session.chunkDelayMs = 0;
    session.progressCallback = showUpdateProgress;
    session.progressUserData = &job;
    session.enterBootloaderCallback = reconnectDevice;
    session.doneCallback = reconnectDevice;
    session.callbackUserData = nullptr;

    // Held for the whole session: nothing that empties the slot meanwhile can
    // destroy the device under it.
    const std::shared_ptr<ZQDevice> device = zq::DeviceManager::instance()->currentDevice();
    if (!session.Perform(device.get()))
        return session.error;
    return bluetoothIncomplete ? ZQBLEFirmwareUpdater::kErrorDownloadTimeout : workflow::kSucceeded;
}

// The whole update; no value when the Python page was shown instead.
std::optional<int> runUpdate(UpdateJob& job)
{
    needUpdateMcuFw = job.mcuRow.contains("->");
    needUpdateBtFw = job.btRow.contains("->");

    int code = workflow::kSucceeded;
    bool bluetoothIncomplete = false;
    std::optional<zq::DeviceId> leaving;
    if (needUpdateBtFw) {
        if (!pythonReady()) {
            showPythonPage(job);
            return std::nullopt;
        }
        leaving = handOverToBluetoothModule(job);
        code = updateBluetoothModule(job.listener);
        bluetoothIncomplete = code == ZQBLEFirmwareUpdater::kErrorDownloadTimeout;
        if (code != workflow::kSucceeded && !bluetoothIncomplete)
            return code;
    }
    if (!needUpdateMcuFw)
        return code;
    if (needUpdateBtFw)
        waitForAmplifier(job, leaving);
    return updateMcu(job, bluetoothIncomplete);
}

void postEnd(const UpdateJob& job, int code)
{
    job.state.post([code](MainComponent& main) {
        const bool failed = code != workflow::kSucceeded;
        const juce::String text = failed ? "Firmware updating failed!" : "Your firmware is up-to-date.";
        main.changeState(
            std::make_unique<UpdateResultAppState>(failed ? workflow::kResultFailed : workflow::kResultUpdated, code));
        main.toast->messageLabel->setText(text, juce::dontSendNotification);
        main.toast->show(4000);
    });
}

} // namespace

KovraTikoFwUpdatingAppState::~KovraTikoFwUpdatingAppState()
{
    if (worker.valid())
        worker.wait();
    if (bleListener != nullptr)
        ZQBLE::clearListener(bleListener.get());
}

void KovraTikoFwUpdatingAppState::apply(MainComponent* main) const
{
    if (bleListener != nullptr)
        ZQBLE::clearListener(bleListener.get());
    bleListener = std::make_unique<AsnycBLEEventListener>(main, lifetime.watch(main));

    zq::DeviceManager::instance()->stopPolling();

    queueProgressPage(main, false, 1);

    UpdateJob job{lifetime.watch(main), bleListener.get(), rowText(main, 0),
                  rowText(main, 1),     rowText(main, 2),  main->hardwareType.load()};

    worker = std::async(std::launch::async, [job]() mutable {
        int code = workflow::kWorkerFailed;
        try {
            const std::optional<int> result = runUpdate(job);
            if (!result)
                return;
            code = *result;
        } catch (...) {
            // A programming error too must say what it was before the page
            // shows only its code.
            console::printUnexpectedError("Firmware update");
            // The polling may have been started for the wait.
            zq::DeviceManager::instance()->stopPolling();
        }
        postEnd(job, code);
    });
}

void queueProgressPage(MainComponent* main, bool pythonMode, int badgeKind)
{
    main->pushAsyncEvent([main, pythonMode, badgeKind] {
        if (!pythonMode)
            main->setDeviceImage(resources::amplifierPicture());
        main->showTroubleshootingBanner = false;
        main->initialView->setVisible(false);
        main->connectedView->setVisible(false);
        main->progressView->setVisible(true);
        main->progressView->pythonMode = pythonMode;
        main->progressView->setProgress(0);
        main->pythonInfoView->setVisible(false);
        main->badgeKind = badgeKind;
        main->resized();
    });
    main->triggerAsyncUpdate();
}

void reconnectFirstDevice(zq::DeviceManager* manager)
{
    JUCE_ASSERT_MESSAGE_THREAD
    if (manager->probeAll() < 1)
        return;
    const std::vector<zq::DeviceId> ids = manager->deviceUuids();
    if (!ids.empty() && manager->openDevice(ids.front()) != nullptr)
        console::printLine("Found device and connected!");
}

void reconnectDeviceWithId(zq::DeviceManager* manager, const zq::DeviceId& id)
{
    JUCE_ASSERT_MESSAGE_THREAD
    if (manager->probeAll() < 1)
        return;
    const std::vector<zq::DeviceId> ids = manager->deviceUuids();
    if (std::find(ids.begin(), ids.end(), id) != ids.end() && manager->openDevice(id) != nullptr)
        console::printLine("Found device and connected!");
}

std::optional<zq::DeviceId> openAmplifierId()
{
    const std::shared_ptr<ZQDevice> device = zq::DeviceManager::instance()->currentDevice();
    if (!device)
        return std::nullopt;
    zq::DeviceId id;
    std::copy_n(device->GetUUID(), id.size(), id.begin());
    return id;
}

std::function<void(zq::DeviceManager*)> reconnectCallbackFor(const std::optional<zq::DeviceId>& id)
{
    if (!id)
        return reconnectFirstDevice;
    return [id = *id](zq::DeviceManager* manager) { reconnectDeviceWithId(manager, id); };
}

McuImage mcuImageFor(int hardwareType, const juce::String& serialNumber)
{
    const McuImage standard{BinaryData::Checksumed_kovra_10_speaker_bin,
                            BinaryData::Checksumed_kovra_10_speaker_binSize};
    const McuImage gd32{BinaryData::Checksumed_kovra_10_speaker_GD32_bin,
                        BinaryData::Checksumed_kovra_10_speaker_GD32_binSize};
    if (hardwareType == 20)
        return standard;
    if (hardwareType == 22)
        return gd32;
    return serialNumber.length() >= 7 && serialNumber[6] == '1' ? standard : gd32;
}

bool localPythonIs27()
{
    const std::optional<juce::String> answer = PythonCommands::askVersion();
    return answer && PythonCommands::isPython27(*answer);
}
