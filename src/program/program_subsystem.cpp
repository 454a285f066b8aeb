#include "program_subsystem.h"

namespace vq {

ProgramSubsystem::ProgramSubsystem(FormState& state, Board& board, Prompts& prompts)
    : state_(state), board_(board), prompts_(prompts), runner_(state, board)
{
}

void ProgramSubsystem::teachIn(TeachInKind kind) { vq::teachIn(board_, kind); }

void ProgramSubsystem::directMove(DirectMoveKind kind) { vq::directMove(state_, board_, kind); }

void ProgramSubsystem::newProgram() { vq::newProgram(board_); }

void ProgramSubsystem::openProgram() { lastFileStatus_ = vq::openProgram(board_, prompts_); }

void ProgramSubsystem::saveProgram() { lastFileStatus_ = vq::saveProgram(board_, prompts_); }

} // namespace vq
