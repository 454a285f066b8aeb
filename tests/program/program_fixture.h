// A program subsystem on a board of plain values, with the runner's ticks
// driven by hand.
#pragma once

#include <string>
#include <string_view>

#include "link/form_state.h"
#include "link/hex.h"
#include "support/fake_board.h"
#include "program/program_subsystem.h"

namespace vq::test {

struct ProgramRig {
    FakeBoard board;
    ScriptedPrompts prompts;
    FormState state;
    ProgramSubsystem program;

    explicit ProgramRig(ProgramFileSetup setup = {}) : program(state, board, prompts, std::move(setup)) {}

    ProgramRunner& runner() { return program.runner(); }

    void setProgram(std::string_view text) { board.setText(Ctl::ProgramEditor, kNoIndex, text); }
    void clickRun() { program.run(); }
    // Open from the file menu, the file read to its end tick by tick.
    void openFile()
    {
        program.openProgram();
        for (int i = 0; program.opening() && i < 1'000'000; ++i) program.fileTick();
    }
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
    void clearFlags() { state.mailbox.lowerAll(); }
    int raisedCount() const { return state.mailbox.raisedCount(); }
    // A payload in the mailbox as hex text, and its float k (four bytes,
    // least significant first).
    std::string payload(Payload p) const { return bytesToHexText(state.mailbox.payload(p)); }
    float payloadFloat(Payload p, std::size_t k) const
    {
        return StrToFloat(bytesToHexDigits(state.mailbox.payload(p).subspan(4 * k, 4)));
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
