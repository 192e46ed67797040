#pragma once

#include "simamp/bootloader/SimulatedBootloader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

struct AmplifierConfig {
    std::array<std::uint8_t, 8> deviceId{0x4B, 0x54, 0x31, 0x30, 0x00, 0x00, 0x00, 0x01};
    std::string modelName = "Kovra TIKO";
    std::string serialNumber = "KT10A2400001";
    std::array<std::uint8_t, 4> mcuVersion{1, 11, 2, 75};
    std::string btVersion = "0107";
    std::int32_t hardwareType = 20;
    // Byte 4 of the factory-reset reply, per target (0 = MCU, 1 = Bluetooth).
    std::array<std::uint8_t, 2> resetReplyByte{0x10, 0x10};
};

struct FaultKnobs {
    bool noReply = false;
    int replyDelayMs = 0; // product milliseconds, run through zq::Clock
    bool wrongChecksum = false;
    int splitInto = 1;                // deliveries per reply
    bool noiseBefore = false;         // note, B0, C0 and a foreign SysEx before a reply
    bool noiseBetween = false;        // the same after a reply, before the next one
    bool noiseInside = false;         // a note message between the pieces of a split reply
    bool refuseBluetoothMode = false; // the send of "SetFwStatus" 02 fails on the port
    // The model-name and serial-number replies carry this session id
    // instead of the request's (-1).
    int identityReplySid = -1;
    // In its bootloader the amplifier does not answer the probe request.
    bool bootloaderIgnoresProbe = false;
};

// One delivery to the host: the bytes the MIDI system hands over at once.
using Delivery = Bytes;

// A model of the amplifier's command handling. It takes complete MIDI
// messages and gives the deliveries that answer them; a transport (loopback
// or simulated ports) carries both ways and applies the delay.
class SimulatedAmplifier {
public:
    explicit SimulatedAmplifier(AmplifierConfig config = {});
    virtual ~SimulatedAmplifier() = default;

    std::vector<Delivery> receive(const std::uint8_t* data, std::size_t length);
    // Whether a transport fails to send `message` to the amplifier at all.
    bool refusesToTake(const Bytes& message) const;

    Bytes commandReply(std::uint8_t sid, std::uint8_t op1, std::uint8_t op2, const Bytes& data) const;

    std::vector<Bytes> receivedMessages() const;
    std::size_t receivedCount() const;

    // The delay, in product milliseconds, of the replies that the last
    // receive gave: faults.replyDelayMs plus a late bootloader answer's.
    int replyDelayMs() const;

    AmplifierConfig config;
    FaultKnobs faults;
    // Answers the bootloader messages; its own knobs and what it was written.
    SimulatedBootloader bootloader;

    // Called with the status of every "SetFwStatus" the amplifier takes (00
    // into the bootloader, 01 back out, 02 Bluetooth update mode); a port
    // system uses it to drop and bring back the amplifier's ports.
    std::function<void(std::uint8_t status)> onFirmwareStatusSwitch;

protected:
    // Bootloader messages and other dialects; returns false when not handled.
    virtual bool handleOther(const Bytes& message, std::vector<Bytes>& replies);
    std::vector<Delivery> shape(const std::vector<Bytes>& replies) const;

    mutable std::mutex mutex;
    std::vector<Bytes> received;
    int lastReplyDelayMs = 0;
};

Bytes noiseMessages();

} // namespace sim
