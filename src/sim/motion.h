// Motion planning for the simulated arm: the trapezoidal speed profile,
// Cartesian paths (line, arc), and the check that a path can be followed
// within reach and limits.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <Eigen/Geometry>

#include "sim/kinematics.h"

namespace vq::sim {

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

// A Cartesian path: the TCP frame at path parameter s in [0, 1].
struct CartesianPath {
    std::function<Eigen::Isometry3d(double)> at;
    double length = 0;   // mm along the path
    double rotation = 0; // degrees the orientation turns
};

CartesianPath linePath(const Eigen::Isometry3d& from, const Eigen::Isometry3d& to);

// Circle through three points. runAngle 0: from `from` through `via` to
// `to`. runAngle not 0: |runAngle| degrees round the circle, starting
// towards the via point when positive and away from it when negative (360
// is a full turn back to the start). The orientation turns from `from`'s to
// `to`'s over the whole path. Nothing when the points do not define a
// circle (two coincide or all three lie on one line).
std::optional<CartesianPath> arcPath(const Eigen::Isometry3d& from, const Eigen::Vector3d& via,
                                     const Eigen::Isometry3d& to, double runAngle);

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
