// The pre-run check: everything in a program text that the runner would
// read differently from how it looks, skip without a word, or send although
// the arm cannot go there. The runner itself reads lines as it always did;
// this only reports.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vq {

// Joint limits as the controller reported them (registers 1140 highest and
// 1150 lowest, in degrees); a joint whose limit is not known, or whose
// reported range is empty (lowest not below highest), is not checked.
struct JointLimits {
    std::array<std::optional<double>, 6> highest; // joint 1 at [0]
    std::array<std::optional<double>, 6> lowest;
};

struct ProgramProblem {
    std::size_t line = 0;  // from 0, counted as the runner does (pieces between CR LF)
    std::size_t begin = 0; // bytes into the line, the stretch the problem is about
    std::size_t end = 0;
    std::string message;

    friend bool operator==(const ProgramProblem&, const ProgramProblem&) = default;
};

// Every problem of the text, by line and then by position.
std::vector<ProgramProblem> checkProgram(std::string_view text, const JointLimits& limits = {});

// The same check a slice of lines at a time, so that a long program is
// checked between the poll events instead of stopping them, and is never
// copied whole.
class ProgramCheck {
public:
    // Lines first .. first + count - 1 of the program, as Board::textLines
    // gives them; asked for in order.
    using LineSource = std::function<std::string(std::size_t first, std::size_t count)>;
    ProgramCheck(LineSource lines, const JointLimits& limits);
    ~ProgramCheck();
    ProgramCheck(const ProgramCheck&) = delete;
    ProgramCheck& operator=(const ProgramCheck&) = delete;

    // Checks up to `lines` more lines; true once the whole text is checked.
    bool step(std::size_t lines);
    // Once step() returned true: every problem, as checkProgram gives them.
    std::vector<ProgramProblem> takeProblems();

private:
    class Checker;
    std::unique_ptr<Checker> checker_;
};

// "第 3 行：…" (the line counted from 1, as the editor numbers it).
std::string describeProblem(const ProgramProblem& problem);

} // namespace vq
