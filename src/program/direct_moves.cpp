#include "direct_moves.h"

#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "link/hex.h"
#include "link/numtext.h"
#include "link/status_line.h"
#include "runner.h"

namespace vq {

namespace {

// The boxes' values as the floats sent, in the order given; nullopt (and the
// operator told which box) when one of them is not a finite number: a move
// to infinity is never sent.
template <std::size_t N>
std::optional<std::array<float, N>> boxFloats(Board& board, const std::array<int, N>& boxes, std::string_view move)
{
    std::array<float, N> values{};
    for (std::size_t i = 0; i < N; ++i) {
        const std::string text = board.text(Ctl::DirectMoveTarget, boxes[i]);
        values[i] = toFloat32(readLenientNumber(text));
        if (!std::isfinite(values[i])) {
            tell(board, std::string(move) + " 未发送：\"" + text + "\" 不是有限的数");
            return std::nullopt;
        }
    }
    return values;
}

} // namespace

void directMove(FormState& state, Board& board, DirectMoveKind kind)
{
    switch (kind) {
    case DirectMoveKind::Point:
        if (auto v = boxFloats<6>(board, {1, 2, 3, 4, 5, 6}, "MOVP")) state.post(Slot::PointMove, floatData(*v));
        break;
    case DirectMoveKind::Line:
        if (auto v = boxFloats<6>(board, {11, 12, 13, 14, 15, 16}, "MOVL")) state.post(Slot::LinearMove, floatData(*v));
        break;
    case DirectMoveKind::Arc:
        if (auto v = boxFloats<13>(board, {21, 22, 23, 24, 25, 26, 31, 32, 33, 34, 35, 36, 37}, "MOVC"))
            state.post(Slot::ArcMove, floatData(*v));
        break;
    }
}

} // namespace vq
