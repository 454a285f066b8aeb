// The teach program's operator commands: the runner's buttons and tick,
// the teach-in and direct-move buttons, and the file menu with what keeps a
// program from being lost (the recovery copy, the title's unsaved mark).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "direct_moves.h"
#include "link/board.h"
#include "link/form_state.h"
#include "program_check.h"
#include "program_files.h"
#include "runner.h"
#include "teach_in.h"

namespace vq {

struct ProgramFileSetup {
    // Folder of the recovery copy; empty: no recovery copy is kept.
    std::string recoveryFolder;
    // The serial device the console has open, never to be read or written
    // as a program file; empty when none is open.
    std::function<std::string()> portDevice;
    // Milliseconds of a steady clock (default: the system's).
    std::function<std::int64_t()> nowMs;
};

// The recovery copy of the program with unsaved edits, in its folder.
inline constexpr std::string_view kRecoveryFileName = "unsaved-program.txt";
// A program file still being read shows its progress after this long.
inline constexpr std::int64_t kShowProgressAfterMs = 500;
// Bytes of a program file read at one tick of the file timer.
inline constexpr std::size_t kFileBytesPerTick = 64 * 1024;
// The recovery copy is written this long after the last edit.
inline constexpr int kRecoveryDelayMs = 1500;

inline constexpr std::string_view kCheckTitle = "运行前检查";
inline constexpr std::string_view kProblemsCaption = "程序检查";
inline constexpr std::string_view kRunStopped = "已停止";

// What the status bar says about the run: "运行中 第 3/12 行 · 第 2 遍",
// "已暂停 第 3 行" or "已停止" (lines counted from 1).
std::string runStatusText(bool running, bool paused, std::size_t line, std::size_t lineCount, int pass);

class ProgramSubsystem {
public:
    ProgramSubsystem(FormState& state, Board& board, Prompts& prompts, ProgramFileSetup setup = {});
    ~ProgramSubsystem();

    static constexpr int kCheckDelayMs = 400; // a pause in the typing this long checks the program
    // The check goes on this many lines per CheckTimer event, a few
    // milliseconds' work: a long program never stops the polling for long.
    static constexpr std::size_t kCheckLinesPerSlice = 8192;
    static constexpr int kCheckSliceIntervalMs = 1;
    // Problems listed and underlined at most; the page's caption counts all.
    static constexpr std::size_t kProblemsShown = 1000;

    // The runner's Run, as it is (nothing while a file is being opened).
    void run();
    // The operator's Run: the program is checked first; with problems it
    // runs only when the operator says Yes to the list of them.
    void runChecked();
    // While the run is paused: one line, then paused again.
    void step() { runner_.step(); }
    // The program text changed (typed, or set by the console): it is
    // checked once the typing pauses.
    void programChanged();
    void checkTick(); // CheckTimer
    // The joint limits the controller reported, for the check.
    JointLimits& jointLimits() { return limits_; }
    const std::vector<ProgramProblem>& problems() const { return problems_; }
    // Shows the run's state: the status bar's run field, the editor's run
    // line, the single-step command. Only what changed is set.
    void showRunState();

    void pauseOrContinue() { runner_.pause(); }
    void stop() { runner_.stop(); }
    void runnerTick() { runner_.tick(); }
    // A pose button records nothing unless poseFresh says the read-outs
    // show a pose the controller reported within the last second.
    void teachIn(TeachInKind kind);
    std::function<bool()> poseFresh;
    void directMove(DirectMoveKind kind);

    // The file menu. Open reads the file a piece per file timer tick
    // (fileTick) with the read-outs still polled; it can be cancelled.
    // Failures are told on the status line with the path and the reason.
    void newProgram();
    void openProgram();
    void saveProgram();
    void fileTick();
    void cancelOpen();
    bool opening() const { return reader_ != nullptr; }

    // The operator typed in the editor.
    void programEdited();
    // The recovery timer: writes the recovery copy of an edited program.
    void recoveryTick();
    // At start: offers the recovery copy left by an earlier session, if any.
    void offerRecovery();
    // Before the console ends: the unsaved program goes to the recovery copy.
    void beforeExit();

    bool unsavedEdits() const { return unsaved_; }
    const std::string& fileName() const { return fileName_; }
    std::string recoveryPath() const;

    ProgramRunner& runner() { return runner_; }
    const ProgramRunner& runner() const { return runner_; }
    // Outcome of the last open or save.
    FileStatus lastFileStatus() const { return lastFileStatus_; }

private:
    void setProgramText(std::string_view text);
    void finishOpen();
    void writeRecovery();
    void markUnsaved(bool unsaved);
    void showTitle();
    std::string portDevice() const;
    std::int64_t now() const;
    void check();
    void showProblems(std::vector<ProgramProblem> problems);

    FormState& state_;
    Board& board_;
    Prompts& prompts_;
    ProgramFileSetup setup_;
    ProgramRunner runner_;
    FileStatus lastFileStatus_ = FileStatus::NoFileChosen;

    std::string fileName_;
    bool unsaved_ = false;
    bool recoveryDue_ = false;

    // The open in progress.
    std::unique_ptr<ProgramFileReader> reader_;
    std::string openPath_;
    std::string textBeforeOpen_;
    bool unsavedBeforeOpen_ = false;
    bool firstPiece_ = true;
    bool progressShown_ = false;
    std::int64_t openStartMs_ = 0;
    JointLimits limits_;
    std::unique_ptr<ProgramCheck> checking_; // the check under way, a slice per CheckTimer event
    std::vector<ProgramProblem> problems_;
    bool problemsShown_ = false;
    struct RunView {
        bool running = false;
        bool paused = false;
        std::size_t line = 0;
        std::size_t lineCount = 0;
        int pass = 0;
        friend bool operator==(const RunView&, const RunView&) = default;
    };
    std::optional<RunView> shownRun_;
};

} // namespace vq
