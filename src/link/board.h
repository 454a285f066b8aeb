// The window as the core sees it: controls addressed by their designer name
// and, for control arrays, their index. The Qt window implements it with
// widgets; tests implement it with a map. The core never sees a widget.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

// Index of a control that is not an element of a control array.
inline constexpr int kNoIndex = -1;

// A colour as the window uses it: an RGB value or one of the system colours.
struct Colour {
    enum class Kind : std::uint8_t { Rgb, ButtonFace, WindowBackground };
    Kind kind = Kind::ButtonFace;
    std::uint32_t rgb = 0; // 0xRRGGBB when kind == Rgb

    static constexpr Colour fromRgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        return {Kind::Rgb, (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b};
    }
    static constexpr Colour buttonFace() { return {Kind::ButtonFace, 0}; }
    static constexpr Colour windowBackground() { return {Kind::WindowBackground, 0}; }
    static constexpr Colour green() { return fromRgb(0, 255, 0); }
    static constexpr Colour red() { return fromRgb(255, 0, 0); }
    static constexpr Colour blue() { return fromRgb(0, 0, 255); }
    // Back colour of a parameter box edited but not yet confirmed.
    static constexpr Colour edited() { return fromRgb(255, 128, 128); }

    friend constexpr bool operator==(const Colour&, const Colour&) = default;
};

std::string describe(const Colour& c); // for test messages

class Board {
public:
    virtual ~Board() = default;

    // Text of a text box or combo box, caption of a label, button, frame or
    // check box.
    virtual std::string text(std::string_view name, int index = kNoIndex) const = 0;
    virtual void setText(std::string_view name, int index, std::string_view text) = 0;

    virtual bool enabled(std::string_view name, int index = kNoIndex) const = 0;
    virtual void setEnabled(std::string_view name, int index, bool on) = 0;

    // Back colour (fill colour for the shape).
    virtual Colour backColour(std::string_view name, int index = kNoIndex) const = 0;
    virtual void setBackColour(std::string_view name, int index, Colour colour) = 0;

    // Value of a check box (1 ticked, 0 not) or the selected tab of a tab
    // control.
    virtual int value(std::string_view name, int index = kNoIndex) const = 0;
    virtual void setValue(std::string_view name, int index, int value) = 0;

    // Timers ("Timer1", "Timer3"): interval in milliseconds and whether they run.
    virtual bool timerEnabled(std::string_view name) const = 0;
    virtual void setTimerEnabled(std::string_view name, bool on) = 0;
    virtual int timerInterval(std::string_view name) const = 0;
    virtual void setTimerInterval(std::string_view name, int ms) = 0;

    // Replaces the drop-down list of a combo box.
    virtual void setItems(std::string_view name, const std::vector<std::string>& items) = 0;
    // Ends the program at once (after the caller closed the port).
    virtual void endProgram() = 0;
};

// The two message boxes and the two file dialogs. Injected so that tests
// never block on a modal box.
class Prompts {
public:
    virtual ~Prompts() = default;
    // Warning with only an OK button.
    virtual void warn(std::string_view text, std::string_view title) = 0;
    // Question with Yes and No; true on Yes.
    virtual bool askYesNo(std::string_view text, std::string_view title) = 0;
    // File name chosen in the open or save dialog; empty when none was chosen.
    virtual std::string openFileName(std::string_view title, std::string_view filter) = 0;
    virtual std::string saveFileName(std::string_view title, std::string_view filter) = 0;
};

} // namespace vq
