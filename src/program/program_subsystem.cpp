#include "program_subsystem.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "link/status_line.h"

namespace vq {

namespace {

// Problems listed in the question before Run.
constexpr std::size_t kProblemsAsked = 5;

std::string baseName(const std::string& path)
{
    const auto cut = path.find_last_of('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

} // namespace

std::string runStatusText(bool running, bool paused, std::size_t line, std::size_t lineCount, int pass)
{
    if (!running) return std::string(kRunStopped);
    if (paused) return "已暂停 第 " + std::to_string(line) + " 行";
    return "运行中 第 " + std::to_string(line) + "/" + std::to_string(lineCount) + " 行 · 第 " + std::to_string(pass) +
           " 遍";
}

ProgramSubsystem::ProgramSubsystem(FormState& state, Board& board, Prompts& prompts, ProgramFileSetup setup)
    : state_(state), board_(board), prompts_(prompts), setup_(std::move(setup)), runner_(state, board)
{
}

ProgramSubsystem::~ProgramSubsystem()
{
    // The boxes outlive the core; their callbacks must not.
    if (progressShown_) prompts_.hideProgress();
    prompts_.withdrawOffer();
}

std::int64_t ProgramSubsystem::now() const
{
    if (setup_.nowMs) return setup_.nowMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string ProgramSubsystem::portDevice() const { return setup_.portDevice ? setup_.portDevice() : std::string(); }

void ProgramSubsystem::run()
{
    if (opening()) {
        tell(board_, "程序文件还在打开中，打开完成后才能运行");
        return;
    }
    runner_.run();
}

void ProgramSubsystem::teachIn(TeachInKind kind)
{
    if (opening()) {
        tell(board_, "程序文件还在打开中，打开完成后才能录入指令");
        return;
    }
    if (recordsPose(kind) && poseFresh && !poseFresh()) {
        tell(board_, "未录入：1 秒内没有收到机械臂的位姿，显示的不是它现在的位姿");
        return;
    }
    vq::teachIn(board_, kind);
    programEdited();
}

void ProgramSubsystem::directMove(DirectMoveKind kind) { vq::directMove(state_, board_, kind); }

void ProgramSubsystem::setProgramText(std::string_view text) { board_.setText(Ctl::ProgramEditor, kNoIndex, text); }

void ProgramSubsystem::newProgram()
{
    cancelOpen();
    if (unsaved_) writeRecovery(); // the discarded program can still be recovered
    setProgramText(kNewProgramText);
    fileName_.clear();
    markUnsaved(false);
}

void ProgramSubsystem::openProgram()
{
    cancelOpen();
    const std::string name = prompts_.openFileName(kOpenFileTitle, kProgramFileFilter);
    if (name.empty()) {
        lastFileStatus_ = FileStatus::NoFileChosen;
        return;
    }
    auto reader = std::make_unique<ProgramFileReader>();
    if (FileFault fault = reader->open(name, portDevice()); !fault.empty()) {
        tell(board_, faultMessage("打开失败", name, fault));
        lastFileStatus_ = FileStatus::Failed;
        return;
    }
    if (unsaved_) writeRecovery();
    reader_ = std::move(reader);
    openPath_ = name;
    textBeforeOpen_ = board_.text(Ctl::ProgramEditor);
    unsavedBeforeOpen_ = unsaved_;
    firstPiece_ = true;
    progressShown_ = false;
    openStartMs_ = now();
    lastFileStatus_ = FileStatus::Opening;
    // The editor fills piece by piece; nobody types into a half-read program.
    board_.setEnabled(Ctl::ProgramEditor, kNoIndex, false);
    board_.setTimerInterval(Ctl::FileTimer, 1);
    board_.setTimerEnabled(Ctl::FileTimer, true);
}

void ProgramSubsystem::fileTick()
{
    if (!reader_) {
        board_.setTimerEnabled(Ctl::FileTimer, false);
        return;
    }
    const std::string piece = reader_->step(kFileBytesPerTick);
    if (!reader_->fault().empty()) {
        const std::string message = faultMessage("打开失败", openPath_, reader_->fault());
        cancelOpen();
        lastFileStatus_ = FileStatus::Failed;
        tell(board_, message);
        return;
    }
    if (firstPiece_ && (!piece.empty() || reader_->finished())) {
        setProgramText(piece);
        firstPiece_ = false;
    } else if (!piece.empty()) {
        board_.appendText(Ctl::ProgramEditor, kNoIndex, piece);
    }
    if (reader_->finished()) {
        finishOpen();
        return;
    }
    if (now() - openStartMs_ >= kShowProgressAfterMs) {
        progressShown_ = true;
        prompts_.showProgress("正在打开 " + openPath_, reader_->percent(), [this] { cancelOpen(); });
    }
}

void ProgramSubsystem::finishOpen()
{
    board_.setTimerEnabled(Ctl::FileTimer, false);
    if (progressShown_) prompts_.hideProgress();
    progressShown_ = false;
    reader_.reset();
    textBeforeOpen_.clear();
    board_.setEnabled(Ctl::ProgramEditor, kNoIndex, true);
    fileName_ = openPath_;
    lastFileStatus_ = FileStatus::Done;
    markUnsaved(false);
}

void ProgramSubsystem::cancelOpen()
{
    if (!reader_) return;
    board_.setTimerEnabled(Ctl::FileTimer, false);
    if (progressShown_) prompts_.hideProgress();
    progressShown_ = false;
    const bool read = reader_->fault().empty();
    reader_.reset();
    setProgramText(textBeforeOpen_);
    textBeforeOpen_.clear();
    board_.setEnabled(Ctl::ProgramEditor, kNoIndex, true);
    markUnsaved(unsavedBeforeOpen_);
    lastFileStatus_ = FileStatus::Cancelled;
    if (read) tell(board_, "已取消打开 " + openPath_, Notice::Info);
}

void ProgramSubsystem::saveProgram()
{
    if (opening()) {
        tell(board_, "程序文件还在打开中，打开完成后才能保存");
        return;
    }
    std::string name = prompts_.saveFileName(kSaveFileTitle, kProgramFileFilter);
    if (name.empty()) {
        lastFileStatus_ = FileStatus::NoFileChosen;
        return;
    }
    name = withTxtSuffix(name, prompts_.chosenFilter());
    if (FileFault fault = writeProgramFile(name, board_.text(Ctl::ProgramEditor), portDevice()); !fault.empty()) {
        tell(board_, faultMessage("保存失败", name, fault));
        lastFileStatus_ = FileStatus::Failed;
        return;
    }
    lastFileStatus_ = FileStatus::Done;
    fileName_ = name;
    markUnsaved(false);
    // Saved: nothing left to recover.
    recoveryDue_ = false;
    board_.setTimerEnabled(Ctl::RecoveryTimer, false);
    if (!setup_.recoveryFolder.empty()) {
        std::error_code ignored;
        std::filesystem::remove(recoveryPath(), ignored);
    }
}

void ProgramSubsystem::programEdited()
{
    if (opening()) return;
    markUnsaved(true);
    recoveryDue_ = true;
    // Each edit starts the wait afresh: the copy is written once typing
    // pauses.
    board_.setTimerInterval(Ctl::RecoveryTimer, kRecoveryDelayMs);
    board_.setTimerEnabled(Ctl::RecoveryTimer, true);
}

void ProgramSubsystem::recoveryTick()
{
    board_.setTimerEnabled(Ctl::RecoveryTimer, false);
    if (recoveryDue_ && unsaved_) writeRecovery();
}

std::string ProgramSubsystem::recoveryPath() const
{
    if (setup_.recoveryFolder.empty()) return {};
    return setup_.recoveryFolder + "/" + std::string(kRecoveryFileName);
}

void ProgramSubsystem::writeRecovery()
{
    recoveryDue_ = false;
    if (setup_.recoveryFolder.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(setup_.recoveryFolder, ec);
    // UTF-8 as the editor holds it: nothing is lost to the file code page.
    const std::string path = recoveryPath();
    if (FileFault fault = writeFileAtomically(path, board_.text(Ctl::ProgramEditor)); !fault.empty())
        tell(board_, faultMessage("未保存程序的恢复副本写入失败", path, fault));
}

void ProgramSubsystem::offerRecovery()
{
    const std::string path = recoveryPath();
    if (path.empty()) return;
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::string text{std::istreambuf_iterator<char>(in), {}};
    if (text.empty() || text == board_.text(Ctl::ProgramEditor)) return;
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
    const std::string question = "找到上次未保存的程序（" + std::to_string(lines) + " 行，" + path + "）。恢复到编辑器吗？";
    prompts_.offer(question, "恢复", [this, text = std::move(text)] {
        cancelOpen();
        if (unsaved_) writeRecovery();
        setProgramText(text);
        fileName_.clear();
        markUnsaved(true);
        tell(board_, "已恢复上次未保存的程序", Notice::Info);
    });
}

void ProgramSubsystem::beforeExit()
{
    cancelOpen();
    prompts_.withdrawOffer();
    if (unsaved_) writeRecovery();
    board_.setTimerEnabled(Ctl::RecoveryTimer, false);
}

void ProgramSubsystem::markUnsaved(bool unsaved)
{
    unsaved_ = unsaved;
    showTitle();
}

void ProgramSubsystem::showTitle()
{
    std::string title = "Velquor";
    if (!fileName_.empty()) title += " - " + baseName(fileName_);
    if (unsaved_) title += "*";
    if (board_.text(Ctl::WindowTitle) != title) board_.setText(Ctl::WindowTitle, kNoIndex, title);
}

void ProgramSubsystem::runChecked()
{
    if (opening()) {
        run(); // says why not
        return;
    }
    check();
    if (!problems_.empty()) {
        std::string question = "程序有 " + std::to_string(problems_.size()) + " 处问题：\n";
        for (std::size_t i = 0; i < problems_.size() && i < kProblemsAsked; ++i)
            question += describeProblem(problems_[i]) + "\n";
        if (problems_.size() > kProblemsAsked) question += "……\n";
        question += "仍要运行吗？";
        if (!prompts_.askYesNo(question, kCheckTitle)) return;
    }
    run();
}

void ProgramSubsystem::programChanged()
{
    // A check under way is of an old text. Setting the interval starts the
    // wait afresh: the check comes once the typing has paused that long.
    checking_.reset();
    board_.setTimerInterval(Ctl::CheckTimer, kCheckDelayMs);
    board_.setTimerEnabled(Ctl::CheckTimer, true);
}

void ProgramSubsystem::checkTick()
{
    if (!checking_) {
        checking_ = std::make_unique<ProgramCheck>(
            [this](std::size_t first, std::size_t count) { return board_.textLines(Ctl::ProgramEditor, first, count); },
            limits_);
        board_.setTimerInterval(Ctl::CheckTimer, kCheckSliceIntervalMs);
    }
    if (!checking_->step(kCheckLinesPerSlice)) return;
    board_.setTimerEnabled(Ctl::CheckTimer, false);
    showProblems(std::exchange(checking_, nullptr)->takeProblems());
}

// The whole check at once, of the text as it is now (Run).
void ProgramSubsystem::check()
{
    checking_.reset();
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
