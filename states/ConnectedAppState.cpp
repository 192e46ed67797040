#include "states/ConnectedAppState.h"

#include "commands/ConsoleOutput.h"
#include "device/ble/ZQBLE.h"
#include "device/ble/ZQBLEFirmwareUpdater.h"
#include "device/bootloader/DownloadFirmwareVersionSession.h"
#include "device/core/GenericDeviceSession.h"
#include "device/midi/DeviceManager.h"
#include "resources/Picture.h"
#include "states/UpdateResultAppState.h"
#include "states/WorkflowCodes.h"
#include "ui/MainComponent.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <stdexcept>

namespace {

const char* const kModelName = "Kovra TIKO";
const std::uint8_t kLatestMcuVersion[4] = {1, 11, 2, 75};

int clampToInt(long long value) { return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX)); }

std::string joinVersion(const std::uint8_t (&parts)[4])
{
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) + "."
           + std::to_string(parts[3]);
}

// A query's reply text, and why it failed (0 when it did not): its session's
// error without a device or a free session id, kIdentityUnanswered when no
// reply came or the reply was damaged. A failed query's text is empty.
struct Query {
    std::string text;
    int failure = 0;
};

template <typename Session>
Query query(ZQDevice* device)
{
    auto session = std::make_shared<Session>();
    session->timeoutMs = 3000;
    try {
        if (!session->Perform(device))
            return {{}, session->error != 0 ? session->error : workflow::kIdentityUnanswered};
    } catch (const std::exception&) {
        // "Device reading timeout" or a damaged reply.
        return {{}, workflow::kIdentityUnanswered};
    }
    return {session->reply.value, 0};
}

// The sibling's wrong-device code, 0 for neither.
int siblingByName(const std::string& name)
{
    if (name == "Kovra 25")
        return workflow::kSibling25;
    if (name == "Kovra ZE")
        return workflow::kSiblingZe;
    return 0;
}

int siblingBySerial(const std::string& serial)
{
    if (serial.rfind("K310", 0) == 0)
        return workflow::kSibling25;
    if (serial.rfind("K520", 0) == 0)
        return workflow::kSiblingZe;
    return 0;
}

std::string latestBluetoothVersion(ZQBLEFirmwareUpdater& updater)
{
    const std::string text = updater.SetFirmwarePath(ZQBLE::getFirmwarePath());
    if (text.empty() || text == ZQBLEFirmwareUpdater::kRefusedFile)
        return {};
    return text.substr(0, 4);
}

void showConnectedPage(MainComponent* main, const std::string& serial, const std::string& mcuRow,
                       const std::string& btRow, int hardwareType)
{
    main->pushAsyncEvent([main, serial, mcuRow, btRow, hardwareType] {
        main->setDeviceImage(resources::amplifierPicture());
        main->hardwareType = hardwareType;
        auto& rows = main->connectedView->rows;
        rows[0]->valueLabel->setText(juce::String(serial), juce::dontSendNotification);
        rows[1]->valueLabel->setText(juce::String(mcuRow), juce::dontSendNotification);
        rows[2]->valueLabel->setText(juce::String(btRow), juce::dontSendNotification);
        main->showOnlyScreen(main->connectedView.get());
        main->resized();
    });
}

// Blocks the message thread while the amplifier answers.
void queryAmplifier(MainComponent* main)
{
    JUCE_ASSERT_MESSAGE_THREAD
    zq::DeviceManager* manager = zq::DeviceManager::instance();
    const std::shared_ptr<ZQDevice> holder = manager->currentDevice();
    ZQDevice* device = holder.get();

    const Query nameQuery = query<zq::ModelNameSession>(device);
    const Query serialQuery = query<zq::SerialNumberSession>(device);
    const std::string& name = nameQuery.text;
    const std::string& serial = serialQuery.text;

    bool unrecognised = false;
    if (name != kModelName) {
        console::printLine("Connected device name:" + juce::String(name));
        console::printLine("Connected device sn:" + juce::String(serial));
        int sibling = siblingByName(name);
        if (sibling == 0)
            sibling = siblingBySerial(serial);
        if (sibling == 0) {
            unrecognised = true;
        } else {
            main->changeState(std::make_unique<UpdateResultAppState>(workflow::kResultWrongDevice, sibling));
            return;
        }
    }

    auto firmware = std::make_shared<bootloader::DownloadFirmwareVersionSession>();
    firmware->timeoutMs = 3000;
    bool read = false;
    try {
        read = firmware->Perform(device);
    } catch (const std::exception&) {
        read = false;
    }
    if (!read) {
        // Without the block every version would read as zero: offering an
        // update from that could flash the wrong image, so the failure shows.
        const int code =
            firmware->error != 0 ? firmware->error : bootloader::DownloadFirmwareVersionSession::kErrorFwInfo;
        main->changeState(std::make_unique<UpdateResultAppState>(workflow::kResultFailed, code));
        return;
    }
    // Versions and hardware type from bytes the reply never gave would
    // choose an update, and an image, all the same.
    if (firmware->infoLength < bootloader::FirmwareInfo::kSize) {
        main->changeState(std::make_unique<UpdateResultAppState>(
            workflow::kResultFailed, bootloader::DownloadFirmwareVersionSession::kErrorFwInfo));
        return;
    }
    // Nor may a model that could not be asked count as unrecognised, which
    // offers the MCU update whatever its version.
    const int identityFailure = nameQuery.failure != 0 ? nameQuery.failure : serialQuery.failure;
    if (identityFailure != 0) {
        main->changeState(std::make_unique<UpdateResultAppState>(workflow::kResultFailed, identityFailure));
        return;
    }

    const bootloader::FirmwareInfo& info = firmware->info;
    const std::string mcuVersion = joinVersion(info.mcuVersion);
    const int hardwareType = info.hardwareType;
    const std::string btVersion = info.btVersionText();
    const std::string latestMcu = joinVersion(kLatestMcuVersion);

    // Lives to the end of the step, which then releases the library.
    ZQBLEFirmwareUpdater updater(std::make_unique<ZQBLEDeviceContext>());
    const std::string latestBt = latestBluetoothVersion(updater);

    // A version that could not be read compares as older: the page then
    // offers the update, which fails with its code, rather than saying that
    // the amplifier is up to date.
    int mcuCompare = CompareFWVersion(mcuVersion, latestMcu);
    int btCompare = CompareFWVersion(btVersion, latestBt);
    std::string btRow = btVersion.empty() ? std::string("N/A") : btVersion;
    std::string mcuRow = mcuVersion;
    if (unrecognised) {
        mcuCompare = -1;
        btCompare = 0;
    }

    if (mcuCompare < 0 || btCompare < 0) {
        if (mcuCompare < 0)
            mcuRow += " -> " + latestMcu;
        if (btCompare < 0)
            btRow += " -> " + latestBt;
        showConnectedPage(main, serial, mcuRow, btRow, hardwareType);
        manager->startPolling();
        main->triggerAsyncUpdate();
    } else {
        main->changeState(std::make_unique<UpdateResultAppState>(workflow::kResultAlreadyLatest, workflow::kSucceeded));
    }
}

} // namespace

void ConnectedAppState::apply(MainComponent* main) const
{
    lifetime.watch(main).post([](MainComponent& window) { queryAmplifier(&window); });
}

int CompareFWVersion(std::string lhs, std::string rhs)
{
    if (lhs.empty() || rhs.empty())
        return -1;
    const bool sameText = lhs == rhs;
    try {
        for (std::size_t i = lhs.find('.'); i != std::string::npos; i = lhs.find('.')) {
            const std::size_t j = rhs.find('.');
            const long long a = std::stoi(lhs.substr(0, i));
            const long long b = std::stoi(rhs.substr(0, j));
            if (a != b)
                return clampToInt(a - b);
            lhs.erase(0, i + 1);
            if (j != std::string::npos)
                rhs.erase(0, j + 1);
        }
        const long long a = std::stoi(lhs);
        const long long b = std::stoi(rhs.substr(0, rhs.find('.')));
        return clampToInt(a - b);
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
    return sameText ? 0 : -1;
}
