// Cartesian paths of the tool: the straight line and the circular arc the
// controller's linear and circular moves follow, as functions of a path
// parameter. The simulator drives its moves along them; the console draws a
// program's moves with the same geometry.
#pragma once

#include <functional>
#include <optional>

#include <Eigen/Geometry>

#include "kinematics/arm.h"

namespace vq::kin {

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

} // namespace vq::kin
