#include "kinematics/paths.h"

#include <cmath>
#include <numbers>

namespace vq::kin {

namespace {

double rotationBetween(const Eigen::Quaterniond& a, const Eigen::Quaterniond& b)
{
    return radToDeg(a.angularDistance(b));
}

} // namespace

CartesianPath linePath(const Eigen::Isometry3d& from, const Eigen::Isometry3d& to)
{
    const Eigen::Vector3d p0 = from.translation();
    const Eigen::Vector3d p1 = to.translation();
    const Eigen::Quaterniond q0(from.linear());
    const Eigen::Quaterniond q1(to.linear());
    CartesianPath path;
    path.length = (p1 - p0).norm();
    path.rotation = rotationBetween(q0, q1);
    path.at = [p0, p1, q0, q1](double s) {
        Eigen::Isometry3d f = Eigen::Isometry3d::Identity();
        f.linear() = q0.slerp(s, q1).toRotationMatrix();
        f.translation() = p0 + s * (p1 - p0);
        return f;
    };
    return path;
}

std::optional<CartesianPath> arcPath(const Eigen::Isometry3d& from, const Eigen::Vector3d& via,
                                     const Eigen::Isometry3d& to, double runAngle)
{
    const Eigen::Vector3d p0 = from.translation();
    const Eigen::Vector3d p2 = to.translation();
    const Eigen::Vector3d u = via - p0;
    const Eigen::Vector3d v = p2 - p0;
    const Eigen::Vector3d w = u.cross(v);
    const double un = u.norm();
    const double vn = v.norm();
    if (!std::isfinite(runAngle) || un < 1e-6 || vn < 1e-6 || (p2 - via).norm() < 1e-6 || w.norm() < 1e-9 * un * vn ||
        w.norm() < 1e-9) {
        return std::nullopt;
    }
    // Circumcentre of the triangle p0, via, p2.
    const Eigen::Vector3d centre = p0 + (u.squaredNorm() * v - v.squaredNorm() * u).cross(w) / (2.0 * w.squaredNorm());
    const double radius = (p0 - centre).norm();
    const Eigen::Vector3d n = w.normalized(); // p0 -> via -> p2 runs counter-clockwise about n
    const Eigen::Vector3d e1 = (p0 - centre) / radius;
    const Eigen::Vector3d e2 = n.cross(e1);

    double total = 0;
    if (runAngle == 0) {
        const Eigen::Vector3d r2 = p2 - centre;
        total = std::atan2(r2.dot(e2), r2.dot(e1));
        if (total <= 0) {
            total += 2.0 * std::numbers::pi;
        }
    } else {
        total = degToRad(runAngle); // positive: towards the via point
    }

    const Eigen::Quaterniond q0(from.linear());
    const Eigen::Quaterniond q1(to.linear());
    CartesianPath path;
    path.length = radius * std::abs(total);
    path.rotation = rotationBetween(q0, q1);
    path.at = [centre, radius, e1, e2, total, q0, q1](double s) {
        const double th = s * total;
        Eigen::Isometry3d f = Eigen::Isometry3d::Identity();
        f.linear() = q0.slerp(s, q1).toRotationMatrix();
        f.translation() = centre + radius * (std::cos(th) * e1 + std::sin(th) * e2);
        return f;
    };
    return path;
}

} // namespace vq::kin
