// What the 3D path view draws, as plain geometry: the camera and its
// projection onto the widget, picking a drawn point under the mouse, the
// program's moves as polylines, the arm's links from its joint angles, and
// how near a joint is to its limits. No widgets and no Qt: the view paints
// what these functions give, and the tests check them directly.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <Eigen/Geometry>

#include "kinematics/arm.h"
#include "program/program_moves.h"

namespace vq::view {

using Eigen::Vector3d;

// A perspective camera orbiting a target point. Yaw turns about the base Z
// axis (0: looking from +X towards the target), pitch lifts the eye (90:
// straight down). Lengths in mm, angles in degrees.
struct Camera {
    double yaw = 35;
    double pitch = 25;
    double distance = 1000;
    Vector3d target{150, 0, 200};
    double fieldOfView = 40; // vertical, degrees

    static Camera standard() { return {}; }
    static Camera top();   // from above: X up the screen, Y to the left
    static Camera front(); // from +X, facing the arm: Y to the right, Z up
    static Camera side();  // from -Y: X to the right, Z up

    Vector3d eye() const;
    Vector3d forward() const; // unit, from the eye into the scene
    Vector3d right() const;   // unit, the screen's x direction
    Vector3d up() const;      // unit, the screen's upward direction

    // Mouse gestures: orbit by degrees, pan by pixels of a widget of that
    // height, zoom by a factor (> 1 comes closer).
    void orbit(double dYaw, double dPitch);
    void pan(double dxPixels, double dyPixels, double heightPixels);
    void zoom(double factor);
};

// A point on the widget (pixels, y downwards) and its distance in front of
// the eye; nothing for a point behind or too near the eye.
struct ScreenPoint {
    double x = 0;
    double y = 0;
    double depth = 0;
};
std::optional<ScreenPoint> project(const Camera& camera, const Vector3d& p, double width, double height);

// The index of the point drawn nearest (x, y) within `radius` pixels, the
// one nearer the eye when two are as near; nothing when none is.
std::optional<std::size_t> pick(const Camera& camera, const std::vector<Vector3d>& points, double x, double y,
                                double width, double height, double radius = 8);

// How a joint stands against its limits.
enum class LimitState { Unknown, Clear, Near, AtLimit };
inline constexpr double kNearLimitDegrees = 5;
// The negative limit is taken as its negative whatever its sign (the
// controller reads a positive lowest angle that way).
LimitState limitState(std::optional<double> angle, std::optional<double> lowest, std::optional<double> highest);

// A drawn piece of the program: a polyline, dashed where the controller
// chooses the path (MOVP, MOVJ), and the numbered point it ends at.
struct ProgramPiece {
    std::size_t line = 0; // 0-based line of the instruction
    Keyword kind = Keyword::None;
    std::vector<Vector3d> path; // from the previous point to the target
    bool dashed = false;
    Vector3d target{0, 0, 0};
    std::optional<Vector3d> via; // MOVC
};

struct ProgramScene {
    std::vector<ProgramPiece> pieces;
    std::vector<std::size_t> unplacedJointMoves; // lines of MOVJ targets the view cannot place
    std::vector<std::size_t> noArc;              // lines of MOVC whose points make no arc
};

// The program's moves from the arm's present TCP (when known) on. MOVJ
// targets are placed with the geometry when one is given; otherwise they
// are listed and the next move starts from the last placed point.
ProgramScene programScene(const std::vector<ProgramMove>& moves, const std::optional<Vector3d>& start,
                          const std::optional<kin::ArmGeometry>& geometry);

// The arm's joints as points from the base: base, shoulder column top,
// shoulder, elbow, elbow offset, wrist centre, flange, TCP.
std::array<Vector3d, 8> armPoints(const kin::ArmGeometry& g, const kin::Joints& q);

} // namespace vq::view
