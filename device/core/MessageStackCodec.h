#pragma once

#include "device/core/MessageCodec.h"

#include <memory>

namespace zq {

// Encodes through the codecs first to last, decodes last to first.
class MessageStackCodec : public MessageCodec {
public:
    ByteVector encode(const ByteVector& data) const override;
    ByteVector decode(const ByteVector& data) const override;
    std::size_t expectedEncodedSize(std::size_t n) const override;
    std::size_t expectedDecodedSize(std::size_t m) const override;
    virtual void addCodec(std::unique_ptr<MessageCodec> codec);

    std::vector<std::unique_ptr<MessageCodec>> codecs;
};

} // namespace zq
