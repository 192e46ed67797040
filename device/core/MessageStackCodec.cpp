#include "device/core/MessageStackCodec.h"

namespace zq {

ByteVector MessageStackCodec::encode(const ByteVector& data) const
{
    ByteVector value = data;
    for (const auto& codec : codecs)
        value = codec->encode(value);
    return value;
}

ByteVector MessageStackCodec::decode(const ByteVector& data) const
{
    ByteVector value = data;
    for (auto it = codecs.rbegin(); it != codecs.rend(); ++it)
        value = (*it)->decode(value);
    return value;
}

std::size_t MessageStackCodec::expectedEncodedSize(std::size_t n) const
{
    for (const auto& codec : codecs)
        n = codec->expectedEncodedSize(n);
    return n;
}

std::size_t MessageStackCodec::expectedDecodedSize(std::size_t m) const
{
    for (auto it = codecs.rbegin(); it != codecs.rend(); ++it)
        m = (*it)->expectedDecodedSize(m);
    return m;
}

void MessageStackCodec::addCodec(std::unique_ptr<MessageCodec> codec) { codecs.push_back(std::move(codec)); }

} // namespace zq
