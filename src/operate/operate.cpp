#include "operate/operate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "link/hex.h"
#include "link/numtext.h"
#include "link/status_line.h"
#include "operate/strict_number.h"

namespace vq {
namespace {

constexpr const char* kSaving = "保存中..";
constexpr const char* kStoreCaption = "保存参数"; // the store buttons' own caption

constexpr std::array<JogKey, 12> kJogKeys = {{
    {1, 10, "J1轴+", "X轴+"},
    {2, 11, "J1轴-", "X轴-"},
    {3, 20, "J2轴+", "Y轴+"},
    {4, 21, "J2轴-", "Y轴-"},
    {5, 30, "J3轴+", "Z轴+"},
    {6, 31, "J3轴-", "Z轴-"},
    {7, 40, "J4轴+", "A轴+"},
    {8, 41, "J4轴-", "A轴-"},
    {9, 50, "J5轴+", "B轴+"},
    {10, 51, "J5轴-", "B轴-"},
    {11, 60, "J6轴+", "C轴+"},
    {12, 61, "J6轴-", "C轴-"},
}};

// Group, boxes, first index, count, reading, write slot, title.
const std::array<ParamGroup, 11> kParamGroups = {{
    {ParamGroupId::PidKp, Ctl::PidKp, 1, 6, Reading::AtSend, Slot::WriteKp1, "PID参数 Kp"},
    {ParamGroupId::PidKi, Ctl::PidKi, 1, 6, Reading::AtSend, Slot::WriteKi1, "PID参数 Ki"},
    {ParamGroupId::PidKd, Ctl::PidKd, 1, 6, Reading::AtSend, Slot::WriteKd1, "PID参数 Kd"},
    {ParamGroupId::Mechanical, Ctl::MechanicalParam, 1, 6, Reading::Lenient, Slot::WriteMechanical, "机械参数"},
    {ParamGroupId::ReductionRatio, Ctl::ReductionRatio, 1, 6, Reading::Lenient, Slot::WriteReduction, "减速比参数"},
    {ParamGroupId::MotorEncoder, Ctl::MotorEncoderParam, 1, 6, Reading::Lenient, Slot::WriteMotorEncoder, "电机编码器"},
    {ParamGroupId::MaxPositiveAngle, Ctl::MaxPositiveAngle, 1, 6, Reading::Lenient, Slot::WriteMaxPositive, "最大正角度"},
    {ParamGroupId::MaxNegativeAngle, Ctl::MaxNegativeAngle, 1, 6, Reading::Lenient, Slot::WriteMaxNegative, "最大负角度"},
    {ParamGroupId::Tool, Ctl::ToolParam, 1, 3, Reading::Strict, Slot::WriteTool, "工具参数"},
    {ParamGroupId::PointSpeed, Ctl::PointSpeed, 0, 3, Reading::Strict, Slot::WritePointSpeed, "点运行速度"},
    {ParamGroupId::LinearSpeed, Ctl::LinearSpeed, 0, 3, Reading::Strict, Slot::WriteLineSpeed, "线运行速度"},
}};

const JogKey* jogKeyOf(int index)
{
    for (const auto& k : kJogKeys)
        if (k.index == index) return &k;
    return nullptr;
}

const ParamGroup& paramGroup(ParamGroupId id)
{
    for (const auto& g : kParamGroups)
        if (g.id == id) return g;
    return kParamGroups.front(); // every id has a row
}

bool inGroup(const ParamGroup& g, int index) { return index >= g.first && index < g.first + g.count; }

// Lenient reading as a float. A number beyond the float range (typed
// "1e999") is refused rather than sent to the controller as infinity.
std::optional<float> readLenientFloat(std::string_view text)
{
    const float f = toFloat32(readLenientNumber(text));
    if (!std::isfinite(f)) return std::nullopt;
    return f;
}

} // namespace

std::span<const JogKey> jogTable() { return kJogKeys; }
std::span<const ParamGroup> paramGroups() { return kParamGroups; }

Operate::Operate(FormState& state, Board& board, Prompts& prompts) : state_(state), board_(board), prompts_(prompts) {}

// ---- jogging and modes ----------------------------------------------------

void Operate::jogPress(int jogKey)
{
    const JogKey* key = jogKeyOf(jogKey);
    if (!key) return; // 13, 14: seventh axis, no code
    // The window does not deliver presses on a disabled key; a press that
    // arrives anyway (drag mode, not in teach mode) must not move the arm.
    if (!board_.enabled(Ctl::JogKey, jogKey)) return;
    // A second press while one key is held replaces the first: there is
    // one jog word, so the first code is never sent again.
    heldJog_ = jogKey;
    state_.post(Slot::Jog, wordData(key->code));
}

void Operate::jogRelease()
{
    // Whichever key went up, and however the press ended: stop.
    heldJog_ = 0;
    state_.post(Slot::Jog, wordData(0));
}

bool Operate::releaseAllJogs()
{
    if (heldJog_ == 0 && !state_.mailbox.stored(Payload::JogWord)) return false;
    heldJog_ = 0;
    state_.post(Slot::Jog, wordData(0));
    return true;
}

void Operate::stepTeachSpeed(SpeedStep step)
{
    // Text that is not a number leaves the level as it is and sends nothing.
    const auto typed = readStrictFinite(board_.text(Ctl::TeachSpeed));
    if (!typed) return;
    // The controller knows levels 1..5 only: a typed level is taken as the
    // nearest of them before the step, so nothing else is ever sent.
    constexpr int kSlowest = 1;
    constexpr int kFastest = 5;
    int level = static_cast<int>(std::clamp(std::nearbyint(*typed), double{kSlowest}, double{kFastest}));
    if (step == SpeedStep::Up && level < kFastest) ++level;
    if (step == SpeedStep::Down && level > kSlowest) --level;
    board_.setText(Ctl::TeachSpeed, kNoIndex, generalFormat(level));
    // Sent on every click, also at a limit.
    state_.post(Slot::TeachSpeed, wordData(static_cast<std::uint16_t>(level)));
}

void Operate::setMotionMode(MotionMode mode)
{
    for (const auto& key : kJogKeys) board_.setEnabled(Ctl::JogKey, key.index, true);
    if (mode != MotionMode::Drag) {
        for (const auto& key : kJogKeys)
            board_.setText(Ctl::JogKey, key.index, mode == MotionMode::Joint ? key.jointCaption : key.cartesianCaption);
    } else {
        // Drag: all servos off, jog keys out of use; captions stay.
        releaseAllJogs();
        state_.post(Slot::AxisPowerAll, sixWords(kSwitchOff));
        for (const auto& key : kJogKeys) board_.setEnabled(Ctl::JogKey, key.index, false);
    }
    state_.post(Slot::MotionMode, wordData(static_cast<std::uint16_t>(static_cast<int>(mode) + 1)));
    state_.raise(Slot::ReadTool);
}

void Operate::setControlMode(ControlMode mode)
{
    state_.post(Slot::ControlMode, wordData(static_cast<std::uint16_t>(mode)));
}

// ---- axis power, alarms, homing, joint targets ----------------------------

void Operate::toggleAxis(int axis)
{
    if (axis < 1 || axis > 6) return; // the seventh axis has no servo
    // The opposite of the last reported state. A state that is neither on
    // nor off gives no sensible opposite: nothing is queued.
    const int reported = state_.servoState[static_cast<std::size_t>(axis)];
    if (reported != 0 && reported != 1) return;
    state_.post(axisSlot(Slot::AxisPower1, axis), wordData(reported == 0 ? kSwitchOn : kSwitchOff));
}

void Operate::powerAllAxes(bool on)
{
    state_.post(Slot::AxisPowerAll, sixWords(on ? kSwitchOn : kSwitchOff));
}

void Operate::clearAlarms()
{
    state_.post(Slot::AlarmClear, sixWords(kSwitchOn));
}

void Operate::setOrigin()
{
    if (!prompts_.askYesNo("是否设置机械臂原点?", "提示")) return;
    state_.post(Slot::SetOrigin, sixWords(kSwitchOn));
}

void Operate::returnToOrigin()
{
    state_.post(Slot::ReturnToOrigin, sixWords(kSwitchOn));
}

void Operate::sendTargetAngles(TargetPreset preset)
{
    std::array<float, 6> target{};
    switch (preset) {
    case TargetPreset::Zero: break;
    case TargetPreset::Minus90: target = {0.0f, 0.0f, -90.0f, 0.0f, -90.0f, 0.0f}; break;
    case TargetPreset::Typed:
        for (int joint = 1; joint <= 6; ++joint) {
            auto v = readLenientFloat(board_.text(Ctl::TargetAngle, joint));
            if (!v) return;
            target[static_cast<std::size_t>(joint - 1)] = *v;
        }
        break;
    }
    state_.post(Slot::JointTarget, floatData(target));
}

// ---- parameters -----------------------------------------------------------

void Operate::paramKey(ParamGroupId group, int index, bool enter)
{
    const ParamGroup& g = paramGroup(group);
    if (!inGroup(g, index)) return;
    if (!enter) {
        board_.setBackColour(g.box, index, Colour::edited());
        state_.unreported.erase({g.box, index}); // the operator's own value now
        return;
    }
    // A group that could not be read keeps the box marked as unconfirmed.
    if (confirm(g, index)) board_.setBackColour(g.box, index, Colour::windowBackground());
}

bool Operate::confirm(const ParamGroup& g, int index)
{
    // Nothing the controller did not report and the operator did not type
    // goes to the controller: a placeholder would be written as a setting.
    const bool single = g.reading == Reading::AtSend;
    for (int k = single ? index : g.first; k < (single ? index + 1 : g.first + g.count); ++k) {
        if (state_.reported(g.box, k)) continue;
        std::string what = g.title;
        if (single) what += " " + std::to_string(index) + "轴";
        tell(board_, "未设置" + what + ": 尚未从控制器读到, 请先读取或输入数值");
        return false;
    }
    if (g.reading == Reading::AtSend) {
        state_.raise(slotAt(slotNumber(g.slot) + index - 1));
        return true;
    }
    std::array<float, 6> values{};
    for (int k = 0; k < g.count; ++k) {
        const std::string text = board_.text(g.box, g.first + k);
        auto v = g.reading == Reading::Strict ? readStrictFloat(text) : readLenientFloat(text);
        if (!v) return false;
        values[static_cast<std::size_t>(k)] = *v;
    }
    state_.post(g.slot, floatData(std::span(values).first(static_cast<std::size_t>(g.count))));
    return true;
}

void Operate::readPidGains() { state_.raise(Slot::ReadPidGains); }

void Operate::storePidGains()
{
    state_.post(Slot::StorePidGains, sixWords(kSwitchOn));
    board_.setText(Ctl::PidGainsButton, 1, kSaving);
}

void Operate::storeParameters()
{
    state_.raise(Slot::StoreParameters);
    for (int i = 0; i <= 2; ++i) board_.setText(Ctl::StoreParamsButton, i, kSaving);
}

void Operate::storeUnconfirmed(Slot slot)
{
    if (slot == Slot::StorePidGains) board_.setText(Ctl::PidGainsButton, 1, kStoreCaption);
    if (slot == Slot::StoreParameters)
        for (int i = 0; i <= 2; ++i) board_.setText(Ctl::StoreParamsButton, i, kStoreCaption);
}

void Operate::readPointSpeed() { state_.raise(Slot::ReadPointSpeed); }
void Operate::writePointSpeed() { confirm(paramGroup(ParamGroupId::PointSpeed), 0); }
void Operate::readLinearSpeed() { state_.raise(Slot::ReadLineSpeed); }
void Operate::writeLinearSpeed() { confirm(paramGroup(ParamGroupId::LinearSpeed), 0); }

} // namespace vq
