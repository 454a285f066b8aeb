// The teach program's format and the runner. The input, less its last eight
// bytes, is the program text; the last eight bytes seed the operator's
// choices (the 循环 box before each tick, now and then Pause, Stop or another
// Run). The controller always reports itself idle, so every tick executes a
// line.
//
// Checked: the field reader on every line with every key; the pre-run
// check's problems lie inside the text, in order; after every tick
// the runner's line index, the runner timer's interval, the slots raised
// and the payloads they carry, and the field texts kept between lines.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "link/hex.h"
#include "link/numtext.h"
#include "program/format.h"
#include "program/program_check.h"
#include "program/runner.h"
#include "support/fake_board.h"

namespace {

using vq::fuzz::quoted;

constexpr std::array<std::string_view, 31> kKeys = {
    "RPM=", "ACC=", "DEC=", "MMS=", "MS=", "J1=", "J2=", "J3=", "J4=", "J5=", "J6=",
    "X1=",  "Y1=",  "Z1=",  "A1=",  "B1=", "C1=", "X2=", "Y2=", "Z2=", "A2=", "B2=",
    "C2=",  "X3=",  "Y3=",  "Z3=",  "A3=", "B3=", "C3=", "Ag=", "MMS",
};

// Each write slot the runner raises, with its payload and how many floats
// that payload holds.
struct WriteSlot {
    vq::Slot slot;
    vq::Payload payload;
    std::size_t floats;
};
constexpr std::array<WriteSlot, 6> kWriteSlots = {{
    {vq::Slot::WriteLineSpeed, vq::Payload::LineSpeed, 3},
    {vq::Slot::WritePointSpeed, vq::Payload::PointSpeed, 3},
    {vq::Slot::JointTarget, vq::Payload::JointTarget, 6},
    {vq::Slot::PointMove, vq::Payload::PoseTarget, 6},
    {vq::Slot::LinearMove, vq::Payload::PoseTarget, 6},
    {vq::Slot::ArcMove, vq::Payload::ArcTarget, 13},
}};

void checkFieldReader(std::string_view line)
{
    for (std::string_view key : kKeys) {
        const std::string value = vq::valueAfterKey(line, key, "fallback");
        if (line.find(key) == std::string_view::npos) {
            VQ_FUZZ_CHECK(value == "fallback", quoted(line) + " " + quoted(key) + " -> " + quoted(value));
        } else {
            VQ_FUZZ_CHECK(vq::fuzz::isGeneralFormat(value), quoted(line) + " " + quoted(key) + " -> " + quoted(value));
        }
    }
    const vq::Keyword k = vq::keywordOf(line);
    const std::string_view word = vq::keywordText(line);
    VQ_FUZZ_CHECK(word.find(' ') == std::string_view::npos && line.substr(0, word.size()) == word, quoted(line));
    VQ_FUZZ_CHECK(k == vq::Keyword::None || (!word.empty() && word.front() >= 'A' && word.front() <= 'Z'), quoted(line));
}

// Checks the field texts that changed since the last call.
template <class Context>
void checkFields(const vq::RunnerFields& f, vq::RunnerFields& seen, const Context& context)
{
    using F = vq::RunnerFields;
    static constexpr std::array<std::string F::*, 32> all = {
        &F::rpm, &F::pointAcc, &F::pointDec, &F::mms, &F::lineAcc, &F::lineDec, &F::delayMs, &F::j1,
        &F::j2,  &F::j3,       &F::j4,       &F::j5,  &F::j6,      &F::x1,      &F::y1,      &F::z1,
        &F::a1,  &F::b1,       &F::c1,       &F::x2,  &F::y2,      &F::z2,      &F::a2,      &F::b2,
        &F::c2,  &F::x3,       &F::y3,       &F::z3,  &F::a3,      &F::b3,      &F::c3,      &F::ag,
    };
    for (std::string F::*field : all) {
        const std::string& text = f.*field;
        if (text == seen.*field) continue;
        seen.*field = text;
        // Empty only when it fell back on a field never set (a MOVC via point
        // before any MOVP or MOVL).
        VQ_FUZZ_CHECK(text.empty() || vq::fuzz::isGeneralFormat(text), "field " + quoted(text) + " " + context());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t seed = 0;
    if (size >= sizeof seed) {
        std::memcpy(&seed, data + size - sizeof seed, sizeof seed);
        size -= sizeof seed;
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    vq::fuzz::Choices choose(seed);

    const std::vector<std::string_view> pieces = vq::splitProgramLines(text);
    for (std::string_view line : pieces) checkFieldReader(line);

    vq::JointLimits limits;
    limits.highest.fill(choose.below(2) ? 170.0 : 0.0);
    limits.lowest.fill(-170.0);
    const auto problems = vq::checkProgram(text, limits);
    for (std::size_t i = 0; i < problems.size(); ++i) {
        const vq::ProgramProblem& p = problems[i];
        VQ_FUZZ_CHECK(p.line < pieces.size() && p.begin <= p.end && p.end <= pieces[p.line].size() &&
                          !p.message.empty(),
                      vq::describeProblem(p) + " at " + std::to_string(p.begin) + ".." + std::to_string(p.end));
        VQ_FUZZ_CHECK(i == 0 || problems[i - 1].line <= p.line, "problems out of line order");
    }

    vq::FormState state;
    vq::test::FakeBoard board;
    board.setText(vq::Ctl::ProgramEditor, vq::kNoIndex, text);
    vq::ProgramRunner runner(state, board);
    runner.run();

    const std::size_t lines = runner.lineCount();
    VQ_FUZZ_CHECK(lines + 1 == vq::splitProgramLines(text).size(), std::to_string(lines));
    if (lines <= 1) {
        VQ_FUZZ_CHECK(!board.timerEnabled(vq::Ctl::RunnerTimer), "a run of " + std::to_string(lines) + " lines started");
        return 0;
    }
    VQ_FUZZ_CHECK(board.timerEnabled(vq::Ctl::RunnerTimer) && state.controllerBusy == 100, "run did not start");

    // Enough ticks to pass through the program about twice.
    const std::size_t ticks = std::min<std::size_t>(2 * lines + 8, 1000);
    vq::RunnerFields fieldsSeen;
    for (std::size_t t = 0; t < ticks; ++t) {
        state.controllerBusy = 0;
        state.mailbox.lowerAll();
        board.setValue(vq::Ctl::LoopCheck, vq::kNoIndex, choose.chance(50) ? 1 : 0);
        if (choose.chance(2)) runner.pause();
        if (choose.chance(1)) runner.stop();
        if (!board.timerEnabled(vq::Ctl::RunnerTimer)) {
            // Timer3 only ticks while it runs; the operator may press Run.
            if (!choose.chance(30)) continue;
            runner.run();
            state.controllerBusy = 0;
        }
        const std::size_t before = runner.lineIndex();
        const bool paused = runner.runPaused();
        runner.tick();

        const auto context = [&] {
            return "tick " + std::to_string(t) + " at line " + std::to_string(before) + " of " + quoted(text);
        };
        VQ_FUZZ_CHECK(runner.lineIndex() < runner.lineCount(), context() + ": line index " + std::to_string(runner.lineIndex()));
        const int interval = board.timerInterval(vq::Ctl::RunnerTimer);
        VQ_FUZZ_CHECK(interval >= vq::ProgramRunner::kMinDelayMs && interval <= vq::ProgramRunner::kMaxDelayMs,
                      context() + ": interval " + std::to_string(interval));
        if (!board.timerEnabled(vq::Ctl::RunnerTimer)) {
            VQ_FUZZ_CHECK(board.enabled(vq::Ctl::RunButton), context() + ": stopped with Run disabled");
        }

        // At most one slot, one of the runner's, carrying as many floats as
        // its register block takes.
        int raised = 0;
        for (int s = 0; s < vq::kSlotCount; ++s) {
            if (!state.due(vq::slotAt(s))) continue;
            ++raised;
            const WriteSlot* row = nullptr;
            for (const WriteSlot& w : kWriteSlots)
                if (w.slot == vq::slotAt(s)) row = &w;
            VQ_FUZZ_CHECK(row != nullptr, context() + ": slot " + std::to_string(s));
            const auto payload = state.mailbox.payload(row->payload);
            VQ_FUZZ_CHECK(payload.size() == 4 * row->floats,
                          context() + ": slot " + std::to_string(s) + " payload " + quoted(vq::bytesToHexText(payload)));
        }
        VQ_FUZZ_CHECK(raised <= 1, context() + ": " + std::to_string(raised) + " slots");
        VQ_FUZZ_CHECK(raised == 0 || !paused, context() + ": a slot raised while paused");
        checkFields(runner.fields(), fieldsSeen, context);
    }
    return 0;
}
