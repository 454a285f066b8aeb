// Jogging: hold-to-run with a watchdog, speed levels, the three jog frames.
#include <gtest/gtest.h>

#include <cmath>

#include "sim_rig.h"

using namespace vq::sim;
using namespace vq::sim::test;

namespace {

Rig& teachRig(Rig& rig, std::uint16_t motionMode = 1)
{
    rig.servosOn();
    rig.teach();
    rig.words(0x1003, {motionMode});
    return rig;
}

} // namespace

TEST(Jog, WatchdogStopsHalfASecondAfterTheLastJogWord)
{
    Rig rig;
    teachRig(rig);
    rig.words(0x1004, {10}); // J1+
    EXPECT_EQ(rig.c.busyWord(), busy::kJog);
    EXPECT_EQ(replyWord(rig.read(0x1004, 1), 0), 10);
    rig.run(0.3);
    EXPECT_NEAR(rig.c.joints()[0], 6.0 * 0.3, 1e-9); // level 1: 6 deg/s
    rig.run(0.19);
    EXPECT_EQ(rig.c.busyWord(), busy::kJog);
    rig.run(0.01);
    // 0.5 s after the word: stopped, exactly where 0.5 s of jogging took it.
    EXPECT_EQ(rig.c.busyWord(), 0);
    EXPECT_EQ(rig.c.jogCode(), 0);
    EXPECT_NEAR(rig.c.joints()[0], 3.0, 1e-9);
    rig.run(1.0);
    EXPECT_NEAR(rig.c.joints()[0], 3.0, 1e-9);
}

TEST(Jog, WatchdogStopsInsideALongTimeStep)
{
    Rig rig;
    teachRig(rig);
    rig.words(0x1004, {11}); // J1-
    rig.c.advance(2.0);      // one coarse step far past the watchdog
    EXPECT_EQ(rig.c.busyWord(), 0);
    EXPECT_NEAR(rig.c.joints()[0], -3.0, 1e-9);
}

TEST(Jog, RefreshedWordsKeepItMovingAndZeroStopsAtOnce)
{
    Rig rig;
    teachRig(rig);
    for (int i = 0; i < 10; ++i) { // the console's cycle: a word every ~105 ms
        rig.words(0x1004, {20});   // J2+
        rig.run(0.105);
    }
    EXPECT_NEAR(rig.c.joints()[1], 6.0 * 1.05, 1e-6);
    EXPECT_EQ(rig.c.busyWord(), busy::kJog);
    rig.words(0x1004, {0});
    EXPECT_EQ(rig.c.busyWord(), 0);
    const double held = rig.c.joints()[1];
    rig.run(0.3);
    EXPECT_EQ(rig.c.joints()[1], held);
}

TEST(Jog, TeachSpeedScalesTheJog)
{
    for (std::uint16_t level = 1; level <= 5; ++level) {
        Rig rig;
        teachRig(rig);
        rig.words(0x1002, {level});
        rig.words(0x1004, {61}); // J6-
        rig.run(0.25);
        EXPECT_NEAR(rig.c.joints()[5], -6.0 * level * 0.25, 1e-9) << "level " << level;
    }
}

TEST(Jog, OnlyInTeachModeWithTheServoOn)
{
    struct Case {
        const char* what;
        std::function<void(Rig&)> setup;
    };
    const Case cases[] = {
        {"run mode", [](Rig& r) { r.servosOn(); }},
        {"external mode", [](Rig& r) {
             r.servosOn();
             r.words(0x1001, {2});
         }},
        {"servo of the axis off", [](Rig& r) {
             teachRig(r);
             r.words(0x1012, {2});
         }},
        {"drag mode", [](Rig& r) { teachRig(r, 4); }},
        {"alarm", [](Rig& r) {
             teachRig(r);
             r.c.raiseAlarm(1, alarm::kUndervoltage);
         }},
    };
    for (const Case& c : cases) {
        Rig rig;
        c.setup(rig);
        const auto before = rig.c.joints();
        rig.words(0x1004, {30}); // J3+
        rig.run(0.3);
        EXPECT_EQ(rig.c.joints(), before) << c.what;
        EXPECT_EQ(rig.c.busyWord(), 0) << c.what;
    }
}

TEST(Jog, StopsAtTheAngleLimit)
{
    Rig rig;
    teachRig(rig);
    rig.c.setJoints({169, 0, 0, 0, 90, 0});
    rig.words(0x1002, {5});
    for (int i = 0; i < 5; ++i) {
        rig.words(0x1004, {10});
        rig.run(0.1);
    }
    EXPECT_EQ(rig.c.joints()[0], 170.0);
}

TEST(Jog, CartesianJogMovesAlongBaseAxes)
{
    struct Case {
        std::uint16_t code;
        double dx, dy, dz;
    };
    const Case cases[] = {{10, 1, 0, 0}, {11, -1, 0, 0}, {20, 0, 1, 0}, {31, 0, 0, -1}};
    for (const Case& c : cases) {
        Rig rig;
        teachRig(rig, 2);
        const PoseValues before = rig.c.pose();
        rig.words(0x1004, {c.code});
        rig.run(0.4); // 10 mm/s at level 1: 4 mm
        const PoseValues after = rig.c.pose();
        EXPECT_NEAR(after.x - before.x, 4 * c.dx, 1e-6) << c.code;
        EXPECT_NEAR(after.y - before.y, 4 * c.dy, 1e-6) << c.code;
        EXPECT_NEAR(after.z - before.z, 4 * c.dz, 1e-6) << c.code;
        EXPECT_NEAR(std::abs(std::remainder(after.a - before.a, 360.0)), 0, 1e-6);
        EXPECT_NEAR(after.b, before.b, 1e-6);
        EXPECT_NEAR(after.c, before.c, 1e-6);
    }
}

TEST(Jog, CartesianRotationTurnsAboutTheTcp)
{
    Rig rig;
    teachRig(rig, 2);
    const PoseValues before = rig.c.pose();
    rig.words(0x1004, {60}); // C+: about base Z
    rig.run(0.4);            // 6 deg/s: 2.4 deg
    const PoseValues after = rig.c.pose();
    EXPECT_NEAR(after.x, before.x, 1e-6);
    EXPECT_NEAR(after.y, before.y, 1e-6);
    EXPECT_NEAR(after.z, before.z, 1e-6);
    EXPECT_NEAR(after.c - before.c, 2.4, 1e-6);
}

TEST(Jog, ToolJogMovesAlongToolAxes)
{
    // At the start pose the tool points down: tool Z+ is base Z-, tool X
    // is base X and tool Y is base -Y.
    struct Case {
        std::uint16_t code;
        double dx, dy, dz;
    };
    const Case cases[] = {{30, 0, 0, -1}, {10, 1, 0, 0}, {20, 0, -1, 0}};
    for (const Case& c : cases) {
        Rig rig;
        teachRig(rig, 3);
        const PoseValues before = rig.c.pose();
        rig.words(0x1004, {c.code});
        rig.run(0.4);
        const PoseValues after = rig.c.pose();
        EXPECT_NEAR(after.x - before.x, 4 * c.dx, 1e-6) << c.code;
        EXPECT_NEAR(after.y - before.y, 4 * c.dy, 1e-6) << c.code;
        EXPECT_NEAR(after.z - before.z, 4 * c.dz, 1e-6) << c.code;
    }
}

TEST(Jog, ModeChangeStopsAJogAndMovesWaitForIt)
{
    Rig rig;
    teachRig(rig);
    rig.words(0x1004, {40});
    rig.run(0.1);
    // A move while jogging is refused.
    rig.floats(0x11B0, {0, 0, 0, 0, 90, 0});
    EXPECT_EQ(rig.c.busyWord(), busy::kJog);
    rig.words(0x1003, {2});
    EXPECT_EQ(rig.c.busyWord(), 0);
    const double held = rig.c.joints()[3];
    rig.run(0.2);
    EXPECT_EQ(rig.c.joints()[3], held);
}
