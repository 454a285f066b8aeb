// The status block as the window shows it: stored values, read-outs, the
// servo buttons' colours, the status lamp and the mode panel.
#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "blocks.h"
#include "reply_fields.h"

namespace vq {
namespace {

// AlarmCaption(k) starts with the axis caption; the alarm code follows it.
constexpr std::array<std::string_view, kAxes> kAxisCaption = {"1轴:", "2轴:", "3轴:", "4轴:", "5轴:", "6轴:"};

// A group of buttons enabled together by the control mode.
struct ButtonGroup {
    Ctl buttons;
    int first;
    int last;
};
constexpr ButtonGroup kMotionModeButtons{Ctl::MotionModeButton, 0, 3};   // 关节, 直角, 工具, 拖动
constexpr ButtonGroup kRunButtons{Ctl::TargetAngleButton, 1, 3};         // 0°, -90°, 目标角度
constexpr ButtonGroup kJogButtons{Ctl::JogKey, 1, 12};                   // J1轴+ .. J6轴- (seventh axis untouched)
constexpr ButtonGroup kSpeedButtons{Ctl::SpeedStepButton, 0, 1};         // 速度+, 速度-
constexpr ButtonGroup kControlModeButtons{Ctl::ControlModeButton, 0, 2}; // 运行模式, 示教模式, 外部控制

// What each control mode lights and enables. A mode not in the table
// lights nothing and leaves every group's enabling as it is.
struct ModePanelRow {
    int controlMode;
    int litControlButton; // ControlModeButton index lit green
    bool motionModeButtons;
    bool runButtons;
    bool jogButtons;
    bool speedButtons;
    bool lightMotionMode; // light MotionModeButton(motionMode - 1) when motionMode is 1..4
};
constexpr std::array kModePanel = {
    //            mode lit  motion  target  jog    speed  motion lit
    ModePanelRow{0, 0, false, true, false, false, false}, // run
    ModePanelRow{1, 1, true, false, true, true, true},    // teach
    ModePanelRow{2, 2, false, false, false, false, false}, // external control
};

void enableGroup(Board& board, const ButtonGroup& g, bool on)
{
    for (int i = g.first; i <= g.last; ++i) board.setEnabled(g.buttons, i, on);
}

std::size_t axisSlot(int axis) { return static_cast<std::size_t>(axis); }

void showModePanel(Board& board, int controllerState, int controlMode, int motionMode)
{
    const ModePanelRow* row = nullptr;
    for (const auto& r : kModePanel)
        if (r.controlMode == controlMode) row = &r;

    const bool ready = controllerState != 0;
    // Not ready: the mode buttons are disabled and nothing is lit; the jog,
    // speed and run buttons keep whatever enabling they had.
    if (ready) {
        for (int i = kControlModeButtons.first; i <= kControlModeButtons.last; ++i) {
            board.setEnabled(kControlModeButtons.buttons, i, true);
            const bool lit = row && row->litControlButton == i;
            board.setBackColour(kControlModeButtons.buttons, i, lit ? Colour::green() : Colour::buttonFace());
        }
    } else {
        for (int i = kControlModeButtons.first; i <= kControlModeButtons.last; ++i) {
            board.setEnabled(kControlModeButtons.buttons, i, false);
            board.setBackColour(kControlModeButtons.buttons, i, Colour::buttonFace());
        }
    }
    for (int i = kMotionModeButtons.first; i <= kMotionModeButtons.last; ++i) {
        const bool lit = ready && row && row->lightMotionMode && motionMode - 1 == i;
        board.setBackColour(kMotionModeButtons.buttons, i, lit ? Colour::green() : Colour::buttonFace());
    }
    if (!ready || !row) return;

    enableGroup(board, kMotionModeButtons, row->motionModeButtons);
    enableGroup(board, kRunButtons, row->runButtons);
    enableGroup(board, kJogButtons, row->jogButtons);
    enableGroup(board, kSpeedButtons, row->speedButtons);
}

} // namespace

void showStatus(const StatusBlock& status, FormState& state, Board& board)
{
    // Modes are not stored; a missing one counts as 0 below.
    if (status.teachSpeed) board.setText(Ctl::TeachSpeed, kNoIndex, DecimalText(*status.teachSpeed).view());
    // A read-out the reply covers is live; one it does not cover (its byte
    // count fell short) keeps its last value, greyed.
    if (status.busy) {
        state.controllerBusy = *status.busy;
        board.setText(Ctl::BusyWord, kNoIndex, DecimalText(*status.busy).view());
    }
    board.setEnabled(Ctl::BusyWord, kNoIndex, status.busy.has_value());
    for (int axis = 1; axis <= kAxes; ++axis) {
        const auto k = static_cast<std::size_t>(axis - 1);
        if (status.servo[k]) state.servoState[axisSlot(axis)] = *status.servo[k];
        if (status.encoder[k]) board.setText(Ctl::EncoderPosition, axis, DecimalText(*status.encoder[k]).view());
        board.setEnabled(Ctl::EncoderPosition, axis, status.encoder[k].has_value());
        if (status.alarm[k]) state.alarmCode[axisSlot(axis)] = *status.alarm[k];
        board.setEnabled(Ctl::AlarmCaption, axis, status.alarm[k].has_value());
    }

    // Colours come from the stored values, so an axis whose fields were
    // missing from this reply keeps showing the last reported state (its
    // alarm caption greyed). Each button gets its final colour in one step:
    // an alarm (red) wins over a servo that is on (green). Any code but 0 is
    // an alarm, 0x8000 and above included.
    board.setBackColour(Ctl::ReadyLamp, kNoIndex, status.controllerState.value_or(0) == 1 ? Colour::green() : Colour::buttonFace());
    std::string caption;
    caption.reserve(24);
    for (int axis = 1; axis <= kAxes; ++axis) {
        const int servo = state.servoState[axisSlot(axis)];
        const int alarm = state.alarmCode[axisSlot(axis)];
        const Colour colour = alarm != 0 ? Colour::red() : servo == 1 ? Colour::green() : Colour::buttonFace();
        board.setBackColour(Ctl::ServoButton, axis, colour);
    }
    for (int axis = 1; axis <= kAxes; ++axis) {
        caption.assign(kAxisCaption[axisSlot(axis - 1)]);
        caption.append(DecimalText(state.alarmCode[axisSlot(axis)]).view());
        board.setText(Ctl::AlarmCaption, axis, caption);
    }

    showModePanel(board, status.controllerState.value_or(0), status.controlMode.value_or(0), status.motionMode.value_or(0));
}

} // namespace vq
