// The moves of a teach program as numbers, read from the editor's text with
// the runner's own line reader (format.h) and its rules: a field a line
// leaves out keeps the last value given (a MOVC via point falls back on the
// last MOVP/MOVL target, its end point on the via point), and a MOVC takes
// its end point and run angle from the next line. For drawing the program
// before it runs; nothing is sent.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "format.h"

namespace vq {

struct ProgramMove {
    Keyword kind = Keyword::None;   // Movj, Movp, Movl or Movc
    std::size_t line = 0;           // 0-based line of the instruction
    std::array<double, 6> target{}; // MOVJ: J1..J6; MOVP, MOVL: X1..C1; MOVC: the end point X3..C3
    std::array<double, 6> via{};    // MOVC: X2..C2
    double runAngle = 0;            // MOVC: Ag
};

// Every motion line of the program, in order; the program's other lines
// (speeds, delays, free text) give none, and an END stops the reading as it
// stops a run.
std::vector<ProgramMove> programMoves(std::string_view text);

} // namespace vq
