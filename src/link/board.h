// The window as the core sees it: controls addressed by what they are (Ctl)
// and, for rows of like controls, an index. The window's edge maps each id
// and index to a widget (src/app/control_ids.cpp); tests implement the board
// with plain values. The core never sees a widget or a designer name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

// Index of a control that is not one of a row of like controls.
inline constexpr int kNoIndex = -1;

// Every control the core reads, writes or hears from. Per-axis rows take
// the axis (1..6; 7 is the seventh axis, shown but never enabled); other
// rows take the index given with the enumerator.
enum class Ctl : std::uint8_t {
    // Connection bar
    PortNumber,   // the port the operator chose: a number 01..16 or a device path; its list holds the ports that open
    BaudRate,     // line speed in baud
    SlaveAddress, // the controller's Modbus slave address
    ReadyLamp,    // round lamp, green while the controller reports itself ready
    OriginButton, // 0 makes the current pose the origin (after a question), 1 drives back to it
    PollTimer,    // the poll scheduler's tick: one request at most per tick

    // Servo bar
    ServoButton,       // per axis: switches the axis's servo on or off; green on, red alarm
    AllAxesButton,     // 9 switches the servos of all six axes on, 10 all off
    ClearAlarmsButton, // clears the alarms of all axes
    BusyWord,          // the controller's busy word as last reported (0 idle)

    // Read-outs, per axis
    JointAngle,      // joint angle in degrees
    PoseValue,       // tool pose: 1 X, 2 Y, 3 Z, 4 A, 5 B, 6 C
    MonitorValue,    // the controller's monitor value
    EncoderPosition, // motor encoder position in counts
    AlarmCaption,    // "k轴:" followed by the axis's alarm code (axes 1..6 only)

    // Joint targets
    TargetAngle,       // per axis: a joint target typed by the operator
    TargetAngleButton, // 1 all joints to 0°, 2 the -90° pose, 3 the typed targets (run mode only)

    // Manual operation
    TeachSpeed,        // teach speed level 1..5
    SpeedStepButton,   // 0 one teach speed level up, 1 one down
    JogKey,            // 1..12 hold-to-move keys J1+ J1- .. J6+ J6- (joint mode) or X+ .. C- (Cartesian, tool); 13, 14 seventh axis
    ControlModeButton, // 0 run mode, 1 teach mode, 2 external control
    MotionModeButton,  // 0 joint, 1 Cartesian, 2 tool, 3 drag (teach mode only)

    // Move speeds
    PointSpeed,        // point-to-point speed: 0 RPM, 1 acceleration, 2 deceleration
    PointSpeedButton,  // 0 reads the point speed from the controller, 1 writes the boxes
    LinearSpeed,       // linear speed: 0 mm/s, 1 acceleration, 2 deceleration
    LinearSpeedButton, // 0 reads the linear speed from the controller, 1 writes the boxes

    // Parameter tabs
    ParamTabs,         // the tab control of parameters, teach-in and test moves; value = selected tab
    PidKp,             // per axis: proportional gain
    PidKi,             // per axis: integral gain
    PidKd,             // per axis: derivative gain
    PidGainsButton,    // 0 reads the gains, 1 asks the controller to store them (its caption shows the progress)
    MechanicalParam,   // per axis: mechanical parameter (link lengths and offsets)
    ToolParam,         // tool offset: 1 Tx, 2 Ty, 3 Tz
    ReductionRatio,    // per axis: gear reduction ratio
    MotorEncoderParam, // per axis: encoder counts per motor turn
    MaxPositiveAngle,  // per axis: positive joint limit
    MaxNegativeAngle,  // per axis: negative joint limit
    StoreParamsButton, // 0..2, one on each parameter tab: asks the controller to store its parameters; captions show the progress

    // Teach-in: each button appends one instruction to the program
    TeachPointSpeedButton,  // PSPEED from the point speed boxes
    TeachLinearSpeedButton, // LSPEED from the linear speed boxes
    TeachJointMoveButton,   // MOVJ to the joint angles shown
    TeachPointMoveButton,   // MOVP to the pose shown
    TeachLineMoveButton,    // MOVL to the pose shown
    TeachArcViaButton,      // MOVC with the pose shown as the via point
    TeachArcEndButton,      // the MOVC continuation: the pose shown as end point, the arc angle
    TeachDelayButton,       // DELAY with the delay box
    TeachEndButton,         // END
    ArcAngle,               // the arc angle the continuation line takes
    DelayMs,                // the delay in milliseconds a DELAY line takes

    // Test moves, sent at once without the program
    DirectMoveTarget, // 1..6 point move X..C, 11..16 linear move X..C, 21..26 arc via point, 31..36 arc end point, 37 arc angle
    PointMoveButton,  // sends the point move
    LineMoveButton,   // sends the linear move
    ArcMoveButton,    // sends the circular move

    // The teach program
    ProgramEditor,   // the program text, lines closed by CR LF; value: the line the run is at, highlighted
                     // and kept in view (its number from 1, negated while the run is paused there; 0 without a run);
                     // marks: the pre-run check's problems, underlined
    RunButton,       // runs the program; disabled while it runs
    PauseButton,     // pauses the run or continues it; its caption says which
    StopButton,      // ends the run
    LoopCheck,       // ticked: the program starts again after its last line
    RunnerTimer,     // the runner's tick: one program line at most per tick
    NewProgramMenu,  // replaces the program by the default one
    OpenProgramMenu, // loads the program from a file
    SaveProgramMenu, // writes the program to a file
    StepMenu,        // while the run is paused: executes one line and pauses again
    CheckTimer,      // waits for a pause in the typing before the program is checked
    ProgramProblems, // the pre-run check's list: one line per problem
    ProblemsPage,    // the tab page of that list; its caption counts the problems

    // Line monitor
    SentFrame,        // the last request sent, as hex
    ReceivedFrame,    // the last reply accepted, as hex
    StatusReadSwitch, // ticked: the status block is read continuously
    PoseReadSwitch,   // ticked: the pose block is read continuously

    // Status bar
    LinkStatus, // the port and the health of the line
    RunStatus,  // the program runner's state and line
    StatusLine, // one line saying what the console could not do, or just did (status_line.h)
    LinkLostBanner, // "通讯中断" while the controller's state is unknown (status replies stopped), else empty

    // Alarm codes in words
    AlarmMeaning, // 0 the legend of every alarm code; per axis 1..6: "k轴:" and what the axis's alarm code means

    // Traffic log (the log itself is read by the window from the core's TrafficLog)
    TrafficReadsShown,  // ticked: reads and their replies are listed
    TrafficWritesShown, // ticked: writes and their acknowledgements are listed
    TrafficErrorsShown, // ticked: timeouts, CRC errors, exception and cut replies are listed
    TrafficPauseButton, // stops recording, or records again; its caption says which
    TrafficClearButton, // empties the log
    TrafficExportButton, // writes the listed entries to a text or CSV file

    // Program files
    WindowTitle,   // the window's title: "Velquor", the program file's name, "*" while it has unsaved edits
    FileTimer,     // reads the next piece of a program file being opened
    RecoveryTimer, // writes the recovery copy of the program a moment after the last edit

    ExitMenu, // ends the console (keep last: kCtlCount counts up to it)
};

inline constexpr std::size_t kCtlCount = static_cast<std::size_t>(Ctl::ExitMenu) + 1;

// "JointAngle(3)", "BusyWord": for messages.
std::string describe(Ctl id, int index = kNoIndex);

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
    // Back colour of a parameter box that holds no value the controller
    // reported (not read yet, or read as no number).
    static constexpr Colour unreported() { return fromRgb(224, 224, 224); }

    friend constexpr bool operator==(const Colour&, const Colour&) = default;
};

std::string describe(const Colour& c); // for test messages

// A stretch of one line of a multi-line box, marked with a note (the
// program editor underlines it and shows the note when the mouse rests on
// it). Line from 0; begin and end count bytes of the line's UTF-8 text.
struct TextMark {
    int line = 0;
    int begin = 0;
    int end = 0;
    std::string note;

    friend bool operator==(const TextMark&, const TextMark&) = default;
};

inline constexpr std::size_t kAllLines = std::size_t(-1);

// Lines first .. first + count - 1 of a text whose lines end with CR LF:
// each with its CR LF, and the text's last piece (after its last CR LF,
// maybe empty) without one. Fewer lines, or none, past the text's end.
std::string_view textLineSlice(std::string_view text, std::size_t first, std::size_t count);

class Board {
public:
    virtual ~Board() = default;

    // Text of a text box or combo box, caption of a label, button or check
    // box.
    virtual std::string text(Ctl id, int index = kNoIndex) const = 0;
    virtual void setText(Ctl id, int index, std::string_view text) = 0;
    // Adds the text at the end of the control's text (a long program file
    // arrives piece by piece).
    virtual void appendText(Ctl id, int index, std::string_view more) { setText(id, index, text(id, index).append(more)); }
    // Lines first .. first + count - 1 of a text box's text (textLineSlice):
    // a long program is read a slice at a time.
    virtual std::string textLines(Ctl id, std::size_t first, std::size_t count) const
    {
        return std::string(textLineSlice(text(id), first, count));
    }

    // Seventh-axis controls stay disabled: enabling them is ignored.
    virtual bool enabled(Ctl id, int index = kNoIndex) const = 0;
    virtual void setEnabled(Ctl id, int index, bool on) = 0;

    // Back colour (fill colour for the lamp).
    virtual Colour backColour(Ctl id, int index = kNoIndex) const = 0;
    virtual void setBackColour(Ctl id, int index, Colour colour) = 0;

    // Value of a check box (1 ticked, 0 not) or the selected tab of a tab
    // control.
    virtual int value(Ctl id, int index = kNoIndex) const = 0;
    virtual void setValue(Ctl id, int index, int value) = 0;

    // Timers (PollTimer, RunnerTimer): interval in milliseconds and whether
    // they run.
    virtual bool timerEnabled(Ctl timer) const = 0;
    virtual void setTimerEnabled(Ctl timer, bool on) = 0;
    virtual int timerInterval(Ctl timer) const = 0;
    virtual void setTimerInterval(Ctl timer, int ms) = 0;

    // Replaces the drop-down list of a combo box, the lines of a list.
    virtual void setItems(Ctl id, const std::vector<std::string>& items) = 0;
    // Replaces the marks of a multi-line box. For a list: the line of the
    // program box each item speaks of, item by item (activating the item
    // shows that line).
    virtual void setMarks(Ctl id, const std::vector<TextMark>& marks) = 0;
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
    // Entry of the filter chosen in the last file dialog (0 the first).
    virtual int chosenFilter() const { return 0; }

    // A progress box that does not block the window: shown or updated with
    // the text and the share done (0..100); onCancel is called when the
    // operator cancels. hideProgress() takes it away without calling it.
    virtual void showProgress(std::string_view text, int percent, std::function<void()> onCancel)
    {
        (void)text, (void)percent, (void)onCancel;
    }
    virtual void hideProgress() {}
    // An offer that does not block the window: the text with an accept
    // button; onAccept is called if the operator accepts. withdrawOffer()
    // takes it away without calling it.
    virtual void offer(std::string_view text, std::string_view acceptText, std::function<void()> onAccept)
    {
        (void)text, (void)acceptText, (void)onAccept;
    }
    virtual void withdrawOffer() {}
};

} // namespace vq
