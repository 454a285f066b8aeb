#include "form1.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <span>

#include "app/control_ids.h"
#include "link/frames.h"
#include "link/hex.h"
#include "link/slot_words.h"
#include "link/status_line.h"
#include "telemetry/blocks.h"
#include "telemetry/decoded.h"

namespace vq {
namespace {

// Parameter blocks read again when a parameter tab is selected.
struct TabReads {
    int tab;
    std::array<std::optional<Slot>, 2> slots;
};
const std::array kTabReads = {
    TabReads{0, {Slot::ReadPidGains, std::nullopt}},             // "PID参数"
    TabReads{1, {Slot::ReadMechanical, Slot::ReadTool}},         // "机械参数"
    TabReads{2, {Slot::ReadReduction, Slot::ReadMotorEncoder}},  // "减速比"
    TabReads{3, {Slot::ReadMaxPositive, Slot::ReadMaxNegative}}, // "角度参数"
};

// Read once by the first cycle after start-up: PID table, the six
// parameter blocks, linear and point speed.
constexpr std::array kStartupReads = {Slot::ReadPidGains,    Slot::ReadMechanical,  Slot::ReadReduction,
                                      Slot::ReadMotorEncoder, Slot::ReadMaxPositive, Slot::ReadMaxNegative,
                                      Slot::ReadTool,         Slot::ReadLineSpeed,   Slot::ReadPointSpeed};

// The PID gain boxes of the three terms (elements 1..6 are the axes).
constexpr std::array kGainBoxes = {Ctl::PidKp, Ctl::PidKi, Ctl::PidKd};


// Read-outs fed by the status block and by the pose block (indices 1..6).
constexpr std::array kStatusReadouts = {Ctl::EncoderPosition, Ctl::AlarmCaption};
constexpr std::array kPoseReadouts = {Ctl::JointAngle, Ctl::PoseValue, Ctl::MonitorValue};

// AllAxesButton index that switches every servo on (the other one, 10,
// switches them off).
constexpr int kAllAxesOn = 9;
// What TargetAngleButton 1, 2 and 3 send.
constexpr std::array kTargetPresets = {TargetPreset::Zero, TargetPreset::Minus90, TargetPreset::Typed};

template <ParamGroupId Group>
void paramKey(Form1& form, int index, int keyCode)
{
    form.operate().paramKey(Group, index, keyCode == kKeyEnter);
}

template <TeachInKind Kind>
void teachIn(Form1& form, int, int)
{
    form.program().teachIn(Kind);
}

template <DirectMoveKind Kind>
void directMove(Form1& form, int, int)
{
    form.program().directMove(Kind);
}

} // namespace

Form1::Form1(Board& board, Prompts& prompts, Port& port, SavedSettings& settings, std::optional<std::string> fixedDevice,
             std::string recoveryFolder, Clock clock)
    : mask_(board), board_(mask_), prompts_(prompts), port_(port), settings_(settings), fixedDevice_(std::move(fixedDevice)),
      clock_(std::move(clock)), link_(port), scheduler_(state_.mailbox, link_), opener_(port, board_, prompts),
      replies_(state_, board_), operate_(state_, board_, prompts),
      program_(state_, board_, prompts,
               ProgramFileSetup{std::move(recoveryFolder),
                                [this] { return port_.isOpen() ? openDevice_ : std::string(); }, nullptr})
{
    link_.onRequestOnLine = [this](const Request& request, std::span<const std::uint8_t> frame) {
        const std::int64_t t = wallUs();
        health_.sent(t);
        traffic_.addRequest(request, frame, t);
    };
    link_.onHeard = [this](const Request& request, Link::Heard heard, std::span<const std::uint8_t> bytes) {
        const std::int64_t t = wallUs();
        health_.heard(heard, t);
        traffic_.addHeard(request, heard, bytes, t);
    };
    port_.onReceive = [this] {
        if (!ended_) link_.receive();
    };
    link_.onFrameSent = [this](std::span<const std::uint8_t> frame) {
        board_.setText(Ctl::SentFrame, kNoIndex, bytesToHexText(frame));
    };
    link_.onFrameAccepted = [this](std::span<const std::uint8_t> frame) {
        board_.setText(Ctl::ReceivedFrame, kNoIndex, bytesToHexText(frame));
    };
    link_.onReply = [this](const Reply& reply) {
        beforeReply(reply);
        replies_.handle(reply);
        afterReply(reply);
    };
    link_.onUnsent = [this](const Request& request) { tellUnsent(request.slot); };
    scheduler_.gainAtSend = [this](PidTerm term, int axis) {
        return wordFromText(board_.text(kGainBoxes[static_cast<std::size_t>(term)], axis));
    };
    program_.poseFresh = [this] { return poseAt_ && now() - *poseAt_ <= kFreshPose; };
}

Form1::~Form1() { port_.onReceive = nullptr; }

void Form1::load()
{
    board_.setText(Ctl::SlaveAddress, kNoIndex, "128");
    board_.setText(Ctl::BaudRate, kNoIndex, "115200");
    std::string portText = fixedDevice_ ? std::string(kSimulatorPortText) : settings_.get("Comm");
    board_.setText(Ctl::PortNumber, kNoIndex, portText);
    // Nothing saved (first start) or not a port: stay closed, no warning,
    // Timer1 stays off until a port is chosen from the list.
    if (auto device = fixedDevice_ ? fixedDevice_ : deviceForPortText(portText)) openDevice(*device);
    showHealth(true);
    board_.setText(Ctl::AlarmMeaning, 0, alarmLegend());
    board_.setText(Ctl::ProgramEditor, kNoIndex, kDefaultProgram);
    board_.setValue(Ctl::StatusReadSwitch, kNoIndex, 1);
    board_.setValue(Ctl::PoseReadSwitch, kNoIndex, 1);
    for (Slot slot : kStartupReads) state_.raise(slot);
    for (Slot slot : kStartupReads) unreadBlocks_.emplace(slot, false);
    // Until its block is read, a parameter box holds no value of the
    // controller's: the layout's placeholders are taken out and the box is
    // marked, and its group cannot be written.
    for (const ParamGroup& g : paramGroups())
        for (int i = g.first; i < g.first + g.count; ++i) {
            board_.setText(g.box, i, "");
            markReported(g.box, i, false, board_, state_);
        }
    for (int axis = 1; axis <= 6; ++axis) state_.alarmCode[static_cast<std::size_t>(axis)] = 0;
    for (int i = 0; i <= 3; ++i) board_.setEnabled(Ctl::MotionModeButton, i, false);
    program_.offerRecovery();
    program_.programChanged();
    program_.showRunState();
}

void Form1::click(std::string_view name, int index) { route(Event::Click, name, index); }
void Form1::mouseDown(std::string_view name, int index) { route(Event::MouseDown, name, index); }
void Form1::mouseUp(std::string_view name, int index) { route(Event::MouseUp, name, index); }
void Form1::keyDown(std::string_view name, int index, int keyCode) { route(Event::KeyDown, name, index, keyCode); }
void Form1::tabClick(std::string_view name, int tab) { route(Event::TabClick, name, kNoIndex, tab); }
void Form1::comboDropDown(std::string_view name) { route(Event::DropDown, name, kNoIndex); }
void Form1::comboClick(std::string_view name) { route(Event::Choose, name, kNoIndex); }
void Form1::menu(std::string_view name) { route(Event::Menu, name, kNoIndex); }
void Form1::timer(std::string_view name) { route(Event::Timer, name, kNoIndex); }
void Form1::changed(std::string_view name) { route(Event::Edit, name, kNoIndex); }
void Form1::change(std::string_view name) { route(Event::Change, name, kNoIndex); }

void Form1::route(Event event, std::string_view name, int index, int detail)
{
    if (ended_) return;
    // A control the core does not know, or an event it has no use for,
    // does nothing.
    const std::optional<BoundControl> control = boundControl(name, index);
    if (!control) return;
    for (const Route& r : routes()) {
        if (r.event != event || r.control != control->id) continue;
        r.handle(*this, control->index, detail);
        if (!ended_) program_.showRunState(); // whatever the event did to the run
        return;
    }
}

std::span<const Form1::Route> Form1::routes()
{
    using E = Event;
    using P = ParamGroupId;
    static constexpr Route kRoutes[] = {
        // Connection bar
        {E::DropDown, Ctl::PortNumber, [](Form1& f, int, int) { f.listPorts(); }},
        {E::Choose, Ctl::PortNumber, [](Form1& f, int, int) { f.choosePort(); }},
        {E::Click, Ctl::OriginButton, [](Form1& f, int i, int) { i == 0 ? f.operate_.setOrigin() : f.operate_.returnToOrigin(); }},
        {E::Timer, Ctl::PollTimer, [](Form1& f, int, int) {
             f.pollEvent();
             f.showHealth(false);
         }},
        // Servo bar
        {E::Click, Ctl::ServoButton, [](Form1& f, int axis, int) { f.operate_.toggleAxis(axis); }},
        {E::Click, Ctl::AllAxesButton, [](Form1& f, int i, int) { f.operate_.powerAllAxes(i == kAllAxesOn); }},
        {E::Click, Ctl::ClearAlarmsButton, [](Form1& f, int, int) { f.operate_.clearAlarms(); }},
        // Joint targets
        {E::Click, Ctl::TargetAngleButton, [](Form1& f, int i, int) { f.operate_.sendTargetAngles(kTargetPresets.at(static_cast<std::size_t>(i - 1))); }},
        // Manual operation
        {E::Click, Ctl::SpeedStepButton, [](Form1& f, int i, int) { f.operate_.stepTeachSpeed(i == 0 ? SpeedStep::Up : SpeedStep::Down); }},
        {E::MouseDown, Ctl::JogKey, [](Form1& f, int i, int) { f.operate_.jogPress(i); }},
        {E::MouseUp, Ctl::JogKey, [](Form1& f, int, int) { f.operate_.jogRelease(); }},
        {E::Click, Ctl::ControlModeButton, [](Form1& f, int i, int) { f.operate_.setControlMode(static_cast<ControlMode>(i)); }},
        {E::Click, Ctl::MotionModeButton, [](Form1& f, int i, int) { f.operate_.setMotionMode(static_cast<MotionMode>(i)); }},
        // Move speeds
        {E::KeyDown, Ctl::PointSpeed, paramKey<P::PointSpeed>},
        {E::Click, Ctl::PointSpeedButton, [](Form1& f, int i, int) { i == 0 ? f.operate_.readPointSpeed() : f.operate_.writePointSpeed(); }},
        {E::KeyDown, Ctl::LinearSpeed, paramKey<P::LinearSpeed>},
        {E::Click, Ctl::LinearSpeedButton, [](Form1& f, int i, int) { i == 0 ? f.operate_.readLinearSpeed() : f.operate_.writeLinearSpeed(); }},
        // Parameter tabs
        {E::TabClick, Ctl::ParamTabs, [](Form1& f, int, int tab) { f.readTab(tab); }},
        {E::KeyDown, Ctl::PidKp, paramKey<P::PidKp>},
        {E::KeyDown, Ctl::PidKi, paramKey<P::PidKi>},
        {E::KeyDown, Ctl::PidKd, paramKey<P::PidKd>},
        {E::Click, Ctl::PidGainsButton, [](Form1& f, int i, int) { i == 0 ? f.operate_.readPidGains() : f.operate_.storePidGains(); }},
        {E::KeyDown, Ctl::MechanicalParam, paramKey<P::Mechanical>},
        {E::KeyDown, Ctl::ToolParam, paramKey<P::Tool>},
        {E::KeyDown, Ctl::ReductionRatio, paramKey<P::ReductionRatio>},
        {E::KeyDown, Ctl::MotorEncoderParam, paramKey<P::MotorEncoder>},
        {E::KeyDown, Ctl::MaxPositiveAngle, paramKey<P::MaxPositiveAngle>},
        {E::KeyDown, Ctl::MaxNegativeAngle, paramKey<P::MaxNegativeAngle>},
        {E::Click, Ctl::StoreParamsButton, [](Form1& f, int, int) { f.operate_.storeParameters(); }},
        // Teach-in
        {E::Click, Ctl::TeachPointSpeedButton, teachIn<TeachInKind::PointSpeed>},
        {E::Click, Ctl::TeachLinearSpeedButton, teachIn<TeachInKind::LinearSpeed>},
        {E::Click, Ctl::TeachJointMoveButton, teachIn<TeachInKind::JointMove>},
        {E::Click, Ctl::TeachPointMoveButton, teachIn<TeachInKind::PointMove>},
        {E::Click, Ctl::TeachLineMoveButton, teachIn<TeachInKind::LineMove>},
        {E::Click, Ctl::TeachArcViaButton, teachIn<TeachInKind::ArcVia>},
        {E::Click, Ctl::TeachArcEndButton, teachIn<TeachInKind::ArcEnd>},
        {E::Click, Ctl::TeachDelayButton, teachIn<TeachInKind::Delay>},
        {E::Click, Ctl::TeachEndButton, teachIn<TeachInKind::End>},
        // Test moves
        {E::Click, Ctl::PointMoveButton, directMove<DirectMoveKind::Point>},
        {E::Click, Ctl::LineMoveButton, directMove<DirectMoveKind::Line>},
        {E::Click, Ctl::ArcMoveButton, directMove<DirectMoveKind::Arc>},
        // The teach program
        {E::Click, Ctl::RunButton, [](Form1& f, int, int) { f.program_.runChecked(); }},
        {E::Click, Ctl::PauseButton, [](Form1& f, int, int) { f.pauseOrContinue(); }},
        {E::Click, Ctl::StopButton, [](Form1& f, int, int) { f.stopRun(); }},
        {E::Timer, Ctl::RunnerTimer, [](Form1& f, int, int) { f.program_.runnerTick(); f.holdRunnerUntilStatus(); }},
        {E::Menu, Ctl::NewProgramMenu, [](Form1& f, int, int) { f.program_.newProgram(); }},
        {E::Menu, Ctl::OpenProgramMenu, [](Form1& f, int, int) { f.program_.openProgram(); }},
        {E::Menu, Ctl::SaveProgramMenu, [](Form1& f, int, int) { f.program_.saveProgram(); }},
        {E::Menu, Ctl::StepMenu, [](Form1& f, int, int) { f.stepRun(); }},
        {E::Change, Ctl::ProgramEditor, [](Form1& f, int, int) { f.program_.programChanged(); }},
        {E::Timer, Ctl::CheckTimer, [](Form1& f, int, int) { f.program_.checkTick(); }},
        {E::Menu, Ctl::ExitMenu, [](Form1& f, int, int) { f.endProgram(); }},
        {E::Timer, Ctl::FileTimer, [](Form1& f, int, int) { f.program_.fileTick(); }},
        {E::Timer, Ctl::RecoveryTimer, [](Form1& f, int, int) { f.program_.recoveryTick(); }},
        {E::Edit, Ctl::ProgramEditor, [](Form1& f, int, int) { f.program_.programEdited(); }},
        // Traffic log
        {E::Click, Ctl::TrafficReadsShown, [](Form1& f, int, int) { f.traffic_.setShown(TrafficKind::Read, f.board_.value(Ctl::TrafficReadsShown) == 1); }},
        {E::Click, Ctl::TrafficWritesShown, [](Form1& f, int, int) { f.traffic_.setShown(TrafficKind::Write, f.board_.value(Ctl::TrafficWritesShown) == 1); }},
        {E::Click, Ctl::TrafficErrorsShown, [](Form1& f, int, int) { f.traffic_.setShown(TrafficKind::Error, f.board_.value(Ctl::TrafficErrorsShown) == 1); }},
        {E::Click, Ctl::TrafficPauseButton, [](Form1& f, int, int) { f.pauseTraffic(); }},
        {E::Click, Ctl::TrafficClearButton, [](Form1& f, int, int) { f.traffic_.clear(); }},
        {E::Click, Ctl::TrafficExportButton, [](Form1& f, int, int) { f.exportTraffic(); }},
    };
    return kRoutes;
}

bool Form1::lineDown() const { return !port_.isOpen() || statusStale_; }

// A paused run goes on (Continue or a single step) only onto a line that
// answers and an arm without alarms; otherwise the operator is told why.
bool Form1::mayResume(std::string_view how)
{
    if (lineDown()) {
        tell(board_, "通讯中断，程序不能继续：等状态回复恢复后再按“" + std::string(how) + "”");
        return false;
    }
    for (int axis = 1; axis <= 6; ++axis)
        if (state_.alarmCode[static_cast<std::size_t>(axis)] != 0) {
            tell(board_, std::to_string(axis) + "轴仍在报警，程序不能继续：清除报警后再按“" + std::string(how) + "”");
            return false;
        }
    return true;
}

void Form1::pauseOrContinue()
{
    ProgramRunner& runner = program_.runner();
    if (runner.running() && runner.runPaused() && !mayResume("继续")) return;
    program_.pauseOrContinue();
    if (!runner.running()) return;
    if (runner.runPaused()) {
        holdRunnerWrites();
        return;
    }
    // Continue: the held move goes out first, and the runner waits for a
    // status reply taken after it before the next line.
    for (Slot slot : heldForPause_) state_.raise(slot);
    heldForPause_.clear();
    holdRunnerUntilStatus();
    tell(board_, "程序继续运行", Notice::Info);
}

// A move the program queued just before a pause waits with the run: nothing
// of the program goes out while it is paused.
void Form1::holdRunnerWrites()
{
    for (Slot slot : kRunnerSlots)
        if (state_.due(slot)) {
            state_.mailbox.lower(slot);
            heldForPause_.insert(slot);
        }
}

void Form1::holdRun(std::string_view why)
{
    ProgramRunner& runner = program_.runner();
    if (!runner.running()) return;
    holdRunnerWrites();
    if (runner.runPaused()) return;
    runner.hold();
    std::string m(why);
    m += "：程序暂停";
    if (runner.lastLineNumber() > 0) m += "在第 " + std::to_string(runner.lastLineNumber()) + " 行";
    m += "，按“继续”接着运行";
    tell(board_, m);
}

void Form1::pauseOnAlarm()
{
    ProgramRunner& runner = program_.runner();
    if (!runner.running() || runner.runPaused()) return;
    std::string axes;
    for (int axis = 1; axis <= 6; ++axis) {
        const int code = state_.alarmCode[static_cast<std::size_t>(axis)];
        if (code == 0) continue;
        if (!axes.empty()) axes += "、";
        axes += std::to_string(axis) + "轴 报警 " + std::to_string(code);
    }
    if (axes.empty()) return;
    std::string where = runner.lastLineNumber() > 0 ? "第 " + std::to_string(runner.lastLineNumber()) + " 行运行时 " : "";
    holdRun("报警：" + where + axes);
}

void Form1::dropWritesWhileClosed()
{
    std::string dropped;
    const auto note = [&](Slot slot) {
        if (!dropped.empty()) dropped += "、";
        dropped += slotWords(slot);
    };
    const bool running = program_.runner().running();
    for (const SlotRow& row : slotTable()) {
        if (row.isRead() || !state_.due(row.slot)) continue;
        if (row.slot == Slot::Jog) {
            // The stop word still goes out when the line is back; a jog
            // code never does: the held key is let go.
            const auto word = state_.mailbox.payload(Payload::JogWord);
            if (word.size() == 2 && (word[0] != 0 || word[1] != 0)) {
                operate_.releaseAllJogs();
                note(row.slot);
            }
            continue;
        }
        if (running && std::find(kRunnerSlots.begin(), kRunnerSlots.end(), row.slot) != kRunnerSlots.end())
            continue; // held with the paused run
        state_.mailbox.lower(row.slot);
        operate_.storeUnconfirmed(row.slot);
        note(row.slot);
    }
    if (!dropped.empty()) tell(board_, "串口未打开，未发送：" + dropped);
}

void Form1::stepRun()
{
    if (!board_.timerEnabled(Ctl::RunnerTimer) || !program_.runner().runPaused() || !mayResume("单步")) return;
    // A move the program queued just before the pause belongs to the line
    // under way: it goes out as this step, and the runner waits for the
    // controller again before the line after it.
    if (!heldForPause_.empty()) {
        for (Slot slot : heldForPause_) state_.raise(slot);
        heldForPause_.clear();
        holdRunnerUntilStatus();
        return;
    }
    program_.step();
}

void Form1::stopRun()
{
    program_.stop();
    // Nothing of the program reaches the line after the click: a move it
    // queued just before is dropped with the run.
    for (Slot slot : kRunnerSlots) state_.mailbox.lower(slot);
    heldForPause_.clear();
    tell(board_, "程序已停止", Notice::Info);
}

void Form1::readTab(int tab)
{
    for (const auto& row : kTabReads) {
        if (row.tab != tab) continue;
        for (const auto& slot : row.slots)
            if (slot) state_.raise(*slot);
    }
}

void Form1::listPorts()
{
    std::vector<std::string> items;
    if (fixedDevice_) {
        const bool open = port_.isOpen() && openDevice_ == *fixedDevice_;
        items.push_back(std::string(kSimulatorPortText) + (open ? std::string(kOpenPortMark) : ""));
    }
    for (std::string& item : opener_.probePorts(port_.isOpen() ? openDevice_ : std::string(), kOpenPortMark))
        items.push_back(std::move(item));
    board_.setItems(Ctl::PortNumber, items);
}

void Form1::choosePort()
{
    // Clicks made while no port was open are not sent by opening one.
    if (!port_.isOpen()) dropWritesWhileClosed();
    std::string text = board_.text(Ctl::PortNumber);
    // The open port, chosen again from the list: it stays as it is.
    if (text.size() > kOpenPortMark.size() && text.ends_with(kOpenPortMark)) {
        text.resize(text.size() - kOpenPortMark.size());
        board_.setText(Ctl::PortNumber, kNoIndex, text);
        if (port_.isOpen()) return;
    }
    if (text != kSimulatorPortText)
        if (const std::string fault = settings_.put("Comm", text); !fault.empty())
            tell(board_, "串口设置未能保存：" + fault);
    openPortText(text);
}

void Form1::openPortText(const std::string& portText)
{
    std::optional<std::string> device = fixedDevice_ && portText == kSimulatorPortText ? fixedDevice_ : deviceForPortText(portText);
    if (device) {
        openDevice(*device);
        return;
    }
    openDevice_.clear();
    health_.closed();
    // Not a port number: the open fails as for a missing port.
    if (port_.isOpen()) port_.close();
    board_.setTimerEnabled(Ctl::PollTimer, true);
    showHealth(true);
    prompts_.warn(kPortWarning, kPortWarningTitle);
}

void Form1::openDevice(const std::string& device)
{
    const std::string speed = board_.text(Ctl::BaudRate);
    opener_.openPort(device, speed);
    // The line's speed sets how long each request and reply hold the line.
    link_.settings.baud = baudFromSpeedText(speed).value_or(link_.settings.baud);
    opened(device);
}

void Form1::opened(const std::string& device)
{
    openDevice_ = device;
    if (!port_.isOpen()) {
        health_.closed();
    } else if (fixedDevice_ && device == *fixedDevice_) {
        health_.opened(std::string(kSimulatorPortText));
    } else {
        // A port number's link shows the device it leads to.
        std::error_code ec;
        const std::filesystem::path target = std::filesystem::canonical(device, ec);
        health_.opened(ec ? device : target.string());
    }
    showHealth(true);
}

std::int64_t Form1::wallUs() const
{
    if (clock_) return clock_();
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// The link status is written once a second, and at once when the
// line goes down or comes back.
void Form1::showHealth(bool atOnce)
{
    constexpr std::int64_t kEveryUs = 1'000'000;
    const std::int64_t t = wallUs();
    const bool down = health_.down(port_.isOpen(), t);
    if (!atOnce && down == healthShownDown_ && t - healthShownAt_ < kEveryUs && t >= healthShownAt_) return;
    health_.show(board_, port_.isOpen(), t);
    healthShownAt_ = t;
    healthShownDown_ = down;
}

void Form1::pauseTraffic()
{
    traffic_.paused = !traffic_.paused;
    board_.setText(Ctl::TrafficPauseButton, kNoIndex, traffic_.paused ? "继续" : "暂停");
}

void Form1::exportTraffic()
{
    const std::string name = prompts_.saveFileName("导出通讯记录", "文本文件(*.txt)|*.txt|CSV 文件(*.csv)|*.csv");
    if (name.empty()) return;
    std::string ext = std::filesystem::path(name).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string body = ext == ".csv" ? traffic_.exportCsv() : traffic_.exportText();
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.close();
    if (!out) {
        tell(board_, "通讯记录未能导出：无法写入 " + name);
        return;
    }
    tell(board_, "通讯记录已导出到 " + name, Notice::Info);
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
    link_.settings.slave = slaveFromText(board_.text(Ctl::SlaveAddress));
    link_.settings.readStatus = board_.value(Ctl::StatusReadSwitch) == 1;
    link_.settings.readPose = board_.value(Ctl::PoseReadSwitch) == 1;
}

void Form1::pollEvent()
{
    syncLinkSettings();
    if (!port_.isOpen()) {
        // The next request may open the device again: nothing raised while
        // it was closed goes out with it.
        holdRun("通讯中断");
        dropWritesWhileClosed();
    }
    const std::uint64_t unsentBefore = link_.requestsUnsent();
    const std::optional<Slot> served = scheduler_.pollTick();
    if (scheduler_.skipped()) return; // the line was not free yet: nothing happened
    // A recurring request (a continuous read, the jog word) that goes out
    // again ends its run of failures.
    const bool sent = served && link_.requestsUnsent() == unsentBefore;
    if (sent) failingRecurring_.erase(*served);
    if (sent && (served == Slot::StorePidGains || served == Slot::StoreParameters)) unackedStores_[*served] = 0;
    afterPollTick(served);
}

// A request the poll could not write: the port is closed or the device
// has gone. The operator is told which; a recurring request (a continuous
// read, the jog word) only at the first failure of a run on an open port,
// so that it does not hide every other message. With the port closed the
// window already says so (the link's status, a paused run, the commands
// dropped), and the recurring requests are only counted.
void Form1::tellUnsent(Slot slot)
{
    const SlotRow& row = slotRow(slot);
    const bool recurring = row.when != Condition::Raised || row.keepRaised;
    if (recurring && (!port_.isOpen() || !failingRecurring_.insert(slot).second)) return;
    operate_.storeUnconfirmed(slot); // a store's buttons say "保存中.." no longer
    tell(board_, "未发送: " + std::string(row.isRead() ? "读取" : "") + slotWords(slot) +
                     (port_.isOpen() ? " (串口写入失败)" : " (串口未打开)"));
}

void Form1::afterPollTick(std::optional<Slot> served)
{
    // A parameter block whose read was lost (at start-up: a stall, a
    // controller switched on after the console; later: the read-back after
    // a write or a tab's read) is asked for again in every cycle until its
    // values have come: until the first read its boxes hold the layout's
    // placeholders, which Enter would write to the controller, and a lost
    // read-back would leave the typed value looking confirmed.
    if (served && slotRow(*served).isRead() && slotRow(*served).when == Condition::Raised) {
        unreadBlocks_[*served] = true;
        // Counted only when nobody else (the operator, a write's read-back)
        // asked for it since it was raised for the lost reply.
        if (const auto retry = askedAgain_.find(*served); retry != askedAgain_.end()) {
            if (retry->second == state_.mailbox.raises(*served)) ++readsAskedAgain_[*served];
            askedAgain_.erase(retry);
        }
    }
    if (!served) {
        for (const auto& [slot, sent] : unreadBlocks_) {
            // Raised for the lost reply alone: not due, or due only from
            // the last such raise.
            const auto retry = askedAgain_.find(slot);
            const bool retryOnly =
                sent && (!state_.due(slot) || (retry != askedAgain_.end() && retry->second == state_.mailbox.raises(slot)));
            state_.raise(slot);
            if (retryOnly) askedAgain_[slot] = state_.mailbox.raises(slot);
        }
        // A store whose acknowledgement has not been taken by the end of the
        // cycle after its own never will be (a reply that late is not taken;
        // on a late line an acknowledgement may not be trusted). The
        // controller may have stored all the same, so it is not sent again.
        for (auto it = unackedStores_.begin(); it != unackedStores_.end();) {
            if (++it->second < 2) {
                ++it;
                continue;
            }
            operate_.storeUnconfirmed(it->first);
            tell(board_, "未确认: " + slotWords(it->first) + " (没有收到可信的应答, 请读取参数核对)");
            it = unackedStores_.erase(it);
        }
    }
    if (served == Slot::ReadStatus) {
        if (++missedStatus_ > kStaleAfterMissedReads && !statusStale_) setStale(true, true);
    } else if (served == Slot::ReadPose) {
        if (++missedPose_ > kStaleAfterMissedReads && !poseStale_) setStale(false, true);
    }
    if (statusStale_) holdRun("通讯中断（状态无回复）");
    // A program line served while the port is closed never left: it is kept
    // with the paused run and goes out when the operator continues.
    if (served && !port_.isOpen() && program_.runner().running())
        for (Slot slot : kRunnerSlots)
            if (served == slot) {
                holdRun("通讯中断");
                heldForPause_.insert(slot);
            }
}

std::uint64_t Form1::readsAskedAgain() const
{
    std::uint64_t n = 0;
    for (const auto& [slot, count] : readsAskedAgain_) n += count;
    return n;
}

// The read-outs go live again before the reply is decoded: the decoder
// then greys those of its fields that are no value.
void Form1::beforeReply(const Reply& reply)
{
    if (!reply.isRead) return;
    if (reply.request.slot == Slot::ReadStatus) {
        missedStatus_ = 0;
        if (statusStale_) setStale(true, false);
    } else if (reply.request.slot == Slot::ReadPose) {
        missedPose_ = 0;
        poseAt_ = now();
        if (poseStale_) setStale(false, false);
    }
}

void Form1::afterReply(const Reply& reply)
{
    unackedStores_.erase(reply.request.slot);
    if (!reply.isRead) return;
    unreadBlocks_.erase(reply.request.slot);
    askedAgain_.erase(reply.request.slot);
    if (reply.request.slot == Slot::ReadMaxPositive || reply.request.slot == Slot::ReadMaxNegative) {
        // The joint limits the program check holds targets against.
        // Checked again only when they changed: a long program takes a while.
        JointLimits& limits = program_.jointLimits();
        auto& side = reply.request.slot == Slot::ReadMaxPositive ? limits.highest : limits.lowest;
        const auto before = side;
        const FloatBlock block = decodeFloats(reply.data);
        for (std::size_t j = 0; j < side.size(); ++j)
            if (block.value[j] && std::isfinite(*block.value[j])) side[j] = *block.value[j];
        if (side != before) program_.programChanged();
    }
    if (reply.request.slot == Slot::ReadStatus) {
        pauseOnAlarm();
        // This busy word was read before a queued runner write went out.
        holdRunnerUntilStatus();
    }
}

void Form1::setStale(bool status, bool stale)
{
    (status ? statusStale_ : poseStale_) = stale;
    const auto& readouts = status ? std::span<const Ctl>(kStatusReadouts) : std::span<const Ctl>(kPoseReadouts);
    for (const Ctl readout : readouts)
        for (int i = 1; i <= 6; ++i) board_.setEnabled(readout, i, !stale);
    if (status) {
        // The state the controller last reported is no longer known: its
        // colours go neutral and nothing that moves the arm can be clicked
        // until a status reply comes again.
        mask_.hold(stale);
        board_.setText(Ctl::LinkLostBanner, kNoIndex, stale ? "通讯中断" : "");
        board_.setBackColour(Ctl::LinkLostBanner, kNoIndex, stale ? kProblemGround : Colour::buttonFace());
        board_.setEnabled(Ctl::BusyWord, kNoIndex, !stale);
        // The lamp says "controller ready" only while that is known.
        if (stale) board_.setBackColour(Ctl::ReadyLamp, kNoIndex, Colour::buttonFace());
    }
}

void Form1::unload() { endProgram(); }

void Form1::stopJogNow()
{
    if (ended_) return; // the port is closed; the stop word went out when it closed
    if (operate_.releaseAllJogs()) link_.sendNow(slotRow(Slot::Jog), state_.mailbox.payload(Payload::JogWord));
}

void Form1::endProgram()
{
    if (ended_) return;
    // A jog held while the console closes must not keep the arm moving
    // until the controller's own watchdog notices: the stop word goes out
    // now, before the port closes.
    stopJogNow();
    // The unsaved program goes to its recovery copy: nothing below may keep
    // the console from ending, and nothing of the program is lost.
    program_.beforeExit();
    ended_ = true;
    board_.setTimerEnabled(Ctl::PollTimer, false);
    board_.setTimerEnabled(Ctl::RunnerTimer, false);
    port_.close();
    board_.endProgram();
}

} // namespace vq
