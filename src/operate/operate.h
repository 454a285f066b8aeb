// Manual operation: the jog buttons and the teach speed, the motion and
// control modes, axis power, alarm clearing, homing, joint targets, and the
// parameter boxes with their read and save buttons.
//
// Like every operator command these handlers never touch the port: each
// one stores its data in the mailbox and raises a slot; the poll
// scheduler sends it when its tick reaches that slot.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/board.h"
#include "link/events.h"
#include "link/form_state.h"

namespace vq {

// One jog button: its Command5 index, its jog code (axis x 10, + 0 for the
// positive and 1 for the negative direction) and its captions in joint and
// in Cartesian/tool mode. Buttons 13 and 14 (seventh axis) carry no code
// and are not in the table.
struct JogKey {
    int index;
    std::uint16_t code;
    const char* jointCaption;
    const char* cartesianCaption;
};
std::span<const JogKey> jogTable();

// How a parameter box's text becomes what is sent.
enum class Reading : std::uint8_t {
    AtSend,  // PID gain: the scheduler turns the box text into a word when it sends slot + index
    Lenient, // readLenientNumber, rounded to a float
    Strict,  // readStrictFloat: the whole text must be a number
};

// One group of parameter boxes: Enter in any box of the group sends it.
struct ParamGroup {
    const char* box;                 // text box array
    int first;                       // first index
    int count;                       // number of boxes
    Reading reading;
    Slot slot;                       // the group's write; AtSend: the first box's (box k raises slot + k - 1)
};
std::span<const ParamGroup> paramGroups();

class Operate : public ControlEvents {
public:
    Operate(FormState& state, Board& board, Prompts& prompts);

    // Command8, Command22, Command19, Command31..36, Command1, Command30,
    // Command16, Command2, Command3, Command4, Command7, Command23.
    bool click(std::string_view name, int index) override;
    // Command5: press starts jogging (indices 1..12), release of any index
    // sends the stop word.
    bool mouseDown(std::string_view name, int index) override;
    bool mouseUp(std::string_view name, int index) override;
    // Parameter boxes (see paramGroups) and Text2 (nothing happens).
    bool keyDown(std::string_view name, int index, int keyCode) override;

    // Ends any jog in progress: the stop word replaces the queued jog code
    // and the jog slot is raised. Returns true when the arm may have been sent a
    // jog code since start-up (a button is held, or one was pressed at some
    // time: the last word that went out may still be a code), so that a
    // caller that cannot wait for the scheduler, the shutdown path, should
    // write the jog word itself. Returns false, changing nothing, when no jog
    // button was ever pressed.
    bool releaseAllJogs();

    // Command5 index of the jog button being held, 0 when none.
    int heldJog() const { return heldJog_; }

private:
    void jogPress(int index);
    void teachSpeed(int index);
    void motionMode(int index);
    void controlMode(int index);
    void toggleAxis(int axis);
    void allAxes(int index);
    void clearAlarms();
    void origin(int index);
    void jointTarget(int index);
    bool paramButton(std::string_view name, int index);
    // Sends the group (the box's own slot for AtSend groups). False when a
    // box could not be read; nothing is then changed.
    bool confirm(const ParamGroup& group, int index);

    FormState& state_;
    Board& board_;
    Prompts& prompts_;
    int heldJog_ = 0;
};

} // namespace vq
