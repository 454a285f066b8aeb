#include "hex.h"

#include "numtext.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace vq {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void appendByte(std::string& out, std::uint8_t b)
{
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
}

} // namespace

std::int32_t decimalTextToInt32(std::string_view text)
{
    auto v = readStrictNumber(text);
    if (!v || !std::isfinite(*v)) return 0;
    // Half to even, independent of the caller's rounding mode.
    double r = std::round(*v);
    if (std::fabs(*v - std::trunc(*v)) == 0.5) r = 2.0 * std::round(*v / 2.0);
    if (r < static_cast<double>(std::numeric_limits<std::int32_t>::min())
        || r > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return 0;
    return static_cast<std::int32_t>(r);
}

std::string byteToHex(std::string_view decimal)
{
    return byteToHex(static_cast<std::uint8_t>(static_cast<std::uint32_t>(decimalTextToInt32(decimal)) & 0xFFu));
}

std::string wordToHex(std::string_view decimal)
{
    return wordToHex(static_cast<std::uint16_t>(static_cast<std::uint32_t>(decimalTextToInt32(decimal)) & 0xFFFFu));
}

std::string byteToHex(std::uint8_t value)
{
    std::string out;
    appendByte(out, value);
    return out;
}

std::string wordToHex(std::uint16_t value)
{
    std::string out;
    out.reserve(5);
    appendByte(out, static_cast<std::uint8_t>(value >> 8));
    out.push_back(' ');
    appendByte(out, static_cast<std::uint8_t>(value & 0xFF));
    return out;
}

std::string floatToHex(float value)
{
    std::array<std::uint8_t, 4> bytes{};
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<std::uint8_t>(bits >> (8 * k));
    std::string out;
    out.reserve(11);
    for (int k = 0; k < 4; ++k) {
        if (k) out.push_back(' ');
        appendByte(out, bytes[k]);
    }
    return out;
}

std::string floatArrayToHex(std::span<const float> values)
{
    std::string out;
    out.reserve(values.size() * 12);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) out.push_back(' ');
        out += floatToHex(values[i]);
    }
    return out;
}

std::optional<float> tryStrToFloat(std::string_view hexDigits)
{
    if (hexDigits.size() < 8) return std::nullopt;
    std::uint32_t bits = 0;
    for (int k = 0; k < 4; ++k) {
        int hi = hexValue(hexDigits[2 * k]);
        int lo = hexValue(hexDigits[2 * k + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bits |= static_cast<std::uint32_t>(hi * 16 + lo) << (8 * k);
    }
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

float StrToFloat(std::string_view hexDigits)
{
    auto f = tryStrToFloat(hexDigits);
    if (!f) throw HexError("StrToFloat needs eight hex digits");
    return *f;
}

std::optional<std::uint32_t> parseHexDigits(std::string_view digits)
{
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : digits) {
        int d = hexValue(c);
        if (d < 0) return std::nullopt;
        v = (v << 4) | static_cast<std::uint32_t>(d);
    }
    return v;
}

std::vector<std::uint8_t> hexTextToBytes(std::string_view hexText)
{
    std::vector<std::uint8_t> out;
    if (hexText.empty()) return out;
    out.reserve(hexText.size() / 3 + 1);
    std::size_t start = 0;
    while (true) {
        std::size_t end = hexText.find(' ', start);
        std::string_view piece = hexText.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        auto v = parseHexDigits(piece);
        out.push_back(v && *v <= 0xFF ? static_cast<std::uint8_t>(*v) : 0);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return out;
}

std::string bytesToHexText(std::span<const std::uint8_t> bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out.push_back(' ');
        appendByte(out, bytes[i]);
    }
    return out;
}

std::string bytesToHexDigits(std::span<const std::uint8_t> bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (auto b : bytes) appendByte(out, b);
    return out;
}

float toFloat32(double value)
{
    if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
    // Half-way between FLT_MAX and 2^128: from here on the nearest float is
    // infinity (the tie goes to the even neighbour, which is infinity too).
    const double limit = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
    if (value >= limit) return std::numeric_limits<float>::infinity();
    if (value <= -limit) return -std::numeric_limits<float>::infinity();
    if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::max();
    if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::max();
    return static_cast<float>(value);
}

std::optional<std::string> formatFixed(double value, int decimals)
{
    if (!std::isfinite(value) || decimals < 0 || decimals > 9) return std::nullopt;
    // Print the exact binary value with spare digits, then round the decimal
    // string half away from zero at the wanted place.
    char buf[512];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, decimals + 40);
    if (ec != std::errc()) return std::nullopt;
    std::string s(buf, end);
    std::size_t dot = s.find('.');
    std::size_t keep = dot + 1 + static_cast<std::size_t>(decimals); // index of first dropped digit
    bool roundUp = s[keep] >= '5';
    std::string digits = s.substr(0, dot) + s.substr(dot + 1, static_cast<std::size_t>(decimals));
    if (roundUp) {
        int i = static_cast<int>(digits.size()) - 1;
        while (i >= 0) {
            if (digits[static_cast<std::size_t>(i)] == '9') { digits[static_cast<std::size_t>(i)] = '0'; --i; }
            else { ++digits[static_cast<std::size_t>(i)]; break; }
        }
        if (i < 0) digits.insert(digits.begin(), '1');
    }
    std::size_t intLen = digits.size() - static_cast<std::size_t>(decimals);
    std::string out = digits.substr(0, intLen);
    if (decimals > 0) out += '.' + digits.substr(intLen);
    bool zero = out.find_first_not_of("0.") == std::string::npos;
    if (value < 0 && !zero) out.insert(out.begin(), '-');
    return out;
}

} // namespace vq
