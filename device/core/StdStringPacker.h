#pragma once

#include "device/core/CMessage.h"

#include <string>

namespace bootloader {

// A payload of raw bytes; zero bytes are kept.
class StdStringPacker : public zqmsgpack::CMessage<std::string> {
public:
    // Refuses a string longer than the buffer rather than cutting it.
    bool pack(std::uint8_t* buffer, std::size_t capacity, std::uint8_t** out, std::size_t* outLength) override;
    bool unpack(const std::uint8_t* data, std::size_t length) override;
};

} // namespace bootloader
