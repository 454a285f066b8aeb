// The teach-in buttons: each composes one instruction line from the pose
// displays or an entry box and appends it, closed by CR LF, to the very end
// of the program text. Nothing is sent. A button whose line would carry a
// value that is not a finite number appends nothing and says so on the
// status line; the arm's pose is recorded only from read-outs that show a
// number (the caller also refuses a pose that is not fresh).
//
//   PointSpeed  PSPEED  RPM=/ACC=/DEC= from PointSpeed(0..2)
//   LinearSpeed LSPEED  MMS=/ACC=/DEC= from LinearSpeed(0..2)
//   JointMove   MOVJ    J1=..J6= from the joint angles shown, JointAngle(1..6)
//   PointMove   MOVP    X1=..C1= from the pose shown, PoseValue(1..6)
//   LineMove    MOVL    the same fields as PointMove
//   ArcVia      MOVC    X2=..C2= from PoseValue(1..6)
//   ArcEnd      continuation: five blanks, X3=..C3= from PoseValue(1..6), Ag= ArcAngle as "0.000"
//   Delay       DELAY   MS= from DelayMs
//   End         END
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/board.h"

namespace vq {

enum class TeachInKind : std::uint8_t { PointSpeed, LinearSpeed, JointMove, PointMove, LineMove, ArcVia, ArcEnd, Delay, End };

// The line the button appends, with its CR LF. Captions and entry texts are
// copied exactly as they stand; only the arc angle is read as a number and
// written with three decimals.
std::string teachInLine(const Board& board, TeachInKind kind);

// Why the button's line cannot be recorded, or nullopt when it can.
std::optional<std::string> teachInRefusal(const Board& board, TeachInKind kind);

// Whether the line is made from the arm's pose read-outs.
bool recordsPose(TeachInKind kind);

// Appends the button's line to the program text; false (and the status line
// says why) when it is refused.
bool teachIn(Board& board, TeachInKind kind);

} // namespace vq
