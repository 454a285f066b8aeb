// End-to-end: one operator's day on the whole console, from start-up to the
// menu's "退出". Everything is done through the window's widgets; the
// checks look at the simulated arm and at what the window shows. This test
// also runs in a real X window (tools/xvfb-e2e).
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <string>
#include <vector>

#include "link/period_timer.h"
#include "arm_log.h"
#include "e2e_rig.h"
#include "link/qt_serial_line.h"

namespace vq::e2e {
namespace {

// ------------------------------------------------------------------ helpers

// Chooses an entry of the "文件(&F)" menu with the mouse.
void chooseFromFileMenu(Rig& r, std::string_view entry)
{
    auto* menu = r.window().findChild<QMenu*>(QStringLiteral("File"));
    QAction* action = r.window().action(entry);
    ASSERT_TRUE(menu && action) << entry;
    menu->popup(r.window().mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    const QRect where = menu->actionGeometry(action);
    ASSERT_FALSE(where.isEmpty()) << entry;
    QTest::mouseClick(menu, Qt::LeftButton, {}, where.center());
}

// ------------------------------------------------------------------ the day

TEST(OperatorDay, StartTeachJogRecordSaveOpenRunEditParametersHomeAndExit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString programPath = dir.filePath("day.txt");

    // The arm is found as it was left: run mode, servos off.
    sim::SimOptions options = testSimOptions();
    options.controlMode = 0;
    options.servosOn = false;
    Rig r(options);
    // The window is on screen before the core starts, so that its first
    // showing (fonts, the X server) cannot stall the first poll cycle: the
    // parameter blocks are read once only, and a reply delayed past the
    // next request is lost by design.
    r.window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&r.window()));
    ASSERT_TRUE(r.start());
    r.window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&r.window()));
    EXPECT_EQ(r.window().windowTitle(), QStringLiteral("Velquor"));
    const Colour green = Colour::green();

    // ---- start-up: the parameter boxes show the controller's values.
    {
        const sim::Parameters& p = r.arm().parameters();
        // The first box that does not show the controller's value, or "".
        auto unfilled = [&]() -> std::string {
            auto differs = [&](std::string_view box, int i, const std::string& want) {
                return r.board().text(box, i) != want;
            };
            for (int i = 1; i <= 6; ++i) {
                const auto k = static_cast<std::size_t>(i - 1);
                const std::array<std::pair<const char*, std::string>, 8> rows{{
                    {"Text4", std::to_string(p.kp[k])},
                    {"Text5", std::to_string(p.ki[k])},
                    {"Text6", std::to_string(p.kd[k])},
                    {"Text17", shown(p.mechanical[k], 2)},
                    {"Text3", shown(p.reduction[k], 2)},
                    {"Text12", shown(p.encoder[k], 1)},
                    {"Text14", shown(p.limitPositive[k], 1)},
                    {"Text15", shown(p.limitNegative[k], 1)},
                }};
                for (const auto& [box, want] : rows)
                    if (differs(box, i, want)) return std::string(box) + "(" + std::to_string(i) + ") shows '" + r.board().text(box, i) + "', not '" + want + "'";
            }
            for (int i = 0; i < 3; ++i) {
                const auto k = static_cast<std::size_t>(i);
                if (differs("Text10", i, shown(p.pointSpeed[k], 0))) return "Text10(" + std::to_string(i) + ") shows '" + r.board().text("Text10", i) + "'";
                if (differs("Text21", i, shown(p.lineSpeed[k], 0))) return "Text21(" + std::to_string(i) + ") shows '" + r.board().text("Text21", i) + "'";
                if (i < 3 && differs("Text16", i + 1, shown(p.tool[k], 2))) return "Text16(" + std::to_string(i + 1) + ") shows '" + r.board().text("Text16", i + 1) + "'";
            }
            return {};
        };
        EXPECT_TRUE(r.waitFor([&] { return unfilled().empty(); }, kGenerousWaitMs)) << unfilled();
        // Run mode reported: its button is green and jogging is not offered.
        EXPECT_TRUE(r.waitFor([&] { return r.board().backColour("Command19", 0) == green; }, kGenerousWaitMs));
        EXPECT_FALSE(r.isEnabled("Command5", 1));
    }

    // ---- teach mode, servos on.
    r.click("Command19", 1);
    ASSERT_TRUE(r.waitFor([&] { return r.arm().controlMode() == 1 && r.board().backColour("Command19", 1) == green; }, kGenerousWaitMs));
    ASSERT_TRUE(r.waitFor([&] { return r.isEnabled("Command5", 1); }, kGenerousWaitMs)) << "jog buttons not offered in teach mode";
    r.click("Command1", 9); // "全部打开"
    auto servosShownOn = [&] {
        for (int axis = 1; axis <= 6; ++axis)
            if (!r.arm().servoOn(axis) || r.board().backColour("Command3" + std::to_string(axis)) != green) return false;
        return true;
    };
    ASSERT_TRUE(r.waitFor(servosShownOn));

    // ---- jog joints: "J1轴+" and "J3轴-" move those joints and no other.
    ASSERT_EQ(r.board().text("Command5", 1), "J1轴+");
    ASSERT_EQ(r.board().text("Command5", 6), "J3轴-");
    const sim::JointArray q0 = r.arm().joints();
    ASSERT_NO_FATAL_FAILURE(jog(r, 1, 600));
    ASSERT_NO_FATAL_FAILURE(jog(r, 6, 400));
    const sim::JointArray q1 = r.arm().joints();
    EXPECT_GT(q1[0] - q0[0], 3.0);
    EXPECT_LT(q1[2] - q0[2], -2.0);
    for (std::size_t k : {1u, 3u, 4u, 5u}) EXPECT_NEAR(q1[k], q0[k], 1e-9) << k + 1;
    EXPECT_TRUE(r.waitFor([&] { return readoutsMatchArm(r); }, kGenerousWaitMs));

    // ---- Cartesian jogging: "直角", then "X轴+" moves the tool along X only.
    r.click("Command22", 1);
    EXPECT_EQ(r.board().text("Command5", 1), "X轴+");
    EXPECT_EQ(r.board().text("Command5", 4), "Y轴-");
    ASSERT_TRUE(r.waitFor([&] { return r.arm().motionMode() == 2 && r.board().backColour("Command22", 1) == green; }, kGenerousWaitMs));
    const sim::PoseValues p0 = r.arm().pose();
    ASSERT_NO_FATAL_FAILURE(jog(r, 1, 500));
    const sim::PoseValues p1 = r.arm().pose();
    EXPECT_GT(p1.x - p0.x, 5.0);
    EXPECT_NEAR(p1.y, p0.y, 0.05);
    EXPECT_NEAR(p1.z, p0.z, 0.05);
    EXPECT_LE(angleDiff(p1.a, p0.a), 0.05);
    EXPECT_LE(angleDiff(p1.b, p0.b), 0.05);
    EXPECT_LE(angleDiff(p1.c, p0.c), 0.05);

    // ---- record a program with the teach-in buttons.
    ASSERT_NO_FATAL_FAILURE(r.clickTab(4)); // "录入指令"
    const std::string start = r.board().text("Text7");
    r.click("Command10"); // PSPEED from the point-speed boxes
    r.click("Command24"); // LSPEED from the line-speed boxes
    ASSERT_TRUE(r.waitFor([&] { return readoutsMatchArm(r); }, kGenerousWaitMs));
    const sim::JointArray jointsP1 = r.arm().joints();
    r.click("Command15"); // MOVJ here
    ASSERT_NO_FATAL_FAILURE(jog(r, 3, 400));       // "Y轴+"
    ASSERT_TRUE(r.waitFor([&] { return readoutsMatchArm(r); }, kGenerousWaitMs));
    const sim::PoseValues poseP2 = r.arm().pose();
    EXPECT_GT(poseP2.y - p1.y, 5.0);
    r.click("Command20"); // MOVP here
    r.typeAndEnter("Text20", kNoIndex, QStringLiteral("800"));
    r.click("Command21"); // DELAY
    r.click("Command17"); // END

    const sim::Parameters& params = r.arm().parameters();
    std::string expected = start;
    expected += "PSPEED RPM=" + shown(params.pointSpeed[0], 0) + " ACC=" + shown(params.pointSpeed[1], 0) +
                " DEC=" + shown(params.pointSpeed[2], 0) + "\r\n";
    expected += "LSPEED MMS=" + shown(params.lineSpeed[0], 0) + " ACC=" + shown(params.lineSpeed[1], 0) +
                " DEC=" + shown(params.lineSpeed[2], 0) + "\r\n";
    expected += "MOVJ";
    for (std::size_t k = 0; k < 6; ++k) expected += " J" + std::to_string(k + 1) + "=" + shown(jointsP1[k], 3);
    expected += "\r\nMOVP X1=" + shown(poseP2.x, 2) + " Y1=" + shown(poseP2.y, 2) + " Z1=" + shown(poseP2.z, 2) +
                " A1=" + shown(poseP2.a, 2) + " B1=" + shown(poseP2.b, 2) + " C1=" + shown(poseP2.c, 2) + "\r\n";
    expected += "DELAY MS=800\r\nEND\r\n";
    ASSERT_EQ(r.board().text("Text7"), expected);

    // ---- save it (Ctrl+S), start afresh (Ctrl+N), open it again (Ctrl+O).
    r.prompts.saveNames.push_back(programPath.toStdString());
    QTest::keyClick(&r.window(), Qt::Key_S, Qt::ControlModifier);
    std::string bytes;
    ASSERT_TRUE(fileBytes(programPath, bytes));
    EXPECT_EQ(bytes, expected);
    QTest::keyClick(&r.window(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(r.board().text("Text7"), start);
    r.prompts.openNames.push_back(programPath.toStdString());
    QTest::keyClick(&r.window(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(r.openDone());
    ASSERT_EQ(r.board().text("Text7"), expected);

    // ---- run it with "循环": MOVJ to P1, MOVP to P2, DELAY, and again.
    r.click("Check1");
    ASSERT_EQ(r.board().value("Check1"), 1);
    ArmLog log(r);
    r.click("Command14");
    EXPECT_FALSE(r.isEnabled("Command14"));
    ASSERT_TRUE(log.waitFor([&] { return log.startCount() >= 3; }, kGenerousWaitMs)) << log.dump();
    ASSERT_EQ(log.starts(), (std::vector<std::string>{"joint move", "point move", "joint move"})) << log.dump();
    const auto* atP1 = log.doneAfter(log.startIndex(0));
    const auto* atP2 = log.doneAfter(log.startIndex(1));
    ASSERT_TRUE(atP1 && atP2) << log.dump();
    for (std::size_t k = 0; k < 6; ++k) EXPECT_NEAR(atP1->joints[k], jointsP1[k], 0.0005 + 1e-4) << "P1 joint " << k + 1;
    EXPECT_NEAR(atP2->pose.x, poseP2.x, 0.006);
    EXPECT_NEAR(atP2->pose.y, poseP2.y, 0.006);
    EXPECT_NEAR(atP2->pose.z, poseP2.z, 0.006);
    EXPECT_LE(angleDiff(atP2->pose.a, poseP2.a), 0.006);
    EXPECT_LE(angleDiff(atP2->pose.b, poseP2.b), 0.006);
    EXPECT_LE(angleDiff(atP2->pose.c, poseP2.c), 0.006);
    // The taught delay held the next pass back.
    EXPECT_GE(log.entries[log.startIndex(2)].ms - atP2->lastMovingMs, 800) << log.dump();

    // Pause: the move in hand ends, nothing further starts.
    r.click("Command13");
    EXPECT_EQ(r.board().text("Command13"), "继续");
    ASSERT_TRUE(log.waitFor([&] { return !r.arm().moving(); }, kGenerousWaitMs));
    std::size_t seen = log.startCount();
    log.idle(1200);
    EXPECT_EQ(log.startCount(), seen) << log.dump();
    // Continue: the point move follows.
    r.click("Command13");
    EXPECT_EQ(r.board().text("Command13"), "暂停");
    ASSERT_TRUE(log.waitFor([&] { return log.startCount() > seen; }, kGenerousWaitMs)) << log.dump();
    EXPECT_EQ(log.starts().back(), "point move");
    // Stop: Run is offered again and nothing more starts.
    r.click("Command12");
    EXPECT_TRUE(r.isEnabled("Command14"));
    EXPECT_EQ(r.board().text("Command13"), "暂停");
    ASSERT_TRUE(log.waitFor([&] { return !r.arm().moving(); }, kGenerousWaitMs));
    seen = log.startCount();
    log.idle(1000);
    EXPECT_EQ(log.startCount(), seen) << log.dump();
    EXPECT_EQ(r.arm().counters().refused, 0u) << r.arm().lastEvent();

    // ---- edit a parameter and save: "角度参数", axis 3's positive limit.
    ASSERT_NO_FATAL_FAILURE(r.clickTab(3));
    r.idle(400); // the tab's own read-back of the limits comes first
    {
        auto* box = qobject_cast<QLineEdit*>(r.widget("Text14", 3));
        ASSERT_NE(box, nullptr);
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("140"));
        EXPECT_EQ(r.board().backColour("Text14", 3), Colour::edited());
        EXPECT_FLOAT_EQ(r.arm().parameters().limitPositive[2], 150.0f); // nothing sent before Enter
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(r.board().backColour("Text14", 3), Colour::windowBackground());
    }
    ASSERT_TRUE(r.waitFor([&] { return r.arm().parameters().limitPositive[2] == 140.0f; }, kGenerousWaitMs));
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Text14", 3) == "140.0"; }, kGenerousWaitMs)) << r.board().text("Text14", 3);
    EXPECT_FLOAT_EQ(r.arm().savedParameters().limitPositive[2], 150.0f);
    r.click("Command4", 2); // "保存参数"
    for (int i = 0; i <= 2; ++i) EXPECT_EQ(r.board().text("Command4", i), "保存中..") << i;
    ASSERT_TRUE(r.waitFor([&] { return r.arm().savedParameters().limitPositive[2] == 140.0f; }, kGenerousWaitMs));
    // A starved machine may lose the acknowledgement: the store is then
    // said to be unconfirmed, and not sent again.
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Command4", 0) != "保存中.."; }, kGenerousWaitMs));
    EXPECT_TRUE(allShow(r, "Command4", 0, 2, "保存参数OK") || allShow(r, "Command4", 0, 2, "保存参数"));
    EXPECT_EQ(r.arm().counters().saves, 1u);

    // ---- back to the origin: every joint at 0, and the read-outs say so.
    ArmLog home(r);
    r.click("Command16", 1); // "返回原点"
    ASSERT_TRUE(home.waitFor([&] { return home.startCount() >= 1 && !r.arm().moving(); }, kGenerousWaitMs)) << home.dump();
    EXPECT_EQ(home.starts(), std::vector<std::string>{"return to origin"});
    for (std::size_t k = 0; k < 6; ++k) EXPECT_NEAR(r.arm().joints()[k], 0.0, 1e-9) << k + 1;
    EXPECT_TRUE(r.waitFor([&] { return allShow(r, "Label2", 1, 6, "0.000"); }));
    for (int axis = 1; axis <= 6; ++axis) EXPECT_EQ(r.arm().alarmCode(axis), 0) << axis;

    // ---- the end of the day: "退出" closes the port and the window.
    ASSERT_TRUE(r.console->line().isOpen());
    ASSERT_NO_FATAL_FAILURE(chooseFromFileMenu(r, "Exit"));
    ASSERT_TRUE(r.waitFor([&] { return !r.window().isVisible(); }, kGenerousWaitMs));
    EXPECT_TRUE(r.window().programEnded());
    EXPECT_FALSE(r.console->line().isOpen());
    EXPECT_FALSE(r.window().timer("Timer1")->isActive());
    EXPECT_FALSE(r.window().timer("Timer3")->isActive());
    // A request written just before the exit can still be on its way
    // through the pty when the window closes; count from when it is in
    // (a console still polling never lets the count settle).
    auto requests = r.arm().counters().requests;
    for (int settle = 0; settle < 10; ++settle) {
        r.idle(100);
        const auto now = r.arm().counters().requests;
        if (now == requests) break;
        requests = now;
    }
    r.idle(500);
    EXPECT_EQ(r.arm().counters().requests, requests) << "the controller is still being polled";
    EXPECT_EQ(r.arm().jogCode(), 0);
    EXPECT_FALSE(r.arm().moving());
}

} // namespace
} // namespace vq::e2e
