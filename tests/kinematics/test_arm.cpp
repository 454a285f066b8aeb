// Forward and inverse kinematics of the arm and the geometry of its
// Cartesian paths.
#include <gtest/gtest.h>

#include <cmath>

#include "kinematics/arm.h"
#include "kinematics/paths.h"

using namespace vq::kin;

namespace {

// The controller's default arm and angle limits.
ArmGeometry defaultGeometry() { return ArmGeometry{}; }

JointLimits defaultLimits()
{
    JointLimits l;
    l.upper = {170, 110, 150, 180, 130, 360};
    l.lower = {-170, -110, -150, -180, -130, -360};
    return l;
}

double angleDiff(double a, double b) { return std::abs(wrapDegrees(a - b)); }

void expectFrameNear(const Eigen::Isometry3d& a, const Eigen::Isometry3d& b, double tol, const std::string& what)
{
    EXPECT_LT((a.translation() - b.translation()).norm(), tol) << what;
    EXPECT_LT((a.linear() - b.linear()).norm(), tol) << what;
}

const Joints kStart{0, 0, 0, 0, 90, 0};

} // namespace

TEST(Kinematics, ZeroAndStartPoses)
{
    const ArmGeometry g = defaultGeometry();
    // All joints 0: upper arm up, forearm and flange forward.
    const Pose zero = forwardPose(g, {0, 0, 0, 0, 0, 0});
    EXPECT_NEAR(zero.x, g.a1 + g.d4 + g.d6, 1e-9);
    EXPECT_NEAR(zero.y, 0, 1e-9);
    EXPECT_NEAR(zero.z, g.d1 + g.a2 + g.a3, 1e-9);
    // Start pose: the flange turned straight down, A 180 B 0 C 0.
    const Pose start = forwardPose(g, kStart);
    EXPECT_NEAR(start.x, g.a1 + g.d4, 1e-9);
    EXPECT_NEAR(start.z, g.d1 + g.a2 + g.a3 - g.d6, 1e-9);
    EXPECT_NEAR(start.a, 180, 1e-9);
    EXPECT_NEAR(start.b, 0, 1e-9);
    EXPECT_NEAR(start.c, 0, 1e-9);
    // J1 at 90 turns the arm to +Y and the yaw with it.
    const Pose turned = forwardPose(g, {90, 0, 0, 0, 90, 0});
    EXPECT_NEAR(turned.x, 0, 1e-9);
    EXPECT_NEAR(turned.y, g.a1 + g.d4, 1e-9);
    EXPECT_NEAR(turned.c, 90, 1e-9);
}

TEST(Kinematics, ToolOffsetIsInTheToolFrame)
{
    ArmGeometry g = defaultGeometry();
    const Pose bare = forwardPose(g, kStart);
    g.tool = Eigen::Vector3d(0, 0, 50); // 50 mm along the approach axis: downwards here
    const Pose tooled = forwardPose(g, kStart);
    EXPECT_NEAR(tooled.z, bare.z - 50, 1e-9);
    EXPECT_NEAR(tooled.x, bare.x, 1e-9);
    g.tool = Eigen::Vector3d(10, 0, 0); // tool X is base X at the start pose
    EXPECT_NEAR(forwardPose(g, kStart).x, bare.x + 10, 1e-9);
}

TEST(Kinematics, AbcRoundTrip)
{
    const double abcs[][3] = {{180, 0, 0}, {0, 0, 0}, {30, -20, 45}, {-150, 60, 170}, {90, 89, -90}, {10, -89.5, 5}};
    for (const auto& abc : abcs) {
        const auto back = abcFromRotation(rotationFromAbc(abc[0], abc[1], abc[2]));
        EXPECT_LT(angleDiff(back[0], abc[0]), 1e-6) << abc[0] << " " << abc[1] << " " << abc[2];
        EXPECT_LT(angleDiff(back[1], abc[1]), 1e-6);
        EXPECT_LT(angleDiff(back[2], abc[2]), 1e-6);
    }
    // A at the end of its range is shown as +180, not -180.
    EXPECT_EQ(abcFromRotation(rotationFromAbc(-180, 0, 0))[0], 180.0);
}

TEST(Kinematics, ForwardOfInverseOverTheWorkspace)
{
    const ArmGeometry g = defaultGeometry();
    const double orientations[][3] = {{180, 0, 0}, {150, 20, -30}, {-170, -15, 60}, {90, 45, 10}};
    int reachable = 0;
    int points = 0;
    for (double x = 100; x <= 300; x += 50) {
        for (double y = -200; y <= 200; y += 100) {
            for (double z = 0; z <= 400; z += 100) {
                for (const auto& o : orientations) {
                    ++points;
                    const Eigen::Isometry3d target = poseToFrame(Pose{x, y, z, o[0], o[1], o[2]});
                    const auto all = inverseAll(g, target, kStart);
                    if (all.empty()) {
                        continue;
                    }
                    ++reachable;
                    for (const Joints& q : all) {
                        expectFrameNear(forward(g, q), target, 1e-6,
                                        "at " + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(z));
                    }
                }
            }
        }
    }
    // Most of that box is within reach of the default arm.
    EXPECT_GT(reachable, points * 3 / 4);
}

TEST(Kinematics, InverseFindsTheJointsThatMadeThePose)
{
    const ArmGeometry g = defaultGeometry();
    const JointLimits lim = defaultLimits();
    const Joints cases[] = {{0, 0, 0, 0, 90, 0},      {30, 20, 10, 15, 60, -40}, {-120, -40, 60, 100, -30, 170},
                            {90, 0, 0, -90, 30, 90},  {45, 80, -100, -170, 120, 300}, {-10, 10, 20, 0, 5, 0}};
    for (const Joints& q : cases) {
        const auto all = inverseAll(g, forward(g, q), q);
        bool found = false;
        for (const Joints& s : all) {
            const Joints u = unwrapNear(s, q);
            bool same = true;
            for (std::size_t i = 0; i < 6; ++i) {
                same = same && std::abs(u[i] - q[i]) < 1e-6;
            }
            found = found || same;
        }
        EXPECT_TRUE(found) << q[0] << " " << q[1] << " " << q[2] << " " << q[3] << " " << q[4] << " " << q[5];
        // Seeded with the joints themselves, the nearest solution is them.
        const IkResult r = inverseNearest(g, forward(g, q), q, lim);
        EXPECT_EQ(r.status, IkStatus::Ok);
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_NEAR(r.joints[i], q[i], 1e-6) << "axis " << i + 1;
        }
    }
}

TEST(Kinematics, WristSingularityKeepsJointFour)
{
    const ArmGeometry g = defaultGeometry();
    const Joints q{10, 20, 30, 40, 0, 50}; // J4 and J6 in line
    const auto all = inverseAll(g, forward(g, q), Joints{10, 20, 30, 25, 0, 0});
    ASSERT_FALSE(all.empty());
    bool kept = false;
    for (const Joints& s : all) {
        expectFrameNear(forward(g, s), forward(g, q), 1e-6, "singular wrist");
        kept = kept || std::abs(s[3] - 25) < 1e-9;
    }
    EXPECT_TRUE(kept);
}

// Every joint set of a grid, singular wrists included, comes back from the
// inverse of its pose when seeded with itself; seeded with the pose as the
// console shows it (two decimals), a straight wrist keeps J4 and J6.
TEST(Kinematics, InverseOfForwardOverAJointGrid)
{
    const ArmGeometry g = defaultGeometry();
    const JointLimits lim = defaultLimits();
    const auto shown = [](double v) { return static_cast<double>(static_cast<float>(std::round(v * 100) / 100)); };
    int checked = 0;
    for (double q1 : {-150.0, -60.0, 0.0, 45.0, 120.0})
        for (double q2 : {-60.0, 0.0, 40.0})
            for (double q3 : {-100.0, -20.0, 30.0})
                for (double q4 : {-170.0, -90.0, 0.0, 60.0})
                    for (double q5 : {-120.0, -45.0, 0.0, 0.01, 30.0, 90.0})
                        for (double q6 : {-300.0, -90.0, 0.0, 170.0}) {
                            const Joints q{q1, q2, q3, q4, q5, q6};
                            const Eigen::Vector3d wc = wristCentre(g, q);
                            if (std::hypot(wc.x(), wc.y()) < 1.0) continue; // over the base axis J1 is free
                            ++checked;
                            const std::string at = ::testing::PrintToString(q);
                            const IkResult exact = inverseNearest(g, forward(g, q), q, lim);
                            ASSERT_EQ(exact.status, IkStatus::Ok) << at;
                            for (std::size_t i = 0; i < 6; ++i) ASSERT_NEAR(exact.joints[i], q[i], 1e-6) << at;

                            const Pose p = forwardPose(g, q);
                            const Pose taught{shown(p.x), shown(p.y), shown(p.z), shown(p.a), shown(p.b), shown(p.c)};
                            const IkResult back = inverseNearest(g, poseToFrame(taught), q, lim);
                            ASSERT_EQ(back.status, IkStatus::Ok) << at;
                            // A straight wrist is fitted: off by at most d6 times 0.05 degrees.
                            expectFrameNear(forward(g, back.joints), poseToFrame(taught), 0.06, at);
                            if (std::abs(q5) < 0.05) {
                                EXPECT_NEAR(back.joints[3], q4, 1e-9) << at;
                                EXPECT_NEAR(back.joints[5], q6, 0.05) << at;
                            }
                        }
    EXPECT_GT(checked, 3000);
}

TEST(Kinematics, OutOfReachAndOutOfLimits)
{
    const ArmGeometry g = defaultGeometry();
    const JointLimits lim = defaultLimits();
    EXPECT_EQ(inverseNearest(g, poseToFrame(Pose{1000, 0, 0, 180, 0, 0}), kStart, lim).status, IkStatus::Unreachable);
    JointLimits tight = lim;
    tight.upper[0] = 10; // J1 may not turn as far as atan2(150, 200)
    const IkResult r = inverseNearest(g, poseToFrame(Pose{200, 150, 150, 180, 0, 0}), kStart, tight);
    EXPECT_EQ(r.status, IkStatus::OutOfLimits);
    EXPECT_TRUE(r.outside[0]);
}

TEST(Kinematics, ArcThroughThreePoints)
{
    const Eigen::Isometry3d from = poseToFrame(Pose{200, 50, 150, 180, 0, 0});
    const Eigen::Isometry3d to = poseToFrame(Pose{200, -50, 150, 180, 0, 0});
    const auto arc = arcPath(from, Eigen::Vector3d(250, 0, 150), to, 0);
    ASSERT_TRUE(arc.has_value());
    EXPECT_NEAR(arc->length, std::numbers::pi * 50, 1e-9); // half a circle of radius 50
    const Eigen::Vector3d centre(200, 0, 150);
    for (double s = 0; s <= 1.0; s += 0.125) {
        EXPECT_NEAR((arc->at(s).translation() - centre).norm(), 50, 1e-9);
    }
    EXPECT_LT((arc->at(0.5).translation() - Eigen::Vector3d(250, 0, 150)).norm(), 1e-9);
    EXPECT_LT((arc->at(1.0).translation() - to.translation()).norm(), 1e-9);

    // Run angle: 90 degrees towards the via point, -90 away from it, 360
    // a full turn.
    const auto quarter = arcPath(from, Eigen::Vector3d(250, 0, 150), to, 90);
    EXPECT_LT((quarter->at(1.0).translation() - Eigen::Vector3d(250, 0, 150)).norm(), 1e-9);
    const auto back = arcPath(from, Eigen::Vector3d(250, 0, 150), to, -90);
    EXPECT_LT((back->at(1.0).translation() - Eigen::Vector3d(150, 0, 150)).norm(), 1e-9);
    const auto full = arcPath(from, Eigen::Vector3d(250, 0, 150), to, 360);
    EXPECT_LT((full->at(1.0).translation() - from.translation()).norm(), 1e-9);
    EXPECT_NEAR(full->length, 2 * std::numbers::pi * 50, 1e-9);

    // No circle through points on one line or through a repeated point.
    EXPECT_FALSE(arcPath(from, Eigen::Vector3d(200, 0, 150), to, 0).has_value());
    EXPECT_FALSE(arcPath(from, from.translation(), to, 0).has_value());
}
