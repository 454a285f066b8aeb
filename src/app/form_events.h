// Everything the window reports to the console core. The Qt window calls
// these from its widgets' signals; tests call them directly.
#pragma once

#include <string_view>

namespace vq {

inline constexpr int kKeyEnter = 13; // key code of Enter in keyDown

class FormEvents {
public:
    virtual ~FormEvents() = default;

    virtual void load() = 0;                                    // once, after the controls exist
    virtual void click(std::string_view name, int index) = 0;  // buttons, check boxes
    virtual void mouseDown(std::string_view name, int index) = 0;
    virtual void mouseUp(std::string_view name, int index) = 0;
    virtual void keyDown(std::string_view name, int index, int keyCode) = 0; // 13 = Enter
    virtual void tabClick(std::string_view name, int tab) = 0; // SSTab1, SSTab2, after the switch
    virtual void comboDropDown(std::string_view name) = 0;     // list about to open
    virtual void comboClick(std::string_view name) = 0;        // an item was chosen (or Enter typed)
    virtual void menu(std::string_view name) = 0;              // NewFile, OpenFile, SaveFile, Exit, ...
    virtual void timer(std::string_view name) = 0;             // Timer1, Timer3
    virtual void change(std::string_view name) = 0;            // the text of the program box changed
    virtual void unload() = 0;                                  // the window closes
    // The operator changed the text of a control by typing (the program
    // editor); changes the core makes itself are not reported.
    virtual void changed(std::string_view name) { (void)name; }
};

} // namespace vq
