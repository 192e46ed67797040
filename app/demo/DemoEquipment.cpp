#include "DemoEquipment.h"

#include "Clock.h"
#include "CommandTable.h"
#include "MidiPortSystem.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>

namespace {

std::string environment(const char* name, const std::string& fallback = {})
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : fallback;
}

int environmentNumber(const char* name, int fallback)
{
    const std::string text = environment(name);
    if (text.empty())
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return end != nullptr && *end == '\0' ? static_cast<int>(value) : fallback;
}

const char* flashCheckName(sim::FlashCheck check)
{
    switch (check) {
    case sim::FlashCheck::NotRun: return "not-run";
    case sim::FlashCheck::Passed: return "passed";
    case sim::FlashCheck::NoInfoBlock: return "no-info-block";
    case sim::FlashCheck::ImageChecksum: return "image-checksum";
    case sim::FlashCheck::BlockChecksum: return "block-checksum";
    }
    return "?";
}

// "a.b.c.d" into four bytes; anything else keeps `version`.
void parseVersion(const std::string& text, std::array<std::uint8_t, 4>& version)
{
    std::array<std::uint8_t, 4> parsed{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        const std::size_t end = text.find('.', at);
        const std::string part = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos
            || std::stoi(part) > 255 || (i < 3) == (end == std::string::npos))
            return;
        parsed[i] = static_cast<std::uint8_t>(std::stoi(part));
        at = end + 1;
    }
    version = parsed;
}

} // namespace

DemoEquipment::DemoEquipment() : ports(std::make_shared<sim::SimulatedMidiPorts>())
{
    zq::Clock::setSpeedup(static_cast<std::uint32_t>(std::max(1, environmentNumber("KOVRA_DEMO_SPEEDUP", 1))));

    const std::string root = environment("KOVRA_DEMO_COMMAND_ROOT");
    if (!root.empty()) {
        CommandTable& table = CommandTable::current();
        table.localPython = root + "/usr/local/bin/python";
        table.systemPython = root + "/usr/bin/python";
        table.ln = root + "/bin/ln";
        table.osascript = root + "/bin/osascript";
    }

    const int count = std::max(0, environmentNumber("KOVRA_DEMO_AMPLIFIERS", 1));
    const std::string resetFail = environment("KOVRA_DEMO_RESET_FAIL");
    for (int i = 0; i < count; ++i) {
        auto amplifier = std::make_unique<sim::SimulatedAmplifier>();
        amplifier->config.deviceId[7] = static_cast<std::uint8_t>(i + 1);
        amplifier->config.serialNumber = "KT10A24" + std::to_string(10001 + i);
        amplifier->config.modelName = environment("KOVRA_DEMO_MODEL", amplifier->config.modelName);
        parseVersion(environment("KOVRA_DEMO_MCU_VERSION"), amplifier->config.mcuVersion);
        amplifier->config.btVersion = environment("KOVRA_DEMO_BT_VERSION", amplifier->config.btVersion);
        amplifier->bootloader.applicationStatus =
            static_cast<std::uint8_t>(environmentNumber("KOVRA_DEMO_FW_STATUS", 1));
        if (resetFail == "bt")
            amplifier->config.resetReplyByte[1] = 0x11;
        if (resetFail == "mcu")
            amplifier->config.resetReplyByte[0] = 0x11;
        if (i == 0) {
            const int refuse = environmentNumber("KOVRA_DEMO_REFUSE_CHUNK", -1);
            if (refuse >= 0) {
                amplifier->bootloader.knobs.refuseChunk = refuse;
                amplifier->bootloader.knobs.refuseTimes = 1;
            }
        }
        amplifiers.push_back(std::move(amplifier));
    }
    const int plugAfterMs = std::max(0, environmentNumber("KOVRA_DEMO_PLUG_AFTER_MS", 0));
    if (plugAfterMs == 0) {
        plugAmplifiers();
    } else {
        plugger = std::thread([this, plugAfterMs] {
            std::unique_lock<std::mutex> lock(plugMutex);
            if (!plugCancelled.wait_for(lock, std::chrono::milliseconds(plugAfterMs), [this] { return ending; }))
                plugAmplifiers();
        });
    }
    if (environmentNumber("KOVRA_DEMO_KEYBOARD", 0) == 1)
        ports->plugDevice("MIDI Keyboard", "MIDI Keyboard");

    zq::setMidiPortSystem(ports);
}

void DemoEquipment::plugAmplifiers()
{
    for (std::size_t i = 0; i < amplifiers.size(); ++i)
        ports->plugAmplifier(*amplifiers[i], i == 0 ? "Kovra TIKO" : "Kovra TIKO " + std::to_string(i + 1));
}

DemoEquipment::~DemoEquipment()
{
    if (plugger.joinable()) {
        {
            std::lock_guard<std::mutex> lock(plugMutex);
            ending = true;
        }
        plugCancelled.notify_all();
        plugger.join();
    }
    zq::setMidiPortSystem(nullptr);
    ports.reset();
}

void DemoEquipment::writeReport() const
{
    const std::string path = environment("KOVRA_DEMO_REPORT");
    if (path.empty())
        return;
    std::ofstream report(path);
    for (std::size_t i = 0; i < amplifiers.size(); ++i) {
        const sim::SimulatedAmplifier& amplifier = *amplifiers[i];
        report << "amplifier " << i + 1 << " messages " << amplifier.receivedCount() << " chunks "
               << amplifier.bootloader.chunksWritten() << " refusals " << amplifier.bootloader.refusals() << " flash "
               << flashCheckName(amplifier.bootloader.flashCheck()) << " switches";
        for (std::uint8_t status : amplifier.bootloader.statusSwitches())
            report << ' ' << static_cast<int>(status);
        report << '\n';
    }
}
