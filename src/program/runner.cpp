#include "runner.h"

#include <array>
#include <cmath>
#include <utility>

#include "format.h"
#include "link/hex.h"
#include "link/numtext.h"
#include "link/status_line.h"

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

// "第 3 行未发送：J1=inf 不是有限的数，程序已暂停"
std::string refusal(std::size_t lineNumber, std::string_view key, std::string_view text)
{
    std::string m = "第 " + std::to_string(lineNumber) + " 行未发送：";
    m += key;
    m += text;
    m += " 不是有限的数，程序已暂停";
    return m;
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
    lastLine_ = 0;
    pass_ = 1;
    passEnded_ = false;
    setPaused(false);
    board_.setEnabled(Ctl::RunButton, kNoIndex, false);
}

void ProgramRunner::pause() { setPaused(!runPaused_); }

bool ProgramRunner::running() const { return board_.timerEnabled(kTimer); }

void ProgramRunner::hold()
{
    stepRequested_ = false; // a single step asked for before the loss or alarm does not run either
    if (running() && !runPaused_) setPaused(true);
}

void ProgramRunner::step()
{
    if (runPaused_ && running()) stepRequested_ = true;
}

void ProgramRunner::stop()
{
    lineIndex_ = 0;
    lastLine_ = 0;
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
    lastLine_ = lineIndex_ + 1;
    if (!execute(lines_[lineIndex_])) setPaused(true);
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

template <std::size_t N>
bool ProgramRunner::post(Slot slot, const std::array<std::string*, N>& fields, const std::array<std::string_view, N>& keys)
{
    std::array<float, N> values{};
    for (std::size_t i = 0; i < N; ++i) {
        values[i] = fieldFloat(*fields[i]);
        if (!std::isfinite(values[i])) {
            tell(board_, refusal(lastLine_, keys[i], *fields[i]));
            return false;
        }
    }
    state_.post(slot, floatData(values));
    return true;
}

bool ProgramRunner::execute(std::string_view line)
{
    RunnerFields& f = fields_;
    switch (keywordOf(line)) {
    case Keyword::Pspeed: {
        const std::array<std::string*, 3> fields{&f.rpm, &f.pointAcc, &f.pointDec};
        const std::array<std::string_view, 3> keys{"RPM=", "ACC=", "DEC="};
        readFields<3>(line, keys, fields);
        return post(Slot::WritePointSpeed, fields, keys);
    }
    case Keyword::Lspeed: {
        const std::array<std::string*, 3> fields{&f.mms, &f.lineAcc, &f.lineDec};
        const std::array<std::string_view, 3> keys{"MMS=", "ACC=", "DEC="};
        readFields<3>(line, keys, fields);
        return post(Slot::WriteLineSpeed, fields, keys);
    }
    case Keyword::Movj: {
        const std::array<std::string*, 6> fields{&f.j1, &f.j2, &f.j3, &f.j4, &f.j5, &f.j6};
        const std::array<std::string_view, 6> keys{"J1=", "J2=", "J3=", "J4=", "J5=", "J6="};
        readFields<6>(line, keys, fields);
        return post(Slot::JointTarget, fields, keys);
    }
    case Keyword::Movp:
    case Keyword::Movl: {
        const std::array<std::string*, 6> fields{&f.x1, &f.y1, &f.z1, &f.a1, &f.b1, &f.c1};
        const std::array<std::string_view, 6> keys{"X1=", "Y1=", "Z1=", "A1=", "B1=", "C1="};
        readFields<6>(line, keys, fields);
        return post(keywordOf(line) == Keyword::Movp ? Slot::PointMove : Slot::LinearMove, fields, keys);
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
        return post(Slot::ArcMove,
                    std::array<std::string*, 13>{via[0], via[1], via[2], via[3], via[4], via[5], end[0], end[1],
                                                 end[2], end[3], end[4], end[5], &f.ag},
                    std::array<std::string_view, 13>{viaKeys[0], viaKeys[1], viaKeys[2], viaKeys[3], viaKeys[4],
                                                     viaKeys[5], endKeys[0], endKeys[1], endKeys[2], endKeys[3],
                                                     endKeys[4], endKeys[5], "Ag="});
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
    return true;
}

int ProgramRunner::delayIntervalMs(std::string_view delayText)
{
    double whole = roundHalfEven(fieldNumber(delayText));
    if (!(whole >= kMinDelayMs)) return kMinDelayMs;
    if (whole >= static_cast<double>(kMaxDelayMs)) return kMaxDelayMs;
    return static_cast<int>(whole);
}

} // namespace vq
