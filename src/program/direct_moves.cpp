#include "direct_moves.h"

#include "link/hex.h"
#include "link/numtext.h"
#include "runner.h"

namespace vq {

namespace {

float boxFloat(const Board& board, int index) { return toFloat32(readLenientNumber(board.text("Text11", index))); }

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

bool isDirectMoveButton(std::string_view name)
{
    return name == "Command25" || name == "Command26" || name == "Command27";
}

bool directMove(FormState& state, const Board& board, std::string_view button)
{
    if (button == "Command25") pointMove(state, board, 1, kSlotMovP);
    else if (button == "Command26") pointMove(state, board, 11, kSlotMovL);
    else if (button == "Command27") arcMove(state, board);
    else return false;
    return true;
}

} // namespace vq
