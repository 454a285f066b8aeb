#include "board.h"

#include <cstdio>

namespace vq {

std::string_view textLineSlice(std::string_view text, std::size_t first, std::size_t count)
{
    std::size_t begin = 0;
    for (std::size_t i = 0; i < first; ++i) {
        const std::size_t at = text.find("\r\n", begin);
        if (at == std::string_view::npos) return {};
        begin = at + 2;
    }
    std::size_t end = begin;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = text.find("\r\n", end);
        if (at == std::string_view::npos) return text.substr(begin);
        end = at + 2;
    }
    return text.substr(begin, end - begin);
}

namespace {

const char* idName(Ctl id)
{
    switch (id) {
    case Ctl::PortNumber: return "PortNumber";
    case Ctl::BaudRate: return "BaudRate";
    case Ctl::SlaveAddress: return "SlaveAddress";
    case Ctl::ReadyLamp: return "ReadyLamp";
    case Ctl::OriginButton: return "OriginButton";
    case Ctl::PollTimer: return "PollTimer";
    case Ctl::ServoButton: return "ServoButton";
    case Ctl::AllAxesButton: return "AllAxesButton";
    case Ctl::ClearAlarmsButton: return "ClearAlarmsButton";
    case Ctl::BusyWord: return "BusyWord";
    case Ctl::JointAngle: return "JointAngle";
    case Ctl::PoseValue: return "PoseValue";
    case Ctl::MonitorValue: return "MonitorValue";
    case Ctl::EncoderPosition: return "EncoderPosition";
    case Ctl::AlarmCaption: return "AlarmCaption";
    case Ctl::TargetAngle: return "TargetAngle";
    case Ctl::TargetAngleButton: return "TargetAngleButton";
    case Ctl::TeachSpeed: return "TeachSpeed";
    case Ctl::SpeedStepButton: return "SpeedStepButton";
    case Ctl::JogKey: return "JogKey";
    case Ctl::ControlModeButton: return "ControlModeButton";
    case Ctl::MotionModeButton: return "MotionModeButton";
    case Ctl::PointSpeed: return "PointSpeed";
    case Ctl::PointSpeedButton: return "PointSpeedButton";
    case Ctl::LinearSpeed: return "LinearSpeed";
    case Ctl::LinearSpeedButton: return "LinearSpeedButton";
    case Ctl::ParamTabs: return "ParamTabs";
    case Ctl::PidKp: return "PidKp";
    case Ctl::PidKi: return "PidKi";
    case Ctl::PidKd: return "PidKd";
    case Ctl::PidGainsButton: return "PidGainsButton";
    case Ctl::MechanicalParam: return "MechanicalParam";
    case Ctl::ToolParam: return "ToolParam";
    case Ctl::ReductionRatio: return "ReductionRatio";
    case Ctl::MotorEncoderParam: return "MotorEncoderParam";
    case Ctl::MaxPositiveAngle: return "MaxPositiveAngle";
    case Ctl::MaxNegativeAngle: return "MaxNegativeAngle";
    case Ctl::StoreParamsButton: return "StoreParamsButton";
    case Ctl::TeachPointSpeedButton: return "TeachPointSpeedButton";
    case Ctl::TeachLinearSpeedButton: return "TeachLinearSpeedButton";
    case Ctl::TeachJointMoveButton: return "TeachJointMoveButton";
    case Ctl::TeachPointMoveButton: return "TeachPointMoveButton";
    case Ctl::TeachLineMoveButton: return "TeachLineMoveButton";
    case Ctl::TeachArcViaButton: return "TeachArcViaButton";
    case Ctl::TeachArcEndButton: return "TeachArcEndButton";
    case Ctl::TeachDelayButton: return "TeachDelayButton";
    case Ctl::TeachEndButton: return "TeachEndButton";
    case Ctl::ArcAngle: return "ArcAngle";
    case Ctl::DelayMs: return "DelayMs";
    case Ctl::DirectMoveTarget: return "DirectMoveTarget";
    case Ctl::PointMoveButton: return "PointMoveButton";
    case Ctl::LineMoveButton: return "LineMoveButton";
    case Ctl::ArcMoveButton: return "ArcMoveButton";
    case Ctl::ProgramEditor: return "ProgramEditor";
    case Ctl::RunButton: return "RunButton";
    case Ctl::PauseButton: return "PauseButton";
    case Ctl::StopButton: return "StopButton";
    case Ctl::LoopCheck: return "LoopCheck";
    case Ctl::RunnerTimer: return "RunnerTimer";
    case Ctl::NewProgramMenu: return "NewProgramMenu";
    case Ctl::OpenProgramMenu: return "OpenProgramMenu";
    case Ctl::SaveProgramMenu: return "SaveProgramMenu";
    case Ctl::StepMenu: return "StepMenu";
    case Ctl::CheckTimer: return "CheckTimer";
    case Ctl::ProgramProblems: return "ProgramProblems";
    case Ctl::ProblemsPage: return "ProblemsPage";
    case Ctl::SentFrame: return "SentFrame";
    case Ctl::ReceivedFrame: return "ReceivedFrame";
    case Ctl::StatusReadSwitch: return "StatusReadSwitch";
    case Ctl::PoseReadSwitch: return "PoseReadSwitch";
    case Ctl::LinkStatus: return "LinkStatus";
    case Ctl::RunStatus: return "RunStatus";
    case Ctl::StatusLine: return "StatusLine";
    case Ctl::WindowTitle: return "WindowTitle";
    case Ctl::FileTimer: return "FileTimer";
    case Ctl::RecoveryTimer: return "RecoveryTimer";
    case Ctl::LinkLostBanner: return "LinkLostBanner";
    case Ctl::AlarmMeaning: return "AlarmMeaning";
    case Ctl::TrafficReadsShown: return "TrafficReadsShown";
    case Ctl::TrafficWritesShown: return "TrafficWritesShown";
    case Ctl::TrafficErrorsShown: return "TrafficErrorsShown";
    case Ctl::TrafficPauseButton: return "TrafficPauseButton";
    case Ctl::TrafficClearButton: return "TrafficClearButton";
    case Ctl::TrafficExportButton: return "TrafficExportButton";
    case Ctl::ExitMenu: return "ExitMenu";
    }
    return "?";
}

} // namespace

std::string describe(Ctl id, int index)
{
    std::string s = idName(id);
    if (index != kNoIndex) s += "(" + std::to_string(index) + ")";
    return s;
}

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
