#include "simamp/ports/MidiStreamParser.h"

namespace sim {

namespace {

std::size_t lengthOf(std::uint8_t status)
{
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 2 : 3; // Cx, Dx take one data byte
    switch (status) {
    case 0xF1:
    case 0xF3: return 2;
    case 0xF2: return 3;
    default: return 1;
    }
}

} // namespace

void MidiStreamParser::reset()
{
    pending.clear();
    expected = 0;
    inSysEx = false;
    runningStatus = 0;
}

void MidiStreamParser::startMessage(std::uint8_t status, std::vector<Message>& out)
{
    pending.assign(1, status);
    expected = lengthOf(status);
    runningStatus = status < 0xF0 ? status : 0;
    if (expected == 1) {
        out.push_back(pending);
        pending.clear();
        expected = 0;
    }
}

std::vector<MidiStreamParser::Message> MidiStreamParser::feed(const std::uint8_t* data, std::size_t length)
{
    std::vector<Message> out;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = data[i];
        if (b >= 0xF8) {
            out.push_back({b});
        } else if (b == 0xF0) {
            pending.assign(1, b);
            expected = 0;
            inSysEx = true;
            runningStatus = 0;
        } else if (b == 0xF7) {
            if (inSysEx) {
                pending.push_back(b);
                out.push_back(pending);
            }
            pending.clear();
            expected = 0;
            inSysEx = false;
            runningStatus = 0;
        } else if (b >= 0x80) {
            inSysEx = false;
            startMessage(b, out);
        } else if (inSysEx) {
            pending.push_back(b);
        } else if (expected > 0) {
            pending.push_back(b);
            if (pending.size() == expected) {
                out.push_back(pending);
                pending.clear();
                expected = 0;
            }
        } else if (runningStatus != 0) {
            pending.assign({runningStatus, b});
            expected = lengthOf(runningStatus);
            if (pending.size() == expected) {
                out.push_back(pending);
                pending.clear();
                expected = 0;
            }
        }
    }
    return out;
}

} // namespace sim
