#include "crc.h"

#include <array>

#include "hex.h"

namespace vq {
namespace {

// The bitwise algorithm (shift right, XOR A001 on carry) evaluated once for
// every byte value.
constexpr std::array<std::uint16_t, 256> makeTable()
{
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t r = static_cast<std::uint16_t>(i);
        for (int k = 0; k < 8; ++k) r = (r & 1u) ? static_cast<std::uint16_t>((r >> 1) ^ 0xA001u) : static_cast<std::uint16_t>(r >> 1);
        t[i] = r;
    }
    return t;
}

constexpr auto kTable = makeTable();

} // namespace

std::uint16_t crc16(std::span<const std::uint8_t> bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (auto b : bytes) crc = static_cast<std::uint16_t>((crc >> 8) ^ kTable[(crc ^ b) & 0xFFu]);
    return crc;
}

std::string bytesToCrcHex(std::span<const std::uint8_t> bytes)
{
    std::uint16_t c = crc16(bytes);
    return byteToHex(static_cast<std::uint8_t>(c & 0xFF)) + byteToHex(static_cast<std::uint8_t>(c >> 8));
}

std::string bytesToCrcHexSep(std::span<const std::uint8_t> bytes, std::string_view separator)
{
    std::uint16_t c = crc16(bytes);
    std::string out = byteToHex(static_cast<std::uint8_t>(c & 0xFF));
    out += separator;
    out += byteToHex(static_cast<std::uint8_t>(c >> 8));
    return out;
}

} // namespace vq
