#pragma once

#include "device/core/MessageCodec.h"

#include <array>

namespace zq {

// Frames a payload as F0 01 sid checksum op1 op2 payload F7.
class SysExCommandCodec : public MessageCodec {
public:
    SysExCommandCodec(std::uint8_t sid, std::uint8_t op1, std::uint8_t op2);

    ByteVector encode(const ByteVector& payload) const override;
    // Only the checksum is checked: the session id and operation bytes of the
    // frame are taken as they come.
    ByteVector decode(const ByteVector& frame) const override;
    std::size_t expectedEncodedSize(std::size_t n) const override;
    std::size_t expectedDecodedSize(std::size_t m) const override;

    // encode() is const but writes the checksum here.
    mutable std::array<std::uint8_t, 6> header;
};

} // namespace zq
