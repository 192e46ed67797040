#include "app/demo/DemoEquipment.h"

#include "app/demo/DemoSettings.h"
#include "device/ble/FolderLock.h"
#include "device/midi/MidiPortSystem.h"
#include "runtime/Clock.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using DemoSettings::number;
using DemoSettings::text;

const char* flashCheckName(sim::FlashCheck check)
{
    switch (check) {
    case sim::FlashCheck::NotRun: return "not-run";
    case sim::FlashCheck::Passed: return "passed";
    case sim::FlashCheck::NoInfoBlock: return "no-info-block";
    case sim::FlashCheck::ImageChecksum: return "image-checksum";
    case sim::FlashCheck::BlockChecksum: return "block-checksum";
    case sim::FlashCheck::OtherHardware: return "other-hardware";
    }
    return "?";
}

// "a.b.c.d" into four bytes; anything else keeps `version`.
void parseVersion(const std::string& dotted, std::array<std::uint8_t, 4>& version)
{
    std::array<std::uint8_t, 4> parsed{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        const std::size_t end = dotted.find('.', at);
        const std::string part = dotted.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos
            || std::stoi(part) > 255 || (i < 3) == (end == std::string::npos))
            return;
        parsed[i] = static_cast<std::uint8_t>(std::stoi(part));
        at = end + 1;
    }
    version = parsed;
}

// The error that every flock of the cache folders fails with, as on a file
// system without working locks.
std::atomic<int> g_flockError{0};

int failingFlock(int, int)
{
    errno = g_flockError.load();
    return -1;
}

void failFlockAsNamed(const std::string& name)
{
    const int error = name == "ENOLCK" ? ENOLCK : name == "ENOSYS" ? ENOSYS : name == "EOPNOTSUPP" ? EOPNOTSUPP : 0;
    if (error == 0)
        return;
    g_flockError = error;
    FolderLock::setFunctionForTests(failingFlock);
}

} // namespace

DemoEquipment::DemoEquipment() : ports(std::make_shared<sim::SimulatedMidiPorts>())
{
    const unsigned speedup = static_cast<unsigned>(std::max(1, number("KOVRA_DEMO_SPEEDUP", 1)));
    zq::Clock::setSpeedup(speedup);
    // The stand-in Bluetooth library reads it when it downloads.
    setenv("KOVRA_STANDIN_SPEEDUP", std::to_string(speedup).c_str(), 1);
    commands = std::make_unique<DemoCommandRoot>(speedup);
    failFlockAsNamed(text("KOVRA_DEMO_NO_FLOCK"));

    const int bluetoothUpdateMs = number("KOVRA_DEMO_BT_UPDATE_MS", -1);
    if (bluetoothUpdateMs >= 0)
        ports->setBluetoothUpdateMs(bluetoothUpdateMs);
    ports->setReturnLast(number("KOVRA_DEMO_RETURN_LAST", 0) == 1);
    const int count = std::max(0, number("KOVRA_DEMO_AMPLIFIERS", 1));
    const std::string resetFail = text("KOVRA_DEMO_RESET_FAIL");
    // One more when the first is swapped for another: it comes last.
    const bool swap = count > 0 && number("KOVRA_DEMO_SWAP_IN_BOOTLOADER", 0) == 1;
    for (int i = 0; i < count + (swap ? 1 : 0); ++i) {
        auto amplifier = std::make_unique<DemoAmplifier>();
        amplifier->config.deviceId[7] = static_cast<std::uint8_t>(i + 1);
        amplifier->config.serialNumber = text("KOVRA_DEMO_SERIAL", "KT10A24" + std::to_string(10001 + i));
        amplifier->config.modelName = text("KOVRA_DEMO_MODEL", amplifier->config.modelName);
        parseVersion(text("KOVRA_DEMO_MCU_VERSION"), amplifier->config.mcuVersion);
        amplifier->config.btVersion = text("KOVRA_DEMO_BT_VERSION", amplifier->config.btVersion);
        amplifier->bootloader.applicationStatus = static_cast<std::uint8_t>(number("KOVRA_DEMO_FW_STATUS", 1));
        amplifier->faults.refuseBluetoothMode = number("KOVRA_DEMO_REFUSE_BT_MODE", 0) == 1;
        amplifier->faults.identityReplySid = number("KOVRA_DEMO_IDENTITY_REPLY_SID", -1);
        amplifier->bootloader.knobs.infoPayloadBytes = number("KOVRA_DEMO_INFO_PAYLOAD", -1);
        amplifier->faults.bootloaderIgnoresProbe = number("KOVRA_DEMO_BOOTLOADER_NO_PROBE", 0) == 1;
        if (resetFail == "bt")
            amplifier->config.resetReplyByte[1] = 0x11;
        if (resetFail == "mcu")
            amplifier->config.resetReplyByte[0] = 0x11;
        if (i == 0) {
            sim::BootloaderKnobs& knobs = amplifier->bootloader.knobs;
            const int refuse = number("KOVRA_DEMO_REFUSE_CHUNK", -1);
            if (refuse >= 0) {
                knobs.refuseChunk = refuse;
                knobs.refuseTimes = std::max(1, number("KOVRA_DEMO_REFUSE_TIMES", 1));
            }
            knobs.answerWritesTwice = number("KOVRA_DEMO_ANSWER_TWICE", 0) == 1;
            knobs.silentFromChunk = number("KOVRA_DEMO_SILENT_FROM_CHUNK", -1);
            amplifier->unplugAfterChunks = number("KOVRA_DEMO_UNPLUG_AFTER_CHUNKS", -1);
        }
        if (i == count) {
            amplifier->bootloader.startInBootloader();
            standIn = std::move(amplifier);
        } else {
            amplifiers.push_back(std::move(amplifier));
        }
    }
    const int plugAfterMs = std::max(0, number("KOVRA_DEMO_PLUG_AFTER_MS", 0));
    const bool busyReturn =
        number("KOVRA_DEMO_BUSY_RETURN", 0) == 1 && !amplifiers.empty() && !commands->installerStartedMark().empty();
    if (plugAfterMs == 0)
        plugAmplifiers();
    // Before the timeline starts, which may plug the amplifiers in later.
    if (number("KOVRA_DEMO_KEYBOARD", 0) == 1) {
        keyboard = ports->plugDevice("MIDI Keyboard", "MIDI Keyboard");
        if (!plugged.empty())
            keyboardLeavesWithTheFirst();
    }
    if (plugAfterMs > 0 || busyReturn) {
        timeline = std::thread([this, plugAfterMs, busyReturn] {
            std::unique_lock<std::mutex> lock(timelineMutex);
            if (plugAfterMs > 0) {
                if (ended.wait_for(lock, std::chrono::milliseconds(plugAfterMs), [this] { return ending; }))
                    return;
                plugAmplifiers();
            }
            if (busyReturn)
                returnBusyDuringInstallation(lock);
        });
    }
    const int batteryMs = number("KOVRA_DEMO_BATT_STATUS_MS", 0);
    if (batteryMs > 0 && !amplifiers.empty()) {
        battery = std::thread([this, batteryMs] {
            std::unique_lock<std::mutex> lock(timelineMutex);
            while (pause(lock, static_cast<std::uint32_t>(batteryMs)))
                if (!plugged.empty())
                    ports->play(plugged.front(), sim::BatteryStatusMessage());
        });
    }

    zq::setMidiPortSystem(ports);
}

void DemoEquipment::plugAmplifiers()
{
    std::weak_ptr<sim::SimulatedMidiPorts> weak = ports;
    const int opens = number("KOVRA_DEMO_OPENS", -1);
    for (std::size_t i = 0; i < amplifiers.size(); ++i) {
        const sim::SimulatedMidiPorts::Device device =
            ports->plugAmplifier(*amplifiers[i], i == 0 ? "Kovra TIKO" : "Kovra TIKO " + std::to_string(i + 1));
        plugged.push_back(device);
        if (i == 0 && opens >= 0)
            ports->limitOpens(device, opens);
        if (i == 0) {
            const std::string bootloaderName = text("KOVRA_DEMO_BOOTLOADER_NAME");
            if (!bootloaderName.empty())
                ports->setBootloaderName(device, bootloaderName);
            if (standIn)
                ports->swapOnReturn(device, ports->addAmplifierAway(*standIn, "Kovra TIKO"));
        }
        amplifiers[i]->unplug = [weak, device] {
            if (auto p = weak.lock())
                p->unplug(device);
        };
    }
    if (keyboard >= 0 && !plugged.empty())
        keyboardLeavesWithTheFirst();
}

void DemoEquipment::keyboardLeavesWithTheFirst()
{
    if (number("KOVRA_DEMO_KEYBOARD_LEAVES", 0) == 1)
        ports->leaveWith(keyboard, plugged.front());
}

bool DemoEquipment::pause(std::unique_lock<std::mutex>& lock, std::uint32_t ms)
{
    return !ended.wait_for(lock, zq::Clock::duration(ms), [this] { return ending; });
}

void DemoEquipment::returnBusyDuringInstallation(std::unique_lock<std::mutex>& lock)
{
    std::error_code ignored;
    while (!std::filesystem::exists(commands->installerStartedMark(), ignored))
        if (ended.wait_for(lock, std::chrono::milliseconds(20), [this] { return ending; }))
            return;
    // Away for longer than two polling periods, so that the program sees it
    // gone; back with ports that open for the program's next two probes (each
    // opens the input and the output, then the found device once more) but
    // not for the connection that follows them.
    ports->unplug(plugged.front());
    ports->limitOpens(plugged.front(), 8);
    if (pause(lock, 5000))
        ports->replug(plugged.front());
}

DemoEquipment::~DemoEquipment()
{
    {
        std::lock_guard<std::mutex> lock(timelineMutex);
        ending = true;
    }
    ended.notify_all();
    if (timeline.joinable())
        timeline.join();
    if (battery.joinable())
        battery.join();
    zq::setMidiPortSystem(nullptr);
    ports.reset();
}

void DemoEquipment::writeReport() const
{
    const std::string path = text("KOVRA_DEMO_REPORT");
    if (path.empty())
        return;
    std::ofstream report(path);
    std::vector<const sim::SimulatedAmplifier*> all;
    for (const auto& amplifier : amplifiers)
        all.push_back(amplifier.get());
    if (standIn)
        all.push_back(standIn.get());
    for (std::size_t i = 0; i < all.size(); ++i) {
        const sim::SimulatedAmplifier& amplifier = *all[i];
        report << "amplifier " << i + 1 << " messages " << amplifier.receivedCount() << " chunks "
               << amplifier.bootloader.chunksWritten() << " refusals " << amplifier.bootloader.refusals() << " flash "
               << flashCheckName(amplifier.bootloader.flashCheck()) << " switches";
        for (std::uint8_t status : amplifier.bootloader.statusSwitches())
            report << ' ' << static_cast<int>(status);
        report << '\n';
    }
}
