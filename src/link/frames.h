// Modbus RTU request frames as the console sends them, built from bytes:
// function 03 (read holding registers) and 10 (write multiple registers).
// The CRC is computed and compared as a number and travels low byte first.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vq {

inline constexpr std::uint8_t kReadHolding = 0x03;
inline constexpr std::uint8_t kWriteMultiple = 0x10;

// Slave, 03, start, count (each high byte first), CRC. The reply to it is
// 5 + 2 x count bytes.
std::vector<std::uint8_t> readRequest(std::uint8_t slave, std::uint16_t start, std::uint16_t count);

// Slave, 10, start, quantity, byte count, data, CRC. The quantity is the
// number of values, not derived from the data (six floats go with quantity
// 6 and 24 data bytes). The reply is 8 bytes.
std::vector<std::uint8_t> writeRequest(std::uint8_t slave, std::uint16_t start, std::uint16_t quantity,
                                       std::span<const std::uint8_t> data);

// Whether the last two bytes are the CRC of the others (low byte first).
// Fewer than three bytes leave nothing to check: false.
bool crcMatches(std::span<const std::uint8_t> frame);

// The slave address typed as decimal text: its low 8 bits ("300" is 2C),
// 0 for text that is not a number.
std::uint8_t slaveFromText(std::string_view decimal);

} // namespace vq
