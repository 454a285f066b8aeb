// Manual operation: the jog keys and the teach speed, the motion and
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

#include "link/board.h"
#include "link/form_state.h"

namespace vq {

// One jog key: its JogKey index, its jog code (axis x 10, + 0 for the
// positive and 1 for the negative direction) and its captions in joint and
// in Cartesian/tool mode. Keys 13 and 14 (seventh axis) carry no code and
// are not in the table.
struct JogKey {
    int index;
    std::uint16_t code;
    const char* jointCaption;
    const char* cartesianCaption;
};
std::span<const JogKey> jogTable();

enum class SpeedStep : std::uint8_t { Up, Down };

// How the jog keys move the arm; the mode word sent is the value + 1, and
// the value is also the MotionModeButton index that shows the mode.
enum class MotionMode : std::uint8_t { Joint, Cartesian, Tool, Drag };

// Who drives the arm; the value is the mode word sent and the
// ControlModeButton index.
enum class ControlMode : std::uint8_t { Run, Teach, External };

// Joint targets sent at once: all joints at 0°, the -90° pose (joints 3 and
// 5 at -90°), or the angles typed into the TargetAngle boxes.
enum class TargetPreset : std::uint8_t { Zero, Minus90, Typed };

// How a parameter box's text becomes what is sent.
enum class Reading : std::uint8_t {
    AtSend,  // PID gain: the scheduler turns the box text into a word when it sends slot + index
    Lenient, // readLenientNumber, rounded to a float
    Strict,  // readStrictFloat: the whole text must be a number
};

// The groups of parameter boxes: Enter in any box of a group sends it.
enum class ParamGroupId : std::uint8_t {
    PidKp,
    PidKi,
    PidKd,
    Mechanical,
    ReductionRatio,
    MotorEncoder,
    MaxPositiveAngle,
    MaxNegativeAngle,
    Tool,
    PointSpeed,
    LinearSpeed,
};

struct ParamGroup {
    ParamGroupId id;
    Ctl box;                         // the boxes
    int first;                       // first index
    int count;                       // number of boxes
    Reading reading;
    Slot slot;                       // the group's write; AtSend: the first box's (box k raises slot + k - 1)
    const char* title;               // the group in the operator's words, for messages
};
std::span<const ParamGroup> paramGroups();

class Operate {
public:
    Operate(FormState& state, Board& board, Prompts& prompts);

    // A jog key went down (1..12; the seventh axis's 13 and 14 and keys
    // that are disabled do nothing). A second press replaces the first.
    void jogPress(int jogKey);
    // Any jog key went up, however the press ended: the stop word is sent.
    void jogRelease();
    // One teach speed level up or down (1..5); the level is sent also at
    // a limit. Text that is not a number sends nothing.
    void stepTeachSpeed(SpeedStep step);
    void setMotionMode(MotionMode mode);
    void setControlMode(ControlMode mode);
    // Asks for the opposite of the axis's last reported servo state (axes
    // 1..6; a state that is neither on nor off sends nothing).
    void toggleAxis(int axis);
    void powerAllAxes(bool on);
    void clearAlarms();
    // Makes the current pose the origin once the operator said Yes.
    void setOrigin();
    void returnToOrigin();
    void sendTargetAngles(TargetPreset preset);

    // A key in a parameter box: Enter sends the box's group (and clears its
    // marking when the group could be read), any other key marks the box as
    // edited (typed by the operator). An index outside the group does
    // nothing. A group is not sent while one of its boxes (the box itself
    // for a single PID gain) holds no value the controller reported and the
    // operator did not type; the status line says so.
    void paramKey(ParamGroupId group, int index, bool enter);
    void readPidGains();
    void storePidGains();
    // One store command for the three parameter tabs.
    void storeParameters();
    // A store (StorePidGains or StoreParameters) that was not acknowledged
    // (not sent, dropped, or its acknowledgement never came): its buttons
    // get their own caption back. Any other slot changes nothing.
    void storeUnconfirmed(Slot slot);
    void readPointSpeed();
    void writePointSpeed();
    void readLinearSpeed();
    void writeLinearSpeed();

    // Ends any jog in progress: the stop word replaces the queued jog code
    // and the jog slot is raised. Returns true when the arm may have been sent a
    // jog code since start-up (a button is held, or one was pressed at some
    // time: the last word that went out may still be a code), so that a
    // caller that cannot wait for the scheduler, the shutdown path, should
    // write the jog word itself. Returns false, changing nothing, when no jog
    // button was ever pressed.
    bool releaseAllJogs();

    // JogKey index of the key being held, 0 when none.
    int heldJog() const { return heldJog_; }

private:
    // Sends the group (the box's own slot for AtSend groups). False when a
    // box could not be read; nothing is then changed.
    bool confirm(const ParamGroup& group, int index);

    FormState& state_;
    Board& board_;
    Prompts& prompts_;
    int heldJog_ = 0;
};

} // namespace vq
