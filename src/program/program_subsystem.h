// The teach program's share of the window's events: the runner's buttons and
// timer, the teach-in and direct-move buttons, and the file menu.
//
//   click  Command14 Run, Command13 Pause/Continue, Command12 Stop;
//          Command10, Command24, Command15, Command20, Command6, Command18,
//          Command9, Command21, Command17 (teach-in);
//          Command25, Command26, Command27 (direct moves)
//   timer  Timer3
//   menu   NewFile, OpenFile, SaveFile; AsSaveFile (no behaviour)
//
// These controls are not control arrays: clicks with an index are not ours.
#pragma once

#include <string_view>

#include "link/board.h"
#include "link/events.h"
#include "link/form_state.h"
#include "program_files.h"
#include "runner.h"

namespace vq {

class ProgramSubsystem : public ControlEvents {
public:
    ProgramSubsystem(FormState& state, Board& board, Prompts& prompts);

    bool click(std::string_view name, int index) override;
    bool timer(std::string_view name) override;
    bool menu(std::string_view name) override;

    ProgramRunner& runner() { return runner_; }
    const ProgramRunner& runner() const { return runner_; }
    // Outcome of the last OpenFile or SaveFile (the window shows none).
    FileStatus lastFileStatus() const { return lastFileStatus_; }

private:
    FormState& state_;
    Board& board_;
    Prompts& prompts_;
    ProgramRunner runner_;
    FileStatus lastFileStatus_ = FileStatus::NoFileChosen;
};

} // namespace vq
