// A program subsystem on a board of plain values, with the runner's ticks
// driven by hand.
#pragma once

#include <string>
#include <string_view>

#include "support/fake_board.h"
#include "link/form_state.h"
#include "program/program_subsystem.h"

namespace vq::test {

struct ProgramRig {
    FakeBoard board;
    ScriptedPrompts prompts;
    FormState state;
    ProgramSubsystem program{state, board, prompts};

    ProgramRunner& runner() { return program.runner(); }

    void setProgram(std::string_view text) { board.setText(Ctl::ProgramEditor, kNoIndex, text); }
    void clickRun() { program.run(); }
    void clickPause() { program.pauseOrContinue(); }
    void clickStop() { program.stop(); }
    void tick() { program.runnerTick(); }
    // A tick at which the controller reports itself idle.
    void idleTick()
    {
        state.controllerBusy = 0;
        tick();
    }
    bool running() const { return board.timerEnabled(Ctl::RunnerTimer); }
    int interval() const { return board.timerInterval(Ctl::RunnerTimer); }
    void clearFlags() { state.slotPending.fill(0); }
    int raisedCount() const
    {
        int n = 0;
        for (auto f : state.slotPending) n += f == 1;
        return n;
    }
};

// Program text from lines, each closed by CR LF.
inline std::string programOf(std::initializer_list<std::string_view> lines)
{
    std::string text;
    for (std::string_view l : lines) {
        text += l;
        text += "\r\n";
    }
    return text;
}

} // namespace vq::test
