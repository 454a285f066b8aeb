#include "teach_in.h"

#include <array>

#include "format.h"
#include "link/hex.h"
#include "link/numtext.h"

namespace vq {

namespace {

constexpr std::array<std::string_view, 6> kJointKeys{"J1=", "J2=", "J3=", "J4=", "J5=", "J6="};
constexpr std::array<std::string_view, 6> kTargetKeys{"X1=", "Y1=", "Z1=", "A1=", "B1=", "C1="};
constexpr std::array<std::string_view, 6> kViaKeys{"X2=", "Y2=", "Z2=", "A2=", "B2=", "C2="};
constexpr std::array<std::string_view, 6> kEndKeys{"X3=", "Y3=", "Z3=", "A3=", "B3=", "C3="};
constexpr std::string_view kContinuationIndent = "     "; // five blanks

// " KEY=text" for every key, the texts from a control array.
template <std::size_t N>
void appendFields(std::string& line, const Board& board, std::string_view control, int firstIndex,
                  const std::array<std::string_view, N>& keys)
{
    for (std::size_t i = 0; i < N; ++i) {
        line += ' ';
        line += keys[i];
        line += board.text(control, firstIndex + static_cast<int>(i));
    }
}

// The run angle: Text8 read as a number, written with three decimals. An
// angle beyond the range of a double cannot be written and counts as no
// number.
std::string runAngleText(const Board& board)
{
    return formatFixed(readLenientNumber(board.text("Text8")), 3).value_or("0.000");
}

} // namespace

bool isTeachInButton(std::string_view name)
{
    static constexpr std::string_view names[] = {"Command10", "Command24", "Command15", "Command20", "Command6",
                                                 "Command18", "Command9",  "Command21", "Command17"};
    for (std::string_view n : names)
        if (n == name) return true;
    return false;
}

std::optional<std::string> teachInLine(const Board& board, std::string_view button)
{
    std::string line;
    if (button == "Command10") {
        line = "PSPEED";
        appendFields<3>(line, board, "Text10", 0, {"RPM=", "ACC=", "DEC="});
    } else if (button == "Command24") {
        line = "LSPEED";
        appendFields<3>(line, board, "Text21", 0, {"MMS=", "ACC=", "DEC="});
    } else if (button == "Command15") {
        line = "MOVJ";
        appendFields(line, board, "Label2", 1, kJointKeys);
    } else if (button == "Command20") {
        line = "MOVP";
        appendFields(line, board, "Label3", 1, kTargetKeys);
    } else if (button == "Command6") {
        line = "MOVL";
        appendFields(line, board, "Label3", 1, kTargetKeys);
    } else if (button == "Command18") {
        line = "MOVC";
        appendFields(line, board, "Label3", 1, kViaKeys);
    } else if (button == "Command9") {
        line = kContinuationIndent;
        for (std::size_t i = 0; i < kEndKeys.size(); ++i) {
            if (i > 0) line += ' ';
            line += kEndKeys[i];
            line += board.text("Label3", 1 + static_cast<int>(i));
        }
        line += " Ag=";
        line += runAngleText(board);
    } else if (button == "Command21") {
        line = "DELAY MS=";
        line += board.text("Text20");
    } else if (button == "Command17") {
        line = "END";
    } else {
        return std::nullopt;
    }
    line += kLineBreak;
    return line;
}

bool teachIn(Board& board, std::string_view button)
{
    std::optional<std::string> line = teachInLine(board, button);
    if (!line) return false;
    board.setText("Text7", kNoIndex, board.text("Text7") + *line);
    return true;
}

} // namespace vq
