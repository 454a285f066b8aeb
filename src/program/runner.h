// The program runner: executes the teach program (ProgramEditor) one line
// per tick of RunnerTimer. It never touches the port: a motion or speed line
// stores its data in the mailbox and raises its write slot, and the poll
// scheduler sends it.
// Before each line it waits until the controller reports itself idle
// (controllerBusy == 0) and the run is not paused.
//
// Controls: RunButton "运行" (disabled while a run goes on), PauseButton
// "暂停"/"继续" (its caption says what a click does), LoopCheck "循环"
// (repeat at the end of a pass), RunnerTimer (the tick), ProgramEditor (the
// program).
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/board.h"
#include "link/form_state.h"

namespace vq {

// The last value text of every field. Empty when the window opens and never
// reset: values carry over from line to line and from run to run.
struct RunnerFields {
    std::string rpm, pointAcc, pointDec;         // PSPEED RPM= ACC= DEC=
    std::string mms, lineAcc, lineDec;           // LSPEED MMS= ACC= DEC=
    std::string delayMs;                         // DELAY MS=
    std::string j1, j2, j3, j4, j5, j6;          // MOVJ J1=..J6=
    std::string x1, y1, z1, a1, b1, c1;          // MOVP and MOVL X1=..C1=
    std::string x2, y2, z2, a2, b2, c2;          // MOVC X2=..C2=
    std::string x3, y3, z3, a3, b3, c3;          // MOVC continuation X3=..C3=
    std::string ag;                              // MOVC continuation Ag=
};

// Write slots the runner raises: point and linear speed, joint target,
// point, linear and circular move.
inline constexpr std::array kRunnerSlots = {Slot::WriteLineSpeed, Slot::WritePointSpeed, Slot::JointTarget,
                                            Slot::PointMove,      Slot::LinearMove,      Slot::ArcMove};

inline constexpr std::string_view kCaptionPause = "暂停";
inline constexpr std::string_view kCaptionContinue = "继续";

class ProgramRunner {
public:
    static constexpr int kInitialIntervalMs = 100; // RunnerTimer when the window opens
    static constexpr int kTickIntervalMs = 300;    // every tick
    static constexpr int kMinDelayMs = 1;          // a delay the timer cannot wait comes at once
    static constexpr int kMaxDelayMs = 86'400'000; // a delay longer than a day waits a day

    // Puts RunnerTimer into its opening state: disabled, interval 100 ms.
    ProgramRunner(FormState& state, Board& board);
    ProgramRunner(const ProgramRunner&) = delete; // programLines view the runner's own copy
    ProgramRunner& operator=(const ProgramRunner&) = delete;

    void run();
    void pause(); // pause, or continue when paused
    void stop();
    void tick();  // RunnerTimer
    // Pauses a run that goes on (line loss, an alarm); nothing when no run
    // goes on or it is paused already. Continue is the operator's.
    void hold();
    bool running() const;
    // While a run is paused: the next tick that finds the controller idle
    // executes one line, and the run stays paused.
    void step();

    // The program taken at Run (views into the runner's own copy of the text).
    std::span<const std::string_view> programLines() const { return lines_; }
    // Next line to execute.
    std::size_t lineIndex() const { return lineIndex_; }
    // The line last executed, counted from 1 as the editor shows it (0 before
    // the first line of a pass).
    std::size_t lastLineNumber() const { return lastLine_; }
    // Number of line breaks at Run: lines 0 .. lineCount - 1 are executed.
    std::size_t lineCount() const { return lineCount_; }
    bool runPaused() const { return runPaused_; }
    // The line the run is at, from 0: the last one executed (its move or
    // delay is under way), or the first line before any has been. A MOVC's
    // line stands for its continuation line too.
    std::size_t currentLine() const { return lastLine_ == 0 ? 0 : lastLine_ - 1; }
    // The pass through the program, from 1; "循环" starts the next one.
    int pass() const { return pass_; }
    bool stepRequested() const { return stepRequested_; }
    const RunnerFields& fields() const { return fields_; }

    // Timer interval for a DELAY value text: rounded half to even; empty,
    // non-numeric, zero or negative gives kMinDelayMs (the next tick comes at
    // once); longer than a day gives kMaxDelayMs.
    static int delayIntervalMs(std::string_view delayText);

private:
    // False when the line was refused: a field that is not a finite number
    // is never sent, and the operator is told on the status line.
    bool execute(std::string_view line);
    template <std::size_t N>
    bool post(Slot slot, const std::array<std::string*, N>& fields, const std::array<std::string_view, N>& keys);
    void endOfPass();
    void setPaused(bool paused);

    FormState& state_;
    Board& board_;
    std::string text_;                    // the program text as taken at Run
    std::vector<std::string_view> lines_; // pieces of text_
    std::size_t lineIndex_ = 0;
    std::size_t lineCount_ = 0;
    std::size_t lastLine_ = 0;
    bool runPaused_ = false;
    RunnerFields fields_;
    int pass_ = 0;
    bool passEnded_ = false;    // the next line executed starts a new pass
    bool stepRequested_ = false;
};

} // namespace vq
