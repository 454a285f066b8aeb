// The console's one lenient number reader, used wherever an operator's box
// or a program field becomes a number.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vq {

// Blanks, tabs and line feeds are removed wherever they stand; then an
// optional sign, digits with at most one decimal point and an optional
// exponent are read, stopping at the first character that cannot continue
// the number. No number gives 0. Never fails. Overflow gives +-infinity.
double readLenientNumber(std::string_view text);

// The whole text, less surrounding blanks, tabs and line ends, as one
// decimal number: optional sign, digits with at most one point, optional
// exponent. nullopt for anything else (empty text included).
std::optional<double> readStrictNumber(std::string_view text);

// Up to 15 significant digits, no trailing zeros or point ("200.00" -> "200",
// "-50.50" -> "-50.5", "0.000" -> "0").
std::string generalFormat(double value);

} // namespace vq
