// The teach-in buttons: each composes one instruction line from the pose
// displays or an entry box and appends it, closed by CR LF, to the very end
// of the program text in Text7. Nothing is sent and nothing is checked.
//
//   Command10 PSPEED  RPM=/ACC=/DEC= from Text10(0..2)
//   Command24 LSPEED  MMS=/ACC=/DEC= from Text21(0..2)
//   Command15 MOVJ    J1=..J6= from the captions of Label2(1..6)
//   Command20 MOVP    X1=..C1= from the captions of Label3(1..6)
//   Command6  MOVL    the same fields as Command20
//   Command18 MOVC    X2=..C2= from Label3(1..6)
//   Command9  continuation: five blanks, X3=..C3= from Label3(1..6), Ag= Text8 as "0.000"
//   Command21 DELAY   MS= from Text20
//   Command17 END
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/board.h"

namespace vq {

bool isTeachInButton(std::string_view name);

// The line the button appends, with its CR LF; nullopt for any other name.
// Captions and entry texts are copied exactly as they stand; only the run
// angle is read as a number and written with three decimals.
std::optional<std::string> teachInLine(const Board& board, std::string_view button);

// Appends the button's line to Text7. False (and nothing changed) for any
// other name.
bool teachIn(Board& board, std::string_view button);

} // namespace vq
