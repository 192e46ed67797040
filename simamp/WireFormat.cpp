#include "simamp/WireFormat.h"

#include <algorithm>
#include <cstring>

namespace sim::wire {

namespace {

std::uint8_t checksumOf(const std::uint8_t* payload, std::size_t length)
{
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < length; ++i)
        x = static_cast<std::uint8_t>(x ^ payload[i]);
    return static_cast<std::uint8_t>(x & 0x7F);
}

} // namespace

Bytes pack(const Bytes& data)
{
    Bytes out;
    for (std::size_t group = 0; group < data.size(); group += 7) {
        const std::size_t headerAt = out.size();
        out.push_back(0);
        for (std::size_t i = 0; i < 7 && group + i < data.size(); ++i) {
            const std::uint8_t b = data[group + i];
            if (b & 0x80)
                out[headerAt] = static_cast<std::uint8_t>(out[headerAt] | (1u << i));
            out.push_back(static_cast<std::uint8_t>(b & 0x7F));
        }
    }
    return out;
}

Bytes unpack(const std::uint8_t* packed, std::size_t length)
{
    Bytes out;
    for (std::size_t group = 0; group + 1 < length; group += 8) {
        const std::uint8_t header = packed[group];
        for (std::size_t j = 1; j < 8 && group + j < length; ++j)
            out.push_back(static_cast<std::uint8_t>(((header >> (j - 1)) & 1u) << 7 | packed[group + j]));
    }
    return out;
}

Bytes commandFrame(std::uint8_t sid, std::uint8_t op1, std::uint8_t op2, const Bytes& data)
{
    const Bytes payload = pack(data);
    Bytes frame(payload.size() + 7);
    frame[0] = 0xF0;
    frame[1] = 0x01;
    frame[2] = sid;
    frame[3] = checksumOf(payload.data(), payload.size());
    frame[4] = op1;
    frame[5] = op2;
    std::copy(payload.begin(), payload.end(), frame.begin() + 6);
    frame.back() = 0xF7;
    return frame;
}

bool checksumHolds(const Bytes& frame)
{
    return frame.size() >= 7 && frame[3] == checksumOf(frame.data() + 6, frame.size() - 7);
}

std::int64_t offset(const std::uint8_t* groups)
{
    std::int64_t value = 0;
    for (int i = 0; i < 4; ++i) {
        if (groups[i] & 0x80)
            return -1;
        value |= static_cast<std::int64_t>(groups[i]) << (7 * i);
    }
    return value;
}

Bytes bootloaderMessage(const char* tag, const Bytes& arguments)
{
    Bytes m{0xF0};
    for (const char* c = tag; *c != '\0'; ++c)
        m.push_back(static_cast<std::uint8_t>(*c));
    m.insert(m.end(), arguments.begin(), arguments.end());
    m.push_back(0xF7);
    return m;
}

bool hasTag(const Bytes& message, const char* tag)
{
    const std::size_t n = std::strlen(tag);
    return message.size() > n && message[0] == 0xF0 && std::memcmp(message.data() + 1, tag, n) == 0;
}

bool isRequest(const Bytes& message, const char* tag)
{
    return message.size() == std::strlen(tag) + 2 && hasTag(message, tag) && message.back() == 0xF7;
}

std::uint32_t readLE32(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8
           | static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

void writeLE32(std::uint32_t value, std::uint8_t* at)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t wordSum(const Bytes& flash, std::size_t first, std::size_t count)
{
    constexpr std::size_t blockFirst = info::kInImageAt / 4;
    constexpr std::size_t blockEnd = blockFirst + info::kBytes / 4;
    std::uint32_t sum = 0;
    for (std::size_t word = first; word < first + count; ++word) {
        if (word * 4 >= flash.size())
            break; // the rest reads as zero
        if (word >= blockFirst && word < blockEnd)
            continue;
        std::uint8_t bytes[4] = {};
        for (std::size_t i = 0; i < 4 && word * 4 + i < flash.size(); ++i)
            bytes[i] = flash[word * 4 + i];
        sum += readLE32(bytes);
    }
    return sum;
}

} // namespace sim::wire
