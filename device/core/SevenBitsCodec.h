#pragma once

#include "device/core/MessageCodec.h"

namespace zq {

class SevenBitsCodec : public MessageCodec {
public:
    ByteVector encode(const ByteVector& data) const override;
    ByteVector decode(const ByteVector& packed) const override;
    std::size_t expectedEncodedSize(std::size_t n) const override;
    std::size_t expectedDecodedSize(std::size_t m) const override;
};

} // namespace zq
