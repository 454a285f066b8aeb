#include "direct_moves.h"

#include "link/hex.h"
#include "link/numtext.h"
#include "runner.h"

namespace vq {

namespace {

float boxFloat(const Board& board, int index)
{
    return toFloat32(readLenientNumber(board.text(Ctl::DirectMoveTarget, index)));
}

void pointMove(FormState& state, const Board& board, int firstBox, int slot)
{
    for (int i = 0; i < 6; ++i) state.scratchFloats6[static_cast<std::size_t>(i)] = boxFloat(board, firstBox + i);
    state.poseTargetData = floatArrayToHex(state.scratchFloats6);
    state.raise(slot);
}

void arcMove(FormState& state, const Board& board)
{
    for (int i = 0; i < 6; ++i) {
        state.arcFloats[static_cast<std::size_t>(i)] = boxFloat(board, 21 + i);
        state.arcFloats[static_cast<std::size_t>(6 + i)] = boxFloat(board, 31 + i);
    }
    state.arcFloats[12] = boxFloat(board, 37);
    state.arcTargetData = floatArrayToHex(state.arcFloats);
    state.raise(kSlotMovC);
}

} // namespace

void directMove(FormState& state, const Board& board, DirectMoveKind kind)
{
    switch (kind) {
    case DirectMoveKind::Point: pointMove(state, board, 1, kSlotMovP); break;
    case DirectMoveKind::Line: pointMove(state, board, 11, kSlotMovL); break;
    case DirectMoveKind::Arc: arcMove(state, board); break;
    }
}

} // namespace vq
