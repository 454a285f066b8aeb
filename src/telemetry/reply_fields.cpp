#include "reply_fields.h"

#include <charconv>

#include "link/hex.h"

namespace vq {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Digits of register reg .. reg + regs - 1, or an empty view when the data
// ends before them.
std::string_view registerDigits(std::string_view dataHex, int reg, int regs)
{
    if (reg < 0) return {};
    const std::size_t start = static_cast<std::size_t>(reg) * 4;
    const std::size_t length = static_cast<std::size_t>(regs) * 4;
    if (start > dataHex.size() || dataHex.size() - start < length) return {};
    return dataHex.substr(start, length);
}

} // namespace

void makeReplyHex(std::span<const std::uint8_t> bytes, std::string& out)
{
    out.resize(bytes.size() * 2);
    char* p = out.data();
    for (std::uint8_t b : bytes) {
        *p++ = kHexDigits[b >> 4];
        *p++ = kHexDigits[b & 0x0F];
    }
}

void makeReplyText(std::span<const std::uint8_t> bytes, std::string& out)
{
    // Three characters a byte, less the blank after the last.
    out.resize(bytes.empty() ? 0 : bytes.size() * 3 - 1);
    char* p = out.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) *p++ = ' ';
        *p++ = kHexDigits[bytes[i] >> 4];
        *p++ = kHexDigits[bytes[i] & 0x0F];
    }
}

std::optional<std::int16_t> wordField(std::string_view dataHex, int reg)
{
    auto digits = registerDigits(dataHex, reg, 1);
    if (digits.empty()) return std::nullopt;
    auto v = parseHexDigits(digits);
    if (!v) return std::nullopt;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(*v));
}

std::optional<std::int32_t> longField(std::string_view dataHex, int reg)
{
    auto digits = registerDigits(dataHex, reg, 2);
    if (digits.empty()) return std::nullopt;
    auto low = parseHexDigits(digits.substr(0, 4));
    auto high = parseHexDigits(digits.substr(4, 4));
    if (!low || !high) return std::nullopt;
    return static_cast<std::int32_t>((*high << 16) | *low);
}

std::optional<float> floatField(std::string_view dataHex, int reg)
{
    auto digits = registerDigits(dataHex, reg, 2);
    if (digits.empty()) return std::nullopt;
    return tryStrToFloat(digits);
}

std::optional<std::string> floatFieldText(std::string_view dataHex, int reg, int decimals)
{
    auto f = floatField(dataHex, reg);
    if (!f) return std::nullopt;
    return formatFixed(*f, decimals);
}

DecimalText::DecimalText(std::int32_t value)
{
    // Eleven characters hold every 32-bit value ("-2147483648").
    auto [end, ec] = std::to_chars(digits_, digits_ + sizeof digits_, value);
    length_ = ec == std::errc{} ? static_cast<std::size_t>(end - digits_) : 0;
}

} // namespace vq
