#include "device/core/MessageStackCodec.h"
#include "device/core/MivoSeriesStackCodec.h"
#include "device/core/SevenBitsCodec.h"
#include "device/core/SysExCommandCodec.h"
#include "device/core/ZQSysEx.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

using zq::ByteVector;

TEST(SevenBitPacking, WorkedExample)
{
    const ByteVector data{0xFF, 0x00, 0x80, 0x01, 0x02, 0x03, 0x04, 0x85};
    EXPECT_EQ(zq::SevenBitsCodec().encode(data),
              (ByteVector{0x05, 0x7F, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x01, 0x05}));

    ByteVector out(10, 0xEE);
    EXPECT_EQ(ZQSysEx::SetupMidiDataFromGeneralData(out.data(), data.data(), 8), 10u);
    EXPECT_EQ(out, zq::SevenBitsCodec().encode(data));
    EXPECT_EQ(ZQSysEx::SetupMidiDataFromGeneralData(out.data(), data.data(), 0), 0u);
}

TEST(SevenBitPacking, Sizes)
{
    struct Case {
        std::size_t in;
        std::size_t packed;
    };
    const zq::SevenBitsCodec codec;
    for (const Case c : {Case{0, 0}, Case{1, 2}, Case{6, 7}, Case{7, 8}, Case{8, 10}, Case{92, 106}, Case{257, 294}}) {
        EXPECT_EQ(codec.expectedEncodedSize(c.in), c.packed) << c.in;
        EXPECT_EQ(codec.encode(ByteVector(c.in, 0xAB)).size(), c.packed) << c.in;
    }
    struct Unpack {
        std::size_t packed;
        std::size_t out;
    };
    for (const Unpack c : {Unpack{0, 0}, Unpack{1, 0}, Unpack{2, 1}, Unpack{9, 7}, Unpack{106, 92}, Unpack{294, 257}}) {
        EXPECT_EQ(codec.expectedDecodedSize(c.packed), c.out) << c.packed;
        EXPECT_EQ(codec.decode(ByteVector(c.packed, 0x11)).size(), c.out) << c.packed;
    }
}

TEST(SevenBitPacking, RoundTripKeepsEveryTopBit)
{
    std::mt19937 random(7);
    const zq::SevenBitsCodec codec;
    for (std::size_t n = 0; n < 300; n += 1 + n / 8) {
        ByteVector data(n);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random());
        const ByteVector packed = codec.encode(data);
        for (auto b : packed)
            ASSERT_LT(b, 0x80);
        EXPECT_EQ(codec.decode(packed), data) << n;
    }
}

TEST(SevenBitPacking, UnpackOrsDataBytesAsTheyAre)
{
    // Top bit of a data byte is not cleared on the way in.
    EXPECT_EQ(zq::SevenBitsCodec().decode({0x00, 0x81}), (ByteVector{0x81}));
}

TEST(CommandFrame, EncodeAndDecode)
{
    const zq::SysExCommandCodec codec(5, 0x02, 0x11);
    EXPECT_EQ(codec.encode({}), (ByteVector{0xF0, 0x01, 0x05, 0x00, 0x02, 0x11, 0xF7}));
    EXPECT_EQ(codec.encode({0x61, 0x62, 0x63}),
              (ByteVector{0xF0, 0x01, 0x05, 0x60, 0x02, 0x11, 0x61, 0x62, 0x63, 0xF7}));
    EXPECT_EQ(codec.header[3], 0x60);

    EXPECT_TRUE(codec.decode({0xF0, 0x01, 0x05, 0x00, 0x02, 0x11, 0xF7}).empty());
    EXPECT_EQ(codec.decode({0xF0, 0x01, 0x05, 0x60, 0x02, 0x11, 0x61, 0x62, 0x63, 0xF7}),
              (ByteVector{0x61, 0x62, 0x63}));
}

TEST(CommandFrame, DecodeFailures)
{
    const zq::SysExCommandCodec codec(0, 0, 0);
    try {
        codec.decode({0xF0, 0x01, 0x05, 0x01, 0x02, 0x11, 0xF7});
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "checksum mismatched");
    }
    for (std::size_t n = 0; n <= 6; ++n)
        EXPECT_THROW(codec.decode(ByteVector(n, 0)), std::length_error) << n;
    EXPECT_THROW(zq::MivoSeriesStackCodec(0, 0, 0).decode(ByteVector(6, 0)), std::length_error);
}

TEST(MivoSeriesStack, PacksThenFramesAndIgnoresIdsOnDecode)
{
    const zq::MivoSeriesStackCodec codec(5, 0x02, 0x11);
    const ByteVector data{0xFF, 0x00, 0x80, 0x01, 0x02, 0x03, 0x04, 0x85};
    const ByteVector frame = codec.encode(data);
    ASSERT_EQ(frame.size(), 17u);
    EXPECT_EQ(ByteVector(frame.begin(), frame.begin() + 6),
              (ByteVector{0xF0, 0x01, 0x05, ZQSysEx::Checksum(frame.data() + 6, 10), 0x02, 0x11}));
    EXPECT_EQ(codec.expectedEncodedSize(8), 17u);
    EXPECT_EQ(codec.expectedDecodedSize(17), 8u);

    // Another session id and other operation bytes: only the checksum counts.
    EXPECT_EQ(zq::MivoSeriesStackCodec(9, 0x03, 0x12).decode(frame), data);
}

TEST(MivoSeriesStack, ChainIsFixed)
{
    zq::MivoSeriesStackCodec codec(1, 0x02, 0x23);
    try {
        codec.addCodec(std::make_unique<zq::SevenBitsCodec>());
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "MIVO series should not call this function");
    }
    EXPECT_EQ(codec.codecs.size(), 2u);
    EXPECT_EQ(codec.encode({0x81}), (ByteVector{0xF0, 0x01, 0x01, 0x01 ^ 0x01, 0x02, 0x23, 0x01, 0x01, 0xF7}));
}

TEST(MessageStack, EmptyChainCopiesAndAddCodecAppends)
{
    zq::MessageStackCodec stack;
    const ByteVector data{0x90, 0x10};
    EXPECT_EQ(stack.encode(data), data);
    EXPECT_EQ(stack.decode(data), data);
    EXPECT_EQ(stack.expectedEncodedSize(5), 5u);

    stack.addCodec(std::make_unique<zq::SevenBitsCodec>());
    stack.addCodec(std::make_unique<zq::SysExCommandCodec>(2, 0x03, 0x11));
    EXPECT_EQ(stack.encode(data), zq::MivoSeriesStackCodec(2, 0x03, 0x11).encode(data));
    EXPECT_EQ(stack.decode(stack.encode(data)), data);
}
