#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <limits>
#include <vector>

#include "link/crc.h"
#include "link/hex.h"
#include "link/numtext.h"

namespace vq {
namespace {

TEST(ByteWordToHex, Table)
{
    struct Case { const char* in; const char* byte; const char* word; };
    const Case cases[] = {
        {"24", "18", "00 18"},      {"6", "06", "00 06"},       {"-1", "FF", "FF FF"},
        {"300", "2C", "01 2C"},     {"0", "00", "00 00"},       {"65535", "FF", "FF FF"},
        {"65536", "00", "00 00"},   {"-90", "A6", "FF A6"},     {"12.5", "0C", "00 0C"},
        {"13.5", "0E", "00 0E"},    {"-12.5", "F4", "FF F4"},   {"0.5", "00", "00 00"},
        {"1.5", "02", "00 02"},     {"2147483647", "FF", "FF FF"}, {"2147483648", "00", "00 00"},
        {"-2147483648", "00", "00 00"}, {"-2147483649", "00", "00 00"}, {"", "00", "00 00"},
        {"abc", "00", "00 00"},     {"12abc", "00", "00 00"},   {" 128 ", "80", "00 80"},
        {"1e3", "E8", "03 E8"},     {"+7", "07", "00 07"},      {".", "00", "00 00"},
        {"1e999", "00", "00 00"},   {"128", "80", "00 80"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(byteToHex(std::string_view(c.in)), c.byte) << c.in;
        EXPECT_EQ(wordToHex(std::string_view(c.in)), c.word) << c.in;
    }
}

TEST(ByteWordToHex, EveryByteAndWordRoundTrips)
{
    for (int v = 0; v < 256; ++v) {
        std::string h = byteToHex(std::to_string(v));
        ASSERT_EQ(h.size(), 2u);
        EXPECT_EQ(std::stoi(h, nullptr, 16), v);
        EXPECT_EQ(h, byteToHex(static_cast<std::uint8_t>(v)));
    }
    for (int v = 0; v < 65536; ++v) {
        std::string h = wordToHex(std::to_string(v));
        ASSERT_EQ(h.size(), 5u);
        ASSERT_EQ(h[2], ' ');
        ASSERT_EQ(std::stoi(h.substr(0, 2) + h.substr(3), nullptr, 16), v) << v;
        ASSERT_EQ(h, wordToHex(std::to_string(v - 65536))) << "two's complement of " << v - 65536;
    }
}

TEST(FloatToHex, Table)
{
    EXPECT_EQ(floatToHex(0.0f), "00 00 00 00");
    EXPECT_EQ(floatToHex(1.0f), "00 00 80 3F");
    EXPECT_EQ(floatToHex(-90.0f), "00 00 B4 C2");
    EXPECT_EQ(floatToHex(10.0f), "00 00 20 41");
    const float six[] = {0, 0, -90, 0, -90, 0};
    std::string s = floatArrayToHex(six);
    EXPECT_EQ(s, "00 00 00 00 00 00 00 00 00 00 B4 C2 00 00 00 00 00 00 B4 C2 00 00 00 00");
    EXPECT_EQ(s.size(), 71u);
    EXPECT_EQ(floatArrayToHex(std::span<const float>{}), "");
}

TEST(StrToFloat, InverseOfFloatToHexForManyPatterns)
{
    EXPECT_EQ(StrToFloat("0000803F"), 1.0f);
    EXPECT_EQ(StrToFloat("0000B4C2"), -90.0f);
    EXPECT_EQ(StrToFloat("000000BF"), -0.5f);
    EXPECT_EQ(StrToFloat("0000b4c2"), -90.0f);
    EXPECT_EQ(StrToFloat("0000803F1234"), 1.0f);
    // Every 2^20-th bit pattern plus its neighbours, NaNs compared bitwise.
    for (std::uint64_t p = 0; p <= 0xFFFFFFFFull; p += 0xFFFFFull) {
        auto bits = static_cast<std::uint32_t>(p);
        float f;
        std::memcpy(&f, &bits, 4);
        std::string h = floatToHex(f);
        std::string digits;
        for (char c : h)
            if (c != ' ') digits.push_back(c);
        float back = StrToFloat(digits);
        std::uint32_t backBits;
        std::memcpy(&backBits, &back, 4);
        ASSERT_EQ(backBits, bits);
    }
}

TEST(StrToFloat, RaisesOnShortOrNonHex)
{
    const char* bad[] = {"", "0000803", "0000803G", "00 00 80 3F", "zzzzzzzz", "+000803F"};
    for (const char* b : bad) {
        EXPECT_THROW(StrToFloat(b), HexError) << b;
        EXPECT_FALSE(tryStrToFloat(b).has_value()) << b;
    }
}

TEST(HexTextToBytes, Pieces)
{
    EXPECT_EQ(hexTextToBytes("80 03 10 00"), (std::vector<std::uint8_t>{0x80, 0x03, 0x10, 0x00}));
    EXPECT_EQ(hexTextToBytes("ff 1"), (std::vector<std::uint8_t>{0xFF, 0x01}));
    EXPECT_EQ(hexTextToBytes("1FF ZZ 7"), (std::vector<std::uint8_t>{0x00, 0x00, 0x07}));
    EXPECT_EQ(hexTextToBytes("10  00"), (std::vector<std::uint8_t>{0x10, 0x00, 0x00}));
    EXPECT_TRUE(hexTextToBytes("").empty());
}

// Frames with CRCs from published Modbus examples and from a separate
// bitwise implementation (not this code).
TEST(Crc, ReferenceFrames)
{
    struct Case { const char* body; const char* crc; };
    const Case cases[] = {
        {"80 03 10 00 00 24", "5F00"},
        {"80 10 10 01 00 01 02 00 01", "1BD6"},
        {"11 03 00 6B 00 03", "7687"}, // Modbus over serial line guide example
        {"01 03 00 00 00 0A", "C5CD"},
        {"80 03 11 70 00 24", "5F27"},
        {"80 03 10 50 00 12", "DF07"},
        {"80 03 11 A6 00 0C", "BEC1"},
        {"80 10 10 04 00 01 02 00 0A", "5A44"},
    };
    for (const auto& c : cases) {
        auto bytes = hexTextToBytes(c.body);
        EXPECT_EQ(bytesToCrcHex(bytes), c.crc) << c.body;
        std::string sep = std::string(c.crc).substr(0, 2) + " " + std::string(c.crc).substr(2);
        EXPECT_EQ(bytesToCrcHexSep(bytes, " "), sep);
        // A frame with its CRC appended checks to zero remainder.
        auto whole = hexTextToBytes(std::string(c.body) + " " + sep);
        EXPECT_EQ(crc16(whole), 0);
    }
    EXPECT_EQ(bytesToCrcHex(std::vector<std::uint8_t>{}), "FFFF");
}

TEST(LenientNumber, Table)
{
    struct Case { const char* in; double out; };
    const Case cases[] = {
        {"500", 500},       {"1 2", 12},         {"200.00 Y1=50", 200}, {"", 0},
        {"abc", 0},         {"12.5abc", 12.5},   {"-50.50", -50.5},     {"+3", 3},
        {" \t\n7", 7},      {"1.2.3", 1.2},      {"1e3", 1000},         {"1e", 1},
        {"1e+", 1},         {"2E-1x", 0.2},      {"-", 0},              {".5", 0.5},
        {"- 5", -5},        {"1\r2", 1},         {"100 ACC=10", 100},   {"0.000", 0},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(readLenientNumber(c.in), c.out) << c.in;
    EXPECT_TRUE(std::isinf(readLenientNumber("1e999")));
}

TEST(GeneralFormat, Table)
{
    EXPECT_EQ(generalFormat(200.0), "200");
    EXPECT_EQ(generalFormat(-50.5), "-50.5");
    EXPECT_EQ(generalFormat(0.0), "0");
    EXPECT_EQ(generalFormat(-0.0), "0");
    EXPECT_EQ(generalFormat(0.1), "0.1");
    EXPECT_EQ(generalFormat(123456789012345.0), "123456789012345");
    EXPECT_EQ(readLenientNumber(generalFormat(1e20)), 1e20);
}

TEST(FormatFixed, PatternsRoundHalfAwayFromZero)
{
    struct Case { double v; int d; const char* out; };
    const Case cases[] = {
        {1.0, 3, "1.000"},   {-0.5, 2, "-0.50"}, {10.0, 1, "10.0"},  {10.0, 0, "10"},
        {2.5, 0, "3"},       {-2.5, 0, "-3"},    {0.125, 2, "0.13"}, {0.4, 0, "0"},
        {-0.001, 2, "0.00"}, {9.9996, 3, "10.000"}, {1e10, 0, "10000000000"}, {0.0, 3, "0.000"},
        {static_cast<double>(0.1f), 3, "0.100"}, {-90.0, 3, "-90.000"}, {199.999f, 2, "200.00"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatFixed(c.v, c.d).value_or("?"), c.out) << c.v << " " << c.d;
    EXPECT_FALSE(formatFixed(std::numeric_limits<double>::quiet_NaN(), 2).has_value());
    EXPECT_FALSE(formatFixed(std::numeric_limits<double>::infinity(), 2).has_value());
    EXPECT_TRUE(formatFixed(static_cast<double>(std::numeric_limits<float>::max()), 3).has_value());
}

// Reference for formatFixed from another exact conversion (the C library's
// printf with 60 spare digits), rounded half away from zero by hand on the
// digit after the last one kept.
std::string referenceFixed(double v, int d)
{
    char buf[1024];
    std::snprintf(buf, sizeof buf, "%.*f", d + 60, std::fabs(v));
    std::string s(buf);
    const std::size_t dot = s.find('.');
    std::string digits = s.substr(0, dot) + s.substr(dot + 1, static_cast<std::size_t>(d));
    if (s[dot + 1 + static_cast<std::size_t>(d)] >= '5') {
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i == 0) digits.insert(digits.begin(), '1');
        else ++digits[i - 1];
    }
    std::string out = digits.substr(0, digits.size() - static_cast<std::size_t>(d));
    if (d > 0) out += "." + digits.substr(digits.size() - static_cast<std::size_t>(d));
    if (v < 0 && out.find_first_not_of("0.") != std::string::npos) out.insert(out.begin(), '-');
    return out;
}

// Every float the controller can send, as the decoders see it, and doubles
// typed by the operator: random bit patterns over the whole range, values
// at and next to the ties of each number of decimals.
TEST(FormatFixed, AgreesWithAnIndependentExactConversion)
{
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::vector<double> values;
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t bits = static_cast<std::uint32_t>(next());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f) && std::fabs(f) < 1e15f) values.push_back(f);
        const double scaled = static_cast<double>(next() % 2000000) / 1000.0 - 1000.0; // -1000 .. 1000
        values.push_back(scaled);
    }
    for (int d = 0; d <= 9; ++d)
        for (int k = -2000; k <= 2000; ++k) {
            const double tie = (k + 0.5) / std::pow(10.0, d);
            values.insert(values.end(), {tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e300)});
        }
    int checked = 0;
    for (double v : values)
        for (int d : {0, 2, 3, 4, 9}) {
            ASSERT_EQ(formatFixed(v, d).value_or("?"), referenceFixed(v, d)) << std::hexfloat << v << " " << d;
            ++checked;
        }
    EXPECT_GT(checked, 300000);
}

TEST(ToFloat32, SaturatesWithoutUndefinedBehaviour)
{
    EXPECT_EQ(toFloat32(1.5), 1.5f);
    EXPECT_EQ(toFloat32(0.1), 0.1f);
    EXPECT_TRUE(std::isinf(toFloat32(1e300)));
    EXPECT_TRUE(std::isinf(toFloat32(-1e300)));
    EXPECT_LT(toFloat32(-1e300), 0.0f);
    EXPECT_EQ(toFloat32(static_cast<double>(std::numeric_limits<float>::max())), std::numeric_limits<float>::max());
    EXPECT_TRUE(std::isnan(toFloat32(std::nan(""))));
}

} // namespace
} // namespace vq

namespace vq {
namespace {

TEST(StrictNumber, WholeTextMustBeOneNumber)
{
    struct Case { const char* in; std::optional<double> out; };
    const Case cases[] = {
        {"1000", 1000.0}, {" 12.5 ", 12.5}, {"-3", -3.0}, {"+.5", 0.5}, {"1e2", 100.0},
        {"", std::nullopt}, {"abc", std::nullopt}, {"12abc", std::nullopt}, {"1 2", std::nullopt},
        {"1e", std::nullopt}, {".", std::nullopt}, {"1.2.3", std::nullopt}, {"--1", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(readStrictNumber(c.in), c.out) << c.in;
}

} // namespace
} // namespace vq
