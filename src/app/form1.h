// The console core: the window's load sequence, tab handling and shutdown,
// and the routing of every window event to the operator command it stands
// for. No widgets: the window reaches it through FormEvents, by designer
// names, which are turned into control ids here (app/control_ids.h) and
// never go further; the core shows what it sets on the Board.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "app/form_events.h"
#include "app/stale_mask.h"
#include "link/board.h"
#include "link/form_state.h"
#include "link/line_health.h"
#include "link/link.h"
#include "link/port.h"
#include "link/ports.h"
#include "link/scheduler.h"
#include "link/traffic_log.h"
#include "operate/operate.h"
#include "program/program_subsystem.h"
#include "telemetry/reply_handler.h"

namespace vq {

// Where the chosen port is remembered (the registry on Windows).
class SavedSettings {
public:
    virtual ~SavedSettings() = default;
    virtual std::string get(std::string_view valueName) = 0;
    // Empty when stored; otherwise where and why not ("~/.config/Comm/Registry.conf：没有权限").
    virtual std::string put(std::string_view valueName, std::string_view text) = 0;
};

// What the port box shows while the console runs on the built-in simulator.
inline constexpr std::string_view kSimulatorPortText = "模拟控制器";
// Appended to the port in the port list that is open now.
inline constexpr std::string_view kOpenPortMark = "（已打开）";

inline constexpr std::string_view kDefaultProgram = "PSPEED RPM=1000 ACC=500 DEC=500\r\nLSPEED MMS=100 ACC=10 DEC=10\r\n";

class Form1 : public FormEvents {
public:
    // With a fixed device (the built-in simulator) the saved port is neither
    // read nor written at start-up; that device is opened instead.
    // Microseconds since 1970 (the wall clock): times the line's traffic.
    using Clock = std::function<std::int64_t()>;

    // The recovery copy of an unsaved program is kept in recoveryFolder
    // (none when empty).
    Form1(Board& board, Prompts& prompts, Port& port, SavedSettings& settings,
          std::optional<std::string> fixedDevice = std::nullopt, std::string recoveryFolder = {}, Clock clock = {});
    ~Form1() override;

    void load() override;
    void click(std::string_view name, int index) override;
    void mouseDown(std::string_view name, int index) override;
    void mouseUp(std::string_view name, int index) override;
    void keyDown(std::string_view name, int index, int keyCode) override;
    void tabClick(std::string_view name, int tab) override;
    void comboDropDown(std::string_view name) override;
    void comboClick(std::string_view name) override;
    void menu(std::string_view name) override;
    void timer(std::string_view name) override;
    void changed(std::string_view name) override;
    void change(std::string_view name) override;
    void unload() override;


    // After this many status (or pose) requests in a row without an
    // accepted reply, the read-outs they feed are greyed: they are no longer
    // the arm's live state. The next good reply shows them live again.
    static constexpr int kStaleAfterMissedReads = 5;
    bool statusStale() const { return statusStale_; }
    bool poseStale() const { return poseStale_; }
    // The line counts as down while the port is closed or status replies
    // have stopped (the read-outs are greyed). A run pauses then, and
    // nothing of it goes out until the operator continues.
    bool lineDown() const;

    // A teach-in button records the arm's pose only from a pose reply
    // accepted this recently.
    static constexpr std::chrono::milliseconds kFreshPose{1000};
    // The console's clock; tests set their own.
    std::function<std::chrono::steady_clock::time_point()> now = [] { return std::chrono::steady_clock::now(); };

    // Sends the jog stop word at once if a jog is held (the console is about
    // to end in a way that may not reach unload: a signal, the display
    // gone). Safe to call more than once.
    void stopJogNow();

    // A second port used to find the ports that open for the port list, so
    // that the open one is neither closed nor probed. Without it the list
    // is probed on the console's own port only while that is closed.
    void setProbePort(Port* probe) { opener_.setProbe(probe); }

    const LineHealth& health() const { return health_; }
    TrafficLog& traffic() { return traffic_; }

    FormState& state() { return state_; }
    // Every block read asked for so far (the start-up reads included) has
    // been answered.
    bool everyBlockRead() const { return unreadBlocks_.empty(); }
    // Block reads sent again because the reply to the one before never came.
    std::uint64_t readsAskedAgain() const;
    std::uint64_t readsAskedAgain(Slot read) const
    {
        const auto it = readsAskedAgain_.find(read);
        return it == readsAskedAgain_.end() ? 0 : it->second;
    }
    Link& link() { return link_; }
    PollScheduler& scheduler() { return scheduler_; }
    ProgramSubsystem& program() { return program_; }
    Operate& operate() { return operate_; }
    ReplyHandler& replies() { return replies_; } // listen() here for the decoded blocks

private:
    // The window's events, each routed by the control it came from to one
    // handler: the table is routes() in form1.cpp.
    enum class Event : std::uint8_t { Click, MouseDown, MouseUp, KeyDown, TabClick, DropDown, Choose, Menu, Timer, Change, Edit };
    struct Route {
        Event event;
        Ctl control;
        void (*handle)(Form1& form, int index, int detail); // index of the control; detail: key code or tab
    };
    static std::span<const Route> routes();
    void route(Event event, std::string_view name, int index, int detail = 0);

    void choosePort();
    void readTab(int tab);
    void pollEvent();
    void pauseOrContinue();
    void stepRun();
    bool mayResume(std::string_view how);
    void stopRun();
    void holdRun(std::string_view why);
    void holdRunnerWrites();
    void dropWritesWhileClosed();
    void pauseOnAlarm();
    void openPortText(const std::string& portText);
    void endProgram();
    void openDevice(const std::string& device);
    void syncLinkSettings();
    void tellUnsent(Slot slot);
    void afterPollTick(std::optional<Slot> served);
    void beforeReply(const Reply& reply);
    void afterReply(const Reply& reply);
    void holdRunnerUntilStatus();
    void setStale(bool status, bool stale);
    void opened(const std::string& device);
    void showHealth(bool now);
    void listPorts();
    void exportTraffic();
    void pauseTraffic();
    std::int64_t wallUs() const;

    StaleMask mask_; // the window as every part of the console sees it
    Board& board_;
    Prompts& prompts_;
    Port& port_;
    SavedSettings& settings_;
    std::optional<std::string> fixedDevice_;
    Clock clock_;
    std::string openDevice_; // the device last opened, or asked to open
    LineHealth health_;
    TrafficLog traffic_;
    std::int64_t healthShownAt_ = 0;
    bool healthShownDown_ = false;

    FormState state_;
    Link link_;
    PollScheduler scheduler_;
    PortOpener opener_;
    ReplyHandler replies_;
    Operate operate_;
    ProgramSubsystem program_;
    bool ended_ = false;
    int missedStatus_ = 0;
    int missedPose_ = 0;
    bool statusStale_ = false;
    bool poseStale_ = false;
    std::optional<std::chrono::steady_clock::time_point> poseAt_; // last pose reply accepted
    std::map<Slot, std::uint64_t> readsAskedAgain_;
    // Block reads raised again because the reply was lost, with the slot's
    // raise count then: a later raise is someone else asking for it too.
    std::map<Slot, std::uint64_t> askedAgain_;
    // Block reads asked for (at start-up, or sent since) whose reply has not
    // come, and whether each has been sent.
    std::map<Slot, bool> unreadBlocks_;
    // Stores sent and not yet acknowledged, with the cycles ended since.
    std::map<Slot, int> unackedStores_;
    std::set<Slot> heldForPause_;  // runner writes held back while the run is paused (by the operator, line loss or an alarm)
    std::set<Slot> failingRecurring_; // recurring requests whose last send failed (already told)
};

} // namespace vq
