// The status line at the foot of the window: one line saying what the
// console just could not do (a command not sent, a file not saved, a run
// paused by an alarm) or, plainly, what it did. It never blocks and never
// asks; the next message replaces the last.
#pragma once

#include <string_view>

#include "link/board.h"

namespace vq {

enum class Notice : unsigned char {
    Info,    // what was done, on the window's own ground
    Problem, // what could not be done, on a red ground until the next message
};

// Shows the message on the status line.
void tell(Board& board, std::string_view text, Notice kind = Notice::Problem);

// Back colour of the status line showing a problem.
inline constexpr Colour kProblemGround = Colour::fromRgb(255, 200, 200);

} // namespace vq
