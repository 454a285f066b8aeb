#include "sim/motion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vq::sim {

Trapezoid::Trapezoid(double distance, double speed, double accTime, double decTime)
{
    distance_ = std::max(0.0, distance);
    accTime = std::max(0.0, accTime);
    decTime = std::max(0.0, decTime);
    if (distance_ <= 0 || !(speed > 0)) {
        return;
    }
    accel_ = accTime > 0 ? speed / accTime : 0;
    decel_ = decTime > 0 ? speed / decTime : 0;
    const double rampDistance = speed * (accTime + decTime) / 2.0;
    if (distance_ >= rampDistance) {
        peak_ = speed;
        tAcc_ = accTime;
        tDec_ = decTime;
        tCruise_ = (distance_ - rampDistance) / speed;
    } else {
        // Too short to reach the speed: accelerate and brake at the same
        // rates, meeting at the peak.
        peak_ = std::sqrt(2.0 * distance_ * speed / (accTime + decTime));
        tAcc_ = accTime * peak_ / speed;
        tDec_ = decTime * peak_ / speed;
        tCruise_ = 0;
    }
    duration_ = tAcc_ + tCruise_ + tDec_;
}

double Trapezoid::position(double t) const
{
    if (t <= 0 || duration_ <= 0) {
        return t <= 0 ? 0.0 : distance_;
    }
    if (t >= duration_) {
        return distance_;
    }
    const double dAcc = 0.5 * peak_ * tAcc_;
    if (t < tAcc_) {
        return 0.5 * accel_ * t * t;
    }
    if (t < tAcc_ + tCruise_) {
        return dAcc + peak_ * (t - tAcc_);
    }
    const double left = duration_ - t; // time until standstill
    return std::clamp(distance_ - 0.5 * decel_ * left * left, 0.0, distance_);
}

double Trapezoid::speed(double t) const
{
    if (t <= 0 || t >= duration_) {
        return 0;
    }
    if (t < tAcc_) {
        return accel_ * t;
    }
    if (t < tAcc_ + tCruise_) {
        return peak_;
    }
    return decel_ * (duration_ - t);
}

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

PathCheck checkPath(const CartesianPath& path, const Joints& start, const ArmGeometry& g, const JointLimits& limits,
                    double step, double maxJump)
{
    PathCheck check;
    constexpr double kMaxSamples = 20000;
    const double extent = std::max(path.length, path.rotation);
    const int n = static_cast<int>(std::clamp(std::ceil(extent / step), 1.0, kMaxSamples));
    check.samples.reserve(static_cast<std::size_t>(n) + 1);
    check.samples.push_back(start);
    Joints prev = start;
    for (int i = 1; i <= n; ++i) {
        const double s = static_cast<double>(i) / n;
        const IkResult r = inverseNearest(g, path.at(s), prev, limits);
        if (r.status == IkStatus::Unreachable) {
            check.alarm = 5;
            check.axes[2] = true;
            return check;
        }
        if (r.status == IkStatus::OutOfLimits) {
            check.alarm = 4;
            check.axes = r.outside;
            return check;
        }
        bool jumped = false;
        for (std::size_t j = 0; j < 6; ++j) {
            if (std::abs(r.joints[j] - prev[j]) > maxJump) {
                check.axes[j] = true;
                jumped = true;
            }
        }
        if (jumped) {
            check.alarm = 5;
            return check;
        }
        check.samples.push_back(r.joints);
        prev = r.joints;
    }
    check.ok = true;
    return check;
}

} // namespace vq::sim
