#include "program_subsystem.h"

#include "direct_moves.h"
#include "teach_in.h"

namespace vq {

ProgramSubsystem::ProgramSubsystem(FormState& state, Board& board, Prompts& prompts)
    : state_(state), board_(board), prompts_(prompts), runner_(state, board)
{
}

bool ProgramSubsystem::click(std::string_view name, int index)
{
    if (index != kNoIndex) return false;
    if (name == "Command14") runner_.run();
    else if (name == "Command13") runner_.pause();
    else if (name == "Command12") runner_.stop();
    else if (isTeachInButton(name)) teachIn(board_, name);
    else if (isDirectMoveButton(name)) directMove(state_, board_, name);
    else return false;
    return true;
}

bool ProgramSubsystem::timer(std::string_view name)
{
    if (name != "Timer3") return false;
    runner_.tick();
    return true;
}

bool ProgramSubsystem::menu(std::string_view name)
{
    if (name == "NewFile") newProgram(board_);
    else if (name == "OpenFile") lastFileStatus_ = openProgram(board_, prompts_);
    else if (name == "SaveFile") lastFileStatus_ = saveProgram(board_, prompts_);
    else if (name == "AsSaveFile") {} // the entry exists but does nothing
    else return false;
    return true;
}

} // namespace vq
