// Every control of the main window Form1 as plain data: name, array index,
// kind, container, position and size in twips, design caption or text, font,
// look and tab order. The Qt window is built by walking this table; nothing
// here depends on Qt.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/board.h" // kNoIndex

namespace vq::layout {

enum class Kind : std::uint8_t {
    Form,          // the window itself
    Frame,         // captioned group box
    Button,
    TextBox,       // single line
    MultiLineText, // multi-line text box
    Label,
    CheckBox,
    Combo,         // editable drop-down combo box
    Shape,         // solid circle (status lamp)
    Picture,       // stretched picture
    TabControl,
    TabPage,       // one tab of a tab control; index = tab number
    Timer,
    SerialPort,    // invisible serial-port control
    FileDialog,    // invisible file-dialog control
    Menu,          // entry of the menu bar
    MenuItem,      // entry of a drop-down menu
    Separator,     // separator line of a drop-down menu
    List,          // list of lines, one selectable item each
    StatusField,   // label in the status bar under the client area, left to right in table order;
                   // width: its least width, value: its share of the room left (stretch)
    LogView,       // the traffic log: a table of the core's log entries, filled by the window
};

enum class Font : std::uint8_t {
    None,           // invisible controls and menus
    Window,         // window font: SimSun 10.5 pt
    Bold9,          // SimSun bold 9 pt
    Bold105,        // SimSun bold 10.5 pt
    Regular9,       // SimSun 9 pt
    NSimSunBold105, // NSimSun bold 10.5 pt (program editor)
    Banner,         // SimSun bold 16 pt
};

// Look and behaviour flags.
enum Flag : std::uint32_t {
    kGraphical = 1u << 0,         // button of the graphical style: its back colour can be set
    kBlueCaption = 1u << 1,       // frame caption in RGB(0, 0, 255)
    kBackHighlightText = 1u << 2, // label back colour: system highlight-text colour
    kBackWhite = 1u << 3,         // label back colour: white
    kRedText = 1u << 4,           // text in RGB(255, 0, 0)
    kInactive = 1u << 5,          // seventh-axis element: disabled from the start and never enabled
    kScrollBars = 1u << 6,        // multi-line box with both scroll bars
    kColumns = 1u << 7,           // caption of column headings separated by runs of blanks, laid out
                                  // in fixed-pitch character cells so that each heading sits in
                                  // front of its box
    kWordWrap = 1u << 8,          // caption wraps at blanks
    kProgramBox = 1u << 9,        // the program editor: line numbers in a margin, the run's line
                                  // highlighted, the pre-run check's problems underlined
};

// Where a control sits: the container's name and index, or a tab page
// (name of the tab control and page number).
struct Parent {
    std::string_view name; // empty only for the window itself
    int index = kNoIndex;
    int page = -1; // tab number when the parent is a tab control

    friend constexpr bool operator==(const Parent&, const Parent&) = default;
};

constexpr Parent inside(std::string_view name, int index = kNoIndex) { return {name, index, -1}; }
constexpr Parent onPage(std::string_view tabControl, int page) { return {tabControl, kNoIndex, page}; }

// Left, Top, Width, Height in twips, relative to the inside of the container
// (for a tab page: relative to the tab control, tab row included).
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

inline constexpr int kTwipsPerPixel = 15; // at 96 dots per inch

struct Control {
    std::string_view name;
    int index = kNoIndex;
    Kind kind = Kind::Label;
    Parent parent;
    Rect rect;
    std::string_view caption; // caption or design text (UTF-8)
    Font font = Font::None;
    std::uint32_t flags = 0;
    int tabOrder = -1;           // position in the keyboard focus order; -1 when not focusable
    std::string_view shortcut;   // menu items: "Ctrl+N"
    int interval = 0;            // timers: milliseconds
    int value = 0;               // initial value: selected tab of a tab control, check box state
    std::string_view tip = {};   // tooltip, for controls whose numbers need words

    bool has(Flag f) const { return (flags & f) != 0; }
};

// All controls in creation order (later ones lie above earlier ones).
std::span<const Control> controls();

// The control of that name and index, or nullptr.
const Control* find(std::string_view name, int index = kNoIndex);

// Qt object name: the name, or name_index for an element of a control array
// ("Command5_3").
std::string objectName(std::string_view name, int index);
inline std::string objectName(const Control& c) { return objectName(c.name, c.index); }

// The controls inside a container or on a tab page, in creation order.
template <class F>
void forEachChild(const Parent& parent, F&& f)
{
    for (const Control& c : controls())
        if (c.parent == parent) f(c);
}

// Whether the kind is shown as a widget (timers, the serial port, the file
// dialog and menu entries are not).
bool isWidget(Kind kind);

const char* kindName(Kind kind); // for test messages

} // namespace vq::layout
