// A program taught with the teach-in buttons replays on the simulated arm:
// the values are recorded as the console shows them (joints to three
// decimals, the pose to two) and sent back as the runner sends them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sim_rig.h"

using namespace vq::sim;
using namespace vq::sim::test;

namespace {

float shown(double v, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return static_cast<float>(std::round(v * scale) / scale);
}

std::vector<float> shownJoints(const Controller& c)
{
    std::vector<float> v;
    for (double q : c.joints()) v.push_back(shown(q, 3));
    return v;
}

std::vector<float> shownPose(const Controller& c)
{
    const PoseValues p = c.pose();
    std::vector<float> v;
    for (double x : {p.x, p.y, p.z, p.a, p.b, p.c}) v.push_back(shown(x, 2));
    return v;
}

Bytes floatsOf(const std::vector<float>& v)
{
    Bytes b;
    for (float f : v) {
        const Bytes one = floatBytes({f});
        b.insert(b.end(), one.begin(), one.end());
    }
    return b;
}

struct Step {
    std::uint16_t block;
    std::vector<float> values;
};

// Holds a jog button for the given time, the jog word refreshed as the
// console refreshes it.
void jog(Rig& rig, std::uint16_t motionMode, std::uint16_t code, double seconds)
{
    rig.words(0x1001, {1});
    rig.words(0x1003, {motionMode});
    for (double t = 0; t < seconds; t += 0.1) {
        rig.words(0x1004, {code});
        rig.run(0.1, 0.01);
    }
    rig.words(0x1004, {0});
    rig.runUntilIdle();
}

bool noAlarm(const Controller& c)
{
    for (int axis = 1; axis <= 6; ++axis)
        if (c.alarmCode(axis) != 0) return false;
    return true;
}

void replay(Rig& rig, const std::vector<Step>& program, const std::string& what)
{
    rig.words(0x1001, {0}); // run mode
    for (std::size_t i = 0; i < program.size(); ++i) {
        const Step& s = program[i];
        rig.request(writeFrame(s.block, static_cast<std::uint16_t>(s.values.size()), floatsOf(s.values)));
        rig.runUntilIdle(0.005);
        ASSERT_TRUE(noAlarm(rig.c)) << what << ", line " << i + 1 << ": " << rig.c.lastEvent();
    }
}

} // namespace

TEST(Replay, ATaughtProgramRunsAgainWithoutAlarm)
{
    struct Case {
        const char* what;
        std::array<double, 6> start;
    };
    // From the start pose, and from poses whose wrist is straight (J5 = 0).
    for (const Case& k : {Case{"start pose", {0, 0, 0, 0, 90, 0}}, Case{"straight wrist", {30, 10, 20, -90, 0, 90}},
                          Case{"preset", {90, 0, 0, -90, 0, 90}}}) {
        Rig rig;
        rig.servosOn();
        rig.c.setJoints(k.start);
        std::vector<Step> program;
        program.push_back({0x11B0, shownJoints(rig.c)}); // MOVJ
        jog(rig, 1, 10, 1.0);                            // J1+
        program.push_back({0x11C0, shownPose(rig.c)});   // MOVP
        jog(rig, 2, 10, 1.0);                            // X+
        program.push_back({0x11D0, shownPose(rig.c)});   // MOVL
        jog(rig, 2, 20, 1.0);                            // Y+
        std::vector<float> arc = shownPose(rig.c);       // MOVC via
        jog(rig, 2, 11, 1.0);                            // X-
        jog(rig, 2, 20, 1.0);                            // Y+
        for (float v : shownPose(rig.c)) arc.push_back(v);
        arc.push_back(0.0f);
        program.push_back({0x11E0, arc});
        ASSERT_TRUE(noAlarm(rig.c)) << k.what << " while teaching: " << rig.c.lastEvent();

        replay(rig, program, k.what);
        replay(rig, program, std::string(k.what) + ", second round");
    }
}

TEST(Replay, PointMoveToThePresentPoseAtAStraightWristKeepsJ4AndJ6)
{
    Rig rig;
    rig.servosOn();
    for (const std::array<double, 6>& start : {std::array<double, 6>{30, 10, 20, -90, 0, 90},
                                               std::array<double, 6>{-60, 5, 40, 120, 0, -70}}) {
        rig.c.setJoints(start);
        rig.request(writeFrame(0x11C0, 6, floatsOf(shownPose(rig.c))));
        rig.runUntilIdle(0.005);
        ASSERT_TRUE(noAlarm(rig.c)) << rig.c.lastEvent();
        const auto q = rig.c.joints();
        EXPECT_NEAR(q[3], start[3], 0.05);
        EXPECT_NEAR(q[4], 0, 0.05);
        EXPECT_NEAR(q[5], start[5], 0.05);
    }
}
