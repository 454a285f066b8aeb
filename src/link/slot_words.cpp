#include "slot_words.h"

#include <array>
#include <string_view>

namespace vq {
namespace {

struct Words {
    Slot slot;
    std::string_view words;
};

// Slots with one request each; the per-axis rows follow in slotWords().
constexpr std::array kWords = {
    Words{Slot::ReadStatus, "状态块"},          Words{Slot::ReadPose, "位姿块"},
    Words{Slot::ReadPidGains, "PID 参数"},      Words{Slot::ReadMechanical, "机械参数"},
    Words{Slot::ReadReduction, "减速比"},       Words{Slot::ReadMotorEncoder, "电机编码器参数"},
    Words{Slot::ReadMaxPositive, "正向最大角度"}, Words{Slot::ReadMaxNegative, "负向最大角度"},
    Words{Slot::ReadTool, "工具参数"},          Words{Slot::ReadLineSpeed, "线运行速度"},
    Words{Slot::AxisPowerAll, "全部伺服"},      Words{Slot::AlarmClear, "清除报警"},
    Words{Slot::ReadPointSpeed, "点运行速度"},  Words{Slot::StoreParameters, "保存参数"},
    Words{Slot::SetOrigin, "设置原点"},         Words{Slot::WriteMechanical, "机械参数"},
    Words{Slot::ReturnToOrigin, "返回原点"},    Words{Slot::WriteReduction, "减速比"},
    Words{Slot::WriteMotorEncoder, "电机编码器参数"}, Words{Slot::StorePidGains, "保存 PID 参数"},
    Words{Slot::WriteMaxPositive, "正向最大角度"}, Words{Slot::ControlMode, "控制模式"},
    Words{Slot::TeachSpeed, "示教速度"},        Words{Slot::MotionMode, "示教模式"},
    Words{Slot::Jog, "点动"},                   Words{Slot::WriteMaxNegative, "负向最大角度"},
    Words{Slot::WriteTool, "工具参数"},         Words{Slot::WriteLineSpeed, "线运行速度"},
    Words{Slot::WritePointSpeed, "点运行速度"}, Words{Slot::JointTarget, "关节目标"},
    Words{Slot::PointMove, "MOVP 点运动"},      Words{Slot::LinearMove, "MOVL 直线运动"},
    Words{Slot::ArcMove, "MOVC 圆弧运动"},
};

struct AxisRow {
    Slot first;
    std::string_view words;
};
constexpr std::array kAxisRows = {
    AxisRow{Slot::WriteKp1, "Kp"},
    AxisRow{Slot::WriteKi1, "Ki"},
    AxisRow{Slot::WriteKd1, "Kd"},
    AxisRow{Slot::AxisPower1, "伺服"},
};

} // namespace

std::string slotWords(Slot slot)
{
    for (const Words& w : kWords)
        if (w.slot == slot) return std::string(w.words);
    const int n = slotNumber(slot);
    for (const AxisRow& r : kAxisRows) {
        const int axis = n - slotNumber(r.first) + 1;
        if (axis >= 1 && axis <= 6) return std::string(r.words) + " " + std::to_string(axis) + "轴";
    }
    return "请求 " + std::to_string(n);
}

} // namespace vq
