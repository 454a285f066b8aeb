// Motion planning for the simulated arm: the trapezoidal speed profile and
// the check that a Cartesian path (kinematics/paths.h) can be followed
// within reach and limits.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kinematics/arm.h"
#include "kinematics/paths.h"

namespace vq::sim {

// The arm's geometry, forward and inverse kinematics and paths are the
// shared kinematics library's; the simulator speaks of them unqualified.
using namespace vq::kin;

// Speed profile over a distance: ramp up from standstill to `speed` in
// `accTime` seconds, cruise, ramp down in `decTime` seconds. A distance too
// short to reach the speed gives a triangle with the same accelerations.
class Trapezoid {
public:
    Trapezoid() = default;
    Trapezoid(double distance, double speed, double accTime, double decTime);

    double duration() const { return duration_; }
    double distance() const { return distance_; }
    double peakSpeed() const { return peak_; }
    double position(double t) const; // 0 .. distance
    double speed(double t) const;

private:
    double distance_ = 0;
    double peak_ = 0;
    double accel_ = 0; // 0: the ramp takes no time
    double decel_ = 0;
    double tAcc_ = 0;
    double tCruise_ = 0;
    double tDec_ = 0;
    double duration_ = 0;
};

// Following a path in joint space.
struct PathCheck {
    bool ok = false;
    std::vector<Joints> samples; // joints at s = i / (samples.size() - 1)
    std::uint16_t alarm = 0;
    std::array<bool, 6> axes{};  // where the alarm goes
};

// Samples the path at least every `step` mm and degrees, solving each
// sample from the previous one. Fails on a sample out of reach (alarm 5,
// axis 3), beyond the limits (alarm 4 on the axes), or where a joint
// would jump more than `maxJump` degrees between samples (alarm 5 on that
// axis: the path crosses a singularity).
PathCheck checkPath(const CartesianPath& path, const Joints& start, const ArmGeometry& g, const JointLimits& limits,
                    double step = 1.0, double maxJump = 15.0);

} // namespace vq::sim
