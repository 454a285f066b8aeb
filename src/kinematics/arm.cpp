#include "kinematics/arm.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace vq::kin {

namespace {

using Eigen::AngleAxisd;
using Eigen::Matrix3d;
using Eigen::Vector3d;

Matrix3d rotX(double deg) { return AngleAxisd(degToRad(deg), Vector3d::UnitX()).toRotationMatrix(); }
Matrix3d rotY(double deg) { return AngleAxisd(degToRad(deg), Vector3d::UnitY()).toRotationMatrix(); }
Matrix3d rotZ(double deg) { return AngleAxisd(degToRad(deg), Vector3d::UnitZ()).toRotationMatrix(); }

// Fixed flange frame at all joints 0: tool X up, tool Y along base -Y, tool
// Z (approach) along base X.
const Matrix3d& flangeFrame()
{
    static const Matrix3d r0 = [] {
        Matrix3d m;
        m << 0, 0, 1,
             0, -1, 0,
             1, 0, 0;
        return m;
    }();
    return r0;
}

// Below this sine of J5 the wrist counts as straight. A pose shown and
// taught to two decimals is off by up to about 0.01 degrees, enough to turn
// J4 anywhere when solved exactly so close to the singularity; 0.05 degrees
// of J5 are inside the band.
constexpr double kStraightWrist = 8.7e-4;

double forearmLength(const ArmGeometry& g) { return std::hypot(g.d4, g.a3); }

// Angle of the forearm vector (d4, a3) against the forearm axis.
double forearmBeta(const ArmGeometry& g) { return radToDeg(std::atan2(g.a3, g.d4)); }

} // namespace

ArmGeometry ArmGeometry::fromMechanical(const std::array<float, 6>& mechanical, const std::array<float, 3>& tool)
{
    ArmGeometry g;
    g.d1 = mechanical[0];
    g.a1 = mechanical[1];
    g.a2 = mechanical[2];
    g.a3 = mechanical[3];
    g.d4 = mechanical[4];
    g.d6 = mechanical[5];
    g.tool = Eigen::Vector3d(tool[0], tool[1], tool[2]);
    return g;
}

bool ArmGeometry::valid() const
{
    const auto finite = [](double v) { return std::isfinite(v); };
    return finite(d1) && finite(a1) && finite(a2) && finite(a3) && finite(d4) && finite(d6) && tool.allFinite() &&
           a2 > 1e-6 && forearmLength(*this) > 1e-6;
}

bool JointLimits::contains(const Joints& q, double slack) const
{
    for (std::size_t i = 0; i < 6; ++i) {
        if (q[i] < lower[i] - slack || q[i] > upper[i] + slack) {
            return false;
        }
    }
    return true;
}

double degToRad(double deg) { return deg * std::numbers::pi / 180.0; }
double radToDeg(double rad) { return rad * 180.0 / std::numbers::pi; }

double wrapDegrees(double deg)
{
    if (!std::isfinite(deg)) {
        return deg;
    }
    double w = std::fmod(deg, 360.0);
    if (w <= -180.0) {
        w += 360.0;
    } else if (w > 180.0) {
        w -= 360.0;
    }
    return w + 0.0; // no negative zero
}

Matrix3d rotationFromAbc(double aDeg, double bDeg, double cDeg) { return rotZ(cDeg) * rotY(bDeg) * rotX(aDeg); }

std::array<double, 3> abcFromRotation(const Matrix3d& r)
{
    const double cb = std::hypot(r(0, 0), r(1, 0));
    double a = 0;
    double b = 0;
    double c = 0;
    if (cb > 1e-9) {
        b = std::atan2(-r(2, 0), cb);
        a = std::atan2(r(2, 1), r(2, 2));
        c = std::atan2(r(1, 0), r(0, 0));
    } else {
        // Pitch at +-90 degrees: only one combination of roll and yaw is
        // defined; report it as yaw with roll 0.
        b = r(2, 0) < 0 ? std::numbers::pi / 2 : -std::numbers::pi / 2;
        a = 0;
        c = std::atan2(-r(0, 1), r(1, 1));
    }
    std::array<double, 3> abc{radToDeg(a), radToDeg(b), radToDeg(c)};
    for (double& v : abc) {
        v = wrapDegrees(v);
        if (v <= -180.0 + 1e-7) {
            v = 180.0; // the two ends of the range are one angle: show +180
        }
        if (std::abs(v) < 1e-9) {
            v = 0.0;
        }
    }
    return abc;
}

Eigen::Isometry3d poseToFrame(const Pose& p)
{
    Eigen::Isometry3d f = Eigen::Isometry3d::Identity();
    f.linear() = rotationFromAbc(p.a, p.b, p.c);
    f.translation() = Vector3d(p.x, p.y, p.z);
    return f;
}

Pose frameToPose(const Eigen::Isometry3d& frame)
{
    const auto abc = abcFromRotation(frame.linear());
    const Vector3d t = frame.translation();
    return Pose{t.x(), t.y(), t.z(), abc[0], abc[1], abc[2]};
}

Vector3d wristCentre(const ArmGeometry& g, const Joints& q)
{
    const Matrix3d r1 = rotZ(q[0]);
    return r1 * Vector3d(g.a1, 0, g.d1) + r1 * rotY(q[1]) * Vector3d(0, 0, g.a2) +
           r1 * rotY(q[1] + q[2]) * Vector3d(g.d4, 0, g.a3);
}

Eigen::Isometry3d forward(const ArmGeometry& g, const Joints& q)
{
    const Matrix3d arm = rotZ(q[0]) * rotY(q[1] + q[2]) * rotX(q[3]) * rotY(q[4]) * rotX(q[5]);
    const Vector3d flange = wristCentre(g, q) + arm * Vector3d(g.d6, 0, 0);
    Eigen::Isometry3d f = Eigen::Isometry3d::Identity();
    f.linear() = arm * flangeFrame();
    f.translation() = flange + f.linear() * g.tool;
    return f;
}

Pose forwardPose(const ArmGeometry& g, const Joints& q) { return frameToPose(forward(g, q)); }

std::vector<Joints> inverseAll(const ArmGeometry& g, const Eigen::Isometry3d& target, const Joints& seed)
{
    std::vector<Joints> out;
    if (!g.valid() || !target.matrix().allFinite()) {
        return out;
    }
    const Matrix3d rt = target.linear();
    const Vector3d flange = target.translation() - rt * g.tool;
    const Vector3d wc = flange - g.d6 * rt.col(2);

    const double L = forearmLength(g);
    const double beta = forearmBeta(g);
    const double rho = std::hypot(wc.x(), wc.y());
    const double h = wc.z() - g.d1;

    // Shoulder: facing the wrist centre, or turned away from it (reaching
    // over the base). Over the base axis itself J1 is free: keep the seed.
    struct Shoulder {
        double q1;
        double r;
    };
    std::vector<Shoulder> shoulders;
    if (rho < 1e-9) {
        shoulders.push_back({seed[0], -g.a1});
    } else {
        const double front = radToDeg(std::atan2(wc.y(), wc.x()));
        shoulders.push_back({wrapDegrees(front), rho - g.a1});
        shoulders.push_back({wrapDegrees(front + 180.0), -rho - g.a1});
    }

    for (const Shoulder& s : shoulders) {
        const double d2 = s.r * s.r + h * h;
        double cg = (d2 - g.a2 * g.a2 - L * L) / (2.0 * g.a2 * L);
        if (cg > 1.0 + 1e-9 || cg < -1.0 - 1e-9) {
            continue; // out of reach
        }
        cg = std::clamp(cg, -1.0, 1.0);
        const double gammaAbs = radToDeg(std::acos(cg));
        const std::array<double, 2> gammas{gammaAbs, -gammaAbs};
        const int elbowCount = gammaAbs < 1e-9 ? 1 : 2;
        for (int e = 0; e < elbowCount; ++e) {
            const double gamma = gammas[e];
            const double thetaU = radToDeg(std::atan2(h, s.r)) -
                                  radToDeg(std::atan2(L * std::sin(degToRad(gamma)), g.a2 + L * std::cos(degToRad(gamma))));
            const double q2 = wrapDegrees(90.0 - thetaU);
            const double q3 = wrapDegrees(beta - 90.0 - gamma);

            // Wrist: W = Rx(q4) Ry(q5) Rx(q6).
            const Matrix3d r03 = rotZ(s.q1) * rotY(q2 + q3);
            const Matrix3d w = r03.transpose() * rt * flangeFrame().transpose();
            const double c5 = std::clamp(w(0, 0), -1.0, 1.0);
            const double s5 = std::hypot(w(1, 0), w(2, 0));
            if (s5 < kStraightWrist) {
                // J4 and J6 (nearly) in line: only their sum (J5 near 0) or
                // difference (J5 near 180) counts, and the angle J4 would
                // take is lost in the last digits of the pose. Keep J4 at
                // the seed and fit J5 and J6: Rx(-q4) W = Ry(q5) Rx(q6).
                const double q4 = seed[3];
                const Matrix3d v = rotX(-q4) * w;
                const double q5 = radToDeg(std::atan2(-v(2, 0), v(0, 0)));
                const double q6 = radToDeg(std::atan2(-v(1, 2), v(1, 1)));
                out.push_back({s.q1, q2, q3, wrapDegrees(q4), wrapDegrees(q5), wrapDegrees(q6)});
                continue;
            }
            const double q5 = radToDeg(std::atan2(s5, c5));
            const double q4 = radToDeg(std::atan2(w(1, 0), -w(2, 0)));
            const double q6 = radToDeg(std::atan2(w(0, 1), w(0, 2)));
            out.push_back({s.q1, q2, q3, wrapDegrees(q4), q5, wrapDegrees(q6)});
            out.push_back({s.q1, q2, q3, wrapDegrees(q4 + 180.0), -q5, wrapDegrees(q6 + 180.0)});
        }
    }
    return out;
}

Joints unwrapNear(const Joints& q, const Joints& seed)
{
    Joints r = q;
    for (std::size_t i = 0; i < 6; ++i) {
        r[i] = seed[i] + wrapDegrees(q[i] - seed[i]);
    }
    return r;
}

IkResult inverseNearest(const ArmGeometry& g, const Eigen::Isometry3d& target, const Joints& seed,
                        const JointLimits& limits)
{
    IkResult result;
    const std::vector<Joints> all = inverseAll(g, target, seed);
    if (all.empty()) {
        result.status = IkStatus::Unreachable;
        result.joints = seed;
        return result;
    }

    // Each joint of a solution may be taken a whole turn up or down; prefer
    // the turn inside the limits, then the one nearest the seed.
    const auto place = [&](const Joints& sol, std::array<bool, 6>& outside) {
        Joints q{};
        for (std::size_t i = 0; i < 6; ++i) {
            double best = 0;
            double bestCost = std::numeric_limits<double>::infinity();
            bool bestInside = false;
            for (int k = -2; k <= 2; ++k) {
                const double v = sol[i] + 360.0 * k;
                const bool inside = v >= limits.lower[i] - 1e-6 && v <= limits.upper[i] + 1e-6;
                const double cost = std::abs(v - seed[i]);
                if ((inside && !bestInside) || (inside == bestInside && cost < bestCost)) {
                    best = v;
                    bestCost = cost;
                    bestInside = inside;
                }
            }
            q[i] = best;
            outside[i] = !bestInside;
        }
        return q;
    };

    // Weights: the big axes count more than the wrist, so a solution that
    // keeps the arm's configuration wins over one that only spares the wrist.
    static constexpr std::array<double, 6> weight{3.0, 3.0, 3.0, 1.0, 1.0, 1.0};
    double bestCost = std::numeric_limits<double>::infinity();
    double bestOutsideCost = std::numeric_limits<double>::infinity();
    bool haveInside = false;
    for (const Joints& sol : all) {
        std::array<bool, 6> outside{};
        const Joints q = place(sol, outside);
        double cost = 0;
        for (std::size_t i = 0; i < 6; ++i) {
            cost += weight[i] * std::abs(q[i] - seed[i]);
        }
        const bool inside = std::none_of(outside.begin(), outside.end(), [](bool b) { return b; });
        if (inside) {
            if (!haveInside || cost < bestCost) {
                haveInside = true;
                bestCost = cost;
                result.joints = q;
                result.outside = {};
                result.status = IkStatus::Ok;
            }
        } else if (!haveInside && cost < bestOutsideCost) {
            bestOutsideCost = cost;
            result.joints = q;
            result.outside = outside;
            result.status = IkStatus::OutOfLimits;
        }
    }
    return result;
}

} // namespace vq::kin
