#pragma once

#include "BootloaderMessages.h"
#include "SimulatedBootloader.h"
#include "ZQSysEx.h"

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace boottest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Message(const char* tag, const Bytes& arguments = {})
{
    return sim::BootloaderMessage(tag, arguments);
}

inline bool Is(const Bytes& m, const char* tag)
{
    return bootloader::HasTag(m.data(), m.size(), tag);
}

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
