// Writes a stand-in MCU image: a Cortex-M vector table, pseudo-random code and
// the firmware information block at offset 1024 with its checksums. The same
// arguments always give the same bytes.
//
//   kovra_make_firmware_image OUTPUT LENGTH HARDWARE_TYPE
#include "device/bootloader/FirmwareInfo.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using bootloader::FirmwareInfo;

// The application is linked behind a 32 KiB bootloader; the stack starts at
// the top of 64 KiB of SRAM.
constexpr std::uint32_t kLoadAddress = 0x08008000;
constexpr std::uint32_t kInitialStack = 0x20010000;
constexpr std::size_t kSystemVectors = 16;
constexpr std::size_t kIrqVectors = 68;
// Handlers live behind the information block.
constexpr std::uint32_t kResetHandler = 0x0460;
constexpr std::uint32_t kFaultHandlers = 0x0600; // NMI, HardFault, ... each 4 bytes
constexpr std::uint32_t kDefaultHandler = 0x0640;
constexpr std::uint32_t kIrqHandlersFrom = 0x0700;

constexpr std::uint8_t kMcuVersion[4] = {1, 11, 2, 75};
constexpr char kBtVersion[4] = {'0', '1', '0', '7'};

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state;
};

void Put32(std::vector<std::uint8_t>& image, std::size_t at, std::uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        image[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void Put16(std::vector<std::uint8_t>& image, std::size_t at, std::uint16_t v)
{
    image[at] = static_cast<std::uint8_t>(v);
    image[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint32_t Thumb(std::uint32_t offset) { return (kLoadAddress + offset) | 1u; }

std::vector<std::uint8_t> MakeImage(std::size_t length, std::int32_t hardwareType)
{
    std::vector<std::uint8_t> image(length);
    SplitMix64 random(0x4B4F5652415449ull ^ static_cast<std::uint32_t>(hardwareType));
    for (std::size_t at = 0; at < length; at += 8) {
        const std::uint64_t r = random.next();
        for (std::size_t i = 0; i < 8 && at + i < length; ++i)
            image[at + i] = static_cast<std::uint8_t>(r >> (8 * i));
    }

    // Vector table: stack pointer, reset, the system handlers (7 to 10 and 13
    // reserved), then the interrupts, most of them on the default handler.
    Put32(image, 0, kInitialStack);
    Put32(image, 4, Thumb(kResetHandler));
    const std::size_t faults[] = {2, 3, 4, 5, 6, 11, 12, 14, 15};
    for (std::size_t i = 0; i < sizeof faults / sizeof faults[0]; ++i)
        Put32(image, 4 * faults[i], Thumb(kFaultHandlers + 4 * static_cast<std::uint32_t>(i)));
    for (std::size_t reserved : {7u, 8u, 9u, 10u, 13u})
        Put32(image, 4 * reserved, 0);
    for (std::size_t irq = 0; irq < kIrqVectors; ++irq) {
        const std::uint64_t r = random.next();
        std::uint32_t handler = kDefaultHandler;
        if (r % 4 == 0)
            handler = (kIrqHandlersFrom + static_cast<std::uint32_t>((r >> 8) % (length - kIrqHandlersFrom - 2))) & ~1u;
        Put32(image, 4 * (kSystemVectors + irq), Thumb(handler));
    }
    // The fault and default handlers spin: "b ." then a "nop".
    for (std::uint32_t at = kFaultHandlers; at <= kDefaultHandler; at += 4) {
        Put16(image, at, 0xE7FE);
        Put16(image, at + 2, 0xBF00);
    }

    FirmwareInfo info{};
    std::memcpy(info.modelTag, "TIKO", 4);
    std::memcpy(info.mcuVersion, kMcuVersion, 4);
    info.imageWords = static_cast<std::uint32_t>(length / 4);
    info.imageChecksum = bootloader::ImageChecksum(image.data(), length, info.imageWords);
    std::size_t first = 0;
    for (std::size_t i = 0; i < FirmwareInfo::kBlockCount; ++i) {
        info.blocks[i].words = bootloader::kImageBlockWords[i];
        info.blocks[i].checksum = bootloader::BlockChecksum(image.data(), length, first, info.blocks[i].words);
        first += info.blocks[i].words;
    }
    info.hardwareType = hardwareType;
    std::memcpy(info.btVersion, kBtVersion, 4);
    info.toBytes(image.data() + FirmwareInfo::kImageOffset);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUTPUT LENGTH HARDWARE_TYPE\n", argv[0]);
        return 2;
    }
    const long length = std::strtol(argv[2], nullptr, 10);
    const long hardwareType = std::strtol(argv[3], nullptr, 10);
    if (length < static_cast<long>(kIrqHandlersFrom + 16)) {
        std::fprintf(stderr, "%s: an image needs at least %u bytes\n", argv[0], kIrqHandlersFrom + 16);
        return 2;
    }
    const std::vector<std::uint8_t> image =
        MakeImage(static_cast<std::size_t>(length), static_cast<std::int32_t>(hardwareType));

    // Written beside and renamed, so that a broken run leaves no half image.
    const std::string temporary = std::string(argv[1]) + ".part";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        std::perror(temporary.c_str());
        return 1;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    if (std::fclose(out) != 0 || !written || std::rename(temporary.c_str(), argv[1]) != 0) {
        std::perror(argv[1]);
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}
