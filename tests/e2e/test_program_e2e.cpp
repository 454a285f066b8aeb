// End-to-end: teach programs on the whole console. A program typed into the
// editor runs on the simulated arm line by line; teach-in after jogging
// records the arm's pose as the read-outs show it; the file menu stores and
// loads program text byte for byte.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "arm_log.h"
#include "e2e_rig.h"
#include "program/program_files.h"

namespace vq::e2e {
namespace {

constexpr std::string_view kDefaultLines = "PSPEED RPM=1000 ACC=500 DEC=500\r\nLSPEED MMS=100 ACC=10 DEC=10\r\n";

// ------------------------------------------------------------------ helpers

struct Target {
    double x, y, z, a, b, c;
};

void expectPose(const sim::PoseValues& p, const Target& t, double tol, const std::string& what)
{
    EXPECT_NEAR(p.x, t.x, tol) << what;
    EXPECT_NEAR(p.y, t.y, tol) << what;
    EXPECT_NEAR(p.z, t.z, tol) << what;
    EXPECT_LE(angleDiff(p.a, t.a), tol) << what << " A " << p.a;
    EXPECT_LE(angleDiff(p.b, t.b), tol) << what << " B " << p.b;
    EXPECT_LE(angleDiff(p.c, t.c), tol) << what << " C " << p.c;
}

void expectJoints(const sim::JointArray& q, const std::array<double, 6>& t, double tol, const std::string& what)
{
    for (std::size_t i = 0; i < 6; ++i) EXPECT_LE(angleDiff(q[i], t[i]), tol) << what << " joint " << i + 1;
}

QPlainTextEdit* editor(Rig& r) { return qobject_cast<QPlainTextEdit*>(r.widget("Text7")); }

// Types lines at the end of the program editor, each closed with Return.
void typeLines(Rig& r, const std::vector<std::string>& lines)
{
    QPlainTextEdit* e = editor(r);
    ASSERT_NE(e, nullptr);
    e->setFocus();
    e->moveCursor(QTextCursor::End);
    for (const std::string& line : lines) {
        QTest::keyClicks(e, QString::fromStdString(line));
        QTest::keyClick(e, Qt::Key_Return);
    }
}

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& l : lines) s += l + "\r\n";
    return s;
}

void triggerMenu(Rig& r, std::string_view name)
{
    QAction* a = r.window().action(name);
    ASSERT_NE(a, nullptr) << name;
    a->trigger();
}

bool writeBytes(const QString& path, std::string_view bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

// ------------------------------------------------------------------ the runner

// The default program plus one line of every motion kind, a delay and END,
// typed into the editor and run with "循环" ticked; then pause, continue,
// stop, and a last pass that ends by itself.
TEST(ProgramE2E, RunsEveryInstructionInOrderWithDelayPauseStopAndLoop)
{
    Rig r; // teach mode, servos on, 4x
    ASSERT_TRUE(r.start());
    const std::array<double, 6> jointTarget{20, 10, 20, 0, 60, 0};
    const Target movp{200, 150, 150, 180, 0, 0};
    const Target movl{200, 50, 150, 180, 0, 0};
    const Target movcEnd{200, -50, 150, 180, 0, 0};

    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "NewFile"));
    ASSERT_EQ(r.board().text("Text7"), kDefaultLines);
    const std::vector<std::string> added{
        "MOVJ J1=20 J2=10 J3=20 J4=0 J5=60 J6=0",
        "MOVP X1=200.00 Y1=150.00 Z1=150.00 A1=180.00 B1=0.00 C1=0.00",
        "MOVL X1=200.00 Y1=50.00 Z1=150.00 A1=180.00 B1=0.00 C1=0.00",
        "DELAY MS=1000",
        "MOVC X2=250.00 Y2=0.00 Z2=150.00 A2=180.00 B2=0.00 C2=0.00",
        "     X3=200.00 Y3=-50.00 Z3=150.00 A3=180.00 B3=0.00 C3=0.00 Ag=0.000",
        "END",
    };
    ASSERT_NO_FATAL_FAILURE(typeLines(r, added));
    ASSERT_EQ(r.board().text("Text7"), std::string(kDefaultLines) + joinLines(added));

    r.click("Check1");
    ASSERT_EQ(r.board().value("Check1"), 1);
    ArmLog w(r);
    r.click("Command14");
    EXPECT_FALSE(r.isEnabled("Command14"));
    EXPECT_TRUE(r.board().timerEnabled("Timer3"));

    // Pass 1 and the first move of pass 2.
    ASSERT_TRUE(w.waitFor([&] { return w.startCount() >= 5; }, kGenerousWaitMs)) << w.dump();
    const std::vector<std::string> expectedStarts{"joint move", "point move", "linear move", "circular move", "joint move"};
    EXPECT_EQ(w.starts(), expectedStarts) << w.dump();
    // Each move began only after the one before had ended: the log
    // alternates start, end (a line sent while the arm is busy would be
    // refused by the controller and logged as such).
    for (std::size_t n = 0; n < 4; ++n) {
        const std::size_t i = w.startIndex(n);
        ASSERT_NE(i, std::string::npos);
        ASSERT_LT(i + 2, w.entries.size()) << w.dump();
        EXPECT_EQ(w.entries[i + 1].event, "move done") << n << "\n" << w.dump();
        EXPECT_EQ(w.entries[i + 2].event.rfind("started: ", 0), 0u) << n << "\n" << w.dump();
    }
    EXPECT_EQ(r.arm().counters().refused, 0u) << r.arm().lastEvent();
    EXPECT_EQ(w.motions(), w.startCount()) << "a start went unseen\n" << w.dump();

    // Where each move ended.
    if (const ArmLog::Entry* d = w.doneAfter(w.startIndex(0))) expectJoints(d->joints, jointTarget, 1e-3, "MOVJ");
    else ADD_FAILURE() << "MOVJ did not end\n" << w.dump();
    if (const ArmLog::Entry* d = w.doneAfter(w.startIndex(1))) expectPose(d->pose, movp, 0.01, "MOVP");
    else ADD_FAILURE() << "MOVP did not end";
    const ArmLog::Entry* linearDone = w.doneAfter(w.startIndex(2));
    if (linearDone) expectPose(linearDone->pose, movl, 0.01, "MOVL");
    else ADD_FAILURE() << "MOVL did not end";
    if (const ArmLog::Entry* d = w.doneAfter(w.startIndex(3))) expectPose(d->pose, movcEnd, 0.01, "MOVC");
    else ADD_FAILURE() << "MOVC did not end";

    // DELAY MS=1000 held the circular move back for at least a second after
    // the linear move had ended (measured from the last moment the arm was
    // still seen moving, so the bound cannot come from sampling).
    ASSERT_NE(linearDone, nullptr);
    const qint64 gap = w.entries[w.startIndex(3)].ms - linearDone->lastMovingMs;
    EXPECT_GE(gap, 1000) << w.dump();

    // Pause during the move of pass 2: that move runs on, no further one starts.
    r.click("Command13");
    EXPECT_EQ(r.board().text("Command13"), "继续");
    ASSERT_TRUE(w.waitFor([&] { return !r.arm().moving(); }, kGenerousWaitMs));
    const std::size_t pausedAt = w.startCount();
    w.idle(1500);
    EXPECT_EQ(w.startCount(), pausedAt) << "a line ran while paused\n" << w.dump();
    EXPECT_EQ(r.board().text("Command13"), "继续");

    // Continue: the next line (the point move) follows.
    r.click("Command13");
    EXPECT_EQ(r.board().text("Command13"), "暂停");
    ASSERT_TRUE(w.waitFor([&] { return w.startCount() > pausedAt; }, kGenerousWaitMs)) << w.dump();
    EXPECT_EQ(w.starts().back(), "point move");

    // Stop while it moves: nothing more is started, the move already sent
    // runs on to its target, the run is back at line 0.
    r.click("Command12");
    EXPECT_TRUE(r.isEnabled("Command14"));
    EXPECT_EQ(r.board().text("Command13"), "暂停");
    EXPECT_FALSE(r.board().timerEnabled("Timer3"));
    EXPECT_EQ(r.form().program().runner().lineIndex(), 0u);
    ASSERT_TRUE(w.waitFor([&] { return !r.arm().moving(); }, kGenerousWaitMs));
    const std::size_t stoppedAt = w.startCount();
    w.idle(1200);
    EXPECT_EQ(w.startCount(), stoppedAt) << w.dump();
    expectPose(r.arm().pose(), movp, 0.01, "after Stop");

    // Pause works while idle too; Run clears it and starts at line 0.
    r.click("Command13");
    EXPECT_EQ(r.board().text("Command13"), "继续");
    r.click("Check1"); // this pass is the last
    ASSERT_EQ(r.board().value("Check1"), 0);
    r.click("Command14");
    EXPECT_EQ(r.board().text("Command13"), "暂停");
    ASSERT_TRUE(w.waitFor([&] { return w.startCount() > stoppedAt; }, kGenerousWaitMs)) << w.dump();
    EXPECT_EQ(w.starts()[stoppedAt], "joint move");
    // Without "循环" the pass ends the run: Run is offered again.
    ASSERT_TRUE(w.waitFor([&] { return r.isEnabled("Command14"); }, kGenerousWaitMs)) << w.dump();
    EXPECT_EQ(w.startCount(), stoppedAt + 4) << w.dump();
    EXPECT_FALSE(r.board().timerEnabled("Timer3"));
    ASSERT_TRUE(w.waitFor([&] { return !r.arm().moving(); }, kGenerousWaitMs));
    expectPose(r.arm().pose(), movcEnd, 0.01, "end of the last pass");
    EXPECT_EQ(r.arm().counters().refused, 0u) << r.arm().lastEvent();
    for (int axis = 1; axis <= 6; ++axis) EXPECT_EQ(r.arm().alarmCode(axis), 0) << axis;
}

// ------------------------------------------------------------------ teach-in

// What the operator sees of a run on the arm: the run status and the
// editor's line follow the moves; a single step while paused starts one
// move and pauses again; a program with a typo asks before it runs.
TEST(ProgramE2E, RunStatusLineAndSingleStepFollowTheArm)
{
    Rig r;
    ASSERT_TRUE(r.start());
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "NewFile"));
    ASSERT_NO_FATAL_FAILURE(typeLines(r, {"MOVJ J1=30 J2=0 J3=0 J4=0 J5=0 J6=0", "MOVJ J1=-30 J2=0 J3=0 J4=0 J5=0 J6=0",
                                          "MOVJ J1=0 J2=0 J3=0 J4=0 J5=0 J6=0", "END"}));
    ArmLog w(r);
    r.click("Command14");
    ASSERT_TRUE(w.waitFor([&] { return w.startCount() >= 1; }, kGenerousWaitMs)) << w.dump();
    EXPECT_EQ(r.board().text("runStatus"), "运行中 第 3/6 行 · 第 1 遍");
    EXPECT_EQ(r.board().value("Text7"), 3);
    EXPECT_TRUE(r.prompts.questions.empty());

    r.click("Command13");
    EXPECT_EQ(r.board().text("runStatus"), "已暂停 第 3 行");
    EXPECT_EQ(r.board().value("Text7"), -3);
    ASSERT_TRUE(w.waitFor([&] { return !r.arm().moving(); }, kGenerousWaitMs));
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "singleStep"));
    ASSERT_TRUE(w.waitFor([&] { return w.startCount() >= 2; }, kGenerousWaitMs)) << w.dump();
    EXPECT_EQ(r.board().text("runStatus"), "已暂停 第 4 行");
    ASSERT_TRUE(w.waitFor([&] { return !r.arm().moving(); }, kGenerousWaitMs));
    w.idle(1000);
    EXPECT_EQ(w.startCount(), 2u) << "one line per step\n" << w.dump();
    expectJoints(r.arm().joints(), {-30, 0, 0, 0, 0, 0}, 1e-3, "after the step");

    r.click("Command12");
    EXPECT_EQ(r.board().text("runStatus"), "已停止");
    EXPECT_EQ(r.board().value("Text7"), 0);

    // A typo: the check lists it and Run asks; No runs nothing.
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "NewFile"));
    ASSERT_NO_FATAL_FAILURE(typeLines(r, {"movj J1=10 J2=0 J3=0 J4=0 J5=0 J6=0"}));
    ASSERT_TRUE(r.waitFor([&] { return r.board().text("programProblems").find("movj") != std::string::npos; }, kGenerousWaitMs));
    r.prompts.answers.push_back(false);
    r.click("Command14");
    ASSERT_EQ(r.prompts.questions.size(), 1u);
    EXPECT_NE(r.prompts.questions[0].first.find("第 3 行：未知指令 “movj”"), std::string::npos) << r.prompts.questions[0].first;
    EXPECT_FALSE(r.board().timerEnabled("Timer3"));
}

TEST(ProgramE2E, TeachInAfterJoggingRecordsThePoseTheReadoutsShow)
{
    Rig r;
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(r.waitFor([&] { return r.isEnabled("Command5", 1); }, kGenerousWaitMs)) << "jog buttons stay disabled";

    // Pose A: joints 1 and 2 jogged forward.
    ASSERT_NO_FATAL_FAILURE(jog(r, 1, 500));  // J1+
    ASSERT_NO_FATAL_FAILURE(jog(r, 3, 400));  // J2+
    ASSERT_TRUE(r.waitFor([&] { return readoutsMatchArm(r); }, kGenerousWaitMs));
    const sim::JointArray poseA = r.arm().joints();
    EXPECT_GT(poseA[0], 2.0);
    EXPECT_GT(poseA[1], 2.0);

    ASSERT_NO_FATAL_FAILURE(r.clickTab(4)); // "录入指令"
    const std::string before = r.board().text("Text7");
    r.click("Command15"); // "角度  MOVJ"
    std::string movj = "MOVJ";
    for (int i = 1; i <= 6; ++i) movj += " J" + std::to_string(i) + "=" + r.board().text("Label2", i);
    movj += "\r\n";
    ASSERT_EQ(r.board().text("Text7"), before + movj);

    // Pose B: joints 3 and 6 moved on.
    ASSERT_NO_FATAL_FAILURE(jog(r, 5, 400));  // J3+
    ASSERT_NO_FATAL_FAILURE(jog(r, 12, 300)); // J6-
    ASSERT_TRUE(r.waitFor([&] { return readoutsMatchArm(r); }, kGenerousWaitMs));
    const sim::JointArray jointsB = r.arm().joints();
    const sim::PoseValues poseB = r.arm().pose();
    r.click("Command20"); // "位置  MOVP"
    const std::array<const char*, 6> keys{"X1=", "Y1=", "Z1=", "A1=", "B1=", "C1="};
    std::string movp = "MOVP";
    for (int i = 1; i <= 6; ++i) movp += std::string(" ") + keys[static_cast<std::size_t>(i - 1)] + r.board().text("Label3", i);
    movp += "\r\n";
    ASSERT_EQ(r.board().text("Text7"), before + movj + movp);

    // Away from both, then run what was recorded.
    ASSERT_NO_FATAL_FAILURE(jog(r, 2, 900));  // J1-
    ASSERT_NO_FATAL_FAILURE(jog(r, 10, 400)); // J5-
    ASSERT_GT(std::abs(r.arm().joints()[0] - poseA[0]), 5.0);

    ArmLog w(r);
    r.click("Command14");
    ASSERT_TRUE(w.waitFor([&] { return r.isEnabled("Command14") && w.startCount() >= 2 && !r.arm().moving(); }, kGenerousWaitMs))
        << w.dump();
    ASSERT_EQ(w.starts(), (std::vector<std::string>{"joint move", "point move"})) << w.dump();
    const ArmLog::Entry* atA = w.doneAfter(w.startIndex(0));
    const ArmLog::Entry* atB = w.doneAfter(w.startIndex(1));
    ASSERT_TRUE(atA && atB) << w.dump();
    // The joint read-outs round to 0.001 degrees; the targets travel as 32-bit floats.
    expectJoints(atA->joints, {poseA[0], poseA[1], poseA[2], poseA[3], poseA[4], poseA[5]}, 0.0005 + 1e-4, "back at A");
    // The pose read-outs round to 0.01 mm and 0.01 degrees.
    expectPose(atB->pose, {poseB.x, poseB.y, poseB.z, poseB.a, poseB.b, poseB.c}, 0.005 + 1e-3, "back at B");
    expectJoints(atB->joints, {jointsB[0], jointsB[1], jointsB[2], jointsB[3], jointsB[4], jointsB[5]}, 0.05, "B's joints");
    EXPECT_EQ(r.arm().counters().refused, 0u) << r.arm().lastEvent();
}

// ------------------------------------------------------------------ files

// GBK bytes of the Chinese text used below (code page 936), written out so
// that the test does not depend on the console's own codec.
//   "示教程序" = CA BE BD CC B3 CC D0 F2, "中文注释" = D6 D0 CE C4 D7 A2 CA CD,
//   "取料" = C8 A1 C1 CF, "结束" = BD E1 CA F8
const std::string kGbkFile =
    "; \xCA\xBE\xBD\xCC\xB3\xCC\xD0\xF2\r\n"
    "PSPEED RPM=1000 ACC=500 DEC=500\r\n"
    "; \xD6\xD0\xCE\xC4\xD7\xA2\xCA\xCD \xC8\xA1\xC1\xCF\r\n"
    "MOVJ J1=0 J2=0\tJ3=0 J4=0 J5=90 J6=0\r\n"
    "lone\nline feed\r\n"
    "END\r\n"
    "; \xBD\xE1\xCA\xF8";
const std::string kGbkFileAsText =
    "; 示教程序\r\n"
    "PSPEED RPM=1000 ACC=500 DEC=500\r\n"
    "; 中文注释 取料\r\n"
    "MOVJ J1=0 J2=0\tJ3=0 J4=0 J5=90 J6=0\r\n"
    "lone\nline feed\r\n"
    "END\r\n"
    "; 结束";

TEST(ProgramE2E, FilesNewSaveOpenAndSaveAgainByteForByte)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString newPath = dir.filePath("new.txt");
    const QString gbkPath = dir.filePath("示教.txt");
    const QString againPath = dir.filePath("again.txt");
    const QString missing = dir.filePath("missing.txt");
    ASSERT_TRUE(writeBytes(gbkPath, kGbkFile));

    Rig r;
    ASSERT_TRUE(r.start());
    r.window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&r.window()));

    // Something else in the editor, then 新建 (Ctrl+N) and 保存 (Ctrl+S).
    ASSERT_NO_FATAL_FAILURE(typeLines(r, {"MOVJ J1=1"}));
    ASSERT_NE(r.board().text("Text7"), kDefaultLines);
    QTest::keyClick(&r.window(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(r.board().text("Text7"), kDefaultLines);
    EXPECT_EQ(editor(r)->toPlainText(), QString::fromUtf8(kDefaultLines.data(), qsizetype(kDefaultLines.size()))
                                            .replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    r.prompts.saveNames.push_back(newPath.toStdString());
    QTest::keyClick(&r.window(), Qt::Key_S, Qt::ControlModifier);
    std::string bytes;
    ASSERT_TRUE(fileBytes(newPath, bytes));
    EXPECT_EQ(bytes, kDefaultLines);
    ASSERT_FALSE(r.prompts.dialogs.empty());
    EXPECT_EQ(r.prompts.dialogs.back(), std::make_pair(std::string(kSaveFileTitle), std::string(kProgramFileFilter)));

    // 打开 a GBK file with Chinese comments (menu entry): the editor shows it.
    r.prompts.openNames.push_back(gbkPath.toStdString());
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "OpenFile"));
    ASSERT_TRUE(r.openDone());
    EXPECT_EQ(r.prompts.dialogs.back(), std::make_pair(std::string(kOpenFileTitle), std::string(kProgramFileFilter)));
    EXPECT_EQ(r.board().text("Text7"), kGbkFileAsText);
    EXPECT_TRUE(editor(r)->toPlainText().contains(QStringLiteral("中文注释 取料")));
    EXPECT_TRUE(editor(r)->toPlainText().startsWith(QStringLiteral("; 示教程序\nPSPEED")));

    // Saved again, elsewhere and over itself: the same bytes.
    r.prompts.saveNames.push_back(againPath.toStdString());
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "SaveFile"));
    ASSERT_TRUE(fileBytes(againPath, bytes));
    EXPECT_EQ(bytes, kGbkFile);
    r.prompts.saveNames.push_back(gbkPath.toStdString());
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "SaveFile"));
    ASSERT_TRUE(fileBytes(gbkPath, bytes));
    EXPECT_EQ(bytes, kGbkFile);

    // A missing name and a cancelled dialog change nothing, and no file is made.
    r.prompts.openNames.push_back(missing.toStdString());
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "OpenFile"));
    ASSERT_TRUE(r.openDone());
    EXPECT_EQ(r.board().text("Text7"), kGbkFileAsText);
    EXPECT_FALSE(QFile::exists(missing));
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "OpenFile")); // no name queued: the dialog was cancelled
    ASSERT_TRUE(r.openDone());
    EXPECT_EQ(r.board().text("Text7"), kGbkFileAsText);
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "SaveFile"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);

    // Saving the short default program over the longer file leaves no tail.
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "NewFile"));
    r.prompts.saveNames.push_back(againPath.toStdString());
    ASSERT_NO_FATAL_FAILURE(triggerMenu(r, "SaveFile"));
    ASSERT_TRUE(fileBytes(againPath, bytes));
    EXPECT_EQ(bytes, kDefaultLines);
}

} // namespace
} // namespace vq::e2e
