#pragma once

#include <cstdint>
#include <vector>

namespace sim {

// Cuts a MIDI byte stream into complete messages as a MIDI system's input
// does: a SysEx only once its F7 has come (one broken off by another status
// byte is dropped), real-time bytes at once, channel messages with running
// status. Stray data bytes are dropped.
class MidiStreamParser {
public:
    using Message = std::vector<std::uint8_t>;

    std::vector<Message> feed(const std::uint8_t* data, std::size_t length);
    void reset();

private:
    void startMessage(std::uint8_t status, std::vector<Message>& out);

    Message pending;
    std::size_t expected = 0; // length of the pending short message; 0 = none
    bool inSysEx = false;
    std::uint8_t runningStatus = 0;
};

} // namespace sim
