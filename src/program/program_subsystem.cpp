#include "program_subsystem.h"

#include <algorithm>

#include "link/status_line.h"

namespace vq {

namespace {
// Problems listed in the question before Run.
constexpr std::size_t kProblemsAsked = 5;
} // namespace

std::string runStatusText(bool running, bool paused, std::size_t line, std::size_t lineCount, int pass)
{
    if (!running) return std::string(kRunStopped);
    if (paused) return "已暂停 第 " + std::to_string(line) + " 行";
    return "运行中 第 " + std::to_string(line) + "/" + std::to_string(lineCount) + " 行 · 第 " + std::to_string(pass) +
           " 遍";
}

ProgramSubsystem::ProgramSubsystem(FormState& state, Board& board, Prompts& prompts)
    : state_(state), board_(board), prompts_(prompts), runner_(state, board)
{
}

void ProgramSubsystem::teachIn(TeachInKind kind)
{
    if (recordsPose(kind) && poseFresh && !poseFresh()) {
        tell(board_, "未录入：1 秒内没有收到机械臂的位姿，显示的不是它现在的位姿");
        return;
    }
    vq::teachIn(board_, kind);
}

void ProgramSubsystem::directMove(DirectMoveKind kind) { vq::directMove(state_, board_, kind); }

void ProgramSubsystem::newProgram() { vq::newProgram(board_); }

void ProgramSubsystem::openProgram() { lastFileStatus_ = vq::openProgram(board_, prompts_); }

void ProgramSubsystem::saveProgram() { lastFileStatus_ = vq::saveProgram(board_, prompts_); }

void ProgramSubsystem::runChecked()
{
    check();
    if (!problems_.empty()) {
        std::string question = "程序有 " + std::to_string(problems_.size()) + " 处问题：\n";
        for (std::size_t i = 0; i < problems_.size() && i < kProblemsAsked; ++i)
            question += describeProblem(problems_[i]) + "\n";
        if (problems_.size() > kProblemsAsked) question += "……\n";
        question += "仍要运行吗？";
        if (!prompts_.askYesNo(question, kCheckTitle)) return;
    }
    runner_.run();
}

void ProgramSubsystem::programEdited()
{
    // Setting the interval starts the wait afresh: the check comes once
    // the typing has paused that long.
    board_.setTimerInterval(Ctl::CheckTimer, kCheckDelayMs);
    board_.setTimerEnabled(Ctl::CheckTimer, true);
}

void ProgramSubsystem::checkTick() { check(); }

void ProgramSubsystem::check()
{
    board_.setTimerEnabled(Ctl::CheckTimer, false);
    showProblems(checkProgram(board_.text(Ctl::ProgramEditor), limits_));
}

void ProgramSubsystem::showProblems(std::vector<ProgramProblem> problems)
{
    if (problemsShown_ && problems == problems_) return;
    problemsShown_ = true;
    problems_ = std::move(problems);
    // A long program full of one mistake would otherwise fill the list and
    // the editor with tens of thousands of entries.
    const std::size_t shown = std::min(problems_.size(), kProblemsShown);
    std::vector<std::string> lines;
    std::vector<TextMark> marks;
    lines.reserve(shown + 1);
    marks.reserve(shown);
    for (std::size_t i = 0; i < shown; ++i) {
        const ProgramProblem& p = problems_[i];
        lines.push_back(describeProblem(p));
        marks.push_back({static_cast<int>(p.line), static_cast<int>(p.begin), static_cast<int>(p.end), p.message});
    }
    if (shown < problems_.size()) lines.push_back("…… 另有 " + std::to_string(problems_.size() - shown) + " 处问题未列出");
    board_.setItems(Ctl::ProgramProblems, lines);
    board_.setMarks(Ctl::ProgramProblems, marks);
    board_.setMarks(Ctl::ProgramEditor, marks);
    std::string caption(kProblemsCaption);
    if (!problems_.empty()) caption += " (" + std::to_string(problems_.size()) + ")";
    board_.setText(Ctl::ProblemsPage, kNoIndex, caption);
}

void ProgramSubsystem::showRunState()
{
    // Called after every event of the window: formats only what changed.
    const bool running = runner_.running();
    const RunView view{running, running && runner_.runPaused(), runner_.currentLine() + 1, runner_.lineCount(),
                       runner_.pass()};
    if (shownRun_ == view) return;
    shownRun_ = view;
    const int line = static_cast<int>(view.line);
    board_.setText(Ctl::RunStatus, kNoIndex, runStatusText(view.running, view.paused, view.line, view.lineCount, view.pass));
    board_.setValue(Ctl::ProgramEditor, kNoIndex, view.running ? (view.paused ? -line : line) : 0);
    board_.setEnabled(Ctl::StepMenu, kNoIndex, view.paused);
}

} // namespace vq
