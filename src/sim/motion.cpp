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

// Leaving a straight wrist (J5 at 0), J4 has to face the way the tool
// turns, whatever angle it was kept at. While J5 is still about 0, J4 and
// J6 turning against each other leave the tool where it is, so a jump of
// J4 and J6 with their sum steady is no singularity: the arm turns them on
// the way.
bool turnsAStraightWrist(const Joints& from, const Joints& to, double maxJump)
{
    constexpr double kStraight = 1.0; // degrees of J5
    if (std::abs(from[4]) > kStraight || std::abs(to[4]) > kStraight) return false;
    for (std::size_t j : {0u, 1u, 2u, 4u})
        if (std::abs(to[j] - from[j]) > maxJump) return false;
    return std::abs((to[3] + to[5]) - (from[3] + from[5])) <= maxJump;
}

} // namespace

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
        if (jumped && turnsAStraightWrist(prev, r.joints, maxJump)) {
            jumped = false;
            check.axes = {};
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
