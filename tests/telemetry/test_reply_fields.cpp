// Field conversions of the register blocks, by register offset, on the
// data bytes of a reply.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "link/hex.h"
#include "telemetry/decoded.h"
#include "telemetry/reply_fields.h"

namespace vq {
namespace {

std::vector<std::uint8_t> bytes(std::string_view hexText) { return hexTextToBytes(hexText); }

TEST(WordField, SignedTwoComplement)
{
    struct Case { const char* data; int reg; std::optional<std::int16_t> value; };
    const Case cases[] = {
        {"00 64", 0, 100},
        {"7F FF", 0, 32767},
        {"80 00", 0, -32768},
        {"FF FF", 0, -1},
        {"FF A6", 0, -90},
        {"00 01 00 02", 1, 2},
        {"", 0, std::nullopt},
        {"00", 0, std::nullopt},          // one byte of the register only
        {"00 01 00 02", 2, std::nullopt}, // past the data
        {"00 01", -1, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(wordAt(bytes(c.data), c.reg), c.value) << c.data << " reg " << c.reg;
}

TEST(LongField, LowWordFirstSigned)
{
    struct Case { const char* data; int reg; std::optional<std::int32_t> value; };
    const Case cases[] = {
        {"FF FF FF FF", 0, -1},
        {"00 00 00 01", 0, 65536},
        {"00 01 00 00", 0, 1},
        {"12 34 56 78", 0, 0x56781234},
        {"00 00 80 00", 0, std::numeric_limits<std::int32_t>::min()},
        {"FF FF 7F FF", 0, std::numeric_limits<std::int32_t>::max()},
        {"AA AA 00 02 00", 1, std::nullopt}, // high word cut short
        {"AA AA 00 02 00 03", 1, 0x00030002},
    };
    for (const auto& c : cases) EXPECT_EQ(longAt(bytes(c.data), c.reg), c.value) << c.data << " reg " << c.reg;
}

TEST(FloatField, BytesInReceivedOrder)
{
    EXPECT_EQ(floatAt(bytes("00 00 80 3F"), 0), 1.0f);
    EXPECT_EQ(floatAt(bytes("00 00 B4 C2"), 0), -90.0f);
    EXPECT_EQ(floatAt(bytes("AA AA AA AA 00 00 00 BF"), 2), -0.5f);
    EXPECT_EQ(floatAt(bytes("00 00 80"), 0), std::nullopt);
    EXPECT_EQ(floatAt(bytes("00 00 80 3F 00 00"), 2), std::nullopt);
}

TEST(DecimalText, WholeInt32Range)
{
    EXPECT_EQ(DecimalText(0).view(), "0");
    EXPECT_EQ(DecimalText(-1).view(), "-1");
    EXPECT_EQ(DecimalText(65536).view(), "65536");
    EXPECT_EQ(DecimalText(std::numeric_limits<std::int32_t>::min()).view(), "-2147483648");
    EXPECT_EQ(DecimalText(std::numeric_limits<std::int32_t>::max()).view(), "2147483647");
    // The text lives in the object: a copy keeps its own digits.
    DecimalText a(123);
    DecimalText b = a;
    a = DecimalText(9);
    EXPECT_EQ(b.view(), "123");
    EXPECT_EQ(a.view(), "9");
}

} // namespace
} // namespace vq
