#include "device/core/StdStringPacker.h"

#include <cstring>

namespace bootloader {

bool StdStringPacker::pack(std::uint8_t* buffer, std::size_t capacity, std::uint8_t** out, std::size_t* outLength)
{
    if (value.size() > capacity)
        return false;
    if (!value.empty())
        std::memcpy(buffer, value.data(), value.size());
    *out = buffer;
    *outLength = value.size();
    return true;
}

bool StdStringPacker::unpack(const std::uint8_t* data, std::size_t length)
{
    value.assign(reinterpret_cast<const char*>(data), length);
    return true;
}

} // namespace bootloader
