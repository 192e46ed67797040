#pragma once

#include "device/bootloader/BootloaderMessages.h"
#include "device/core/ZQSysEx.h"
#include "simamp/bootloader/SimulatedBootloader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace boottest {

using Bytes = std::vector<std::uint8_t>;

// Bootloader messages are built here byte by byte, apart from the product's
// helpers, so that an expectation never shares a fault with the code it checks.
inline Bytes Message(const char* tag, const Bytes& arguments = {})
{
    Bytes m{0xF0};
    for (const char* c = tag; *c != '\0'; ++c)
        m.push_back(static_cast<std::uint8_t>(*c));
    m.insert(m.end(), arguments.begin(), arguments.end());
    m.push_back(0xF7);
    return m;
}

// The 7-bit packing: each group of up to 7 bytes becomes a header holding
// their top bits (bit i for byte i), then the bytes without their top bit.
inline Bytes Packed(const Bytes& data)
{
    Bytes out;
    for (std::size_t at = 0; at < data.size(); at += 7) {
        const std::size_t header = out.size();
        out.push_back(0);
        for (std::size_t i = 0; i < 7 && at + i < data.size(); ++i) {
            out[header] = static_cast<std::uint8_t>(out[header] | ((data[at + i] >> 7) << i));
            out.push_back(data[at + i] & 0x7F);
        }
    }
    return out;
}

// The 8-bit wrap-around sum of the bytes.
inline std::uint8_t WrappedSum(const Bytes& bytes)
{
    unsigned total = 0;
    for (const std::uint8_t b : bytes)
        total += b;
    return static_cast<std::uint8_t>(total % 256);
}

// A whole 310-byte "WriteFlash": the offset in four 7-bit bytes, least
// significant first, then the packed image bytes (zero-padded to 256) and
// the given checksum byte.
inline Bytes WriteFlashMessage(std::uint32_t offset, Bytes imageBytes, std::uint8_t checksum)
{
    imageBytes.resize(256, 0);
    imageBytes.push_back(checksum);
    Bytes arguments;
    for (int shift = 0; shift < 28; shift += 7)
        arguments.push_back(static_cast<std::uint8_t>((offset >> shift) & 0x7F));
    const Bytes packed = Packed(imageBytes);
    arguments.insert(arguments.end(), packed.begin(), packed.end());
    return Message("WriteFlash", arguments);
}

inline bool Is(const Bytes& m, const char* tag) { return bootloader::HasTag(m.data(), m.size(), tag); }

inline std::vector<Bytes> Only(const std::vector<Bytes>& messages, const char* tag)
{
    std::vector<Bytes> out;
    for (const Bytes& m : messages)
        if (Is(m, tag))
            out.push_back(m);
    return out;
}

// The tags of the messages, in order, for readable expectations.
inline std::vector<std::string> Tags(const std::vector<Bytes>& messages)
{
    std::vector<std::string> out;
    for (const Bytes& m : messages) {
        std::string tag;
        for (std::size_t i = 1; i < m.size() && m[i] >= 'A' && m[i] <= 'z'; ++i)
            tag += static_cast<char>(m[i]);
        if (tag == bootloader::kSetFwStatus && m.size() > bootloader::kFwStatusIndex)
            tag += m[bootloader::kFwStatusIndex] == 0 ? " 00" : m[bootloader::kFwStatusIndex] == 1 ? " 01" : " ?";
        out.push_back(tag);
    }
    return out;
}

// The 257 chunk bytes of a "WriteFlash".
inline Bytes Chunk(const Bytes& writeFlash)
{
    return ZQSysEx::Unpack(writeFlash.data() + bootloader::kFlashChunkIndex, bootloader::kPackedChunkBytes);
}

inline Bytes Pattern(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 37 + (i >> 8) + 0x81);
    return b;
}

} // namespace boottest
