#include "program_subsystem.h"

#include "link/status_line.h"

namespace vq {

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

} // namespace vq
