// What the operator sees of a run and of the pre-run check: the run status,
// the editor's run line, single step, the question before a run with
// problems, and the check while typing.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "program_fixture.h"

namespace vq::test {
namespace {

const std::string kJ = " J2=0 J3=0 J4=0 J5=0 J6=0";

// One operator action or controller tick after another, with what the
// status bar, the editor and the step command show after it.
TEST(RunView, StatusLineAndStepFollowTheRun)
{
    ProgramRig rig;
    rig.board.setValue(Ctl::LoopCheck, kNoIndex, 1);
    rig.setProgram(programOf({"MOVJ J1=1" + kJ, "DELAY MS=10", "MOVJ J1=2" + kJ}));
    rig.program.showRunState();
    struct Step {
        const char* what;
        std::function<void()> act;
        std::string status;
        int editorLine;
        bool canStep;
        bool moveRaised;
    };
    const Step steps[] = {
        {"run", [&] { rig.clickRun(); }, "运行中 第 1/3 行 · 第 1 遍", 1, false, false},
        {"first line", [&] { rig.idleTick(); }, "运行中 第 1/3 行 · 第 1 遍", 1, false, true},
        {"delay", [&] { rig.idleTick(); }, "运行中 第 2/3 行 · 第 1 遍", 2, false, false},
        {"pause", [&] { rig.clickPause(); }, "已暂停 第 2 行", -2, true, false},
        {"paused tick", [&] { rig.idleTick(); }, "已暂停 第 2 行", -2, true, false},
        {"step", [&] { rig.program.step(); }, "已暂停 第 2 行", -2, true, false},
        {"step waits while busy", [&] { rig.state.controllerBusy = 1; rig.tick(); }, "已暂停 第 2 行", -2, true, false},
        {"step runs one line", [&] { rig.idleTick(); }, "已暂停 第 3 行", -3, true, true},
        {"and pauses again", [&] { rig.idleTick(); }, "已暂停 第 3 行", -3, true, false},
        {"step into the next pass", [&] { rig.program.step(); rig.idleTick(); }, "已暂停 第 1 行", -1, true, true},
        {"continue", [&] { rig.clickPause(); }, "运行中 第 1/3 行 · 第 2 遍", 1, false, false},
        {"a step while running is no step", [&] { rig.program.step(); rig.clickPause(); rig.idleTick(); },
         "已暂停 第 1 行", -1, true, false},
        {"a step cut short by line loss or an alarm", [&] { rig.program.step(); rig.runner().hold(); rig.idleTick(); },
         "已暂停 第 1 行", -1, true, false},
        {"stop", [&] { rig.clickStop(); }, "已停止", 0, false, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        rig.clearFlags();
        s.act();
        rig.program.showRunState();
        EXPECT_EQ(rig.board.text(Ctl::RunStatus), s.status);
        EXPECT_EQ(rig.board.value(Ctl::ProgramEditor), s.editorLine);
        EXPECT_EQ(rig.board.enabled(Ctl::StepMenu), s.canStep);
        EXPECT_EQ(rig.state.due(Slot::JointTarget), s.moveRaised);
    }
}

TEST(RunView, RunWithProblemsAsksOnceAndRunsOnlyOnYes)
{
    std::string program = programOf({"MOVJ J1=2O" + kJ, "movj J1=1" + kJ, "DELAY MS=1", "DELAY MS=1", "DELAY MS=1",
                                     "DELAY MS=1"});
    program += "END"; // no line end: never runs
    for (const bool yes : {false, true}) {
        ProgramRig rig;
        rig.setProgram(program);
        rig.prompts.answers.push_back(yes);
        rig.program.runChecked();
        ASSERT_EQ(rig.prompts.questions.size(), 1u);
        const auto& [question, title] = rig.prompts.questions[0];
        EXPECT_EQ(title, "运行前检查");
        EXPECT_EQ(question.rfind("程序有 3 处问题：\n第 1 行：J1= 的数值 “2O” 不是数字", 0), 0u) << question;
        EXPECT_NE(question.find("第 2 行：未知指令 “movj”"), std::string::npos) << question;
        EXPECT_NE(question.find("仍要运行吗？"), std::string::npos) << question;
        EXPECT_EQ(rig.running(), yes);
    }
    // A program without problems runs without a question.
    ProgramRig rig;
    rig.setProgram(programOf({"DELAY MS=1", "END"}));
    rig.program.runChecked();
    EXPECT_TRUE(rig.prompts.questions.empty());
    EXPECT_TRUE(rig.running());
}

TEST(RunView, TypingChecksTheProgramOnceItPauses)
{
    ProgramRig rig;
    rig.setProgram(programOf({"MOVJ J1=200" + kJ, "DELAY\tMS=1"}));
    rig.program.programChanged();
    EXPECT_TRUE(rig.board.timerEnabled(Ctl::CheckTimer));
    EXPECT_EQ(rig.board.timerInterval(Ctl::CheckTimer), ProgramSubsystem::kCheckDelayMs);
    rig.program.jointLimits().highest[0] = 170.0;
    rig.program.jointLimits().lowest[0] = -170.0;
    rig.program.checkTick();
    EXPECT_FALSE(rig.board.timerEnabled(Ctl::CheckTimer));
    const std::vector<std::string> listed{"第 1 行：关节 1 的目标 200 超过上限 170", "第 2 行：指令后是制表符 (Tab)，此行不会执行：应为空格"};
    EXPECT_EQ(rig.board.items[Ctl::ProgramProblems], listed);
    const auto& marks = rig.board.marks[Ctl::ProgramEditor];
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0], (TextMark{0, 8, 11, "关节 1 的目标 200 超过上限 170"}));
    EXPECT_EQ(marks[1].line, 1);
    EXPECT_EQ(rig.board.marks[Ctl::ProgramProblems], marks) << "each listed problem knows its line";
    EXPECT_EQ(rig.board.text(Ctl::ProblemsPage), "程序检查 (2)");

    // A long program with a mistake on every line: the list and the marks
    // stop at their limit, the caption counts them all.
    std::string many;
    for (std::size_t i = 0; i < ProgramSubsystem::kProblemsShown + 5; ++i) many += "movj\r\n";
    rig.setProgram(many);
    rig.program.checkTick();
    EXPECT_EQ(rig.board.items[Ctl::ProgramProblems].size(), ProgramSubsystem::kProblemsShown + 1);
    EXPECT_EQ(rig.board.items[Ctl::ProgramProblems].back(), "…… 另有 5 处问题未列出");
    EXPECT_EQ(rig.board.marks[Ctl::ProgramEditor].size(), ProgramSubsystem::kProblemsShown);
    EXPECT_EQ(rig.board.text(Ctl::ProblemsPage), "程序检查 (1005)");

    rig.setProgram(programOf({"END"}));
    rig.program.checkTick();
    EXPECT_TRUE(rig.board.items[Ctl::ProgramProblems].empty());
    EXPECT_TRUE(rig.board.marks[Ctl::ProgramEditor].empty());
    EXPECT_EQ(rig.board.text(Ctl::ProblemsPage), "程序检查");
}

} // namespace
} // namespace vq::test
