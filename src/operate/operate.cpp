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

constexpr const char* kSaving = "保存中..";

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

// Box array, first index, count, reading, payload, write slot.
const std::array<ParamGroup, 11> kParamGroups = {{
    {"Text4", 1, 6, Reading::AtSend, Slot::WriteKp1},
    {"Text5", 1, 6, Reading::AtSend, Slot::WriteKi1},
    {"Text6", 1, 6, Reading::AtSend, Slot::WriteKd1},
    {"Text17", 1, 6, Reading::Lenient, Slot::WriteMechanical},
    {"Text3", 1, 6, Reading::Lenient, Slot::WriteReduction},
    {"Text12", 1, 6, Reading::Lenient, Slot::WriteMotorEncoder},
    {"Text14", 1, 6, Reading::Lenient, Slot::WriteMaxPositive},
    {"Text15", 1, 6, Reading::Lenient, Slot::WriteMaxNegative},
    {"Text16", 1, 3, Reading::Strict, Slot::WriteTool},
    {"Text10", 0, 3, Reading::Strict, Slot::WritePointSpeed},
    {"Text21", 0, 3, Reading::Strict, Slot::WriteLineSpeed},
}};

const JogKey* jogKey(int index)
{
    for (const auto& k : kJogKeys)
        if (k.index == index) return &k;
    return nullptr;
}

const ParamGroup* paramGroup(std::string_view box)
{
    for (const auto& g : kParamGroups)
        if (box == g.box) return &g;
    return nullptr;
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

// Command31..Command36 -> axis 1..6, otherwise 0.
int axisOfButton(std::string_view name)
{
    if (name.size() == 9 && name.substr(0, 8) == "Command3" && name[8] >= '1' && name[8] <= '6') return name[8] - '0';
    return 0;
}

} // namespace

std::span<const JogKey> jogTable() { return kJogKeys; }
std::span<const ParamGroup> paramGroups() { return kParamGroups; }

Operate::Operate(FormState& state, Board& board, Prompts& prompts) : state_(state), board_(board), prompts_(prompts) {}

// ---- events ---------------------------------------------------------------

bool Operate::click(std::string_view name, int index)
{
    if (name == "Command8") teachSpeed(index);
    else if (name == "Command22") motionMode(index);
    else if (name == "Command19") controlMode(index);
    else if (int axis = axisOfButton(name)) toggleAxis(axis);
    else if (name == "Command1") allAxes(index);
    else if (name == "Command30") clearAlarms();
    else if (name == "Command16") origin(index);
    else if (name == "Command2") jointTarget(index);
    else return paramButton(name, index);
    return true;
}

bool Operate::mouseDown(std::string_view name, int index)
{
    if (name != "Command5") return false;
    jogPress(index);
    return true;
}

bool Operate::mouseUp(std::string_view name, int /*index*/)
{
    if (name != "Command5") return false;
    // Whichever button went up, and however the press ended: stop.
    heldJog_ = 0;
    state_.post(Slot::Jog, wordData(0));
    return true;
}

bool Operate::keyDown(std::string_view name, int index, int keyCode)
{
    // Typing into the teach-speed box sends nothing; the speed buttons read it.
    if (name == "Text2") return true;
    const ParamGroup* g = paramGroup(name);
    if (!g) return false;
    if (!inGroup(*g, index)) return true;
    if (keyCode != kKeyEnter) {
        board_.setBackColour(g->box, index, Colour::edited());
        return true;
    }
    // A group that could not be read keeps the box marked as unconfirmed.
    if (confirm(*g, index)) board_.setBackColour(g->box, index, Colour::windowBackground());
    return true;
}

// ---- jogging and modes ----------------------------------------------------

void Operate::jogPress(int index)
{
    const JogKey* key = jogKey(index);
    if (!key) return; // 13, 14: seventh axis, no code
    // The window does not deliver presses on a disabled button; a press that
    // arrives anyway (drag mode, not in teach mode) must not move the arm.
    if (!board_.enabled("Command5", index)) return;
    // A second press while one button is held replaces the first: there is
    // one jog word, so the first code is never sent again.
    heldJog_ = index;
    state_.post(Slot::Jog, wordData(key->code));
}

bool Operate::releaseAllJogs()
{
    if (heldJog_ == 0 && !state_.mailbox.stored(Payload::JogWord)) return false;
    heldJog_ = 0;
    state_.post(Slot::Jog, wordData(0));
    return true;
}

void Operate::teachSpeed(int index)
{
    if (index != 0 && index != 1) return;
    // Text that is not a number leaves the level as it is and sends nothing.
    const auto level = readStrictFinite(board_.text("Text2"));
    if (!level) return;
    if (index == 0 && *level < 5) board_.setText("Text2", kNoIndex, generalFormat(*level + 1));
    if (index == 1 && *level > 1) board_.setText("Text2", kNoIndex, generalFormat(*level - 1));
    // Sent on every click, also at a limit.
    state_.post(Slot::TeachSpeed, wordData(wordFromText(board_.text("Text2"))));
}

void Operate::motionMode(int index)
{
    if (index < 0 || index > 3) return;
    for (const auto& key : kJogKeys) board_.setEnabled("Command5", key.index, true);
    if (index == 0 || index == 1 || index == 2) {
        for (const auto& key : kJogKeys)
            board_.setText("Command5", key.index, index == 0 ? key.jointCaption : key.cartesianCaption);
    } else {
        // Drag: all servos off, jog buttons out of use; captions stay.
        releaseAllJogs();
        state_.post(Slot::AxisPowerAll, sixWords(kSwitchOff));
        for (const auto& key : kJogKeys) board_.setEnabled("Command5", key.index, false);
    }
    state_.post(Slot::MotionMode, wordData(static_cast<std::uint16_t>(index + 1)));
    state_.raise(Slot::ReadTool);
}

void Operate::controlMode(int index)
{
    if (index < 0 || index > 2) return;
    state_.post(Slot::ControlMode, wordData(static_cast<std::uint16_t>(index)));
}

// ---- axis power, alarms, homing, joint targets ----------------------------

void Operate::toggleAxis(int axis)
{
    // The opposite of the last reported state. A state that is neither on
    // nor off gives no sensible opposite: nothing is queued.
    const int reported = state_.servoState[static_cast<std::size_t>(axis)];
    if (reported != 0 && reported != 1) return;
    state_.post(axisSlot(Slot::AxisPower1, axis), wordData(reported == 0 ? kSwitchOn : kSwitchOff));
}

void Operate::allAxes(int index)
{
    if (index != 9 && index != 10) return; // 7: seventh axis, inactive
    state_.post(Slot::AxisPowerAll, sixWords(index == 9 ? kSwitchOn : kSwitchOff));
}

void Operate::clearAlarms()
{
    state_.post(Slot::AlarmClear, sixWords(kSwitchOn));
}

void Operate::origin(int index)
{
    if (index == 0) {
        if (!prompts_.askYesNo("是否设置机械臂原点?", "提示")) return;
        state_.post(Slot::SetOrigin, sixWords(kSwitchOn));
    } else if (index == 1) {
        state_.post(Slot::ReturnToOrigin, sixWords(kSwitchOn));
    }
}

void Operate::jointTarget(int index)
{
    std::array<float, 6> target{};
    switch (index) {
    case 1: break;
    case 2: target = {0.0f, 0.0f, -90.0f, 0.0f, -90.0f, 0.0f}; break;
    case 3:
        for (int joint = 1; joint <= 6; ++joint) {
            auto v = readLenientFloat(board_.text("Text1", joint));
            if (!v) return;
            target[static_cast<std::size_t>(joint - 1)] = *v;
        }
        break;
    default: return;
    }
    state_.post(Slot::JointTarget, floatData(target));
}

// ---- parameters -----------------------------------------------------------

bool Operate::confirm(const ParamGroup& g, int index)
{
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

bool Operate::paramButton(std::string_view name, int index)
{
    if (name == "Command3") {
        if (index == 0) {
            state_.raise(Slot::ReadPidGains);
        } else if (index == 1) {
            state_.post(Slot::StorePidGains, sixWords(kSwitchOn));
            board_.setText("Command3", 1, kSaving);
        }
    } else if (name == "Command4") {
        // One store command for the three parameter tabs.
        state_.raise(Slot::StoreParameters);
        for (int i = 0; i <= 2; ++i) board_.setText("Command4", i, kSaving);
    } else if (name == "Command7") {
        if (index == 0) state_.raise(Slot::ReadPointSpeed);
        else if (index == 1) confirm(*paramGroup("Text10"), 0);
    } else if (name == "Command23") {
        if (index == 0) state_.raise(Slot::ReadLineSpeed);
        else if (index == 1) confirm(*paramGroup("Text21"), 0);
    } else {
        return false;
    }
    return true;
}

} // namespace vq
