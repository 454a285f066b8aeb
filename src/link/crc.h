// CRC-16 as Modbus RTU uses it: initial value FFFF, reflected polynomial
// A001, no final XOR. On the wire the low byte of the CRC comes first.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vq {

std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// Four upper-case hex digits, low byte first, no separator ("5F00").
std::string bytesToCrcHex(std::span<const std::uint8_t> bytes);
// Low byte, separator, high byte ("5F 00" with a blank).
std::string bytesToCrcHexSep(std::span<const std::uint8_t> bytes, std::string_view separator);

} // namespace vq
