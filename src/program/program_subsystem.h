// The teach program's operator commands: the runner's buttons and tick,
// the teach-in and direct-move buttons, and the file menu.
#pragma once

#include <functional>
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

inline constexpr std::string_view kCheckTitle = "运行前检查";
inline constexpr std::string_view kProblemsCaption = "程序检查";
inline constexpr std::string_view kRunStopped = "已停止";

// What the status bar says about the run: "运行中 第 3/12 行 · 第 2 遍",
// "已暂停 第 3 行" or "已停止" (lines counted from 1).
std::string runStatusText(bool running, bool paused, std::size_t line, std::size_t lineCount, int pass);

class ProgramSubsystem {
public:
    static constexpr int kCheckDelayMs = 400; // a pause in the typing this long checks the program
    // Problems listed and underlined at most; the page's caption counts all.
    static constexpr std::size_t kProblemsShown = 1000;

    ProgramSubsystem(FormState& state, Board& board, Prompts& prompts);

    // The runner's Run, as it is.
    void run() { runner_.run(); }
    // The operator's Run: the program is checked first; with problems it
    // runs only when the operator says Yes to the list of them.
    void runChecked();
    // While the run is paused: one line, then paused again.
    void step() { runner_.step(); }
    // The program text changed: it is checked once the typing pauses.
    void programEdited();
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
    void newProgram();
    // The outcome is kept as lastFileStatus (the window shows none).
    void openProgram();
    void saveProgram();

    ProgramRunner& runner() { return runner_; }
    const ProgramRunner& runner() const { return runner_; }
    // Outcome of the last open or save.
    FileStatus lastFileStatus() const { return lastFileStatus_; }

private:
    void check();
    void showProblems(std::vector<ProgramProblem> problems);

    FormState& state_;
    Board& board_;
    Prompts& prompts_;
    ProgramRunner runner_;
    FileStatus lastFileStatus_ = FileStatus::NoFileChosen;
    JointLimits limits_;
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
