// The teach program's operator commands: the runner's buttons and tick,
// the teach-in and direct-move buttons, and the file menu.
#pragma once

#include <functional>

#include "direct_moves.h"
#include "link/board.h"
#include "link/form_state.h"
#include "program_files.h"
#include "runner.h"
#include "teach_in.h"

namespace vq {

class ProgramSubsystem {
public:
    ProgramSubsystem(FormState& state, Board& board, Prompts& prompts);

    void run() { runner_.run(); }
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
    FormState& state_;
    Board& board_;
    Prompts& prompts_;
    ProgramRunner runner_;
    FileStatus lastFileStatus_ = FileStatus::NoFileChosen;
};

} // namespace vq
