#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>

#include "program_fixture.h"

namespace vq::test {

// A DELAY longer than a day waits a day.
constexpr int kDay = 24 * 60 * 60 * 1000;
namespace {

TEST(ProgramRunner, TimerStartsDisabledAt100ms)
{
    ProgramRig rig;
    EXPECT_FALSE(rig.running());
    EXPECT_EQ(rig.interval(), 100);
}

TEST(ProgramRunner, DefaultProgramRunsBothLinesThenStops)
{
    ProgramRig rig;
    rig.setProgram("PSPEED RPM=1000 ACC=500 DEC=500\r\nLSPEED MMS=100 ACC=10 DEC=10\r\n");
    rig.clickRun();
    EXPECT_EQ(rig.runner().lineCount(), 2u);
    EXPECT_EQ(rig.runner().lineIndex(), 0u);
    EXPECT_TRUE(rig.running());
    EXPECT_EQ(rig.interval(), 100); // first tick after the interval the timer last had
    EXPECT_EQ(rig.state.controllerBusy, 100);
    EXPECT_FALSE(rig.board.enabled(Ctl::RunButton));
    EXPECT_EQ(rig.board.text(Ctl::PauseButton), "暂停");

    // Busy 100 until a status reply says otherwise: the tick waits.
    rig.tick();
    EXPECT_EQ(rig.interval(), 300);
    EXPECT_EQ(rig.raisedCount(), 0);
    EXPECT_EQ(rig.runner().lineIndex(), 0u);

    rig.idleTick();
    EXPECT_TRUE(rig.state.due(Slot::WritePointSpeed));
    EXPECT_EQ(rig.payload(Payload::PointSpeed), "00 00 7A 44 00 00 FA 43 00 00 FA 43");
    EXPECT_EQ(rig.runner().lineIndex(), 1u);
    EXPECT_TRUE(rig.running());

    rig.idleTick();
    EXPECT_TRUE(rig.state.due(Slot::WriteLineSpeed));
    EXPECT_EQ(rig.payload(Payload::LineSpeed), "00 00 C8 42 00 00 20 41 00 00 20 41");
    EXPECT_EQ(rig.runner().lineIndex(), 0u);
    EXPECT_FALSE(rig.running());
    EXPECT_TRUE(rig.board.enabled(Ctl::RunButton));
    EXPECT_EQ(rig.raisedCount(), 2);
}

TEST(ProgramRunner, ProgramsThatDoNotStart)
{
    for (std::string_view text : {"", "END\r\n", "PSPEED RPM=1\r\nLSPEED", "PSPEED RPM=1\nLSPEED MMS=1\nEND\n"}) {
        ProgramRig rig;
        rig.state.controllerBusy = 7;
        rig.setProgram(text);
        rig.clickRun();
        EXPECT_FALSE(rig.running()) << text;
        EXPECT_EQ(rig.state.controllerBusy, 7) << text;
        EXPECT_TRUE(rig.board.enabled(Ctl::RunButton)) << text;
    }
}

// One program per case, run with the controller idle at every tick; then the
// payload of the last instruction is checked byte for byte.
TEST(ProgramRunner, InstructionPayloads)
{
    struct Case {
        const char* name;
        std::string program;
        Slot slot;
        Payload payload;
        std::string hex;
    };
    const Case cases[] = {
        {"pspeed", programOf({"PSPEED RPM=1000 ACC=500 DEC=500", "END"}), Slot::WritePointSpeed, Payload::PointSpeed,
         "00 00 7A 44 00 00 FA 43 00 00 FA 43"},
        {"last DEC= counts", programOf({"PSPEED RPM=1000 ACC=500 DEC=500 DEC=7", "END"}), Slot::WritePointSpeed,
         Payload::PointSpeed, "00 00 7A 44 00 00 FA 43 00 00 E0 40"},
        {"empty RPM= is 0, missing DEC= keeps",
         programOf({"PSPEED RPM=1000 ACC=500 DEC=500", "PSPEED RPM= ACC=1"}), Slot::WritePointSpeed, Payload::PointSpeed,
         "00 00 00 00 00 00 80 3F 00 00 FA 43"},
        {"lspeed", programOf({"LSPEED MMS=100 ACC=10 DEC=10", "END"}), Slot::WriteLineSpeed, Payload::LineSpeed,
         "00 00 C8 42 00 00 20 41 00 00 20 41"},
        {"movj", programOf({"MOVJ J1=1 J2=2 J3=3 J4=4 J5=5 J6=6", "END"}), Slot::JointTarget, Payload::JointTarget,
         "00 00 80 3F 00 00 00 40 00 00 40 40 00 00 80 40 00 00 A0 40 00 00 C0 40"},
        {"movj without J3 keeps the previous, J1=1 2 reads 12",
         programOf({"MOVJ J1=1 J2=2 J3=3 J4=4 J5=5 J6=6", "MOVJ J1=1 2 J2=2 J4=4 J5=5 J6=6"}), Slot::JointTarget,
         Payload::JointTarget, "00 00 40 41 00 00 00 40 00 00 40 40 00 00 80 40 00 00 A0 40 00 00 C0 40"},
        {"movj never-set joints are 0", programOf({"MOVJ J1=1", "END"}), Slot::JointTarget, Payload::JointTarget,
         "00 00 80 3F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
        {"movp", programOf({"MOVP X1=200.00 Y1=150.00 Z1=150 A1=180.00 B1=0.00 C1=0.00", "END"}), Slot::PointMove,
         Payload::PoseTarget, "00 00 48 43 00 00 16 43 00 00 16 43 00 00 34 43 00 00 00 00 00 00 00 00"},
        {"movl, fields in any order among other text",
         programOf({"MOVL C1=0 junk Z1=150 X1=200.00 B1=0.00 Y1=50.00 A1=180.00", "END"}), Slot::LinearMove,
         Payload::PoseTarget, "00 00 48 43 00 00 48 42 00 00 16 43 00 00 34 43 00 00 00 00 00 00 00 00"},
        {"movc as the arc buttons write it",
         programOf({"MOVC X2=250.00 Y2=0.00 Z2=150.00 A2=180.00 B2=0.00 C2=0.00",
                    "     X3=200.00 Y3=-50.00 Z3=150.00 A3=180.00 B3=0.00 C3=0.00 Ag=90.000", "END"}),
         Slot::ArcMove, Payload::ArcTarget,
         "00 00 7A 43 00 00 00 00 00 00 16 43 00 00 34 43 00 00 00 00 00 00 00 00 "
         "00 00 48 43 00 00 48 C2 00 00 16 43 00 00 34 43 00 00 00 00 00 00 00 00 00 00 B4 42"},
        {"movc: missing Z2 takes the last MOVP/MOVL Z, missing Z3 the via Z",
         programOf({"MOVL X1=1 Y1=2 Z1=3 A1=4 B1=5 C1=6", "MOVC X2=10 Y2=20 A2=40 B2=50 C2=60",
                    "     X3=7 Y3=8 A3=9 Ag=90", "END"}),
         Slot::ArcMove, Payload::ArcTarget,
         "00 00 20 41 00 00 A0 41 00 00 40 40 00 00 20 42 00 00 48 42 00 00 70 42 "
         "00 00 E0 40 00 00 00 41 00 00 40 40 00 00 10 41 00 00 48 42 00 00 70 42 00 00 B4 42"},
        {"movc on the last executed line continues with the piece after the last break",
         "MOVP X1=1 Y1=2 Z1=3 A1=4 B1=5 C1=6\r\nMOVC X2=10 Z2=30\r\n     X3=7", Slot::ArcMove, Payload::ArcTarget,
         "00 00 20 41 00 00 00 40 00 00 F0 41 00 00 80 40 00 00 A0 40 00 00 C0 40 "
         "00 00 E0 40 00 00 00 40 00 00 F0 41 00 00 80 40 00 00 A0 40 00 00 C0 40 00 00 00 00"},
        {"value not a number reads 0", programOf({"MOVP X1=abc Y1=1 Z1=1 A1=1 B1=1 C1=1", "END"}), Slot::PointMove,
         Payload::PoseTarget, "00 00 00 00 00 00 80 3F 00 00 80 3F 00 00 80 3F 00 00 80 3F 00 00 80 3F"},
        {"the largest float; minus zero reads 0", programOf({"MOVJ J1=3.4e38 J2=-0 J3=1 J4=1 J5=1 J6=1", "END"}),
         Slot::JointTarget, Payload::JointTarget,
         "9E C9 7F 7F 00 00 00 00 00 00 80 3F 00 00 80 3F 00 00 80 3F 00 00 80 3F"},
        {"0.1 is rounded to the nearest float", programOf({"LSPEED MMS=0.1 ACC=-2 DEC=1e3", "END"}), Slot::WriteLineSpeed,
         Payload::LineSpeed, "CD CC CC 3D 00 00 00 C0 00 00 7A 44"},
    };
    for (const Case& c : cases) {
        ProgramRig rig;
        rig.setProgram(c.program);
        rig.clickRun();
        ASSERT_TRUE(rig.running()) << c.name;
        for (int i = 0; i < 100 && rig.running(); ++i) rig.idleTick();
        EXPECT_FALSE(rig.running()) << c.name;
        EXPECT_TRUE(rig.state.due(c.slot)) << c.name;
        EXPECT_EQ(rig.payload(c.payload), c.hex) << c.name;
    }
}

// A field beyond a float (or a double) would go out as infinity: the line
// sends nothing, the run pauses after it and says which line and field;
// Continue goes on with the next line.
TEST(ProgramRunner, NonFiniteFieldPausesTheRunAndSendsNothing)
{
    const std::pair<const char*, const char*> cases[] = {
        {"MOVJ J1=1e39 J2=0 J3=0 J4=0 J5=0 J6=0", "J1="},
        {"MOVP X1=0 Y1=0 Z1=-1e999 A1=0 B1=0 C1=0", "Z1="},
        {"PSPEED RPM=1000 ACC=1e40 DEC=1", "ACC="},
        {"MOVC X2=1 Y2=1 Z2=1 A2=1 B2=1 C2=1\r\n     X3=1 Y3=1 Z3=1 A3=1 B3=1 C3=1 Ag=4e38", "Ag="},
    };
    for (const auto& [line, field] : cases) {
        ProgramRig rig;
        rig.setProgram(programOf({"MOVJ J1=1 J2=2 J3=3 J4=4 J5=5 J6=6", line, "MOVJ J1=7 J2=0 J3=0 J4=0 J5=0 J6=0", "END"}));
        rig.clickRun();
        rig.idleTick();
        ASSERT_TRUE(rig.state.due(Slot::JointTarget)) << line;
        rig.clearFlags();
        rig.idleTick();
        EXPECT_EQ(rig.raisedCount(), 0) << line;
        EXPECT_TRUE(rig.running() && rig.program.runner().runPaused()) << line;
        const std::string told = rig.board.text(Ctl::StatusLine);
        EXPECT_NE(told.find("第 2 行"), std::string::npos) << told;
        EXPECT_NE(told.find(field), std::string::npos) << told;
        rig.idleTick();
        EXPECT_EQ(rig.raisedCount(), 0) << line << ": nothing while paused";
        rig.clickPause();
        rig.idleTick();
        EXPECT_TRUE(rig.state.due(Slot::JointTarget)) << line;
        EXPECT_EQ(rig.payload(Payload::JointTarget).substr(0, 11), "00 00 E0 40") << line << ": the next line, J1=7";
    }
}

TEST(ProgramRunner, MovcTakesTwoLinesInOneTick)
{
    ProgramRig rig;
    rig.setProgram(programOf({"MOVC X2=1 Y2=2 Z2=3 A2=4 B2=5 C2=6", "", "MOVJ J1=1", "END"}));
    rig.clickRun();
    rig.idleTick();
    EXPECT_EQ(rig.runner().lineIndex(), 2u);
    const auto& f = rig.runner().fields();
    // An empty continuation: the end point is the via point, Ag never set.
    EXPECT_EQ(f.x3, "1");
    EXPECT_EQ(f.c3, "6");
    EXPECT_EQ(f.ag, "");
    EXPECT_EQ(rig.payloadFloat(Payload::ArcTarget, 6), 1.0f);
    EXPECT_EQ(rig.payloadFloat(Payload::ArcTarget, 11), 6.0f);
    EXPECT_EQ(rig.payloadFloat(Payload::ArcTarget, 12), 0.0f);
    EXPECT_FALSE(rig.state.due(Slot::JointTarget));
    rig.idleTick();
    EXPECT_TRUE(rig.state.due(Slot::JointTarget));
}

TEST(ProgramRunner, UnrecognisedAndEmptyLinesCostOneTickEach)
{
    ProgramRig rig;
    rig.setProgram(programOf({"movj J1=5", " MOVJ J1=5", "MOVJ\tJ1=5", "", "free text", "     X3=1 Ag=2", "END"}));
    rig.clickRun();
    for (std::size_t i = 1; i <= 6; ++i) {
        rig.idleTick();
        EXPECT_EQ(rig.runner().lineIndex(), i);
        EXPECT_TRUE(rig.running());
    }
    EXPECT_EQ(rig.raisedCount(), 0);
    rig.idleTick(); // END
    EXPECT_FALSE(rig.running());
    EXPECT_EQ(rig.runner().fields().j1, "");
}

TEST(ProgramRunner, TextAfterLastBreakIsNotExecuted)
{
    ProgramRig rig;
    rig.setProgram("PSPEED RPM=1\r\nDELAY MS=5\r\nMOVJ J1=1");
    rig.clickRun();
    EXPECT_EQ(rig.runner().lineCount(), 2u);
    rig.idleTick();
    rig.idleTick();
    EXPECT_FALSE(rig.running());
    EXPECT_FALSE(rig.state.due(Slot::JointTarget));
}

TEST(ProgramRunner, WaitsWhileControllerBusyOrPaused)
{
    ProgramRig rig;
    rig.setProgram(programOf({"MOVJ J1=1", "MOVJ J1=2", "END"}));
    rig.clickRun();
    for (int busy : {100, 1, -1}) {
        rig.state.controllerBusy = static_cast<std::int16_t>(busy);
        rig.board.setTimerInterval(Ctl::RunnerTimer, 5);
        rig.tick();
        EXPECT_EQ(rig.interval(), 300);
        EXPECT_EQ(rig.runner().lineIndex(), 0u);
    }
    EXPECT_EQ(rig.raisedCount(), 0);

    rig.idleTick();
    EXPECT_EQ(rig.payload(Payload::JointTarget).substr(0, 11), "00 00 80 3F");
    rig.clearFlags();

    rig.clickPause();
    EXPECT_TRUE(rig.runner().runPaused());
    EXPECT_EQ(rig.board.text(Ctl::PauseButton), "继续");
    for (int i = 0; i < 5; ++i) rig.idleTick();
    EXPECT_EQ(rig.runner().lineIndex(), 1u);
    EXPECT_EQ(rig.raisedCount(), 0);
    EXPECT_TRUE(rig.running());

    rig.clickPause(); // continue
    EXPECT_FALSE(rig.runner().runPaused());
    EXPECT_EQ(rig.board.text(Ctl::PauseButton), "暂停");
    rig.idleTick();
    EXPECT_TRUE(rig.state.due(Slot::JointTarget));
    EXPECT_EQ(rig.payload(Payload::JointTarget).substr(0, 11), "00 00 00 40");
}

TEST(ProgramRunner, PauseTogglesWhileIdleAndRunOrStopClearIt)
{
    ProgramRig rig;
    rig.clickPause();
    EXPECT_EQ(rig.board.text(Ctl::PauseButton), "继续");
    rig.clickPause();
    EXPECT_EQ(rig.board.text(Ctl::PauseButton), "暂停");
    rig.clickPause();
    rig.setProgram(programOf({"END", "END"}));
    rig.clickRun();
    EXPECT_FALSE(rig.runner().runPaused());
    EXPECT_EQ(rig.board.text(Ctl::PauseButton), "暂停");
    rig.clickPause();
    rig.clickStop();
    EXPECT_FALSE(rig.runner().runPaused());
    EXPECT_EQ(rig.board.text(Ctl::PauseButton), "暂停");
}

TEST(ProgramRunner, StopResetsAndNextRunTakesAFreshCopy)
{
    ProgramRig rig;
    rig.setProgram(programOf({"MOVJ J1=1", "MOVJ J1=2", "MOVJ J1=3", "END"}));
    rig.clickRun();
    rig.idleTick();
    // Edits during a run do not reach it.
    rig.setProgram(programOf({"MOVJ J1=7", "MOVJ J1=8", "END"}));
    rig.idleTick();
    EXPECT_EQ(rig.runner().fields().j1, "2");
    rig.clearFlags();

    rig.clickPause();
    rig.clickStop();
    EXPECT_EQ(rig.runner().lineIndex(), 0u);
    EXPECT_FALSE(rig.running());
    EXPECT_TRUE(rig.board.enabled(Ctl::RunButton));
    EXPECT_EQ(rig.raisedCount(), 0); // nothing is sent on Stop

    rig.clickRun();
    rig.idleTick();
    EXPECT_EQ(rig.runner().fields().j1, "7");
}

// Stop ends a DELAY under way: the next Run's first line comes at the
// opening interval, not after the rest of the delay.
TEST(ProgramRunner, StopEndsADelay)
{
    ProgramRig rig;
    rig.setProgram(programOf({"DELAY MS=100000000", "MOVJ J1=1", "END"}));
    rig.clickRun();
    rig.idleTick();
    ASSERT_EQ(rig.interval(), kDay);
    rig.clickStop();
    EXPECT_EQ(rig.interval(), ProgramRunner::kInitialIntervalMs);
}

TEST(ProgramRunner, FieldsCarryOverFromRunToRun)
{
    ProgramRig rig;
    rig.setProgram(programOf({"PSPEED RPM=1000 ACC=500 DEC=500", "END"}));
    rig.clickRun();
    rig.idleTick();
    rig.idleTick();
    ASSERT_FALSE(rig.running());
    rig.setProgram(programOf({"PSPEED ACC=1", "END"}));
    rig.clickRun();
    rig.idleTick();
    EXPECT_EQ(rig.payload(Payload::PointSpeed), "00 00 7A 44 00 00 80 3F 00 00 FA 43");
}

TEST(ProgramRunner, DelaySetsOneIntervalThenBackTo300)
{
    ProgramRig rig;
    rig.setProgram(programOf({"DELAY MS=1000", "MOVJ J1=1", "MOVJ J1=2", "END"}));
    rig.clickRun();
    rig.idleTick();
    EXPECT_EQ(rig.interval(), 1000);
    EXPECT_EQ(rig.raisedCount(), 0);
    rig.idleTick();
    EXPECT_EQ(rig.interval(), 300);
    EXPECT_TRUE(rig.state.due(Slot::JointTarget));
    rig.idleTick();
    EXPECT_EQ(rig.interval(), 300);
}

TEST(ProgramRunner, DelayValuesTheTimerCannotTake)
{
    struct Case {
        std::string_view lines; // executed before the line checked
        int interval;
    };
    const Case cases[] = {
        {"DELAY MS=0", 1},
        {"DELAY MS=-5", 1},
        {"DELAY MS=abc", 1},
        {"DELAY", 1},                 // never set
        {"DELAY MS=", 1},
        {"DELAY MS=0.4", 1},
        {"DELAY MS=1e12", kDay},
        {"DELAY MS=1e999", kDay},  // beyond a double
        {"DELAY MS=-1e999", 1},
        {"DELAY MS=2147483647", kDay},
        {"DELAY MS=86400000.5", kDay}, // halves to even
        {"DELAY MS=86399999", 86399999},
        {"DELAY MS=2.5", 2},          // halves to even
        {"DELAY MS=3.5", 4},
        {"DELAY MS=1000.49", 1000},
        {"DELAY MMS=1500", 1500},     // MS= found inside MMS=
        {"DELAY MS=1 500", 1500},
    };
    for (const Case& c : cases) {
        ProgramRig rig;
        rig.setProgram(programOf({c.lines, "MOVJ J1=1", "END"}));
        rig.clickRun();
        rig.idleTick();
        EXPECT_EQ(rig.interval(), c.interval) << c.lines;
        // The run goes on: the next tick executes the next line.
        rig.idleTick();
        EXPECT_TRUE(rig.state.due(Slot::JointTarget)) << c.lines;
        EXPECT_EQ(rig.interval(), 300) << c.lines;
    }
}

TEST(ProgramRunner, DelayWithoutMsKeepsTheLastDelay)
{
    ProgramRig rig;
    rig.setProgram(programOf({"DELAY MS=700", "DELAY", "END"}));
    rig.clickRun();
    rig.idleTick();
    rig.idleTick();
    EXPECT_EQ(rig.interval(), 700);
}

TEST(ProgramRunner, EndInTheMiddleStopsOrRepeats)
{
    for (int loop : {0, 1}) {
        ProgramRig rig;
        rig.board.setValue(Ctl::LoopCheck, kNoIndex, loop);
        rig.setProgram(programOf({"MOVJ J1=1", "END", "MOVJ J1=9", "END"}));
        rig.clickRun();
        rig.idleTick();
        rig.idleTick();
        EXPECT_EQ(rig.runner().lineIndex(), 0u);
        EXPECT_EQ(rig.running(), loop == 1);
        EXPECT_EQ(rig.board.enabled(Ctl::RunButton), loop == 0);
        EXPECT_EQ(rig.runner().fields().j1, "1");
        if (loop == 1) {
            rig.clearFlags();
            rig.idleTick(); // line 0 again
            EXPECT_TRUE(rig.state.due(Slot::JointTarget));
            EXPECT_EQ(rig.runner().lineIndex(), 1u);
        }
    }
}

TEST(ProgramRunner, CheckBoxIsReadOnlyAtTheEndOfAPass)
{
    ProgramRig rig;
    rig.board.setValue(Ctl::LoopCheck, kNoIndex, 1);
    rig.setProgram(programOf({"MOVJ J1=1", "MOVJ J1=2", "MOVJ J1=3"}));
    rig.clickRun();
    rig.idleTick();
    rig.board.setValue(Ctl::LoopCheck, kNoIndex, 0); // unticked during the pass
    rig.idleTick();
    EXPECT_TRUE(rig.running());
    rig.idleTick();
    EXPECT_FALSE(rig.running());

    rig.clickRun();
    rig.idleTick();
    rig.idleTick();
    rig.board.setValue(Ctl::LoopCheck, kNoIndex, 1); // ticked before the last line
    rig.idleTick();
    EXPECT_TRUE(rig.running());
    EXPECT_EQ(rig.runner().lineIndex(), 0u);
}

TEST(ProgramRunner, TickWithoutARunDoesNothingHarmful)
{
    ProgramRig rig;
    rig.state.controllerBusy = 0;
    rig.tick();
    EXPECT_EQ(rig.raisedCount(), 0);
    EXPECT_FALSE(rig.running());
    rig.setProgram("END\r\n"); // does not start, but is taken
    rig.clickRun();
    rig.tick();
    EXPECT_EQ(rig.raisedCount(), 0);
    EXPECT_EQ(rig.runner().lineIndex(), 0u);
}

TEST(ProgramRunner, HundredThousandLinesRunOneTickPerLine)
{
    constexpr std::size_t kLines = 100000;
    std::string text;
    text.reserve(kLines * 16);
    for (std::size_t i = 0; i < kLines; ++i) {
        text += "MOVJ J1=";
        text += std::to_string(i);
        text += "\r\n";
    }
    ProgramRig rig;
    rig.setProgram(text);
    rig.clickRun();
    ASSERT_TRUE(rig.running());
    EXPECT_EQ(rig.runner().lineCount(), kLines);
    std::size_t ticks = 0;
    while (rig.running() && ticks < kLines + 10) {
        rig.idleTick();
        ++ticks;
        if (ticks == 70000) {
            EXPECT_EQ(rig.runner().lineIndex(), 70000u);
            EXPECT_EQ(rig.runner().fields().j1, "69999");
        }
    }
    EXPECT_EQ(ticks, kLines);
    EXPECT_EQ(rig.runner().lineIndex(), 0u);
    EXPECT_EQ(rig.runner().fields().j1, "99999");
    EXPECT_EQ(rig.payload(Payload::JointTarget).substr(0, 11), "80 4F C3 47"); // 99999.0f
}

} // namespace
} // namespace vq::test

namespace vq::test {
namespace {

TEST(ProgramRunner, DelayIntervalFromFieldText)
{
    struct Case {
        std::string_view text;
        int ms;
    };
    const Case cases[] = {
        {"", 1},           {"0", 1},       {"-5", 1},          {"0.5", 1},
        {"1.5", 2},        {"2.5", 2},     {"300", 300},       {"1E+16", kDay},
        {"2147483647", kDay},              {"86400001", kDay},
        {"INF", kDay},  {"-INF", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(ProgramRunner::delayIntervalMs(c.text), c.ms) << c.text;
}

} // namespace
} // namespace vq::test
