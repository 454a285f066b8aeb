#include "control_ids.h"

#include <array>
#include <cstdint>

namespace vq {
namespace {

// An id without index shown by one control.
constexpr ControlBinding single(Ctl id, std::string_view name) { return {id, kNoIndex, kNoIndex, name, kNoIndex}; }
// Indices first..last of an id shown by the same elements of a control array.
constexpr ControlBinding array(Ctl id, std::string_view name, int first, int last) { return {id, first, last, name, first}; }
// One index of an id shown by a control of its own (designerIndex kNoIndex)
// or by one element of a control array.
constexpr ControlBinding member(Ctl id, int index, std::string_view name, int designerIndex = kNoIndex)
{
    return {id, index, index, name, designerIndex};
}

// In the order of the ids.
constexpr ControlBinding kBindings[] = {
    single(Ctl::PortNumber, "Combo1"),
    single(Ctl::BaudRate, "Combo2"),
    single(Ctl::SlaveAddress, "Combo3"),
    single(Ctl::ReadyLamp, "Shape1"),
    array(Ctl::OriginButton, "Command16", 0, 1),
    single(Ctl::PollTimer, "Timer1"),

    member(Ctl::ServoButton, 1, "Command31"),
    member(Ctl::ServoButton, 2, "Command32"),
    member(Ctl::ServoButton, 3, "Command33"),
    member(Ctl::ServoButton, 4, "Command34"),
    member(Ctl::ServoButton, 5, "Command35"),
    member(Ctl::ServoButton, 6, "Command36"),
    member(Ctl::ServoButton, 7, "Command1", 7),
    array(Ctl::AllAxesButton, "Command1", 9, 10),
    single(Ctl::ClearAlarmsButton, "Command30"),
    single(Ctl::BusyWord, "Text13"),

    array(Ctl::JointAngle, "Label2", 1, 7),
    array(Ctl::PoseValue, "Label3", 1, 7),
    array(Ctl::MonitorValue, "Label5", 1, 7),
    array(Ctl::EncoderPosition, "Label1", 1, 7),
    array(Ctl::AlarmCaption, "Label8", 1, 6),

    array(Ctl::TargetAngle, "Text1", 1, 7),
    array(Ctl::TargetAngleButton, "Command2", 1, 3),

    single(Ctl::TeachSpeed, "Text2"),
    array(Ctl::SpeedStepButton, "Command8", 0, 1),
    array(Ctl::JogKey, "Command5", 1, 14),
    array(Ctl::ControlModeButton, "Command19", 0, 2),
    array(Ctl::MotionModeButton, "Command22", 0, 3),

    array(Ctl::PointSpeed, "Text10", 0, 2),
    array(Ctl::PointSpeedButton, "Command7", 0, 1),
    array(Ctl::LinearSpeed, "Text21", 0, 2),
    array(Ctl::LinearSpeedButton, "Command23", 0, 1),

    single(Ctl::ParamTabs, "SSTab1"),
    array(Ctl::PidKp, "Text4", 1, 6),
    array(Ctl::PidKi, "Text5", 1, 6),
    array(Ctl::PidKd, "Text6", 1, 6),
    array(Ctl::PidGainsButton, "Command3", 0, 1),
    array(Ctl::MechanicalParam, "Text17", 1, 6),
    array(Ctl::ToolParam, "Text16", 1, 3),
    array(Ctl::ReductionRatio, "Text3", 1, 6),
    array(Ctl::MotorEncoderParam, "Text12", 1, 6),
    array(Ctl::MaxPositiveAngle, "Text14", 1, 6),
    array(Ctl::MaxNegativeAngle, "Text15", 1, 6),
    array(Ctl::StoreParamsButton, "Command4", 0, 2),

    single(Ctl::TeachPointSpeedButton, "Command10"),
    single(Ctl::TeachLinearSpeedButton, "Command24"),
    single(Ctl::TeachJointMoveButton, "Command15"),
    single(Ctl::TeachPointMoveButton, "Command20"),
    single(Ctl::TeachLineMoveButton, "Command6"),
    single(Ctl::TeachArcViaButton, "Command18"),
    single(Ctl::TeachArcEndButton, "Command9"),
    single(Ctl::TeachDelayButton, "Command21"),
    single(Ctl::TeachEndButton, "Command17"),
    single(Ctl::ArcAngle, "Text8"),
    single(Ctl::DelayMs, "Text20"),

    array(Ctl::DirectMoveTarget, "Text11", 1, 6),
    array(Ctl::DirectMoveTarget, "Text11", 11, 16),
    array(Ctl::DirectMoveTarget, "Text11", 21, 26),
    array(Ctl::DirectMoveTarget, "Text11", 31, 37),
    single(Ctl::PointMoveButton, "Command25"),
    single(Ctl::LineMoveButton, "Command26"),
    single(Ctl::ArcMoveButton, "Command27"),

    single(Ctl::ProgramEditor, "Text7"),
    single(Ctl::RunButton, "Command14"),
    single(Ctl::PauseButton, "Command13"),
    single(Ctl::StopButton, "Command12"),
    single(Ctl::LoopCheck, "Check1"),
    single(Ctl::RunnerTimer, "Timer3"),
    single(Ctl::NewProgramMenu, "NewFile"),
    single(Ctl::OpenProgramMenu, "OpenFile"),
    single(Ctl::SaveProgramMenu, "SaveFile"),
    single(Ctl::StepMenu, "singleStep"),
    single(Ctl::CheckTimer, "checkTimer"),
    single(Ctl::ProgramProblems, "programProblems"),
    member(Ctl::ProblemsPage, kNoIndex, "SSTab2Tab", 4),

    single(Ctl::SentFrame, "Text18"),
    single(Ctl::ReceivedFrame, "Text19"),
    single(Ctl::StatusReadSwitch, "Check2"),
    single(Ctl::PoseReadSwitch, "Check3"),

    single(Ctl::LinkStatus, "linkStatus"),
    single(Ctl::RunStatus, "runStatus"),
    single(Ctl::StatusLine, "statusLine"),
    single(Ctl::LinkLostBanner, "linkLostBanner"),

    array(Ctl::AlarmMeaning, "alarmMeaning", 0, 6),

    single(Ctl::TrafficReadsShown, "trafficReads"),
    single(Ctl::TrafficWritesShown, "trafficWrites"),
    single(Ctl::TrafficErrorsShown, "trafficErrors"),
    single(Ctl::TrafficPauseButton, "trafficPause"),
    single(Ctl::TrafficClearButton, "trafficClear"),
    single(Ctl::TrafficExportButton, "trafficExport"),

    single(Ctl::WindowTitle, "Form1"),
    single(Ctl::FileTimer, "fileTimer"),
    single(Ctl::RecoveryTimer, "recoveryTimer"),

    single(Ctl::ExitMenu, "Exit"),
};

constexpr std::size_t kBindingCount = std::size(kBindings);

constexpr std::size_t idNumber(Ctl id) { return static_cast<std::size_t>(id); }

// Row number of each id's first binding; [kCtlCount] = kBindingCount.
constexpr auto kFirstRow = [] {
    std::array<std::uint16_t, kCtlCount + 1> first{};
    std::size_t row = 0;
    for (std::size_t id = 0; id <= kCtlCount; ++id) {
        while (row < kBindingCount && idNumber(kBindings[row].id) < id) ++row;
        first[id] = static_cast<std::uint16_t>(row);
    }
    return first;
}();

constexpr bool everyIdBoundInOrder()
{
    for (std::size_t row = 1; row < kBindingCount; ++row)
        if (idNumber(kBindings[row].id) < idNumber(kBindings[row - 1].id)) return false;
    for (std::size_t id = 0; id < kCtlCount; ++id)
        if (kFirstRow[id] == kFirstRow[id + 1]) return false;
    return true;
}
static_assert(everyIdBoundInOrder(), "every control id needs a binding, and the bindings keep the order of the ids");

} // namespace

std::span<const ControlBinding> controlBindings() { return kBindings; }

std::optional<DesignerControl> designerControl(Ctl id, int index)
{
    const std::size_t n = idNumber(id);
    if (n >= kCtlCount) return std::nullopt;
    for (std::size_t row = kFirstRow[n]; row < kFirstRow[n + 1]; ++row) {
        const ControlBinding& b = kBindings[row];
        if (index < b.first || index > b.last) continue;
        if (b.designerFirst == kNoIndex) return DesignerControl{b.name, kNoIndex};
        return DesignerControl{b.name, b.designerFirst + (index - b.first)};
    }
    return std::nullopt;
}

std::optional<BoundControl> boundControl(std::string_view name, int index)
{
    for (const ControlBinding& b : kBindings) {
        if (b.name != name) continue;
        if (b.designerFirst == kNoIndex) {
            if (index == kNoIndex) return BoundControl{b.id, b.first};
            continue;
        }
        const int last = b.designerFirst + (b.last - b.first);
        if (index >= b.designerFirst && index <= last) return BoundControl{b.id, b.first + (index - b.designerFirst)};
    }
    return std::nullopt;
}

} // namespace vq
