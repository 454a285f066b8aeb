#include "board.h"

#include <cstdio>

namespace vq {

std::string describe(const Colour& c)
{
    switch (c.kind) {
    case Colour::Kind::ButtonFace: return "button face";
    case Colour::Kind::WindowBackground: return "window background";
    case Colour::Kind::Rgb: break;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "RGB(%u, %u, %u)", unsigned(c.rgb >> 16) & 0xFF, unsigned(c.rgb >> 8) & 0xFF, unsigned(c.rgb) & 0xFF);
    return buf;
}

} // namespace vq
