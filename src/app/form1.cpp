#include "form1.h"

#include <array>
#include <span>

#include "link/frames.h"
#include "link/hex.h"

namespace vq {
namespace {

// Parameter blocks read again when a tab of SSTab1 is selected.
struct TabReads {
    int tab;
    std::array<std::optional<Slot>, 2> slots;
};
const std::array kTabReads = {
    TabReads{0, {Slot::ReadPidGains, std::nullopt}},           // "PID参数"
    TabReads{1, {Slot::ReadMechanical, Slot::ReadTool}},       // "机械参数"
    TabReads{2, {Slot::ReadReduction, Slot::ReadMotorEncoder}}, // "减速比"
    TabReads{3, {Slot::ReadMaxPositive, Slot::ReadMaxNegative}}, // "角度参数"
};

// Read once by the first cycle after start-up: PID table, the six
// parameter blocks, linear and point speed.
constexpr std::array kStartupReads = {Slot::ReadPidGains,    Slot::ReadMechanical,  Slot::ReadReduction,
                                      Slot::ReadMotorEncoder, Slot::ReadMaxPositive, Slot::ReadMaxNegative,
                                      Slot::ReadTool,         Slot::ReadLineSpeed,   Slot::ReadPointSpeed};

// The PID gain boxes of the three terms (elements 1..6 are the axes).
constexpr std::array<const char*, 3> kGainBoxes = {"Text4", "Text5", "Text6"};

// Read-outs fed by the status block and by the pose block (indices 1..6).
constexpr std::array kStatusReadouts = {"Label1", "Label8"};
constexpr std::array kPoseReadouts = {"Label2", "Label3", "Label5"};

} // namespace

Form1::Form1(Board& board, Prompts& prompts, Port& port, SavedSettings& settings, std::optional<std::string> fixedDevice)
    : board_(board), prompts_(prompts), port_(port), settings_(settings), fixedDevice_(std::move(fixedDevice)),
      link_(port), scheduler_(state_.mailbox, link_), opener_(port, board, prompts), replies_(state_, board),
      operate_(state_, board, prompts), program_(state_, board, prompts)
{
    port_.onReceive = [this] {
        if (!ended_) link_.receive();
    };
    link_.onFrameSent = [this](std::span<const std::uint8_t> frame) {
        board_.setText("Text18", kNoIndex, bytesToHexText(frame));
    };
    link_.onFrameAccepted = [this](std::span<const std::uint8_t> frame) {
        board_.setText("Text19", kNoIndex, bytesToHexText(frame));
    };
    link_.onReply = [this](const Reply& reply) {
        replies_.handle(reply);
        afterReply(reply);
    };
    scheduler_.gainAtSend = [this](PidTerm term, int axis) {
        return wordFromText(board_.text(kGainBoxes[static_cast<std::size_t>(term)], axis));
    };
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
    for (Slot slot : kStartupReads) state_.raise(slot);
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
        for (Slot slot : heldForLine_) state_.mailbox.lower(slot);
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
        for (const auto& slot : row.slots)
            if (slot) state_.raise(*slot);
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
        syncLinkSettings();
        afterPollTick(scheduler_.pollTick());
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
    for (Slot slot : kRunnerSlots)
        if (state_.due(slot)) state_.controllerBusy = 100;
}

// The slave address and the continuous-read switches as the window shows
// them now; the link reads nothing else of the window.
void Form1::syncLinkSettings()
{
    link_.settings.slave = slaveFromText(board_.text("Combo3"));
    link_.settings.readStatus = board_.value("Check2") == 1;
    link_.settings.readPose = board_.value("Check3") == 1;
}

void Form1::afterPollTick(std::optional<Slot> served)
{
    if (served == Slot::ReadStatus) {
        if (++missedStatus_ > kStaleAfterMissedReads && !statusStale_) setStale(true, true);
    } else if (served == Slot::ReadPose) {
        if (++missedPose_ > kStaleAfterMissedReads && !poseStale_) setStale(false, true);
    }
    for (Slot slot : kRunnerSlots) {
        if (served != slot) continue;
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

void Form1::afterReply(const Reply& reply)
{
    if (!reply.isRead) return;
    if (reply.request.slot == Slot::ReadStatus) {
        missedStatus_ = 0;
        if (statusStale_) setStale(true, false);
        // This busy word was read before a queued runner write went out.
        holdRunnerUntilStatus();
    } else if (reply.request.slot == Slot::ReadPose) {
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
    if (operate_.releaseAllJogs()) link_.sendNow(slotRow(Slot::Jog), state_.mailbox.payload(Payload::JogWord));
    board_.setTimerEnabled("Timer1", false);
    board_.setTimerEnabled("Timer3", false);
    port_.close();
    board_.endProgram();
}

} // namespace vq
