// Direct moves on the "运行测试" tab: one Cartesian move sent at once, without
// touching the program. Each button reads its DirectMoveTarget boxes with
// the lenient number reader, stores the floats in the mailbox data the runner
// uses for the same instruction and raises the same write slot.
//
//   Point  MOVP  boxes 1..6                  -> the Cartesian target, Slot::PointMove
//   Line   MOVL  boxes 11..16                -> the Cartesian target, Slot::LinearMove
//   Arc    MOVC  boxes 21..26, 31..36, 37    -> the arc,              Slot::ArcMove
#pragma once

#include <cstdint>

#include "link/board.h"
#include "link/form_state.h"

namespace vq {

enum class DirectMoveKind : std::uint8_t { Point, Line, Arc };

// A box that does not hold a finite number sends nothing; the status line
// says which.
void directMove(FormState& state, Board& board, DirectMoveKind kind);

} // namespace vq
