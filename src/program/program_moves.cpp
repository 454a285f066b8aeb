#include "program_moves.h"

#include <string>

#include "link/numtext.h"

namespace vq {

namespace {

// The value of the key in the line, or the fallback when the line has no
// such key; read as the runner reads it.
double field(std::string_view line, std::string_view key, double fallback)
{
    const std::string none = "\x01"; // no value text looks like this
    const std::string text = valueAfterKey(line, key, none);
    return text == none ? fallback : readLenientNumber(text);
}

void readInto(std::array<double, 6>& values, std::string_view line, const std::array<std::string_view, 6>& keys,
              const std::array<double, 6>& fallback)
{
    for (std::size_t i = 0; i < 6; ++i) values[i] = field(line, keys[i], fallback[i]);
}

} // namespace

std::vector<ProgramMove> programMoves(std::string_view text)
{
    const std::vector<std::string_view> lines = splitProgramLines(text);
    std::vector<ProgramMove> moves;
    std::array<double, 6> joints{};
    std::array<double, 6> target{};
    std::array<double, 6> via{};
    std::array<double, 6> end{};
    double runAngle = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        ProgramMove m;
        m.kind = keywordOf(line);
        m.line = i;
        switch (m.kind) {
        case Keyword::Movj:
            readInto(joints, line, kJointKeys, joints);
            m.target = joints;
            break;
        case Keyword::Movp:
        case Keyword::Movl:
            readInto(target, line, kTargetKeys, target);
            m.target = target;
            break;
        case Keyword::Movc: {
            readInto(via, line, kViaKeys, target);
            const std::string_view cont = i + 1 < lines.size() ? lines[i + 1] : std::string_view{};
            readInto(end, cont, kEndKeys, via);
            runAngle = field(cont, "Ag=", runAngle);
            m.via = via;
            m.target = end;
            m.runAngle = runAngle;
            ++i; // the continuation line is part of the move
            break;
        }
        case Keyword::End:
            return moves;
        default:
            continue;
        }
        moves.push_back(m);
    }
    return moves;
}

} // namespace vq
