#include "operate/strict_number.h"

#include <cmath>

#include "link/hex.h"
#include "link/numtext.h"

namespace vq {

std::optional<double> readStrictFinite(std::string_view text)
{
    auto v = readStrictNumber(text);
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return v;
}

std::optional<float> readStrictFloat(std::string_view text)
{
    auto v = readStrictFinite(text);
    if (!v) return std::nullopt;
    const float f = toFloat32(*v);
    if (!std::isfinite(f)) return std::nullopt;
    return f;
}

} // namespace vq
