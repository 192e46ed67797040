#include "device/core/SysExCommandCodec.h"

#include "device/core/ZQSysEx.h"

#include <algorithm>
#include <stdexcept>

namespace zq {

SysExCommandCodec::SysExCommandCodec(std::uint8_t sid, std::uint8_t op1, std::uint8_t op2)
    : header{0xF0, 0x01, sid, 0x00, op1, op2}
{
}

ByteVector SysExCommandCodec::encode(const ByteVector& payload) const
{
    header[3] = ZQSysEx::Checksum(payload.data(), payload.size());
    ByteVector frame;
    frame.reserve(expectedEncodedSize(payload.size()));
    frame.insert(frame.end(), header.begin(), header.end());
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(0xF7);
    return frame;
}

ByteVector SysExCommandCodec::decode(const ByteVector& frame) const
{
    ByteVector payload = prepareDecodeSpace(frame.size());
    std::copy(frame.begin() + 6, frame.end() - 1, payload.begin());
    if (ZQSysEx::Checksum(payload.data(), payload.size()) != frame[3])
        throw std::runtime_error("checksum mismatched");
    return payload;
}

std::size_t SysExCommandCodec::expectedEncodedSize(std::size_t n) const { return n + 7; }

std::size_t SysExCommandCodec::expectedDecodedSize(std::size_t m) const { return m - 7; }

} // namespace zq
