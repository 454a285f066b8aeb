#include "teach_in.h"

#include <array>
#include <string_view>

#include "format.h"
#include "link/hex.h"
#include "link/numtext.h"

namespace vq {

namespace {

constexpr std::string_view kContinuationIndent = "     "; // five blanks

// " KEY=text" for every key, the texts from a row of controls.
template <std::size_t N>
void appendFields(std::string& line, const Board& board, Ctl control, int firstIndex,
                  const std::array<std::string_view, N>& keys)
{
    for (std::size_t i = 0; i < N; ++i) {
        line += ' ';
        line += keys[i];
        line += board.text(control, firstIndex + static_cast<int>(i));
    }
}

// The arc angle read as a number, written with three decimals. An angle
// beyond the range of a double cannot be written and counts as no number.
std::string runAngleText(const Board& board)
{
    return formatFixed(readLenientNumber(board.text(Ctl::ArcAngle)), 3).value_or("0.000");
}

} // namespace

std::string teachInLine(const Board& board, TeachInKind kind)
{
    std::string line;
    switch (kind) {
    case TeachInKind::PointSpeed:
        line = "PSPEED";
        appendFields<3>(line, board, Ctl::PointSpeed, 0, {"RPM=", "ACC=", "DEC="});
        break;
    case TeachInKind::LinearSpeed:
        line = "LSPEED";
        appendFields<3>(line, board, Ctl::LinearSpeed, 0, {"MMS=", "ACC=", "DEC="});
        break;
    case TeachInKind::JointMove:
        line = "MOVJ";
        appendFields(line, board, Ctl::JointAngle, 1, kJointKeys);
        break;
    case TeachInKind::PointMove:
        line = "MOVP";
        appendFields(line, board, Ctl::PoseValue, 1, kTargetKeys);
        break;
    case TeachInKind::LineMove:
        line = "MOVL";
        appendFields(line, board, Ctl::PoseValue, 1, kTargetKeys);
        break;
    case TeachInKind::ArcVia:
        line = "MOVC";
        appendFields(line, board, Ctl::PoseValue, 1, kViaKeys);
        break;
    case TeachInKind::ArcEnd:
        line = kContinuationIndent;
        for (std::size_t i = 0; i < kEndKeys.size(); ++i) {
            if (i > 0) line += ' ';
            line += kEndKeys[i];
            line += board.text(Ctl::PoseValue, 1 + static_cast<int>(i));
        }
        line += " Ag=";
        line += runAngleText(board);
        break;
    case TeachInKind::Delay:
        line = "DELAY MS=";
        line += board.text(Ctl::DelayMs);
        break;
    case TeachInKind::End:
        line = "END";
        break;
    }
    line += kLineBreak;
    return line;
}

void teachIn(Board& board, TeachInKind kind)
{
    board.setText(Ctl::ProgramEditor, kNoIndex, board.text(Ctl::ProgramEditor) + teachInLine(board, kind));
}

} // namespace vq
