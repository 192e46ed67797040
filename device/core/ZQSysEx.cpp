#include "device/core/ZQSysEx.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ZQSysEx {

namespace {

// Whole groups go eight bytes at a time through one 64-bit word; that needs
// the bytes of a word in little-endian order.
constexpr bool kWordGroups = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

std::uint64_t load64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void store64(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, sizeof v); }

// Bit i of a header becomes the top bit of byte i.
constexpr std::array<std::uint64_t, 128> makeTopBits()
{
    std::array<std::uint64_t, 128> table{};
    for (std::size_t h = 0; h < 128; ++h)
        for (std::size_t i = 0; i < 7; ++i)
            if (h & (1u << i))
                table[h] |= std::uint64_t{0x80} << (8 * i);
    return table;
}
constexpr std::array<std::uint64_t, 128> kTopBits = makeTopBits();

// The top bits of seven bytes gathered into one header byte: each lands on
// its own bit of the top byte, and no two partial products collide.
std::uint8_t gatherTopBits(std::uint64_t seven)
{
    const std::uint64_t bits = (seven >> 7) & 0x0001010101010101ull;
    return static_cast<std::uint8_t>((bits * 0x0102040810204000ull) >> 56);
}

} // namespace

std::uint32_t SetupMidiDataFromGeneralData(std::uint8_t* out, const std::uint8_t* in, std::uint32_t length)
{
    std::uint32_t p = 0;
    std::uint32_t w = 0;
    if (kWordGroups) {
        // Reads 8 bytes for a group of 7, so the last byte of the input
        // never starts a word group.
        const std::uint32_t groups = length == 0 ? 0 : (length - 1) / 7;
        for (std::uint32_t g = 0; g < groups; ++g) {
            const std::uint64_t seven = load64(in + 7 * g) & 0x00FFFFFFFFFFFFFFull;
            store64(out + 8 * g, ((seven & 0x007F7F7F7F7F7F7Full) << 8) | gatherTopBits(seven));
        }
        p = 7 * groups;
        w = 8 * groups;
    }
    while (p < length) {
        std::uint8_t& header = out[w];
        header = 0;
        std::uint32_t taken = 0;
        for (std::uint32_t i = 0; i < 7 && p + i < length; ++i, ++taken) {
            const std::uint8_t byte = in[p + i];
            out[w + 1 + i] = byte & 0x7F;
            if (byte & 0x80)
                header |= static_cast<std::uint8_t>(1u << i);
        }
        w += 1 + taken;
        p += taken;
    }
    return w;
}

std::size_t PackedSize(std::size_t n) { return n + n / 7 + (n % 7 == 0 ? 0 : 1); }

std::size_t UnpackedSize(std::size_t m) { return m - m / 8 - (m % 8 == 0 ? 0 : 1); }

std::vector<std::uint8_t> Unpack(const std::uint8_t* packed, std::size_t length)
{
    std::vector<std::uint8_t> out(UnpackedSize(length));
    std::size_t w = 0;
    std::size_t r = length;
    const std::uint8_t* group = packed;
    if (kWordGroups) {
        // Writes 8 bytes for a group of 7, so the last full group goes the
        // slow way unless more output follows it.
        const std::size_t groups = out.size() < 8 ? 0 : std::min(length / 8, (out.size() - 1) / 7);
        std::uint8_t* target = out.data();
        for (std::size_t g = 0; g < groups; ++g) {
            const std::uint64_t word = load64(packed + 8 * g);
            store64(target + 7 * g, (word >> 8) | kTopBits[word & 0x7F]);
        }
        group += 8 * groups;
        r -= 8 * groups;
        w = 7 * groups;
    }
    while (r >= 2) {
        const std::uint8_t header = group[0];
        for (std::size_t j = 1; j < 8 && j < r; ++j)
            out[w++] = static_cast<std::uint8_t>(((header >> (j - 1)) & 1u) << 7) | group[j];
        const std::size_t step = r < 8 ? r : 8;
        group += step;
        r -= step;
    }
    return out;
}

std::uint8_t Checksum(const std::uint8_t* payload, std::size_t length)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum ^= payload[i];
    return sum & 0x7F;
}

} // namespace ZQSysEx
