// Direct moves on the "运行测试" tab: one Cartesian move sent at once, without
// touching the program. Each button reads its Text11 boxes with the lenient
// number reader, stores the floats in the mailbox data the runner uses
// for the same instruction and raises the same write slot.
//
//   Command25 MOVP  Text11(1..6)                  -> the Cartesian target, Slot::PointMove
//   Command26 MOVL  Text11(11..16)                -> the Cartesian target, Slot::LinearMove
//   Command27 MOVC  Text11(21..26, 31..36, 37)    -> the arc,              Slot::ArcMove
#pragma once

#include <string_view>

#include "link/board.h"
#include "link/form_state.h"

namespace vq {

bool isDirectMoveButton(std::string_view name);

// Carries out the button's move; false (and nothing changed) for any other
// name.
bool directMove(FormState& state, const Board& board, std::string_view button);

} // namespace vq
