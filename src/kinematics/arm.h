// Kinematics of the simulated arm: a six-joint revolute arm with a
// spherical wrist, built from its six mechanical parameters and a tool
// offset.
//
// Geometry (lengths in mm, angles in degrees, base frame: Z up, X forward).
// The mechanical parameters, in register order, are
//   d1  height of the shoulder axis above the base plate
//   a1  forward offset of the shoulder axis from the base axis
//   a2  upper arm: shoulder axis to elbow axis
//   a3  elbow offset: elbow axis to forearm axis, measured along the upper arm
//   d4  forearm: elbow to the wrist centre, along the forearm axis
//   d6  wrist centre to the tool flange
// With every joint at 0 the upper arm stands straight up, the forearm points
// forward along +X and the flange points forward too. The joint axes are
// then: J1 base Z, J2 and J3 base Y, J4 base X (along the forearm), J5 base
// Y, J6 base X (the flange axis). Positive rotations follow the right-hand
// rule: J2 positive tilts the upper arm forward, J3 positive turns the
// forearm down, J5 positive turns the flange down.
//
//   wrist  = Rz(q1) (a1, 0, d1) + Rz(q1) Ry(q2) (0, 0, a2)
//            + Rz(q1) Ry(q2 + q3) (d4, 0, a3)
//   Rarm   = Rz(q1) Ry(q2 + q3) Rx(q4) Ry(q5) Rx(q6)
//   flange = wrist + Rarm (d6, 0, 0)
//   Rtool  = Rarm R0, with R0 the fixed flange frame: tool Z (approach) along
//            the flange axis, tool X up and tool Y to the right when all
//            joints are 0
//   TCP    = flange + Rtool (Tx, Ty, Tz)   (tool offset in the tool frame)
//
// So at joints (0, 0, 0, 0, 90, 0) the tool points straight down with its
// X axis along base X: the orientation A = 180, B = 0, C = 0.
//
// Orientation (A, B, C): fixed-axis roll, pitch, yaw in degrees,
//   Rtool = Rz(C) Ry(B) Rx(A)
// A about base X, then B about base Y, then C about base Z. B lies in
// [-90, 90]; A and C in (-180, 180]. At B = +-90 only A - C (or A + C) is
// defined and A is reported as 0.
//
// Inverse kinematics has up to eight solutions (shoulder front/back, elbow
// up/down, wrist flip). The one nearest to a seed (the current joints) is
// chosen, each joint taken at the turn (+-360) nearest to the seed. Where
// the wrist is straight (J5 within 0.05 degrees of 0 or 180) J4 keeps the
// seed's angle and J5, J6 are fitted to the orientation.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include <Eigen/Geometry>

namespace vq::kin {

using Joints = std::array<double, 6>;

struct Pose {
    double x = 0, y = 0, z = 0; // mm
    double a = 0, b = 0, c = 0; // degrees
};

struct ArmGeometry {
    double d1 = 180, a1 = 30, a2 = 170, a3 = 20, d4 = 170, d6 = 60;
    Eigen::Vector3d tool = Eigen::Vector3d::Zero();

    // From the controller's mechanical parameter block (d1 a1 a2 a3 d4 d6,
    // in register order) and tool offset.
    static ArmGeometry fromMechanical(const std::array<float, 6>& mechanical,
                                      const std::array<float, 3>& tool = {0.0f, 0.0f, 0.0f});

    // The lengths that the inverse kinematics divides by must be positive.
    bool valid() const;
};

struct JointLimits {
    Joints lower{};
    Joints upper{};
    bool contains(const Joints& q, double slack = 1e-6) const;
};

double degToRad(double deg);
double radToDeg(double rad);
// Angle in degrees brought into (-180, 180].
double wrapDegrees(double deg);

Eigen::Matrix3d rotationFromAbc(double aDeg, double bDeg, double cDeg);
// A, B, C of a rotation; A near -180 is reported as +180.
std::array<double, 3> abcFromRotation(const Eigen::Matrix3d& r);

Eigen::Isometry3d poseToFrame(const Pose& p);
Pose frameToPose(const Eigen::Isometry3d& frame);

// TCP frame for the given joints.
Eigen::Isometry3d forward(const ArmGeometry& g, const Joints& q);
Pose forwardPose(const ArmGeometry& g, const Joints& q);
// Wrist centre for the given joints (for tests and reach checks).
Eigen::Vector3d wristCentre(const ArmGeometry& g, const Joints& q);

// Every solution for the TCP frame, angles in (-180, 180]. Where the wrist
// (nearly) or the shoulder is singular the free angle is taken from the seed.
std::vector<Joints> inverseAll(const ArmGeometry& g, const Eigen::Isometry3d& target, const Joints& seed);

enum class IkStatus { Ok, OutOfLimits, Unreachable };

struct IkResult {
    IkStatus status = IkStatus::Unreachable;
    Joints joints{};         // the chosen solution (also when out of limits)
    std::array<bool, 6> outside{}; // axes beyond their limits (OutOfLimits)
};

// The solution nearest to the seed that lies within the limits; when none
// does, the nearest solution with the offending axes marked.
IkResult inverseNearest(const ArmGeometry& g, const Eigen::Isometry3d& target, const Joints& seed,
                        const JointLimits& limits);

// Same joint angles shifted by whole turns to lie nearest the seed.
Joints unwrapNear(const Joints& q, const Joints& seed);

} // namespace vq::kin
