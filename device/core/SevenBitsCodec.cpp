#include "device/core/SevenBitsCodec.h"

#include "device/core/ZQSysEx.h"

namespace zq {

ByteVector SevenBitsCodec::encode(const ByteVector& data) const
{
    ByteVector out = prepareEncodeSpace(data.size());
    ZQSysEx::SetupMidiDataFromGeneralData(out.data(), data.data(), static_cast<std::uint32_t>(data.size()));
    return out;
}

ByteVector SevenBitsCodec::decode(const ByteVector& packed) const
{
    return ZQSysEx::Unpack(packed.data(), packed.size());
}

std::size_t SevenBitsCodec::expectedEncodedSize(std::size_t n) const { return ZQSysEx::PackedSize(n); }

std::size_t SevenBitsCodec::expectedDecodedSize(std::size_t m) const { return ZQSysEx::UnpackedSize(m); }

} // namespace zq
