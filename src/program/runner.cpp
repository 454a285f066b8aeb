#include "runner.h"

#include <array>
#include <cmath>
#include <utility>

#include "format.h"
#include "link/hex.h"
#include "link/numtext.h"

namespace vq {

namespace {

constexpr Ctl kTimer = Ctl::RunnerTimer;

double roundHalfEven(double v)
{
    if (!std::isfinite(v)) return v;
    double down = std::floor(v);
    double frac = v - down;
    if (frac > 0.5) return down + 1.0;
    if (frac < 0.5) return down;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

// A field text as a number. A value beyond the range of a double is kept in
// its field as general format writes infinity; it reads back as infinity,
// not as "no number".
double fieldNumber(std::string_view text)
{
    static const std::string inf = generalFormat(HUGE_VAL);
    static const std::string negInf = generalFormat(-HUGE_VAL);
    if (text == inf) return HUGE_VAL;
    if (text == negInf) return -HUGE_VAL;
    return readLenientNumber(text);
}

float fieldFloat(const std::string& text) { return toFloat32(fieldNumber(text)); }

// Reads each key into its field, the field's own text as fallback.
template <std::size_t N>
void readFields(std::string_view line, const std::array<std::string_view, N>& keys,
                const std::array<std::string*, N>& fields)
{
    for (std::size_t i = 0; i < N; ++i) *fields[i] = valueAfterKey(line, keys[i], *fields[i]);
}

template <std::size_t N>
std::vector<std::uint8_t> floatsOf(const std::array<std::string*, N>& fields)
{
    std::array<float, N> values{};
    for (std::size_t i = 0; i < N; ++i) values[i] = fieldFloat(*fields[i]);
    return floatData(values);
}

} // namespace

ProgramRunner::ProgramRunner(FormState& state, Board& board) : state_(state), board_(board)
{
    board_.setTimerEnabled(kTimer, false);
    board_.setTimerInterval(kTimer, kInitialIntervalMs);
}

void ProgramRunner::run()
{
    // The run works on its own copy: later edits of the program do not reach it.
    text_ = board_.text(Ctl::ProgramEditor);
    lines_ = splitProgramLines(text_);
    lineCount_ = lines_.size() - 1;
    if (lineCount_ <= 1) return; // a single terminated line does not start
    board_.setTimerEnabled(kTimer, true);
    // Wait for a status reply to deliver the controller's real busy word.
    state_.controllerBusy = 100;
    lineIndex_ = 0;
    currentLine_ = 0;
    pass_ = 1;
    passEnded_ = false;
    setPaused(false);
    board_.setEnabled(Ctl::RunButton, kNoIndex, false);
}

void ProgramRunner::pause() { setPaused(!runPaused_); }

void ProgramRunner::step()
{
    if (runPaused_ && running()) stepRequested_ = true;
}

bool ProgramRunner::running() const { return board_.timerEnabled(kTimer); }

void ProgramRunner::stop()
{
    lineIndex_ = 0;
    board_.setTimerEnabled(kTimer, false);
    // A DELAY under way ends with the run: the next Run starts at once.
    board_.setTimerInterval(kTimer, kInitialIntervalMs);
    board_.setEnabled(Ctl::RunButton, kNoIndex, true);
    setPaused(false);
}

void ProgramRunner::setPaused(bool paused)
{
    runPaused_ = paused;
    stepRequested_ = false;
    board_.setText(Ctl::PauseButton, kNoIndex, paused ? kCaptionContinue : kCaptionPause);
}

void ProgramRunner::tick()
{
    board_.setTimerInterval(kTimer, kTickIntervalMs);
    if (state_.controllerBusy != 0 || (runPaused_ && !stepRequested_)) return;
    stepRequested_ = false;
    if (lineIndex_ >= lineCount_) { // no run taken (a tick without Run)
        endOfPass();
        return;
    }
    if (std::exchange(passEnded_, false)) ++pass_;
    currentLine_ = lineIndex_;
    execute(lines_[lineIndex_]);
    ++lineIndex_;
    if (lineIndex_ < lineCount_) return;
    endOfPass();
}

void ProgramRunner::endOfPass()
{
    lineIndex_ = 0;
    if (board_.value(Ctl::LoopCheck) == 1) { // "循环": next tick starts at line 0
        passEnded_ = true;
        return;
    }
    board_.setTimerEnabled(kTimer, false);
    board_.setEnabled(Ctl::RunButton, kNoIndex, true);
}

void ProgramRunner::execute(std::string_view line)
{
    RunnerFields& f = fields_;
    switch (keywordOf(line)) {
    case Keyword::Pspeed: {
        const std::array<std::string*, 3> fields{&f.rpm, &f.pointAcc, &f.pointDec};
        readFields<3>(line, {"RPM=", "ACC=", "DEC="}, fields);
        state_.post(Slot::WritePointSpeed, floatsOf(fields));
        break;
    }
    case Keyword::Lspeed: {
        const std::array<std::string*, 3> fields{&f.mms, &f.lineAcc, &f.lineDec};
        readFields<3>(line, {"MMS=", "ACC=", "DEC="}, fields);
        state_.post(Slot::WriteLineSpeed, floatsOf(fields));
        break;
    }
    case Keyword::Movj: {
        const std::array<std::string*, 6> fields{&f.j1, &f.j2, &f.j3, &f.j4, &f.j5, &f.j6};
        readFields<6>(line, {"J1=", "J2=", "J3=", "J4=", "J5=", "J6="}, fields);
        state_.post(Slot::JointTarget, floatsOf(fields));
        break;
    }
    case Keyword::Movp:
    case Keyword::Movl: {
        const std::array<std::string*, 6> fields{&f.x1, &f.y1, &f.z1, &f.a1, &f.b1, &f.c1};
        readFields<6>(line, {"X1=", "Y1=", "Z1=", "A1=", "B1=", "C1="}, fields);
        state_.post(keywordOf(line) == Keyword::Movp ? Slot::PointMove : Slot::LinearMove, floatsOf(fields));
        break;
    }
    case Keyword::Movc: {
        // Via point: a missing coordinate takes the last MOVP/MOVL target's.
        const std::array<std::string_view, 6> viaKeys{"X2=", "Y2=", "Z2=", "A2=", "B2=", "C2="};
        const std::array<std::string*, 6> target{&f.x1, &f.y1, &f.z1, &f.a1, &f.b1, &f.c1};
        const std::array<std::string*, 6> via{&f.x2, &f.y2, &f.z2, &f.a2, &f.b2, &f.c2};
        for (std::size_t i = 0; i < 6; ++i) *via[i] = valueAfterKey(line, viaKeys[i], *target[i]);
        // The next piece is the continuation line, whatever it holds; on the
        // last executed line that is the piece after the last break.
        ++lineIndex_;
        std::string_view cont = lines_[lineIndex_];
        // End point: a missing coordinate takes the via point's.
        const std::array<std::string_view, 6> endKeys{"X3=", "Y3=", "Z3=", "A3=", "B3=", "C3="};
        const std::array<std::string*, 6> end{&f.x3, &f.y3, &f.z3, &f.a3, &f.b3, &f.c3};
        for (std::size_t i = 0; i < 6; ++i) *end[i] = valueAfterKey(cont, endKeys[i], *via[i]);
        f.ag = valueAfterKey(cont, "Ag=", f.ag);
        std::array<float, 13> arc{};
        for (std::size_t i = 0; i < 6; ++i) {
            arc[i] = fieldFloat(*via[i]);
            arc[6 + i] = fieldFloat(*end[i]);
        }
        arc[12] = fieldFloat(f.ag);
        state_.post(Slot::ArcMove, floatData(arc));
        break;
    }
    case Keyword::Delay:
        f.delayMs = valueAfterKey(line, "MS=", f.delayMs);
        board_.setTimerInterval(kTimer, delayIntervalMs(f.delayMs));
        break;
    case Keyword::End:
        lineIndex_ = lineCount_;
        break;
    case Keyword::None: // unrecognised or empty line: costs the tick, nothing else
        break;
    }
}

int ProgramRunner::delayIntervalMs(std::string_view delayText)
{
    double whole = roundHalfEven(fieldNumber(delayText));
    if (!(whole >= kMinDelayMs)) return kMinDelayMs;
    if (whole >= static_cast<double>(kMaxDelayMs)) return kMaxDelayMs;
    return static_cast<int>(whole);
}

} // namespace vq
