#include "simamp/SimulatedAmplifier.h"

#include "simamp/WireFormat.h"

#include <algorithm>

namespace sim {

namespace {

// A frame whose checksum is wrong is not taken, as the amplifier would not.
bool isCommandFrame(const Bytes& m)
{
    return m.size() >= 7 && m[0] == 0xF0 && m[1] == 0x01 && m.back() == 0xF7 && wire::checksumHolds(m);
}

bool isSetFwStatus(const Bytes& m)
{
    return m.size() == wire::kSetFwStatusBytes && m.back() == 0xF7 && wire::hasTag(m, wire::tag::kSetFwStatus);
}

} // namespace

Bytes noiseMessages() { return {0x90, 0x3C, 0x40, 0xB0, 0x07, 0x64, 0xC0, 0x05, 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}; }

SimulatedAmplifier::SimulatedAmplifier(AmplifierConfig c) : config(std::move(c)) {}

Bytes SimulatedAmplifier::commandReply(std::uint8_t sid, std::uint8_t op1, std::uint8_t op2, const Bytes& data) const
{
    Bytes frame = wire::commandFrame(sid, op1, op2, data);
    if (faults.wrongChecksum)
        frame[3] = static_cast<std::uint8_t>((frame[3] + 1) & 0x7F);
    return frame;
}

std::vector<Delivery> SimulatedAmplifier::receive(const std::uint8_t* data, std::size_t length)
{
    const Bytes message(data, data + length);
    std::vector<Bytes> replies;
    {
        std::lock_guard<std::mutex> lock(mutex);
        received.push_back(message);
    }

    if (!handleOther(message, replies) && isCommandFrame(message)) {
        const std::uint8_t op1 = message[4];
        const std::uint8_t op2 = message[5];
        const bool identity = op1 == 0x02 && (op2 == 0x11 || op2 == 0x23);
        const auto sid =
            static_cast<std::uint8_t>(identity && faults.identityReplySid >= 0 ? faults.identityReplySid : message[2]);
        if (op1 == 0x02 && op2 == 0x12) {
            if (!faults.bootloaderIgnoresProbe || !bootloader.inBootloader())
                replies.push_back(commandReply(sid, 0x03, 0x12, Bytes(config.deviceId.begin(), config.deviceId.end())));
        } else if (op1 == 0x02 && op2 == 0x11) {
            replies.push_back(commandReply(sid, 0x03, 0x11, Bytes(config.modelName.begin(), config.modelName.end())));
        } else if (op1 == 0x02 && op2 == 0x23) {
            replies.push_back(
                commandReply(sid, 0x02, 0x23, Bytes(config.serialNumber.begin(), config.serialNumber.end())));
        } else if (op1 == 0x09 && (op2 == 0x00 || op2 == 0x01)) {
            replies.push_back(commandReply(sid, config.resetReplyByte[op2], op2, {}));
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        lastReplyDelayMs = faults.replyDelayMs + bootloader.takeExtraDelayMs();
    }
    if (faults.noReply)
        return {};
    return shape(replies);
}

bool SimulatedAmplifier::refusesToTake(const Bytes& message) const
{
    return faults.refuseBluetoothMode && isSetFwStatus(message) && message[wire::kStatusAt] == wire::kBluetoothUpdate;
}

bool SimulatedAmplifier::handleOther(const Bytes& message, std::vector<Bytes>& replies)
{
    if (isSetFwStatus(message)) {
        const std::uint8_t status = message[wire::kStatusAt];
        bootloader.setFwStatus(status);
        if (onFirmwareStatusSwitch)
            onFirmwareStatusSwitch(status);
        return true;
    }
    return bootloader.handle(message, {config.mcuVersion, config.hardwareType, config.btVersion}, replies);
}

std::vector<Delivery> SimulatedAmplifier::shape(const std::vector<Bytes>& replies) const
{
    std::vector<Delivery> deliveries;
    const Bytes noise = noiseMessages();
    for (const Bytes& reply : replies) {
        if (faults.noiseBefore)
            deliveries.push_back(noise);
        const std::size_t pieces = faults.splitInto > 1 ? static_cast<std::size_t>(faults.splitInto) : 1;
        const std::size_t step = (reply.size() + pieces - 1) / pieces;
        for (std::size_t at = 0; at < reply.size(); at += step) {
            if (at > 0 && faults.noiseInside)
                deliveries.push_back({0x90, 0x3C, 0x40});
            deliveries.emplace_back(reply.data() + at, reply.data() + std::min(reply.size(), at + step));
        }
        if (faults.noiseBetween)
            deliveries.push_back(noise);
    }
    return deliveries;
}

std::vector<Bytes> SimulatedAmplifier::receivedMessages() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

int SimulatedAmplifier::replyDelayMs() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lastReplyDelayMs;
}

std::size_t SimulatedAmplifier::receivedCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received.size();
}

} // namespace sim
