// A subsystem's share of the window's events. The window offers every event
// to the subsystems in turn; the first that returns true has handled it.
// Controls are named as in the window designer, with the array index or
// kNoIndex.
#pragma once

#include <string_view>

namespace vq {

inline constexpr int kKeyEnter = 13;

class ControlEvents {
public:
    virtual ~ControlEvents() = default;
    virtual bool click(std::string_view /*name*/, int /*index*/) { return false; }
    virtual bool mouseDown(std::string_view /*name*/, int /*index*/) { return false; }
    virtual bool mouseUp(std::string_view /*name*/, int /*index*/) { return false; }
    // keyCode as the window reports it: 13 for Enter, anything else for other keys.
    virtual bool keyDown(std::string_view /*name*/, int /*index*/, int /*keyCode*/) { return false; }
    virtual bool menu(std::string_view /*name*/) { return false; }
    virtual bool timer(std::string_view /*name*/) { return false; }
};

} // namespace vq
