#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zq {

using ByteVector = std::vector<std::uint8_t>;

// Turns one byte vector into another; the codecs chain into a stack that
// builds and takes apart the command frames.
class MessageCodec {
public:
    virtual ~MessageCodec() = default;
    virtual ByteVector encode(const ByteVector& data) const = 0;
    virtual ByteVector decode(const ByteVector& data) const = 0;
    virtual std::size_t expectedEncodedSize(std::size_t n) const = 0;
    virtual std::size_t expectedDecodedSize(std::size_t m) const = 0;

    ByteVector prepareEncodeSpace(std::size_t n) const;
    ByteVector prepareDecodeSpace(std::size_t m) const;
};

} // namespace zq
