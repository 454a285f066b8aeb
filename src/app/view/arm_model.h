// What the pictures show, as the decoded replies left it: the arm's joints
// and pose, the limits it reported, servo and alarm state, the TCP's trail
// and the program's drawn moves. The picture window keeps one; the views
// read it when they paint.
#pragma once

#include <array>
#include <deque>
#include <optional>

#include "kinematics/arm.h"
#include "scene.h"

namespace vq::view {

struct TrailPoint {
    double time = 0; // seconds since the session began
    Vector3d at{0, 0, 0};
};

struct ArmModel {
    static constexpr double kTrailSeconds = 60;

    double now = 0;
    std::optional<kin::Joints> joints;
    std::optional<kin::Pose> pose;
    std::array<std::optional<double>, 6> lowest;  // block 11 50
    std::array<std::optional<double>, 6> highest; // block 11 40
    std::array<bool, 6> servoOn{};
    std::array<int, 6> alarm{};
    std::deque<TrailPoint> trail; // the last kTrailSeconds, oldest first
    // The geometry the arm and MOVJ targets are drawn with ("显示机械臂"),
    // nothing when the operator has not chosen it.
    std::optional<kin::ArmGeometry> geometry;
    ProgramScene program;
    std::optional<std::size_t> highlightLine; // running, or selected in the editor

    // Drops the trail older than kTrailSeconds before `now`.
    void pruneTrail();
};

} // namespace vq::view
