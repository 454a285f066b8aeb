#include "direct_moves.h"

#include <array>

#include "link/hex.h"
#include "link/numtext.h"
#include "runner.h"

namespace vq {

namespace {

float boxFloat(const Board& board, int index) { return toFloat32(readLenientNumber(board.text("Text11", index))); }

void pointMove(FormState& state, const Board& board, int firstBox, Slot slot)
{
    std::array<float, 6> target{};
    for (int i = 0; i < 6; ++i) target[static_cast<std::size_t>(i)] = boxFloat(board, firstBox + i);
    state.post(slot, floatData(target));
}

void arcMove(FormState& state, const Board& board)
{
    std::array<float, 13> arc{};
    for (int i = 0; i < 6; ++i) {
        arc[static_cast<std::size_t>(i)] = boxFloat(board, 21 + i);
        arc[static_cast<std::size_t>(6 + i)] = boxFloat(board, 31 + i);
    }
    arc[12] = boxFloat(board, 37);
    state.post(Slot::ArcMove, floatData(arc));
}

} // namespace

bool isDirectMoveButton(std::string_view name)
{
    return name == "Command25" || name == "Command26" || name == "Command27";
}

bool directMove(FormState& state, const Board& board, std::string_view button)
{
    if (button == "Command25") pointMove(state, board, 1, Slot::PointMove);
    else if (button == "Command26") pointMove(state, board, 11, Slot::LinearMove);
    else if (button == "Command27") arcMove(state, board);
    else return false;
    return true;
}

} // namespace vq
