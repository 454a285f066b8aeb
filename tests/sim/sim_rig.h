// Test rig for the simulated controller: request frames as the console
// builds them, and time driven by hand.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "link/crc.h"
#include "sim/controller.h"

namespace vq::sim::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes withCrc(Bytes b)
{
    const std::uint16_t c = vq::crc16(b);
    b.push_back(static_cast<std::uint8_t>(c & 0xFF));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
    return b;
}

inline Bytes readFrame(std::uint16_t start, std::uint16_t count, std::uint8_t address = 128)
{
    return withCrc({address, 0x03, static_cast<std::uint8_t>(start >> 8), static_cast<std::uint8_t>(start & 0xFF),
                    static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count & 0xFF)});
}

inline Bytes writeFrame(std::uint16_t start, std::uint16_t quantity, const Bytes& data, std::uint8_t address = 128)
{
    Bytes b{address,
            0x10,
            static_cast<std::uint8_t>(start >> 8),
            static_cast<std::uint8_t>(start & 0xFF),
            static_cast<std::uint8_t>(quantity >> 8),
            static_cast<std::uint8_t>(quantity & 0xFF),
            static_cast<std::uint8_t>(data.size())};
    b.insert(b.end(), data.begin(), data.end());
    return withCrc(b);
}

inline Bytes wordBytes(std::initializer_list<std::uint16_t> words)
{
    Bytes b;
    for (std::uint16_t w : words) {
        b.push_back(static_cast<std::uint8_t>(w >> 8));
        b.push_back(static_cast<std::uint8_t>(w & 0xFF));
    }
    return b;
}

inline Bytes floatBytes(std::initializer_list<float> values)
{
    Bytes b;
    for (float f : values) {
        const auto bits = std::bit_cast<std::uint32_t>(f);
        for (int i = 0; i < 4; ++i) {
            b.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
        }
    }
    return b;
}

// Float i of a read reply's data (little-endian bytes over two registers).
inline float replyFloat(const Bytes& reply, std::size_t i)
{
    const std::size_t o = 3 + 4 * i;
    const std::uint32_t bits = reply.at(o) | (reply.at(o + 1) << 8) | (reply.at(o + 2) << 16) |
                               (static_cast<std::uint32_t>(reply.at(o + 3)) << 24);
    return std::bit_cast<float>(bits);
}

inline std::uint16_t replyWord(const Bytes& reply, std::size_t i)
{
    return static_cast<std::uint16_t>((reply.at(3 + 2 * i) << 8) | reply.at(4 + 2 * i));
}

struct Rig {
    Controller c;

    explicit Rig(const ControllerOptions& o = {}) : c(o) {}

    Bytes request(const Bytes& frame)
    {
        const auto r = c.handle(frame);
        EXPECT_TRUE(r.has_value());
        return r.value_or(Bytes{});
    }
    Bytes read(std::uint16_t start, std::uint16_t count) { return request(readFrame(start, count)); }
    Bytes words(std::uint16_t start, std::initializer_list<std::uint16_t> w)
    {
        return request(writeFrame(start, static_cast<std::uint16_t>(w.size()), wordBytes(w)));
    }
    Bytes floats(std::uint16_t start, std::initializer_list<float> v)
    {
        return request(writeFrame(start, static_cast<std::uint16_t>(v.size()), floatBytes(v)));
    }
    void servosOn() { words(0x1010, {1, 1, 1, 1, 1, 1}); }
    void teach() { words(0x1001, {1}); }
    // Advances in equal steps.
    void run(double seconds, double step = 0.005)
    {
        const int n = static_cast<int>(seconds / step + 0.5);
        for (int i = 0; i < n; ++i) {
            c.advance(step);
        }
    }
    // Advances until the arm stands still; the time it took (bounded).
    double runUntilIdle(double step = 0.001, double limit = 60.0)
    {
        double t = 0;
        while (c.busyWord() != 0 && t < limit) {
            c.advance(step);
            t += step;
        }
        return t;
    }
};

} // namespace vq::sim::test
