// The 7-bit unpacking and the frame decoders on arbitrary bytes, and the
// packing round trip. Only the documented exceptions may leave a decoder.
#include "device/core/MessageStackCodec.h"
#include "device/core/MivoSeriesStackCodec.h"
#include "device/core/SevenBitsCodec.h"
#include "device/core/SysExCommandCodec.h"
#include "device/core/ZQSysEx.h"
#include "fuzz/FuzzCheck.h"

#include <cstring>
#include <memory>
#include <stdexcept>

using zq::ByteVector;

namespace {

// Exactly what packing produces: 7-bit bytes, no header bits beyond the
// group, no lone trailing header.
bool isCanonicalPacking(const ByteVector& packed)
{
    for (std::size_t group = 0; group < packed.size(); group += 8) {
        if (packed.size() - group == 1)
            return false;
        const std::size_t dataBytes = std::min<std::size_t>(7, packed.size() - group - 1);
        if (packed[group] >> dataBytes)
            return false;
        for (std::size_t i = group; i < std::min(packed.size(), group + 8); ++i)
            if (packed[i] & 0x80)
                return false;
    }
    return true;
}

// The frame rules the decoders apply: only the length and the checksum count.
void checkFrameDecode(const zq::MessageCodec& codec, const ByteVector& frame, bool unpacks)
{
    const bool longEnough = frame.size() >= 7;
    const bool checksumMatches = longEnough && ZQSysEx::Checksum(frame.data() + 6, frame.size() - 7) == frame[3];
    try {
        const ByteVector result = codec.decode(frame);
        FUZZ_CHECK(longEnough && checksumMatches);
        const ByteVector payload(frame.begin() + 6, frame.end() - 1);
        FUZZ_CHECK(result == (unpacks ? ZQSysEx::Unpack(payload.data(), payload.size()) : payload));
    } catch (const std::length_error&) {
        FUZZ_CHECK(!longEnough);
    } catch (const std::runtime_error& e) {
        FUZZ_CHECK(std::strcmp(e.what(), "checksum mismatched") == 0);
        FUZZ_CHECK(longEnough && !checksumMatches);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ByteVector bytes(data, data + size);
    const zq::SevenBitsCodec sevenBits;

    // The input as packed data.
    const ByteVector unpacked = ZQSysEx::Unpack(data, size);
    FUZZ_CHECK(unpacked.size() == ZQSysEx::UnpackedSize(size));
    FUZZ_CHECK(sevenBits.decode(bytes) == unpacked);
    if (isCanonicalPacking(bytes))
        FUZZ_CHECK(sevenBits.encode(unpacked) == bytes);

    // The input as 8-bit data: packing into exactly the room the formula
    // gives, and back.
    const std::size_t packedSize = ZQSysEx::PackedSize(size);
    std::unique_ptr<std::uint8_t[]> packed(new std::uint8_t[packedSize]);
    FUZZ_CHECK(ZQSysEx::SetupMidiDataFromGeneralData(packed.get(), data, static_cast<std::uint32_t>(size))
               == packedSize);
    const ByteVector packedBytes(packed.get(), packed.get() + packedSize);
    for (std::uint8_t b : packedBytes)
        FUZZ_CHECK(b < 0x80);
    FUZZ_CHECK(sevenBits.encode(bytes) == packedBytes);
    FUZZ_CHECK(ZQSysEx::Unpack(packedBytes.data(), packedBytes.size()) == bytes);

    // The input as a received frame, decoded by codecs built with ids taken
    // from it (the decoders compare none of them).
    const std::uint8_t sid = size > 0 ? data[0] & 0x3F : 0;
    const std::uint8_t op1 = size > 1 ? data[1] : 0;
    const std::uint8_t op2 = size > 2 ? data[2] : 0;
    checkFrameDecode(zq::SysExCommandCodec(sid, op1, op2), bytes, false);
    checkFrameDecode(zq::MivoSeriesStackCodec(sid, op1, op2), bytes, true);
    FUZZ_CHECK(zq::MessageStackCodec().decode(bytes) == bytes);

    // And as a request payload: framed, then taken apart again.
    const zq::MivoSeriesStackCodec codec(sid, op1, op2);
    const ByteVector frame = codec.encode(bytes);
    FUZZ_CHECK(frame.size() == codec.expectedEncodedSize(size) && frame.size() == packedSize + 7);
    FUZZ_CHECK(frame[0] == 0xF0 && frame[1] == 0x01 && frame[2] == sid && frame[4] == op1 && frame[5] == op2
               && frame.back() == 0xF7);
    FUZZ_CHECK(codec.decode(frame) == bytes);
    return 0;
}
