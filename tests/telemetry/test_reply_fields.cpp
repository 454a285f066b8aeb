#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "telemetry/reply_fields.h"

namespace vq {
namespace {

std::string hexOf(std::vector<std::uint8_t> bytes)
{
    std::string s;
    makeReplyHex(bytes, s);
    return s;
}

std::string textOf(std::vector<std::uint8_t> bytes)
{
    std::string s;
    makeReplyText(bytes, s);
    return s;
}

TEST(ReplyText, SingleDigitBytesGetALeadingZeroAndNoTrailingBlank)
{
    EXPECT_EQ(hexOf({0x0A}), "0A");
    EXPECT_EQ(hexOf({0x0A, 0x1B, 0xFF}), "0A1BFF");
    EXPECT_EQ(textOf({0x0A, 0x1B, 0xFF}), "0A 1B FF");
    EXPECT_EQ(textOf({0x00}), "00");
    EXPECT_EQ(textOf({}), "");
    EXPECT_EQ(hexOf({}), "");
}

TEST(ReplyText, EveryByteValueIsTwoUpperCaseDigits)
{
    for (int b = 0; b < 256; ++b) {
        char expected[3];
        std::snprintf(expected, sizeof expected, "%02X", b);
        EXPECT_EQ(hexOf({static_cast<std::uint8_t>(b)}), expected);
    }
}

TEST(ReplyText, BuffersAreReplacedNotAppended)
{
    std::string s = "stale";
    makeReplyText(std::vector<std::uint8_t>{0x80, 0x03}, s);
    EXPECT_EQ(s, "80 03");
    makeReplyHex(std::vector<std::uint8_t>{0x01}, s);
    EXPECT_EQ(s, "01");
}

TEST(WordField, SignedTwoComplement)
{
    struct Case { const char* data; int reg; std::optional<std::int16_t> value; };
    const Case cases[] = {
        {"0064", 0, 100},
        {"0000", 0, 0},
        {"7FFF", 0, 32767},
        {"8000", 0, -32768},
        {"FFFF", 0, -1},
        {"FFA6", 0, -90},
        {"00010002", 1, 2},
        {"ffff", 0, -1},          // lower-case digits never come from bytes but read the same
        {"", 0, std::nullopt},    // no digits
        {"006", 0, std::nullopt}, // three digits only
        {"00010002", 2, std::nullopt},
        {"0001000", 1, std::nullopt},
        {"00G1", 0, std::nullopt}, // not hex
        {"0 01", 0, std::nullopt},
        {"-001", 0, std::nullopt},
        {"0001", -1, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(wordField(c.data, c.reg), c.value) << c.data << " reg " << c.reg;
}

TEST(LongField, LowWordFirstSigned)
{
    struct Case { const char* data; int reg; std::optional<std::int32_t> value; };
    const Case cases[] = {
        {"FFFFFFFF", 0, -1},
        {"00000001", 0, 65536},
        {"00010000", 0, 1},
        {"12345678", 0, 0x56781234},
        {"00008000", 0, std::numeric_limits<std::int32_t>::min()},
        {"FFFF7FFF", 0, std::numeric_limits<std::int32_t>::max()},
        {"AAAA0002000", 1, std::nullopt}, // high word cut short
        {"AAAA00020003", 1, 0x00030002},
        {"0001", 0, std::nullopt},
        {"0001000X", 0, std::nullopt},
        {"X0010000", 0, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(longField(c.data, c.reg), c.value) << c.data << " reg " << c.reg;
}

TEST(FloatField, BytesInReceivedOrderAndPatterns)
{
    struct Case { const char* data; int reg; int decimals; std::optional<std::string> text; };
    const Case cases[] = {
        {"0000803F", 0, 3, "1.000"},
        {"0000803F", 0, 0, "1"},
        {"000000BF", 0, 2, "-0.50"},
        {"00002041", 0, 1, "10.0"},
        {"00002041", 0, 0, "10"},
        {"0000B4C2", 0, 3, "-90.000"},
        {"00000000", 0, 2, "0.00"},
        {"00000080", 0, 2, "0.00"},           // -0.0 shows without a sign
        {"AAAAAAAA0000803F", 2, 2, "1.00"},   // second float of the data
        {"0000803", 0, 2, std::nullopt},      // seven digits
        {"0000803F0000", 2, 2, std::nullopt}, // four digits left
        {"0000Z03F", 0, 2, std::nullopt},     // not hex
        {"0000807F", 0, 2, std::nullopt},     // infinity cannot be shown
        {"0000C07F", 0, 2, std::nullopt},     // NaN cannot be shown
    };
    for (const auto& c : cases) EXPECT_EQ(floatFieldText(c.data, c.reg, c.decimals), c.text) << c.data;
    EXPECT_EQ(floatField("0000803F", 0), 1.0f);
    EXPECT_EQ(floatField("", 0), std::nullopt);
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
