// The teach program's text format: lines split at CR LF, the keyword at the
// start of a line, and the field reader the runner uses for every value.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

inline constexpr std::string_view kLineBreak = "\r\n";

// The keys of the motion lines' fields: MOVJ joints, MOVP/MOVL target,
// MOVC via point and (on the continuation line) end point.
inline constexpr std::array<std::string_view, 6> kJointKeys{"J1=", "J2=", "J3=", "J4=", "J5=", "J6="};
inline constexpr std::array<std::string_view, 6> kTargetKeys{"X1=", "Y1=", "Z1=", "A1=", "B1=", "C1="};
inline constexpr std::array<std::string_view, 6> kViaKeys{"X2=", "Y2=", "Z2=", "A2=", "B2=", "C2="};
inline constexpr std::array<std::string_view, 6> kEndKeys{"X3=", "Y3=", "Z3=", "A3=", "B3=", "C3="};

// The eight instructions, and None for any other line.
enum class Keyword : std::uint8_t { None, Pspeed, Lspeed, Movj, Movp, Movl, Movc, Delay, End };

// Splits the text at every CR LF: n breaks give n + 1 pieces (the last one
// empty when the text ends with CR LF). The pieces are views into text.
std::vector<std::string_view> splitProgramLines(std::string_view text);

// The text of the line up to its first blank, or the whole line.
std::string_view keywordText(std::string_view line);

// The instruction of a line: its keyword compared exactly (upper case, ended
// by a blank or the end of the line). Lower case, a leading blank, a tab
// after the keyword, an empty line or free text give None.
Keyword keywordOf(std::string_view line);

// The value of a field. Looks for the last occurrence of key (with its "=")
// anywhere in the line, as plain text (so "MS=" is also found inside
// "MMS="); when there is none the fallback is returned unchanged. Otherwise
// the rest of the line after the key is read with the lenient number reader
// and the number is returned in general format ("200.00" -> "200"; an empty
// or non-numeric value gives "0").
std::string valueAfterKey(std::string_view line, std::string_view key, std::string_view fallback);

} // namespace vq
