#include "form1.h"

#include <array>
#include <span>

namespace vq {
namespace {

// Parameter blocks read again when a tab of SSTab1 is selected.
struct TabReads {
    int tab;
    std::array<int, 2> slots; // 0 = none
};
constexpr std::array kTabReads = {
    TabReads{0, {9, 0}},   // "PID参数": 10 50
    TabReads{1, {10, 60}}, // "机械参数": 11 10, 11 60
    TabReads{2, {20, 30}}, // "减速比": 11 20, 11 30
    TabReads{3, {40, 50}}, // "角度参数": 11 40, 11 50
};

// Read once by the first cycle after start-up: PID table, the six
// parameter blocks, linear and point speed.
constexpr std::array kStartupReads = {9, 10, 20, 30, 40, 50, 60, 89, 92};

// Write slots of the program runner: point and linear speed, joint target,
// point, linear and circular move.
constexpr std::array kRunnerSlots = {189, 192, 193, 194, 195, 196};

// Read-outs fed by the status block and by the pose block (indices 1..6).
constexpr std::array kStatusReadouts = {"Label1", "Label8"};
constexpr std::array kPoseReadouts = {"Label2", "Label3", "Label5"};

} // namespace

Form1::Form1(Board& board, Prompts& prompts, Port& port, SavedSettings& settings, std::optional<std::string> fixedDevice)
    : board_(board), prompts_(prompts), port_(port), settings_(settings), fixedDevice_(std::move(fixedDevice)),
      sender_(port, board, state_), scheduler_(state_, board, sender_), opener_(port, board, prompts),
      replies_(state_, board), operate_(state_, board, prompts), program_(state_, board, prompts)
{
    port_.onReceive = [this] { MSComm1_OnComm(); };
}

Form1::~Form1() { port_.onReceive = nullptr; }

void Form1::load()
{
    board_.setText("Combo3", kNoIndex, "128");
    board_.setText("Combo2", kNoIndex, "115200");
    std::string portText = fixedDevice_ ? *fixedDevice_ : settings_.get("Comm");
    board_.setText("Combo1", kNoIndex, portText);
    // Nothing saved (first start) or not a port: stay closed, no warning,
    // Timer1 stays off until a port is chosen from the list.
    if (auto device = deviceForPortText(portText)) opener_.openPort(*device, board_.text("Combo2"));
    board_.setText("Text7", kNoIndex, kDefaultProgram);
    board_.setValue("Check2", kNoIndex, 1);
    board_.setValue("Check3", kNoIndex, 1);
    for (int slot : kStartupReads) state_.raise(slot);
    for (int axis = 1; axis <= 6; ++axis) state_.alarmCode[static_cast<std::size_t>(axis)] = 0;
    for (int i = 0; i <= 3; ++i) board_.setEnabled("Command22", i, false);
}

void Form1::click(std::string_view name, int index)
{
    if (ended_) return;
    if (operate_.click(name, index)) return;
    program_.click(name, index);
    if (name == "Command12") {
        // Stop: a program move held back while the line was down is not
        // sent afterwards.
        for (int slot : heldForLine_) state_.slotPending[static_cast<std::size_t>(slot)] = 0;
        heldForLine_.clear();
    }
}

void Form1::mouseDown(std::string_view name, int index)
{
    if (ended_) return;
    operate_.mouseDown(name, index);
}

void Form1::mouseUp(std::string_view name, int index)
{
    if (ended_) return;
    operate_.mouseUp(name, index);
}

void Form1::keyDown(std::string_view name, int index, int keyCode)
{
    if (ended_) return;
    if (operate_.keyDown(name, index, keyCode)) return;
    program_.keyDown(name, index, keyCode);
}

void Form1::tabClick(std::string_view name, int tab)
{
    if (ended_ || name != "SSTab1") return;
    for (const auto& row : kTabReads) {
        if (row.tab != tab) continue;
        for (int slot : row.slots)
            if (slot) state_.raise(slot);
    }
}

void Form1::comboDropDown(std::string_view name)
{
    if (ended_ || name != "Combo1") return;
    board_.setItems("Combo1", opener_.probePorts());
}

void Form1::comboClick(std::string_view name)
{
    if (ended_ || name != "Combo1") return;
    std::string text = board_.text("Combo1");
    settings_.put("Comm", text);
    openPortText(text);
}

void Form1::openPortText(const std::string& portText)
{
    if (auto device = deviceForPortText(portText)) {
        opener_.openPort(*device, board_.text("Combo2"));
        return;
    }
    // Not a port number: the open fails as for a missing port.
    if (port_.isOpen()) port_.close();
    board_.setTimerEnabled("Timer1", true);
    prompts_.warn(kPortWarning, kPortWarningTitle);
}

void Form1::menu(std::string_view name)
{
    if (ended_) return;
    if (name == "Exit") {
        endProgram();
        return;
    }
    program_.menu(name);
}

void Form1::timer(std::string_view name)
{
    if (ended_) return;
    if (name == "Timer1") {
        scheduler_.pollTick();
        afterPollTick();
        return;
    }
    program_.timer(name);
    if (name == "Timer3") holdRunnerUntilStatus();
}

void Form1::holdRunnerUntilStatus()
{
    // A motion line has been handed to the scheduler. Until a status reply
    // taken after that write reports the controller's busy word, the runner
    // must not treat the last (older) busy word as "idle": it would go on
    // to the next line while the move is still queued, or while replies
    // are being lost. This is the same hold Run itself starts with.
    for (int slot : kRunnerSlots)
        if (state_.due(slot)) state_.controllerBusy = 100;
}

void Form1::afterPollTick()
{
    // Which request did this event send? The scheduler stands on its slot.
    int tick = state_.pollTick;
    trackPeriod(tick);
    if (tick == 1 && board_.value("Check2") == 1) {
        if (++missedStatus_ > kStaleAfterMissedReads && !statusStale_) setStale(true, true);
    } else if (tick == 6 && board_.value("Check3") == 1) {
        if (++missedPose_ > kStaleAfterMissedReads && !poseStale_) setStale(false, true);
    }
    for (int slot : kRunnerSlots) {
        if (tick != slot) continue;
        state_.controllerBusy = 100;
        // A program line sent into a line that is down never left. During a
        // run it stays in the mailbox and goes out once the line is back
        // (the runner waits on the busy word meanwhile), so no move of the
        // program is skipped. Outside a run (a direct move) it is lost, as
        // any request sent on a closed port: it must not surprise the
        // operator when the line returns.
        if (!port_.isOpen() && board_.timerEnabled("Timer3")) {
            state_.raise(slot);
            heldForLine_.insert(slot);
        } else {
            heldForLine_.erase(slot);
        }
    }
}

// Late-reply guard. Modbus RTU replies carry no transaction number and the
// scheduler does not wait, so a reply that comes after the next Timer1
// event can be taken for the answer to the request that event sent; status
// and pose replies have the same length. Each Timer1 event starts a period.
// A reply is decoded only while the line is seen in step:
//  - it is the first receive event of a period that sent a request, and
//    has the length of that request's reply;
//  - the request period before had its receive event (else that reply may
//    still be on its way, and this may be it);
//  - no late reply was seen in this cycle or the one before: a receive
//    event in a period that sent nothing, a second one in a period, or
//    one of another length.
void Form1::trackPeriod(int tick)
{
    if (periodSent_) previousAnswered_ = periodReceives_ > 0;
    periodReceives_ = 0;
    periodSent_ = tick != 0 && port_.isOpen();
    if (tick == 0) { // the event that wraps ends a cycle
        lateHold_ = lateThisCycle_;
        lateThisCycle_ = false;
    }
}

bool Form1::replyInStep(bool expectedLength)
{
    ++periodReceives_;
    const bool late = !periodSent_ || periodReceives_ > 1 || !expectedLength;
    if (late) lateThisCycle_ = lateHold_ = true;
    return !late && !lateHold_ && previousAnswered_;
}

void Form1::afterReply(const std::string& addressBefore, bool readReply)
{
    // An accepted reply empties replyAddress; a rejected one leaves it.
    if (!readReply || !state_.replyAddress.empty()) return;
    if (addressBefore == "10 00") {
        missedStatus_ = 0;
        if (statusStale_) setStale(true, false);
        // This busy word was read before a queued runner write went out.
        holdRunnerUntilStatus();
    } else if (addressBefore == "11 70") {
        missedPose_ = 0;
        if (poseStale_) setStale(false, false);
    }
}

void Form1::setStale(bool status, bool stale)
{
    (status ? statusStale_ : poseStale_) = stale;
    const auto& names = status ? std::span<const char* const>(kStatusReadouts) : std::span<const char* const>(kPoseReadouts);
    for (const char* name : names)
        for (int i = 1; i <= 6; ++i) board_.setEnabled(name, i, !stale);
    if (status) {
        board_.setEnabled("Text13", kNoIndex, !stale);
        // The lamp says "controller ready" only while that is known.
        if (stale) board_.setBackColour("Shape1", kNoIndex, Colour::buttonFace());
    }
}

void Form1::unload() { endProgram(); }

void Form1::endProgram()
{
    if (ended_) return;
    ended_ = true;
    // A jog held while the console closes must not keep the arm moving
    // until the controller's own watchdog notices: the stop word goes out
    // now, before the port closes.
    if (operate_.releaseAllJogs() && port_.isOpen()) sender_.sendWriteRequest("10 04", "1", state_.jogWord);
    board_.setTimerEnabled("Timer1", false);
    board_.setTimerEnabled("Timer3", false);
    port_.close();
    board_.endProgram();
}

void Form1::MSComm1_OnComm()
{
    if (ended_) return;
    auto bytes = port_.takeAll();
    // The event comes once at least the expected number of bytes is in. A
    // buffer of any other length is not the reply to the request on the
    // line: typically a reply that came too late for the previous request,
    // complete and with a good CRC, now landing in the next request's
    // window. Taken as this request's answer it would put one block's
    // values into another block's boxes (status words into PID gains, which
    // an Enter would then write back). Drop it like a failed check.
    if (!replyInStep(static_cast<int>(bytes.size()) == state_.expectedReplyLength)) return;
    std::string addressBefore = state_.replyAddress;
    replies_.MSComm1_OnComm(bytes);
    afterReply(addressBefore, bytes.size() >= 2 && bytes[1] == 0x03);
}

} // namespace vq
