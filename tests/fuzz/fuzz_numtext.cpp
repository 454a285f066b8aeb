// Number texts: the lenient and strict readers, general format, the byte and
// word converters, float hex and fixed-point text. The input is read as text
// and, eight bytes at a time, as doubles and floats.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "link/hex.h"
#include "link/numtext.h"

namespace {

using vq::fuzz::number;
using vq::fuzz::quoted;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool sameValue(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// The largest doubles are written as a 15-digit text beyond the double
// range, which reads back as infinity.
const std::string kTopText = vq::generalFormat(std::numeric_limits<double>::max());

void checkText(std::string_view text)
{
    // The lenient reader never fails and never gives NaN; blanks, tabs and
    // line feeds do not count wherever they stand.
    const double lenient = vq::readLenientNumber(text);
    VQ_FUZZ_CHECK(!std::isnan(lenient), quoted(text));
    std::string squeezed;
    for (char c : text)
        if (!isBlank(c)) squeezed.push_back(c);
    VQ_FUZZ_CHECK(sameValue(vq::readLenientNumber(squeezed), lenient), quoted(text));

    // What the strict reader accepts, the lenient one reads the same (a
    // carriage return is trimmed by the strict reader only).
    const auto strict = vq::readStrictNumber(text);
    if (strict) {
        VQ_FUZZ_CHECK(!std::isnan(*strict), quoted(text));
        if (text.find('\r') == std::string_view::npos)
            VQ_FUZZ_CHECK(sameValue(*strict, lenient), quoted(text) + " strict " + number(*strict) + " lenient " + number(lenient));
    }

    // The word and byte converters: low 16 and low 8 bits of the whole
    // number the text holds.
    const std::int32_t whole = vq::decimalTextToInt32(text);
    const std::string word = vq::wordToHex(text);
    const std::string byte = vq::byteToHex(text);
    VQ_FUZZ_CHECK(word.size() == 5 && word[2] == ' ', quoted(text) + " -> " + quoted(word));
    VQ_FUZZ_CHECK(word == vq::wordToHex(static_cast<std::uint16_t>(static_cast<std::uint32_t>(whole) & 0xFFFFu)),
                  quoted(text) + " -> " + quoted(word));
    VQ_FUZZ_CHECK(byte == word.substr(3, 2), quoted(text) + " byte " + quoted(byte) + " word " + quoted(word));
    if (!strict || !std::isfinite(*strict) || std::fabs(*strict) > 2147483647.0) {
        VQ_FUZZ_CHECK(whole == 0 || (strict && std::fabs(*strict) <= 2147483648.5), quoted(text) + " -> " + std::to_string(whole));
    } else {
        VQ_FUZZ_CHECK(std::fabs(static_cast<double>(whole) - *strict) <= 0.5, quoted(text) + " -> " + std::to_string(whole));
    }

    // Hex text of the raw bytes survives the way back; float hex parsing
    // does not throw where the non-throwing form answers.
    const std::span<const std::uint8_t> raw(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const std::string hexText = vq::bytesToHexText(raw);
    const std::vector<std::uint8_t> back = vq::hexTextToBytes(hexText);
    VQ_FUZZ_CHECK(std::equal(back.begin(), back.end(), raw.begin(), raw.end()), quoted(hexText));
    const auto f = vq::tryStrToFloat(text);
    try {
        const float g = vq::StrToFloat(text);
        VQ_FUZZ_CHECK(f && std::memcmp(&g, &*f, sizeof g) == 0, quoted(text));
    } catch (const vq::HexError&) {
        VQ_FUZZ_CHECK(!f, quoted(text));
    }
    if (!raw.empty() && raw.size() <= 4) {
        const auto v = vq::parseHexDigits(vq::bytesToHexDigits(raw));
        std::uint32_t expect = 0;
        for (std::uint8_t b : raw) expect = (expect << 8) | b;
        VQ_FUZZ_CHECK(v && *v == expect, quoted(hexText));
    }
}

void checkDouble(double v)
{
    if (!std::isfinite(v)) return;
    const std::string text = vq::generalFormat(v);
    VQ_FUZZ_CHECK(vq::fuzz::isGeneralFormat(text), number(v) + " -> " + quoted(text));
    const double back = vq::readLenientNumber(text);
    const auto strictBack = vq::readStrictNumber(text);
    VQ_FUZZ_CHECK(strictBack && sameValue(*strictBack, back), number(v) + " -> " + quoted(text));
    if (text == kTopText || text == "-" + kTopText) {
        VQ_FUZZ_CHECK(std::isinf(back) && std::signbit(back) == std::signbit(v), number(v) + " -> " + quoted(text));
        return;
    }
    // Equal within 15 significant digits: the text is within half a unit of
    // the 15th digit (at most 5E-15 of the value), the reading within half a
    // unit in the last place of the double.
    VQ_FUZZ_CHECK(std::fabs(back - v) <= (5e-15 + DBL_EPSILON) * std::fabs(v) + DBL_TRUE_MIN,
                  number(v) + " -> " + quoted(text) + " -> " + number(back));
    if (std::fabs(v) >= DBL_MIN) VQ_FUZZ_CHECK(vq::generalFormat(back) == text, number(v) + " -> " + quoted(text));

    // Fixed-point text: within half a unit of its last decimal.
    for (int decimals = 0; decimals <= 3; ++decimals) {
        const auto fixed = vq::formatFixed(v, decimals);
        VQ_FUZZ_CHECK(fixed.has_value(), number(v));
        const auto read = vq::readStrictNumber(*fixed);
        VQ_FUZZ_CHECK(read.has_value(), number(v) + " -> " + quoted(*fixed));
        const double half = 0.5 * std::pow(10.0, -decimals);
        VQ_FUZZ_CHECK(std::fabs(*read - v) <= half * (1 + 1e-9) + std::fabs(v) * DBL_EPSILON,
                      number(v) + " " + std::to_string(decimals) + " -> " + quoted(*fixed));
        const std::size_t dot = fixed->find('.');
        VQ_FUZZ_CHECK(decimals == 0 ? dot == std::string::npos : fixed->size() - dot - 1 == static_cast<std::size_t>(decimals),
                      quoted(*fixed));
        // A value that rounds to zero carries no minus sign.
        if (*read == 0.0) VQ_FUZZ_CHECK(fixed->front() != '-', number(v) + " -> " + quoted(*fixed));
    }
}

void checkFloat(float v)
{
    // Four bytes little-endian, and back bit for bit.
    const std::string hex = vq::floatToHex(v);
    VQ_FUZZ_CHECK(hex.size() == 11, quoted(hex));
    std::string digits;
    for (char c : hex)
        if (c != ' ') digits.push_back(c);
    const auto back = vq::tryStrToFloat(digits);
    VQ_FUZZ_CHECK(back && std::memcmp(&*back, &v, sizeof v) == 0, quoted(hex));
    const std::vector<std::uint8_t> bytes = vq::hexTextToBytes(hex);
    VQ_FUZZ_CHECK(bytes.size() == 4 && std::memcmp(bytes.data(), &v, 4) == 0, quoted(hex));

    // Rounding a double to a float: the float's own value comes back, the
    // float range saturates to infinity.
    VQ_FUZZ_CHECK(sameValue(vq::toFloat32(static_cast<double>(v)), v), number(v));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkText(text);

    // The text as a number, and the first eight groups of eight bytes as a
    // double and as two floats.
    checkDouble(vq::readLenientNumber(text));
    if (const auto s = vq::readStrictNumber(text)) checkDouble(*s);
    for (std::size_t at = 0; at + 8 <= std::min<std::size_t>(size, 64); at += 8) {
        double d;
        std::memcpy(&d, data + at, sizeof d);
        checkDouble(d);
        float f;
        std::memcpy(&f, data + at, sizeof f);
        checkFloat(f);
        std::memcpy(&f, data + at + 4, sizeof f);
        checkFloat(f);
        const double dd = d;
        const float rounded = vq::toFloat32(dd);
        VQ_FUZZ_CHECK(std::isnan(dd) || std::isinf(rounded) == (std::fabs(dd) >= 0x1.ffffffp127), number(dd));
    }
    return 0;
}
