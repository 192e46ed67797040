#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bootloader {

// The 92-byte firmware information block: read from the bootloader
// ("GetFwInfo") and carried by every MCU image at offset 1024. Multi-byte
// fields are little-endian on the wire; fromBytes/toBytes convert.
struct FirmwareInfo {
    static constexpr std::size_t kSize = 92;
    static constexpr std::size_t kImageOffset = 0x400;
    static constexpr std::size_t kFirstWord = kImageOffset / 4; // 256
    static constexpr std::size_t kWords = kSize / 4;            // 23
    static constexpr std::size_t kBlockCount = 8;

    struct Block {
        std::uint32_t words;    // length in 32-bit words
        std::uint32_t checksum; // BlockChecksum over those words
    };

    char modelTag[4];
    std::uint8_t reserved[4];
    std::uint8_t mcuVersion[4];
    std::uint32_t imageWords;
    std::uint32_t imageChecksum;
    Block blocks[kBlockCount];
    std::int32_t hardwareType;
    char btVersion[4]; // up to four ASCII characters, the rest zero

    // Takes the first kSize of `length` bytes; a shorter input leaves the
    // rest of the block zero.
    static FirmwareInfo fromBytes(const std::uint8_t* data, std::size_t length);
    void toBytes(std::uint8_t* out) const; // kSize bytes

    // The Bluetooth version up to its first zero byte.
    std::string btVersionText() const;
};

// The block sizes of the compiled-in images, in words.
constexpr std::uint32_t kImageBlockWords[FirmwareInfo::kBlockCount] = {4096,  4096,  16384, 32768,
                                                                       32768, 32768, 32768, 32768};

// Wrap-around 32-bit sum of the image's little-endian words 0 to words-1,
// the 23 words of the information block left out; bytes past `length` read
// as zero.
std::uint32_t ImageChecksum(const std::uint8_t* image, std::size_t length, std::uint32_t words);

// The checksum of one entry of the block table: the same sum over the words
// firstWord to firstWord+words-1 (blocks follow each other from word 0), the
// information block left out and bytes past `length` read as zero, so that an
// image and a zero-padded copy of it (a flash) agree.
std::uint32_t BlockChecksum(const std::uint8_t* image, std::size_t length, std::size_t firstWord, std::uint32_t words);

} // namespace bootloader
