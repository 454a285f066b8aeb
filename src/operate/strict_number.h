// The strict reading of a float parameter box: the whole text, apart from
// blanks around it, must be one decimal number (readStrictNumber) and must
// fit a 32-bit float. Used where a box that does not hold a number must not
// send anything.
#pragma once

#include <optional>
#include <string_view>

namespace vq {

// The number rounded to a 32-bit float; nullopt when the text is not one
// number or the value is beyond the float range ("1e39", "1e999").
std::optional<float> readStrictFloat(std::string_view text);

// readStrictNumber, refusing values beyond the double range as well.
std::optional<double> readStrictFinite(std::string_view text);

} // namespace vq
