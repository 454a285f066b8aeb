// Typed decoding of the status and pose blocks, checked against the
// simulated controller: it encodes its registers with its own code, so the
// decoded values must equal what it says its state is.
#include <gtest/gtest.h>

#include <cmath>

#include "link/frames.h"
#include "sim/controller.h"
#include "telemetry/decoded.h"

namespace vq {
namespace {

std::vector<std::uint8_t> readData(sim::Controller& arm, std::uint16_t start, std::uint16_t count)
{
    auto reply = arm.handle(readRequest(arm.address(), start, count));
    if (!reply || reply->size() < 5) return {};
    return {reply->begin() + 3, reply->end() - 2};
}

TEST(Decoded, StatusAndPoseAgreeWithTheController)
{
    struct Case {
        sim::JointArray joints;
        int alarmAxis;
        std::uint16_t alarm;
        std::uint16_t controlMode;
        bool servos;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 90, 0}, 0, 0, 0, false},
        {{10.5, -20.25, 30.125, 5, 80, -45}, 4, 5, 1, true},
        {{-170, 60, -120, 175, -100, 359}, 6, 0x8001, 2, true}, // code with the top bit set stays negative in 16 bits
    };
    for (const Case& c : cases) {
        sim::ControllerOptions o;
        o.controlMode = c.controlMode;
        o.servosOn = c.servos;
        sim::Controller arm(o);
        arm.setJoints(c.joints);
        if (c.alarmAxis) arm.raiseAlarm(c.alarmAxis, c.alarm);
        arm.advance(0.01);

        const StatusBlock s = decodeStatus(readData(arm, 0x1000, 36));
        EXPECT_EQ(s.controllerState, static_cast<std::int16_t>(arm.controllerState()));
        EXPECT_EQ(s.controlMode, static_cast<std::int16_t>(arm.controlMode()));
        EXPECT_EQ(s.teachSpeed, static_cast<std::int16_t>(arm.teachSpeed()));
        EXPECT_EQ(s.motionMode, static_cast<std::int16_t>(arm.motionMode()));
        EXPECT_EQ(s.busy, static_cast<std::int16_t>(arm.busyWord()));
        for (int axis = 1; axis <= kAxes; ++axis) {
            const auto k = static_cast<std::size_t>(axis - 1);
            EXPECT_EQ(s.servo[k], arm.servoOn(axis) ? 1 : 0) << axis;
            EXPECT_EQ(s.encoder[k], arm.encoderPosition(axis)) << axis;
            EXPECT_EQ(s.alarm[k], static_cast<std::int16_t>(arm.alarmCode(axis))) << axis;
        }

        const PoseBlock p = decodePose(readData(arm, 0x1170, 36));
        const sim::PoseValues pv = arm.pose();
        const std::array<double, 6> pose{pv.x, pv.y, pv.z, pv.a, pv.b, pv.c};
        for (std::size_t k = 0; k < 6; ++k) {
            EXPECT_EQ(p.joint[k], static_cast<float>(arm.joints()[k])) << k;
            EXPECT_EQ(p.pose[k], static_cast<float>(pose[k])) << k;
            EXPECT_EQ(p.monitor[k], static_cast<float>(arm.monitorValues()[k])) << k;
        }
    }
}

TEST(Decoded, ShortDataLeavesTheFieldsItDoesNotCoverUnknown)
{
    // 1.0f, then 2.0f cut after three of its four bytes.
    const std::vector<std::uint8_t> floats{0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00};
    const FloatBlock f = decodeFloats(floats);
    EXPECT_EQ(f.value[0], 1.0f);
    for (std::size_t k = 1; k < 6; ++k) EXPECT_FALSE(f.value[k]) << k;

    // Eleven registers of a status block: words up to servo 5, no encoders.
    const std::vector<std::uint8_t> status(22, 0xFF);
    const StatusBlock s = decodeStatus(status);
    EXPECT_EQ(s.busy, -1);
    EXPECT_EQ(s.servo[4], -1);
    EXPECT_FALSE(s.servo[5]);
    EXPECT_FALSE(s.encoder[0]);
    EXPECT_FALSE(s.alarm[0]);

    // An encoder position is low word first.
    const std::vector<std::uint8_t> two{0x00, 0x02, 0xFF, 0xFF};
    EXPECT_EQ(longAt(two, 0), -65534);
    EXPECT_FALSE(longAt(two, 1));
}

} // namespace
} // namespace vq
