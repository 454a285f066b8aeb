#include "teach_in.h"

#include <array>
#include <cmath>
#include <string_view>

#include "format.h"
#include "link/hex.h"
#include "link/numtext.h"
#include "link/status_line.h"

namespace vq {

namespace {

constexpr std::array<std::string_view, 6> kJointKeys{"J1=", "J2=", "J3=", "J4=", "J5=", "J6="};
constexpr std::array<std::string_view, 6> kTargetKeys{"X1=", "Y1=", "Z1=", "A1=", "B1=", "C1="};
constexpr std::array<std::string_view, 6> kViaKeys{"X2=", "Y2=", "Z2=", "A2=", "B2=", "C2="};
constexpr std::array<std::string_view, 6> kEndKeys{"X3=", "Y3=", "Z3=", "A3=", "B3=", "C3="};
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

bool recordsPose(TeachInKind kind)
{
    switch (kind) {
    case TeachInKind::JointMove:
    case TeachInKind::PointMove:
    case TeachInKind::LineMove:
    case TeachInKind::ArcVia:
    case TeachInKind::ArcEnd: return true;
    default: return false;
    }
}

std::optional<std::string> teachInRefusal(const Board& board, TeachInKind kind)
{
    // The read-outs are the console's own numbers: anything else there ("—",
    // "nan") is not a pose. Entry boxes are read as the runner reads them.
    const auto readout = [&](Ctl c, int first, int n) -> std::optional<std::string> {
        for (int i = first; i < first + n; ++i) {
            const std::string text = board.text(c, i);
            const std::optional<double> v = readStrictNumber(text);
            if (!v || !std::isfinite(toFloat32(*v))) return "\"" + text + "\" 不是机械臂报告的数";
        }
        return std::nullopt;
    };
    const auto entry = [&](Ctl c, int index) -> std::optional<std::string> {
        const std::string text = board.text(c, index);
        if (std::isfinite(toFloat32(readLenientNumber(text)))) return std::nullopt;
        return "\"" + text + "\" 不是有限的数";
    };
    std::optional<std::string> why;
    switch (kind) {
    case TeachInKind::PointSpeed:
    case TeachInKind::LinearSpeed: {
        const Ctl box = kind == TeachInKind::PointSpeed ? Ctl::PointSpeed : Ctl::LinearSpeed;
        // An empty box is one whose speed was never read from the
        // controller (nor typed): no speed to record.
        for (int i = 0; i < 3 && !why; ++i)
            why = board.text(box, i).empty() ? std::optional<std::string>("速度尚未从控制器读到") : entry(box, i);
        break;
    }
    case TeachInKind::JointMove: why = readout(Ctl::JointAngle, 1, 6); break;
    case TeachInKind::PointMove:
    case TeachInKind::LineMove:
    case TeachInKind::ArcVia: why = readout(Ctl::PoseValue, 1, 6); break;
    case TeachInKind::ArcEnd:
        why = readout(Ctl::PoseValue, 1, 6);
        if (!why) why = entry(Ctl::ArcAngle, kNoIndex);
        break;
    case TeachInKind::Delay: why = entry(Ctl::DelayMs, kNoIndex); break;
    case TeachInKind::End: break;
    }
    if (why) return "未录入：" + *why;
    return std::nullopt;
}

bool teachIn(Board& board, TeachInKind kind)
{
    if (auto why = teachInRefusal(board, kind)) {
        tell(board, *why);
        return false;
    }
    board.setText(Ctl::ProgramEditor, kNoIndex, board.text(Ctl::ProgramEditor) + teachInLine(board, kind));
    return true;
}

} // namespace vq
