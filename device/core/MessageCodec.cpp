#include "device/core/MessageCodec.h"

namespace zq {

ByteVector MessageCodec::prepareEncodeSpace(std::size_t n) const { return ByteVector(expectedEncodedSize(n), 0); }

// A size that wrapped below zero makes the vector throw std::length_error.
ByteVector MessageCodec::prepareDecodeSpace(std::size_t m) const { return ByteVector(expectedDecodedSize(m), 0); }

} // namespace zq
