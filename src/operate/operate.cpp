#include "operate/operate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "link/hex.h"
#include "link/numtext.h"
#include "operate/strict_number.h"

namespace vq {
namespace {

using F = FormState;

constexpr const char* kSixOn = "00 01 00 01 00 01 00 01 00 01 00 01";
constexpr const char* kSixOff = "00 02 00 02 00 02 00 02 00 02 00 02";
constexpr const char* kSaving = "保存中..";

// Slots of the requests prepared here.
enum Slot : int {
    kReadPid = 9,
    kReadMotionParams = 60,
    kAxisPowerBase = 80, // + axis
    kReadLineSpeed = 89,
    kAxisPowerAll = 90,
    kAlarmClear = 91,
    kReadPointSpeed = 92,
    kStoreParams = 100,
    kSetOrigin = 101,
    kReturnToOrigin = 111,
    kStorePid = 131,
    kControlMode = 141,
    kSpeed = 142,
    kMotionMode = 143,
    kJog = 144,
    kJointTarget = 193,
};

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

// Group, boxes, first index, count, reading, payload, write slot.
const std::array<ParamGroup, 11> kParamGroups = {{
    {ParamGroupId::PidKp, Ctl::PidKp, 1, 6, Reading::AtSend, nullptr, 50},
    {ParamGroupId::PidKi, Ctl::PidKi, 1, 6, Reading::AtSend, nullptr, 60},
    {ParamGroupId::PidKd, Ctl::PidKd, 1, 6, Reading::AtSend, nullptr, 70},
    {ParamGroupId::Mechanical, Ctl::MechanicalParam, 1, 6, Reading::Lenient, &F::paramData1110, 110},
    {ParamGroupId::ReductionRatio, Ctl::ReductionRatio, 1, 6, Reading::Lenient, &F::paramData1120, 120},
    {ParamGroupId::MotorEncoder, Ctl::MotorEncoderParam, 1, 6, Reading::Lenient, &F::paramData1130, 130},
    {ParamGroupId::MaxPositiveAngle, Ctl::MaxPositiveAngle, 1, 6, Reading::Lenient, &F::paramData1140, 140},
    {ParamGroupId::MaxNegativeAngle, Ctl::MaxNegativeAngle, 1, 6, Reading::Lenient, &F::paramData1150, 150},
    {ParamGroupId::Tool, Ctl::ToolParam, 1, 3, Reading::Strict, &F::paramData1160, 160},
    {ParamGroupId::PointSpeed, Ctl::PointSpeed, 0, 3, Reading::Strict, &F::pointSpeedData, 192},
    {ParamGroupId::LinearSpeed, Ctl::LinearSpeed, 0, 3, Reading::Strict, &F::lineSpeedData, 189},
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
    state_.jogWord = wordToHex(key->code);
    state_.raise(kJog);
}

void Operate::jogRelease()
{
    // Whichever key went up, and however the press ended: stop.
    heldJog_ = 0;
    state_.jogWord = wordToHex(std::uint16_t{0});
    state_.raise(kJog);
}

bool Operate::releaseAllJogs()
{
    if (heldJog_ == 0 && state_.jogWord.empty()) return false;
    heldJog_ = 0;
    state_.jogWord = wordToHex(std::uint16_t{0});
    state_.raise(kJog);
    return true;
}

void Operate::stepTeachSpeed(SpeedStep step)
{
    // Text that is not a number leaves the level as it is and sends nothing.
    const auto level = readStrictFinite(board_.text(Ctl::TeachSpeed));
    if (!level) return;
    if (step == SpeedStep::Up && *level < 5) board_.setText(Ctl::TeachSpeed, kNoIndex, generalFormat(*level + 1));
    if (step == SpeedStep::Down && *level > 1) board_.setText(Ctl::TeachSpeed, kNoIndex, generalFormat(*level - 1));
    // Sent on every click, also at a limit.
    state_.speedWord = wordToHex(board_.text(Ctl::TeachSpeed));
    state_.raise(kSpeed);
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
        state_.axisPowerAllData = kSixOff;
        state_.raise(kAxisPowerAll);
        for (const auto& key : kJogKeys) board_.setEnabled(Ctl::JogKey, key.index, false);
    }
    state_.motionModeWord = wordToHex(static_cast<std::uint16_t>(static_cast<int>(mode) + 1));
    state_.raise(kMotionMode);
    state_.raise(kReadMotionParams);
}

void Operate::setControlMode(ControlMode mode)
{
    state_.controlModeWord = wordToHex(static_cast<std::uint16_t>(mode));
    state_.raise(kControlMode);
}

// ---- axis power, alarms, homing, joint targets ----------------------------

void Operate::toggleAxis(int axis)
{
    if (axis < 1 || axis > 6) return; // the seventh axis has no servo
    // The opposite of the last reported state. A state that is neither on
    // nor off gives no sensible opposite: nothing is queued.
    const int reported = state_.servoState[static_cast<std::size_t>(axis)];
    if (reported != 0 && reported != 1) return;
    state_.axisPowerWord(axis) = reported == 0 ? "00 01" : "00 02";
    state_.raise(kAxisPowerBase + axis);
}

void Operate::powerAllAxes(bool on)
{
    state_.axisPowerAllData = on ? kSixOn : kSixOff;
    state_.raise(kAxisPowerAll);
}

void Operate::clearAlarms()
{
    state_.alarmClearData = kSixOn;
    state_.raise(kAlarmClear);
}

void Operate::setOrigin()
{
    if (!prompts_.askYesNo("是否设置机械臂原点?", "提示")) return;
    state_.originData = kSixOn;
    state_.raise(kSetOrigin);
}

void Operate::returnToOrigin()
{
    state_.originData = kSixOn;
    state_.raise(kReturnToOrigin);
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
    state_.scratchFloats6 = target;
    state_.jointTargetData = floatArrayToHex(state_.scratchFloats6);
    state_.raise(kJointTarget);
}

// ---- parameters -----------------------------------------------------------

void Operate::paramKey(ParamGroupId group, int index, bool enter)
{
    const ParamGroup& g = paramGroup(group);
    if (!inGroup(g, index)) return;
    if (!enter) {
        board_.setBackColour(g.box, index, Colour::edited());
        return;
    }
    // A group that could not be read keeps the box marked as unconfirmed.
    if (confirm(g, index)) board_.setBackColour(g.box, index, Colour::windowBackground());
}

bool Operate::confirm(const ParamGroup& g, int index)
{
    if (g.reading == Reading::AtSend) {
        state_.raise(g.slot + index);
        return true;
    }
    std::array<float, 6> values{};
    for (int k = 0; k < g.count; ++k) {
        const std::string text = board_.text(g.box, g.first + k);
        auto v = g.reading == Reading::Strict ? readStrictFloat(text) : readLenientFloat(text);
        if (!v) return false;
        values[static_cast<std::size_t>(k)] = *v;
    }
    std::string payload;
    if (g.count == 6) {
        std::copy_n(values.begin(), 6, state_.scratchFloats6.begin());
        payload = floatArrayToHex(state_.scratchFloats6);
    } else {
        std::copy_n(values.begin(), 3, state_.scratchFloats3.begin());
        payload = floatArrayToHex(state_.scratchFloats3);
    }
    state_.*(g.payload) = std::move(payload);
    state_.raise(g.slot);
    return true;
}

void Operate::readPidGains() { state_.raise(kReadPid); }

void Operate::storePidGains()
{
    state_.paramSaveData = kSixOn;
    state_.raise(kStorePid);
    board_.setText(Ctl::PidGainsButton, 1, kSaving);
}

void Operate::storeParameters()
{
    state_.raise(kStoreParams);
    for (int i = 0; i <= 2; ++i) board_.setText(Ctl::StoreParamsButton, i, kSaving);
}

void Operate::readPointSpeed() { state_.raise(kReadPointSpeed); }
void Operate::writePointSpeed() { confirm(paramGroup(ParamGroupId::PointSpeed), 0); }
void Operate::readLinearSpeed() { state_.raise(kReadLineSpeed); }
void Operate::writeLinearSpeed() { confirm(paramGroup(ParamGroupId::LinearSpeed), 0); }

} // namespace vq
