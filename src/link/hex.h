// Hex text and value conversions shared by every frame on the line.
//
// Hex text is bytes as two upper-case digits separated by single blanks
// ("10 00"). A 16-bit word is written high byte first; a 32-bit float is
// written as its four bytes in little-endian memory order (1.0f is
// "00 00 80 3F"), which is also how the controller sends floats back.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

// Raised by StrToFloat on short or non-hex input.
class HexError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Decimal text to a whole number as the byte and word converters read it:
// surrounding blanks are ignored, the rest must be one decimal number
// (sign, digits, one point, exponent). Fractions round half to even. Text
// that is not a number, or a value outside the 32-bit signed range, gives 0.
std::int32_t decimalTextToInt32(std::string_view text);

// Two hex digits: the low 8 bits of the number ("24" -> "18", "-1" -> "FF").
std::string byteToHex(std::string_view decimal);
// "HH LL": the low 16 bits, high byte first ("-90" -> "FF A6").
std::string wordToHex(std::string_view decimal);

// One byte / one 16-bit value straight from an integer.
std::string byteToHex(std::uint8_t value);
std::string wordToHex(std::uint16_t value);

// "B0 B1 B2 B3": the float's four bytes in little-endian order.
std::string floatToHex(float value);
// floatToHex of every element, joined by single blanks.
std::string floatArrayToHex(std::span<const float> values);

// The float whose memory bytes are digit pairs 1-2, 3-4, 5-6, 7-8 of the
// text. Throws HexError when fewer than eight characters are given or one of
// the first eight is not a hex digit. Characters after the eighth are ignored.
float StrToFloat(std::string_view hexDigits);
// Same, without exceptions.
std::optional<float> tryStrToFloat(std::string_view hexDigits);

// Splits at single blanks; every piece becomes one byte. A piece that is not
// a hex number, or whose value is above FF, gives the byte 00. Empty text
// gives no bytes.
std::vector<std::uint8_t> hexTextToBytes(std::string_view hexText);

// Bytes as hex text with single blanks ("0A 1B FF"), and without separator
// ("0A1BFF").
std::string bytesToHexText(std::span<const std::uint8_t> bytes);
std::string bytesToHexDigits(std::span<const std::uint8_t> bytes);

// Value of a run of hex digits (no blanks). Empty or non-hex text, or more
// than eight digits, gives nullopt.
std::optional<std::uint32_t> parseHexDigits(std::string_view digits);

// Rounds a double to the nearest 32-bit float; beyond the float range it
// saturates to infinity instead of invoking undefined behaviour.
float toFloat32(double value);

// Fixed-point text with the given number of decimals ("0.000" pattern:
// decimals = 3; "0" pattern: decimals = 0), rounded half away from zero on
// the exact binary value; at least one integer digit. A value that rounds to
// zero is written without a minus sign. Non-finite values give nullopt.
std::optional<std::string> formatFixed(double value, int decimals);

} // namespace vq
