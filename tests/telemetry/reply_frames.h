// Replies as the controller sends them, built byte by byte for the tests:
// a read reply (address, 03, byte count, data, CRC low byte first) and a
// write acknowledgement (address, 10, start, quantity, CRC).
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "link/crc.h"
#include "link/hex.h"

namespace vq::test {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kSlave = 0x80;

inline Bytes withCrc(Bytes body)
{
    const std::uint16_t c = crc16(body);
    body.push_back(static_cast<std::uint8_t>(c & 0xFF));
    body.push_back(static_cast<std::uint8_t>(c >> 8));
    return body;
}

// Registers as 16-bit values, high byte first on the wire.
inline Bytes registerBytes(const std::vector<std::uint16_t>& regs)
{
    Bytes out;
    for (auto r : regs) {
        out.push_back(static_cast<std::uint8_t>(r >> 8));
        out.push_back(static_cast<std::uint8_t>(r & 0xFF));
    }
    return out;
}

// A float as the controller sends it: its four bytes, least significant
// first, spread over two registers.
inline void appendFloat(Bytes& data, float f)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    for (int k = 0; k < 4; ++k) data.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
}

inline Bytes floatBytes(std::initializer_list<float> values)
{
    Bytes out;
    for (float f : values) appendFloat(out, f);
    return out;
}

// Read reply whose byte count is the length of `data`.
inline Bytes readReply(const Bytes& data)
{
    Bytes body{kSlave, 0x03, static_cast<std::uint8_t>(data.size())};
    body.insert(body.end(), data.begin(), data.end());
    return withCrc(body);
}

// Read reply with a byte count that need not match the data.
inline Bytes readReplyClaiming(std::uint8_t byteCount, const Bytes& data)
{
    Bytes body{kSlave, 0x03, byteCount};
    body.insert(body.end(), data.begin(), data.end());
    return withCrc(body);
}

inline Bytes readReplyRegs(const std::vector<std::uint16_t>& regs) { return readReply(registerBytes(regs)); }

// A reply as long as the reply to a read of `registers` registers (the link
// takes no other length) whose byte count claims only `data`; zero bytes
// fill the rest.
inline Bytes readReplyCarrying(const Bytes& data, std::size_t registers)
{
    Bytes full = data;
    full.resize(2 * registers, 0);
    return readReplyClaiming(static_cast<std::uint8_t>(data.size()), full);
}

inline Bytes writeAck(std::uint16_t start, std::uint16_t quantity)
{
    return withCrc({kSlave, 0x10, static_cast<std::uint8_t>(start >> 8), static_cast<std::uint8_t>(start & 0xFF),
                    static_cast<std::uint8_t>(quantity >> 8), static_cast<std::uint8_t>(quantity & 0xFF)});
}

inline Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace vq::test
