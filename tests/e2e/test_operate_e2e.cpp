// End-to-end: manual operation of the simulated arm through the window's
// buttons and boxes: jogging and hold-to-run, motion modes, axis power,
// parameter writes and saves, teach speed, origin and homing.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEvent>
#include <QTouchEvent>

#include <array>
#include <cmath>
#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "e2e_rig.h"
#include "support/run_queue.h"

namespace vq::e2e {
namespace {

// The stop word reaches the controller on the next pass of the jog slot,
// one poll cycle (four timer events with the two continuous reads, about
// 140 ms) after the release at worst. The bound leaves room for a loaded
// machine and stays below the controller's own 0.5 s jog watchdog.
constexpr qint64 kJogStopBoundMs = 300;

std::string axisButton(int axis) { return "Command3" + std::to_string(axis); }

bool allAxisButtons(Rig& r, Colour c)
{
    for (int axis = 1; axis <= 6; ++axis)
        if (r.board().backColour(axisButton(axis)) != c) return false;
    return true;
}

bool allServos(Rig& r, bool on)
{
    for (int axis = 1; axis <= 6; ++axis)
        if (r.arm().servoOn(axis) != on) return false;
    return true;
}

// Presses a jog button and waits until the controller runs that jog.
::testing::AssertionResult startJog(Rig& r, int index, std::uint16_t code)
{
    r.press("Command5", index);
    if (!r.waitFor([&] { return r.arm().jogCode() == code; }))
        return ::testing::AssertionFailure() << "jog " << code << " not running: " << r.arm().lastEvent();
    return ::testing::AssertionSuccess();
}

// Lets go of a running jog by the given means and checks that the console's
// stop word (not the controller's watchdog) stops the arm soon, and that
// the joint then stands still.
void expectJogStops(Rig& r, int joint, const std::function<void()>& letGo)
{
    std::string eventAtStop;
    QElapsedTimer t;
    t.start();
    const double queuedBefore = runQueueWaitMs();
    letGo();
    const bool stopped = r.waitFor(
        [&] {
            if (r.arm().jogCode() != 0) return false;
            eventAtStop = r.arm().lastEvent();
            return true;
        },
        2000);
    // The console's own time: what this thread (console and simulated
    // controller alike) spent waiting for a processor held by other work on
    // the machine is taken out.
    const double queued = runQueueWaitMs();
    const double starved = queuedBefore >= 0 && queued >= 0 ? queued - queuedBefore : 0.0;
    const double elapsed = static_cast<double>(t.elapsed()) - starved;
    ASSERT_TRUE(stopped) << r.arm().lastEvent();
    EXPECT_EQ(eventAtStop, "jog stopped") << "stopped by something other than the stop word";
    EXPECT_LT(elapsed, kJogStopBoundMs) << "starved " << starved << " ms of it";
    EXPECT_EQ(r.arm().busyWord(), sim::busy::kIdle);
    EXPECT_FALSE(r.window().heldJogButton().has_value());
    const double at = r.arm().joints()[static_cast<std::size_t>(joint - 1)];
    r.idle(300);
    EXPECT_EQ(r.arm().joints()[static_cast<std::size_t>(joint - 1)], at) << "joint " << joint << " still moving";
    EXPECT_EQ(r.arm().jogCode(), 0);
}

// The console ends with a jog held: the last word on the line is the stop
// word, and the arm stands.
void expectJogStopsAsTheConsoleEnds(Rig& r, const std::function<void()>& end)
{
    end();
    ASSERT_TRUE(r.waitFor([&] { return r.window().programEnded(); })) << "the console did not end";
    ASSERT_TRUE(r.waitFor([&] { return r.arm().jogCode() == 0; })) << r.arm().lastEvent();
    EXPECT_EQ(r.arm().lastEvent(), "jog stopped") << "stopped by something other than the stop word";
}

// ---------------------------------------------------------------- jogging

TEST(Operate, HoldingJ2PlusJogsJoint2AndTheReleaseStopsIt)
{
    Rig r;
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(r.waitFor([&] { return r.isEnabled("Command5", 3); })) << "teach mode not shown";
    ASSERT_EQ(r.board().text("Command5", 3), "J2轴+");
    const double start = r.arm().joints()[1];

    ASSERT_TRUE(startJog(r, 3, 20));
    // Held past the controller's 0.5 s watchdog: the jog word is refreshed
    // every poll cycle, so the jog never lapses while the button is down.
    bool lapsed = false;
    r.waitFor(
        [&] {
            if (r.arm().jogCode() != 20) lapsed = true;
            return false;
        },
        900);
    EXPECT_FALSE(lapsed) << r.arm().lastEvent();
    const double held = r.arm().joints()[1];
    EXPECT_GT(held, start + 5.0);
    // Only joint 2 moves.
    const auto q = r.arm().joints();
    EXPECT_EQ(q[0], 0.0);
    EXPECT_EQ(q[2], 0.0);
    EXPECT_EQ(q[4], 90.0);
    EXPECT_TRUE(r.waitFor([&] { return std::stod(r.board().text("Label2", 2)) > start + 5.0; }));

    expectJogStops(r, 2, [&] { r.release("Command5", 3); });
    if (HasFatalFailure()) return;
    // The read-out settles on where the arm stopped.
    const std::string final2 = shown(r.arm().joints()[1], 3);
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Label2", 2) == final2; })) << r.board().text("Label2", 2);
}

TEST(Operate, CartesianModeRenamesTheJogButtonsAndXPlusMovesTheToolAlongX)
{
    Rig r;
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(r.waitFor([&] { return r.isEnabled("Command22", 1); }));

    const std::array<const char*, 12> cartesian{"X轴+", "X轴-", "Y轴+", "Y轴-", "Z轴+", "Z轴-",
                                                "A轴+", "A轴-", "B轴+", "B轴-", "C轴+", "C轴-"};
    const std::array<const char*, 12> joint{"J1轴+", "J1轴-", "J2轴+", "J2轴-", "J3轴+", "J3轴-",
                                            "J4轴+", "J4轴-", "J5轴+", "J5轴-", "J6轴+", "J6轴-"};

    r.click("Command22", 1); // 直角
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(r.board().text("Command5", i), cartesian[static_cast<std::size_t>(i - 1)]) << i;
    EXPECT_EQ(r.board().text("Command5", 13), "J7轴+");
    ASSERT_TRUE(r.waitFor([&] {
        return r.arm().motionMode() == 2 && r.board().backColour("Command22", 1) == Colour::green() &&
               r.board().backColour("Command22", 0) == Colour::buttonFace();
    }));

    const sim::PoseValues p0 = r.arm().pose();
    ASSERT_TRUE(startJog(r, 1, 10));
    EXPECT_TRUE(r.waitFor([&] { return r.arm().pose().x > p0.x + 8.0; }, kGenerousWaitMs)) << r.arm().lastEvent();
    expectJogStops(r, 1, [&] { r.release("Command5", 1); });
    if (HasFatalFailure()) return;

    const sim::PoseValues p1 = r.arm().pose();
    EXPECT_GT(p1.x, p0.x + 8.0);
    EXPECT_NEAR(p1.y, p0.y, 0.5);
    EXPECT_NEAR(p1.z, p0.z, 0.5);
    EXPECT_NEAR(p1.a, p0.a, 0.5);
    EXPECT_NEAR(p1.b, p0.b, 0.5);
    EXPECT_NEAR(p1.c, p0.c, 0.5);
    // The pose read-outs show where the tool went.
    EXPECT_TRUE(r.waitFor([&] {
        return r.board().text("Label3", 1) == shown(p1.x, 2) && r.board().text("Label3", 2) == shown(p1.y, 2) &&
               r.board().text("Label3", 3) == shown(p1.z, 2);
    })) << r.board().text("Label3", 1);

    r.click("Command22", 0); // 关节
    for (int i = 1; i <= 12; ++i)
        EXPECT_EQ(r.board().text("Command5", i), joint[static_cast<std::size_t>(i - 1)]) << i;
    EXPECT_TRUE(r.waitFor([&] { return r.arm().motionMode() == 1; }));
}

TEST(Operate, DragModeSwitchesEveryServoOff)
{
    Rig r;
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(r.waitFor([&] { return r.isEnabled("Command22", 3) && allAxisButtons(r, Colour::green()); }));

    r.click("Command22", 3); // 拖动
    EXPECT_TRUE(r.waitFor([&] {
        return r.arm().motionMode() == 4 && allServos(r, false) && allAxisButtons(r, Colour::buttonFace()) &&
               r.board().backColour("Command22", 3) == Colour::green();
    })) << r.arm().lastEvent();
    // Captions are kept.
    EXPECT_EQ(r.board().text("Command5", 1), "J1轴+");

    // Led by hand, the arm's new joint shows in the read-out.
    ASSERT_TRUE(r.arm().dragBy(2, 15.0));
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Label2", 2) == "15.000"; })) << r.board().text("Label2", 2);
    // A jog is not taken in drag mode.
    r.press("Command5", 3);
    r.idle(400);
    EXPECT_EQ(r.arm().jogCode(), 0);
    EXPECT_EQ(r.arm().joints()[1], 15.0);
    r.release("Command5", 3);
}

// ------------------------------------------------------------- axis power

TEST(Operate, AxisPowerButtonsSwitchTheServosAndShowThemGreen)
{
    sim::SimOptions o = testSimOptions();
    o.servosOn = false;
    Rig r(o);
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(allServos(r, false));
    EXPECT_TRUE(allAxisButtons(r, Colour::buttonFace()));

    r.click("Command1", 9); // 全部打开
    EXPECT_TRUE(r.waitFor([&] { return allServos(r, true) && allAxisButtons(r, Colour::green()); }));

    r.click("Command1", 10); // 全部关闭
    EXPECT_TRUE(r.waitFor([&] { return allServos(r, false) && allAxisButtons(r, Colour::buttonFace()); }));

    // One axis button: on, then (once the controller reports it on) off.
    r.click("Command34");
    EXPECT_TRUE(r.waitFor([&] { return r.board().backColour("Command34") == Colour::green(); }));
    for (int axis = 1; axis <= 6; ++axis) {
        EXPECT_EQ(r.arm().servoOn(axis), axis == 4) << axis;
        if (axis != 4) {
            EXPECT_EQ(r.board().backColour(axisButton(axis)), Colour::buttonFace()) << axis;
        }
    }
    r.click("Command34");
    EXPECT_TRUE(r.waitFor([&] { return !r.arm().servoOn(4) && r.board().backColour("Command34") == Colour::buttonFace(); }));
    EXPECT_TRUE(allServos(r, false));

    // Axis 1 on, then jog joint 1 with only that servo on.
    r.click("Command31");
    ASSERT_TRUE(r.waitFor([&] { return r.board().backColour("Command31") == Colour::green(); }));
    ASSERT_TRUE(startJog(r, 2, 11)); // J1轴-
    EXPECT_TRUE(r.waitFor([&] { return r.arm().joints()[0] < -2.0; }));
    expectJogStops(r, 1, [&] { r.release("Command5", 2); });
}

// ------------------------------------------------------------- parameters

TEST(Operate, EnterInAnAngleLimitBoxWritesTheGroupAndTheBoxesShowTheControllersValues)
{
    Rig r;
    ASSERT_TRUE(r.start());
    // A value only the controller holds shows that the tab's read has
    // landed before anything is typed.
    sim::Parameters p = r.arm().parameters();
    p.limitPositive[1] = 111.0f;
    r.arm().setParameters(p);
    r.clickTab(3); // 角度参数
    ASSERT_TRUE(r.waitFor([&] { return r.board().text("Text14", 2) == "111.0"; }));
    const sim::Parameters before = r.arm().parameters();

    // An edit not yet confirmed in box 1 is sent with the group all the same.
    r.typeInto("Text14", 1, "99");
    EXPECT_EQ(r.board().backColour("Text14", 1), Colour::edited());
    r.typeInto("Text14", 3, "100abc");
    EXPECT_EQ(r.board().backColour("Text14", 3), Colour::edited());
    QTest::keyClick(r.widget("Text14", 3), Qt::Key_Return);
    EXPECT_EQ(r.board().backColour("Text14", 3), Colour::windowBackground());
    EXPECT_EQ(r.board().backColour("Text14", 1), Colour::edited());

    EXPECT_TRUE(r.waitFor([&] { return r.arm().parameters().limitPositive[2] == 100.0f; }));
    const auto& lim = r.arm().parameters().limitPositive;
    EXPECT_EQ(lim[0], 99.0f);
    for (std::size_t k : {1u, 3u, 4u, 5u}) EXPECT_EQ(lim[k], before.limitPositive[k]) << k;
    EXPECT_EQ(r.arm().parameters().limitNegative, before.limitNegative);

    // The block is read back: the boxes show what the controller holds, not
    // what was typed.
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Text14", 3) == "100.0"; })) << r.board().text("Text14", 3);
    const std::array<const char*, 6> expected{"99.0", "111.0", "100.0", "180.0", "130.0", "360.0"};
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(r.board().text("Text14", i), expected[static_cast<std::size_t>(i - 1)]) << i;
    // The read-back leaves the marking of the unconfirmed box alone.
    EXPECT_EQ(r.board().backColour("Text14", 1), Colour::edited());

    // The new limit holds the arm: jogging J3+ stops at 100 degrees.
    r.arm().setJoints({0.0, 0.0, 95.0, 0.0, 90.0, 0.0});
    ASSERT_TRUE(startJog(r, 5, 30));
    EXPECT_TRUE(r.waitFor([&] { return r.arm().joints()[2] == 100.0; })) << r.arm().joints()[2];
    r.idle(200);
    EXPECT_EQ(r.arm().joints()[2], 100.0);
    expectJogStops(r, 3, [&] { r.release("Command5", 5); });
}

// Clicks a store button until the acknowledgement shows on `shown`: a
// loaded machine may leave one unconfirmed (its reply late, so not
// trusted), and the operator then stores again. Returns the clicks; each
// store goes out once.
int storeUntilAcknowledged(Rig& r, std::string_view button, int index, std::string_view shown, int shownIndex)
{
    for (int clicks = 1; clicks <= 5; ++clicks) {
        r.click(button, index);
        EXPECT_EQ(r.board().text(shown, shownIndex), "保存中..");
        EXPECT_TRUE(r.waitFor([&] { return r.board().text(shown, shownIndex) != "保存中.."; }));
        if (r.board().text(shown, shownIndex) == "保存参数OK") return clicks;
        EXPECT_EQ(r.board().text(shown, shownIndex), "保存参数");
        EXPECT_EQ(r.board().text("statusLine").rfind("未确认: ", 0), 0u) << r.board().text("statusLine");
    }
    ADD_FAILURE() << "never acknowledged";
    return 0;
}

TEST(Operate, SaveButtonsShowSavingUntilTheControllerAcknowledges)
{
    Rig r;
    ASSERT_TRUE(r.start());

    // PID: write a gain, then store the table. The tab's read must have
    // landed first, or its reply would overwrite the typed gain before the
    // scheduler sends it; a value only the controller holds shows that.
    sim::Parameters p = r.arm().parameters();
    p.kp[1] = 111;
    r.arm().setParameters(p);
    r.clickTab(0); // PID参数
    ASSERT_TRUE(r.waitFor([&] { return r.board().text("Text4", 2) == "111"; }));
    r.typeAndEnter("Text4", 2, "300");
    ASSERT_TRUE(r.waitFor([&] { return r.arm().parameters().kp[1] == 300; }));
    EXPECT_EQ(r.arm().savedParameters().kp[1], 100); // the default, saved at start
    const auto savesBefore = r.arm().counters().saves;

    r.click("Command3", 1);
    EXPECT_EQ(r.arm().counters().saves, savesBefore) << "saved before the scheduler sent it";
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Command3", 1) != "保存中.."; }));
    const int pidClicks = r.board().text("Command3", 1) == "保存参数OK" ? 1 : 1 + storeUntilAcknowledged(r, "Command3", 1, "Command3", 1);
    EXPECT_EQ(r.arm().savedParameters().kp[1], 300);
    EXPECT_EQ(r.arm().counters().saves, savesBefore + static_cast<unsigned>(pidClicks));
    for (int i = 0; i <= 2; ++i) EXPECT_EQ(r.board().text("Command4", i), "保存参数") << i;

    // Parameters: whichever tab's button is clicked, all three follow.
    p = r.arm().parameters();
    p.limitPositive[0] = 160.0f;
    r.arm().setParameters(p);
    for (int tab : {1, 3}) {
        SCOPED_TRACE(tab);
        const int button = tab - 1; // Command4(0) on 机械参数, (2) on 角度参数
        r.clickTab(tab);
        const auto saves = r.arm().counters().saves;
        r.click("Command4", button);
        for (int i = 0; i <= 2; ++i) EXPECT_EQ(r.board().text("Command4", i), "保存中..") << i;
        EXPECT_TRUE(r.waitFor([&] { return r.board().text("Command4", 0) != "保存中.."; }));
        const int clicks = allShow(r, "Command4", 0, 2, "保存参数OK") ? 1 : 1 + storeUntilAcknowledged(r, "Command4", button, "Command4", 1);
        EXPECT_TRUE(allShow(r, "Command4", 0, 2, "保存参数OK"));
        EXPECT_EQ(r.arm().counters().saves, saves + static_cast<unsigned>(clicks));
        EXPECT_EQ(r.arm().savedParameters().limitPositive[0], 160.0f);
        EXPECT_EQ(r.board().text("Command3", 1), "保存参数OK");
    }
}

TEST(Operate, SpeedButtonsStepTheControllersTeachSpeedAndText2Follows)
{
    Rig r;
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(r.waitFor([&] { return r.isEnabled("Command8", 0) && r.board().text("Text2") == "1"; }));

    struct Step {
        int button; // 0 速度+, 1 速度-
        int level;  // the level afterwards
    };
    const std::vector<Step> steps = {{0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 5}, {1, 4}, {1, 3}, {1, 2}, {1, 1}, {1, 1}};
    for (const auto& s : steps) {
        SCOPED_TRACE(std::to_string(s.button) + " -> " + std::to_string(s.level));
        r.click("Command8", s.button);
        EXPECT_TRUE(r.waitFor([&] {
            return r.arm().teachSpeed() == s.level && r.board().text("Text2") == std::to_string(s.level);
        })) << r.arm().teachSpeed() << " " << r.board().text("Text2");
        // The box shows the controller's level once the status block is read.
        r.idle(150);
        EXPECT_EQ(r.board().text("Text2"), std::to_string(r.arm().teachSpeed()));
    }
}

// ----------------------------------------------------------------- origin

TEST(Operate, SetOriginOnlyOnYesMakesTheCurrentJointsZero)
{
    Rig r;
    ASSERT_TRUE(r.start());
    const sim::JointArray q{10.0, 20.0, -30.0, 5.0, 60.0, 15.0};
    r.arm().setJoints(q);
    ASSERT_TRUE(r.waitFor([&] { return r.board().text("Label2", 5) == "60.000"; }));

    r.prompts.answers = {false};
    r.click("Command16", 0);
    ASSERT_EQ(r.prompts.questions.size(), 1u);
    EXPECT_EQ(r.prompts.questions[0].first, "是否设置机械臂原点?");
    EXPECT_EQ(r.prompts.questions[0].second, "提示");
    r.idle(500);
    EXPECT_EQ(r.arm().joints(), q);
    EXPECT_EQ(r.board().text("Label2", 5), "60.000");

    r.prompts.answers = {true};
    r.click("Command16", 0);
    EXPECT_EQ(r.prompts.questions.size(), 2u);
    EXPECT_TRUE(r.waitFor([&] { return r.arm().joints() == sim::JointArray{}; })) << r.arm().lastEvent();
    EXPECT_FALSE(r.arm().moving()) << "the origin is set where the arm stands";
    EXPECT_TRUE(r.waitFor([&] { return allShow(r, "Label2", 1, 6, "0.000") && allShow(r, "Label1", 1, 6, "0"); }));
}

TEST(Operate, ReturnToOriginDrivesTheArmHomeWhileTheBusyWordIsRaised)
{
    Rig r;
    ASSERT_TRUE(r.start());
    r.host().setTimeScale(1.0); // slow enough to see the move under way
    r.arm().setJoints({10.0, 20.0, -30.0, 5.0, 60.0, 15.0});
    ASSERT_TRUE(r.waitFor([&] { return r.board().text("Label2", 5) == "60.000" && r.board().text("Text13") == "0"; }));

    r.click("Command16", 1); // 返回原点, no question asked
    EXPECT_TRUE(r.prompts.questions.empty());
    bool busyShown = false;
    bool between = false;
    EXPECT_TRUE(r.waitFor(
        [&] {
            if (r.board().text("Text13") == std::to_string(sim::busy::kJointMove)) busyShown = true;
            const double j5 = std::stod(r.board().text("Label2", 5));
            if (j5 > 1.0 && j5 < 59.0) between = true;
            return busyShown && !r.arm().moving() && r.board().text("Text13") == "0";
        },
        8000))
        << r.arm().lastEvent();
    EXPECT_TRUE(busyShown) << "the busy word never showed";
    EXPECT_TRUE(between) << "the read-out did not follow the move";
    EXPECT_EQ(r.arm().joints(), sim::JointArray{});
    EXPECT_TRUE(r.waitFor([&] { return allShow(r, "Label2", 1, 6, "0.000"); }));
}

// ----------------------------------------------------------- hold to run

struct LetGo {
    const char* what;
    std::function<void(Rig&, QWidget* button)> act;
};

TEST(Operate, AHeldJogStopsWithoutAMouseReleaseWhenTheButtonOrWindowIsLost)
{
    const std::vector<LetGo> ways = {
        {"button disabled", [](Rig&, QWidget* button) { button->setEnabled(false); }},
        {"window deactivated",
         [](Rig& r, QWidget*) {
             QEvent deactivate(QEvent::WindowDeactivate);
             QApplication::sendEvent(&r.window(), &deactivate);
         }},
        {"button hidden", [](Rig&, QWidget* button) { button->hide(); }},
        {"touch cancelled",
         [](Rig&, QWidget* button) {
             QTouchEvent cancel(QEvent::TouchCancel);
             QApplication::sendEvent(button, &cancel);
         }},
    };
    Rig r;
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(r.waitFor([&] { return r.isEnabled("Command5", 5); }));
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        QWidget* button = r.widget("Command5", 5); // J3轴+
        ASSERT_TRUE(startJog(r, 5, 30));
        r.idle(200);
        ASSERT_EQ(r.arm().jogCode(), 30);
        expectJogStops(r, 3, [&] { way.act(r, button); });
        if (HasFatalFailure()) return;
        // Nothing restarts the jog: not the status block re-enabling the
        // button, not the late mouse release.
        button->show();
        QTest::mouseRelease(button, Qt::LeftButton);
        r.idle(300);
        EXPECT_EQ(r.arm().jogCode(), 0);
        EXPECT_TRUE(r.waitFor([&] { return r.isEnabled("Command5", 5); })) << "not enabled again by the status block";
    }
}

// Closing the window, and a signal that ends the console (a service
// manager's SIGTERM, Ctrl+C in the terminal, the terminal closing), send
// the stop word of a held jog before the port closes (0: the window closed).
TEST(Operate, EndingSignalsStopAHeldJogFirst)
{
    for (const int number : {0, SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        Rig r(testSimOptions(), true);
        ASSERT_TRUE(r.start());
        ASSERT_TRUE(r.waitFor([&] { return r.isEnabled("Command5", 5); }));
        ASSERT_TRUE(startJog(r, 5, 30));
        expectJogStopsAsTheConsoleEnds(r, [&] { number ? (void)::raise(number) : (void)r.window().close(); });
    }
}

} // namespace
} // namespace vq::e2e
