#include "scene.h"

#include <algorithm>
#include <cmath>

#include "kinematics/paths.h"

namespace vq::view {

namespace {

double rad(double deg) { return kin::degToRad(deg); }

} // namespace

Camera Camera::top()
{
    Camera c;
    c.yaw = 180;
    c.pitch = 90;
    return c;
}

Camera Camera::front()
{
    Camera c;
    c.yaw = 0;
    c.pitch = 0;
    return c;
}

Camera Camera::side()
{
    Camera c;
    c.yaw = -90;
    c.pitch = 0;
    return c;
}

Vector3d Camera::eye() const
{
    const double p = rad(pitch);
    const double y = rad(yaw);
    return target + distance * Vector3d(std::cos(p) * std::cos(y), std::cos(p) * std::sin(y), std::sin(p));
}

Vector3d Camera::forward() const { return (target - eye()).normalized(); }

Vector3d Camera::right() const
{
    const double y = rad(yaw);
    return {-std::sin(y), std::cos(y), 0};
}

Vector3d Camera::up() const { return right().cross(forward()).normalized(); }

void Camera::orbit(double dYaw, double dPitch)
{
    yaw = kin::wrapDegrees(yaw + dYaw);
    pitch = std::clamp(pitch + dPitch, -89.0, 90.0);
}

void Camera::pan(double dxPixels, double dyPixels, double heightPixels)
{
    // A pixel at the target's distance is this many mm.
    const double mmPerPixel = 2.0 * distance * std::tan(rad(fieldOfView) / 2) / std::max(heightPixels, 1.0);
    target += (-dxPixels * right() + dyPixels * up()) * mmPerPixel;
}

void Camera::zoom(double factor)
{
    if (factor > 0) distance = std::clamp(distance / factor, 100.0, 20000.0);
}

std::optional<ScreenPoint> project(const Camera& camera, const Vector3d& p, double width, double height)
{
    const Vector3d v = p - camera.eye();
    const double depth = v.dot(camera.forward());
    if (depth < 1.0) return std::nullopt;
    const double f = (height / 2) / std::tan(rad(camera.fieldOfView) / 2);
    return ScreenPoint{width / 2 + f * v.dot(camera.right()) / depth, height / 2 - f * v.dot(camera.up()) / depth, depth};
}

std::optional<std::size_t> pick(const Camera& camera, const std::vector<Vector3d>& points, double x, double y,
                                double width, double height, double radius)
{
    std::optional<std::size_t> best;
    double bestDistance = radius;
    double bestDepth = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto s = project(camera, points[i], width, height);
        if (!s) continue;
        const double d = std::hypot(s->x - x, s->y - y);
        if (d > radius) continue;
        if (!best || d < bestDistance - 1e-9 || (std::abs(d - bestDistance) <= 1e-9 && s->depth < bestDepth)) {
            best = i;
            bestDistance = d;
            bestDepth = s->depth;
        }
    }
    return best;
}

LimitState limitState(std::optional<double> angle, std::optional<double> lowest, std::optional<double> highest)
{
    if (!angle || !lowest || !highest || !std::isfinite(*angle) || !std::isfinite(*lowest) || !std::isfinite(*highest))
        return LimitState::Unknown;
    const double lo = -std::abs(*lowest);
    const double hi = *highest;
    if (*angle <= lo || *angle >= hi) return LimitState::AtLimit;
    if (*angle < lo + kNearLimitDegrees || *angle > hi - kNearLimitDegrees) return LimitState::Near;
    return LimitState::Clear;
}

ProgramScene programScene(const std::vector<ProgramMove>& moves, const std::optional<Vector3d>& start,
                          const std::optional<kin::ArmGeometry>& geometry)
{
    ProgramScene scene;
    std::optional<Eigen::Isometry3d> at;
    if (start) {
        at = Eigen::Isometry3d::Identity();
        at->translation() = *start;
    }
    const auto frameOf = [](const std::array<double, 6>& v) {
        return kin::poseToFrame(kin::Pose{v[0], v[1], v[2], v[3], v[4], v[5]});
    };
    for (const ProgramMove& m : moves) {
        ProgramPiece piece;
        piece.line = m.line;
        piece.kind = m.kind;
        Eigen::Isometry3d to = Eigen::Isometry3d::Identity();
        switch (m.kind) {
        case Keyword::Movj: {
            if (!geometry) {
                scene.unplacedJointMoves.push_back(m.line);
                continue;
            }
            to = kin::forward(*geometry, m.target);
            piece.dashed = true;
            break;
        }
        case Keyword::Movp:
        case Keyword::Movl:
            to = frameOf(m.target);
            piece.dashed = m.kind == Keyword::Movp;
            break;
        case Keyword::Movc: {
            to = frameOf(m.target);
            piece.via = Vector3d(m.via[0], m.via[1], m.via[2]);
            if (!at) break; // no start known: the end point alone
            const auto arc = kin::arcPath(*at, *piece.via, to, m.runAngle);
            if (!arc) {
                scene.noArc.push_back(m.line);
                break;
            }
            // Points every 2 degrees of the arc, at least 8.
            const int n = std::max(8, static_cast<int>(std::ceil(arc->length / 2.0)));
            const int steps = std::min(n, 720);
            for (int i = 0; i <= steps; ++i) piece.path.push_back(arc->at(static_cast<double>(i) / steps).translation());
            // Ag may stop short of (or run past) the end point: the arm stops there.
            to.translation() = piece.path.back();
            break;
        }
        default:
            continue;
        }
        if (piece.path.empty() && at) piece.path = {at->translation(), to.translation()};
        piece.target = to.translation();
        at = to;
        scene.pieces.push_back(std::move(piece));
    }
    return scene;
}

std::array<Vector3d, 8> armPoints(const kin::ArmGeometry& g, const kin::Joints& q)
{
    const Eigen::Matrix3d r1 = Eigen::AngleAxisd(rad(q[0]), Vector3d::UnitZ()).toRotationMatrix();
    const Eigen::Matrix3d r2 = r1 * Eigen::AngleAxisd(rad(q[1]), Vector3d::UnitY()).toRotationMatrix();
    const Eigen::Matrix3d r23 = r1 * Eigen::AngleAxisd(rad(q[1] + q[2]), Vector3d::UnitY()).toRotationMatrix();
    const Vector3d shoulder = r1 * Vector3d(g.a1, 0, g.d1);
    const Vector3d elbow = shoulder + r2 * Vector3d(0, 0, g.a2);
    const Vector3d offset = elbow + r23 * Vector3d(0, 0, g.a3);
    const Vector3d wrist = kin::wristCentre(g, q);
    const Eigen::Isometry3d tcp = kin::forward(g, q);
    const Vector3d flange = tcp.translation() - tcp.linear() * g.tool;
    return {Vector3d(0, 0, 0), Vector3d(0, 0, g.d1), shoulder, elbow, offset, wrist, flange, tcp.translation()};
}

} // namespace vq::view
