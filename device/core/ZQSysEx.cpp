#include "ZQSysEx.h"

namespace ZQSysEx {

std::uint32_t SetupMidiDataFromGeneralData(std::uint8_t* out, const std::uint8_t* in, std::uint32_t length)
{
    std::uint32_t p = 0;
    std::uint32_t w = 0;
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

std::size_t PackedSize(std::size_t n)
{
    return n + n / 7 + (n % 7 == 0 ? 0 : 1);
}

std::size_t UnpackedSize(std::size_t m)
{
    return m - m / 8 - (m % 8 == 0 ? 0 : 1);
}

std::vector<std::uint8_t> Unpack(const std::uint8_t* packed, std::size_t length)
{
    std::vector<std::uint8_t> out(UnpackedSize(length));
    std::size_t w = 0;
    std::size_t r = length;
    const std::uint8_t* group = packed;
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
