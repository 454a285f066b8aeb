// The arm behind the registers: move timing, busy word, jogging and its
// watchdog, alarms, origin, drag mode. Time is driven by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "sim/motion.h"
#include "sim/parameters.h"
#include "sim_rig.h"

using namespace vq::sim;
using namespace vq::sim::test;

namespace {

ArmGeometry defaultGeometry() { return ArmGeometry::fromMechanical(Parameters{}.mechanical); }

JointLimits defaultLimits()
{
    const Parameters p;
    JointLimits l;
    for (int i = 0; i < 6; ++i) {
        l.lower[static_cast<std::size_t>(i)] = p.lowerLimit(i);
        l.upper[static_cast<std::size_t>(i)] = p.upperLimit(i);
    }
    return l;
}

const Joints kStart{0, 0, 0, 0, 90, 0};

double distance(const PoseValues& p, double x, double y, double z)
{
    return std::sqrt((p.x - x) * (p.x - x) + (p.y - y) * (p.y - y) + (p.z - z) * (p.z - z));
}

void expectPose(const PoseValues& p, const std::array<double, 6>& want, double tol)
{
    EXPECT_NEAR(p.x, want[0], tol);
    EXPECT_NEAR(p.y, want[1], tol);
    EXPECT_NEAR(p.z, want[2], tol);
    EXPECT_NEAR(std::abs(std::remainder(p.a - want[3], 360.0)), 0, tol);
    EXPECT_NEAR(std::abs(std::remainder(p.b - want[4], 360.0)), 0, tol);
    EXPECT_NEAR(std::abs(std::remainder(p.c - want[5], 360.0)), 0, tol);
}

} // namespace

TEST(Trapezoid, DurationsAndShape)
{
    struct Case {
        double d, v, ta, td, duration, peak;
    };
    const Case cases[] = {
        {90, 75, 0.2, 0.2, 90.0 / 75 + 0.2, 75}, // reaches the speed
        {100, 100, 0.5, 0.5, 1.5, 100},
        {10, 100, 0.5, 0.5, 2 * std::sqrt(0.05), std::sqrt(2000.0)}, // triangle: a = 200, 0.5 a t^2 = 5 each way
        {10, 100, 0, 0, 0.1, 100},                                  // no ramps
        {0, 100, 0.2, 0.2, 0, 0},
        {30, 60, 0.1, 0.3, 0.5 + 0.2, 60},
    };
    for (const Case& c : cases) {
        const Trapezoid t(c.d, c.v, c.ta, c.td);
        EXPECT_NEAR(t.duration(), c.duration, 1e-9) << c.d << " " << c.v;
        EXPECT_NEAR(t.peakSpeed(), c.peak, 1e-9);
        EXPECT_NEAR(t.position(t.duration()), c.d, 1e-9);
        EXPECT_NEAR(t.position(t.duration() / 2 + 1e-12) * 2, c.d, c.ta == c.td ? 1e-6 : c.d); // symmetric ramps
        double last = 0;
        for (double s = 0; s <= t.duration(); s += t.duration() / 50 + 1e-9) {
            const double p = t.position(s);
            EXPECT_GE(p, last - 1e-12);
            EXPECT_LE(t.speed(s), c.v + 1e-9);
            last = p;
        }
    }
}

TEST(Moves, DefaultMovesAreReachableFromTheStartAndEachOther)
{
    const ArmGeometry g = defaultGeometry();
    const JointLimits lim = defaultLimits();
    const Pose movp{200, 150, 150, 180, 0, 0};
    const Pose movl{200, 50, 150, 180, 0, 0};
    const Pose via{250, 0, 150, 180, 0, 0};
    const Pose end{200, -50, 150, 180, 0, 0};
    const Pose start = forwardPose(g, kStart);
    const Pose all[] = {start, movp, movl, via, end};

    for (const Pose& from : all) {
        const IkResult origin = inverseNearest(g, poseToFrame(from), kStart, lim);
        ASSERT_EQ(origin.status, IkStatus::Ok);
        for (const Pose& to : {movp, movl, via, end}) {
            // Point move: the target solves within the limits.
            const IkResult point = inverseNearest(g, poseToFrame(to), origin.joints, lim);
            EXPECT_EQ(point.status, IkStatus::Ok);
            // Linear move: every point of the line does.
            const PathCheck line = checkPath(linePath(poseToFrame(from), poseToFrame(to)), origin.joints, g, lim);
            EXPECT_TRUE(line.ok) << "line from " << from.x << "," << from.y << "," << from.z << " to " << to.x << ","
                                 << to.y;
        }
        // The default arc from wherever the arc can be made.
        const auto arc = arcPath(poseToFrame(from), Eigen::Vector3d(via.x, via.y, via.z), poseToFrame(end), 0);
        if (arc) {
            EXPECT_TRUE(checkPath(*arc, origin.joints, g, lim).ok) << "arc from " << from.x << "," << from.y;
        }
    }
    // The target-angle presets lie within the default limits.
    const Joints presets[] = {{0, 0, 0, 0, 0, 0}, {0, 0, -90, 0, -90, 0}, {90, 0, 0, -90, 0, 90}};
    for (const Joints& q : presets) {
        EXPECT_TRUE(lim.contains(q));
    }
}

TEST(Moves, JointMoveTimingFollowsThePointSpeed)
{
    // RPM is motor speed: joint deg/s = RPM * 6 / reduction ratio; ACC and
    // DEC are ramp times in ms.
    struct Case {
        const char* what;
        std::array<float, 6> target;
        float rpm, acc, dec;
        double expected;
    };
    const Case cases[] = {
        {"axis 1 by 90 at 1000 rpm (75 deg/s)", {90, 0, 0, 0, 90, 0}, 1000, 200, 200, 90.0 / 75 + 0.2},
        {"axis 6 by 90 at 1000 rpm (200 deg/s)", {0, 0, 0, 0, 90, 90}, 1000, 200, 200, 90.0 / 200 + 0.2},
        {"axis 1 leads axis 6", {60, 0, 0, 0, 90, 90}, 1000, 100, 300, 60.0 / 75 + 0.2},
        {"half the speed", {90, 0, 0, 0, 90, 0}, 500, 200, 200, 90.0 / 37.5 + 0.2},
        {"short move, triangle", {1, 0, 0, 0, 90, 0}, 1000, 500, 500, 2 * std::sqrt(1.0 / 150.0)},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.servosOn();
        rig.floats(0x11A0, {c.rpm, c.acc, c.dec});
        const auto& t = c.target;
        rig.floats(0x11B0, {t[0], t[1], t[2], t[3], t[4], t[5]});
        EXPECT_EQ(rig.c.busyWord(), busy::kJointMove) << c.what;
        const double took = rig.runUntilIdle(0.0005);
        EXPECT_NEAR(took, c.expected, 0.001) << c.what;
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(rig.c.joints()[i], static_cast<double>(t[i])) << c.what << " axis " << i + 1;
        }
    }
}

TEST(Moves, BusyWordRisesWithTheCommandAndFallsAtStandstill)
{
    Rig rig;
    rig.servosOn();
    EXPECT_EQ(replyWord(rig.read(0x1005, 1), 0), 0);
    rig.floats(0x11B0, {0, 0, 0, 0, 0, 0}); // 90 deg on axis 5 at 120 deg/s: 0.95 s
    EXPECT_EQ(replyWord(rig.read(0x1005, 1), 0), busy::kJointMove);
    rig.run(0.9);
    EXPECT_EQ(replyWord(rig.read(0x1005, 1), 0), busy::kJointMove);
    EXPECT_LT(rig.c.monitorValues()[4], -1.0); // axis 5 turning back: negative motor speed
    rig.run(0.06);
    EXPECT_EQ(replyWord(rig.read(0x1005, 1), 0), 0);
    rig.run(0.01);
    EXPECT_EQ(rig.c.monitorValues()[4], 0.0);

    // A move to where the arm already is still counts as a command: busy
    // until the next step of time.
    rig.floats(0x11B0, {0, 0, 0, 0, 0, 0});
    EXPECT_EQ(rig.c.busyWord(), busy::kJointMove);
    rig.run(0.005);
    EXPECT_EQ(rig.c.busyWord(), 0);
}

TEST(Moves, PointMoveEndsAtThePose)
{
    Rig rig;
    rig.servosOn();
    rig.floats(0x11C0, {200, 150, 150, 180, 0, 0});
    EXPECT_EQ(rig.c.busyWord(), busy::kJointMove);
    rig.runUntilIdle();
    expectPose(rig.c.pose(), {200, 150, 150, 180, 0, 0}, 1e-3);
    // Read through the pose block, as the console does.
    const Bytes r = rig.read(0x1170, 36);
    EXPECT_NEAR(replyFloat(r, 6), 200.0f, 1e-3);
    EXPECT_NEAR(replyFloat(r, 7), 150.0f, 1e-3);
    EXPECT_NEAR(replyFloat(r, 8), 150.0f, 1e-3);
    EXPECT_NEAR(std::abs(replyFloat(r, 9)), 180.0f, 1e-3);
}

TEST(Moves, LinearMoveKeepsToTheLineAndTheLineSpeed)
{
    Rig rig;
    rig.servosOn();
    rig.floats(0x11C0, {200, 150, 150, 180, 0, 0});
    rig.runUntilIdle();
    rig.floats(0x11A6, {100, 200, 200}); // 100 mm/s, 0.2 s ramps
    rig.floats(0x11D0, {200, 50, 150, 180, 0, 0});
    EXPECT_EQ(rig.c.busyWord(), busy::kLinearMove);
    double t = 0;
    while (rig.c.busyWord() != 0 && t < 5) {
        rig.c.advance(0.002);
        t += 0.002;
        const PoseValues p = rig.c.pose();
        ASSERT_NEAR(p.x, 200, 1e-6);
        ASSERT_NEAR(p.z, 150, 1e-6);
        ASSERT_LE(p.y, 150 + 1e-6);
        ASSERT_GE(p.y, 50 - 1e-6);
    }
    EXPECT_NEAR(t, 100.0 / 100.0 + 0.2, 0.0025);
    expectPose(rig.c.pose(), {200, 50, 150, 180, 0, 0}, 1e-6);
}

TEST(Moves, CircularMoveRunsThroughTheViaPoint)
{
    Rig rig;
    rig.servosOn();
    rig.floats(0x11C0, {200, 50, 150, 180, 0, 0});
    rig.runUntilIdle();
    rig.floats(0x11A6, {100, 0, 0});
    rig.request(writeFrame(0x11E0, 13, floatBytes({250, 0, 150, 180, 0, 0, 200, -50, 150, 180, 0, 0, 0})));
    EXPECT_EQ(rig.c.busyWord(), busy::kArcMove);
    double t = 0;
    double closestToVia = 1e9;
    while (rig.c.busyWord() != 0 && t < 5) {
        rig.c.advance(0.002);
        t += 0.002;
        const PoseValues p = rig.c.pose();
        ASSERT_NEAR(distance(p, 200, 0, 150), 50, 1e-6);
        closestToVia = std::min(closestToVia, distance(p, 250, 0, 150));
    }
    EXPECT_NEAR(t, std::numbers::pi * 50 / 100, 0.0025);
    EXPECT_LT(closestToVia, 0.2);
    expectPose(rig.c.pose(), {200, -50, 150, 180, 0, 0}, 1e-6);

    // Run angle 360: a full circle back to the start.
    rig.request(writeFrame(0x11E0, 13, floatBytes({250, 0, 150, 180, 0, 0, 200, 50, 150, 180, 0, 0, 360})));
    EXPECT_EQ(rig.c.busyWord(), busy::kArcMove);
    EXPECT_NEAR(rig.runUntilIdle(0.002), 2 * std::numbers::pi * 50 / 100, 0.0025);
    expectPose(rig.c.pose(), {200, -50, 150, 180, 0, 0}, 1e-6);
}

TEST(Moves, TimeScaleRunsMovesFaster)
{
    ControllerOptions o;
    o.timeScale = 10;
    Rig rig(o);
    rig.servosOn();
    rig.floats(0x11B0, {90, 0, 0, 0, 90, 0});
    EXPECT_NEAR(rig.runUntilIdle(0.0001), (90.0 / 75 + 0.2) / 10, 0.0002);
}

TEST(Moves, RefusedMovesLeaveTheArmStill)
{
    struct Case {
        const char* what;
        std::function<void(Rig&)> setup;
    };
    const Case cases[] = {
        {"servos off", [](Rig&) {}},
        {"one servo off", [](Rig& r) {
             r.servosOn();
             r.words(0x1010, {2});
         }},
        {"external control", [](Rig& r) {
             r.servosOn();
             r.words(0x1001, {2});
         }},
        {"drag mode", [](Rig& r) {
             r.servosOn();
             r.words(0x1003, {4});
             r.servosOn();
         }},
        {"alarm present", [](Rig& r) {
             r.servosOn();
             r.c.raiseAlarm(4, alarm::kOverload);
         }},
    };
    for (const Case& c : cases) {
        Rig rig;
        c.setup(rig);
        const auto before = rig.c.joints();
        rig.floats(0x11B0, {90, 10, 10, 0, 90, 0});
        EXPECT_EQ(rig.c.busyWord(), 0) << c.what;
        rig.run(2);
        EXPECT_EQ(rig.c.joints(), before) << c.what;
        EXPECT_FALSE(rig.c.lastEvent().empty()) << c.what;
        EXPECT_GE(rig.c.counters().refused, 1u) << c.what;
    }
}

TEST(Moves, ServoOffDuringAMoveStopsIt)
{
    Rig rig;
    rig.servosOn();
    rig.floats(0x11B0, {90, 0, 0, 0, 90, 0});
    rig.run(0.5);
    rig.words(0x1010, {2});
    EXPECT_EQ(rig.c.busyWord(), 0);
    const auto held = rig.c.joints();
    rig.run(1);
    EXPECT_EQ(rig.c.joints(), held);
    EXPECT_GT(held[0], 1.0);
    EXPECT_LT(held[0], 90.0);
}

TEST(Alarms, OutOfLimitAndUnreachableTargets)
{
    struct Case {
        const char* what;
        std::uint16_t start;
        std::vector<float> values;
        std::array<std::uint16_t, 6> alarms;
    };
    const std::vector<Case> cases{
        {"joint 2 above +110", 0x11B0, {0, 120, 0, 0, 90, 0}, {0, alarm::kAngleLimit, 0, 0, 0, 0}},
        {"joints 1 and 5 below their lows", 0x11B0, {-171, 0, 0, 0, -131, 0},
         {alarm::kAngleLimit, 0, 0, 0, alarm::kAngleLimit, 0}},
        {"point far out of reach", 0x11C0, {1000, 0, 0, 180, 0, 0}, {0, 0, alarm::kOutOfReach, 0, 0, 0}},
        {"line out of reach", 0x11D0, {600, 0, 150, 180, 0, 0}, {0, 0, alarm::kOutOfReach, 0, 0, 0}},
        {"arc on a straight line", 0x11E0, {200, 0, 250, 180, 0, 0, 200, 0, 150, 180, 0, 0, 0},
         {0, 0, alarm::kOutOfReach, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.servosOn();
        Bytes data;
        for (float f : c.values) {
            const Bytes b = floatBytes({f});
            data.insert(data.end(), b.begin(), b.end());
        }
        const auto before = rig.c.joints();
        rig.request(writeFrame(c.start, static_cast<std::uint16_t>(c.values.size()), data));
        EXPECT_EQ(rig.c.busyWord(), 0) << c.what;
        const Bytes status = rig.read(0x1000, 36);
        EXPECT_EQ(replyWord(status, 0), 2) << c.what << ": state shows the alarm";
        for (std::size_t k = 0; k < 6; ++k) {
            EXPECT_EQ(replyWord(status, 30 + k), c.alarms[k]) << c.what << " axis " << k + 1;
        }
        rig.run(1);
        EXPECT_EQ(rig.c.joints(), before) << c.what;
        // Alarm clear brings the controller back to ready and moves work again.
        rig.words(0x1040, {1, 1, 1, 1, 1, 1});
        EXPECT_EQ(replyWord(rig.read(0x1000, 1), 0), 1) << c.what;
        rig.floats(0x11B0, {10, 0, 0, 0, 90, 0});
        EXPECT_EQ(rig.c.busyWord(), busy::kJointMove) << c.what;
    }
}

TEST(Alarms, ClearWordsActPerAxisAndNegativeLimitSign)
{
    Rig rig;
    rig.servosOn();
    // A negative limit written as a positive number is the same limit.
    rig.floats(0x1150, {30, -110, -150, -180, -130, -360});
    rig.floats(0x11B0, {-40, 0, 0, 0, 90, 0});
    EXPECT_EQ(rig.c.alarmCode(1), alarm::kAngleLimit);
    rig.c.raiseAlarm(3, alarm::kOverTemperature);
    rig.words(0x1040, {0, 0, 1, 0, 0, 0}); // clears axis 3 only
    EXPECT_EQ(rig.c.alarmCode(1), alarm::kAngleLimit);
    EXPECT_EQ(rig.c.alarmCode(3), 0);
    rig.words(0x1040, {1});
    EXPECT_EQ(rig.c.alarmCode(1), 0);
    rig.floats(0x11B0, {-25, 0, 0, 0, 90, 0});
    rig.runUntilIdle();
    EXPECT_EQ(rig.c.joints()[0], -25.0);
}

TEST(Origin, SetOriginZeroesTheJointsAndReturnDrivesBack)
{
    Rig rig;
    rig.servosOn();
    rig.floats(0x11B0, {30, 10, -20, 5, 60, 45});
    rig.runUntilIdle();
    rig.words(0x1080, {1, 1, 1, 0, 0, 0}); // axes 1 to 3 only
    EXPECT_EQ(rig.c.joints()[0], 0.0);
    EXPECT_EQ(rig.c.joints()[2], 0.0);
    EXPECT_EQ(rig.c.joints()[4], 60.0);
    EXPECT_EQ(rig.c.encoderPosition(1), 0);
    rig.words(0x1080, {1, 1, 1, 1, 1, 1});
    EXPECT_EQ(rig.c.encoderPosition(5), 0);

    rig.c.setJoints({20, -10, 15, 30, 40, 50});
    rig.words(0x1090, {1, 1, 1, 1, 1, 1});
    EXPECT_EQ(rig.c.busyWord(), busy::kJointMove);
    // Axis 6 leads: 50 deg at 200 deg/s vs axis 5: 40 deg at 120 deg/s.
    EXPECT_NEAR(rig.runUntilIdle(0.0005), 40.0 / 120 + 0.2, 0.001);
    EXPECT_EQ(rig.c.joints(), (JointArray{0, 0, 0, 0, 0, 0}));
}

TEST(DragMode, ServosGoOffAndTheArmFollowsTheHand)
{
    Rig rig;
    rig.servosOn();
    rig.teach();
    rig.words(0x1003, {4});
    for (int k = 1; k <= 6; ++k) {
        EXPECT_FALSE(rig.c.servoOn(k));
    }
    EXPECT_TRUE(rig.c.dragBy(2, 12.5));
    EXPECT_EQ(rig.c.joints()[1], 12.5);
    EXPECT_TRUE(rig.c.dragBy(1, 500));
    EXPECT_EQ(rig.c.joints()[0], 170.0); // held at the limit
    rig.words(0x1003, {1});
    EXPECT_FALSE(rig.c.dragBy(2, 1)); // only in drag mode
}
