#include "direct_moves.h"

#include <array>

#include "link/hex.h"
#include "link/numtext.h"
#include "runner.h"

namespace vq {

namespace {

float boxFloat(const Board& board, int index)
{
    return toFloat32(readLenientNumber(board.text(Ctl::DirectMoveTarget, index)));
}

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

void directMove(FormState& state, const Board& board, DirectMoveKind kind)
{
    switch (kind) {
    case DirectMoveKind::Point: pointMove(state, board, 1, Slot::PointMove); break;
    case DirectMoveKind::Line: pointMove(state, board, 11, Slot::LinearMove); break;
    case DirectMoveKind::Arc: arcMove(state, board); break;
    }
}

} // namespace vq
