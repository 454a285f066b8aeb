// The 3D view's geometry without widgets: projection of the presets,
// mouse gestures, picking, the program's drawn moves, limits.
#include <gtest/gtest.h>

#include <cmath>

#include "app/view/scene.h"

using namespace vq;
using namespace vq::view;

namespace {

constexpr double kW = 800;
constexpr double kH = 600;

ScreenPoint at(const Camera& c, const Vector3d& p)
{
    const auto s = project(c, p, kW, kH);
    EXPECT_TRUE(s.has_value());
    return s.value_or(ScreenPoint{});
}

int sign(double v) { return v > 1e-6 ? 1 : (v < -1e-6 ? -1 : 0); }

} // namespace

TEST(Scene, PresetsShowTheBaseAxesWhereAnOperatorExpectsThem)
{
    struct Row {
        const char* name;
        Camera camera;
        Vector3d step; // from the target
        int dx;        // screen direction: +1 right, -1 left
        int dy;        // +1 down, -1 up
    };
    const Row rows[] = {
        {"front +Y", Camera::front(), {0, 100, 0}, +1, 0},  {"front +Z", Camera::front(), {0, 0, 100}, 0, -1},
        {"side +X", Camera::side(), {100, 0, 0}, +1, 0},    {"side +Z", Camera::side(), {0, 0, 100}, 0, -1},
        {"top +X", Camera::top(), {100, 0, 0}, 0, -1},      {"top +Y", Camera::top(), {0, 100, 0}, -1, 0},
        {"standard +Z", Camera::standard(), {0, 0, 100}, 0, -1},
    };
    for (const Row& r : rows) {
        const ScreenPoint centre = at(r.camera, r.camera.target);
        EXPECT_NEAR(centre.x, kW / 2, 1e-6) << r.name;
        EXPECT_NEAR(centre.y, kH / 2, 1e-6) << r.name;
        const ScreenPoint moved = at(r.camera, r.camera.target + r.step);
        EXPECT_EQ(sign(moved.x - centre.x), r.dx) << r.name;
        EXPECT_EQ(sign(moved.y - centre.y), r.dy) << r.name;
    }
    // Behind the eye nothing is drawn.
    const Camera c = Camera::front();
    EXPECT_FALSE(project(c, c.eye() - c.forward() * 10, kW, kH).has_value());
}

TEST(Scene, PanZoomAndOrbitMoveThePictureAsTheMouseDoes)
{
    Camera c = Camera::standard();
    const Vector3d p = c.target;
    c.pan(40, -25, kH); // the scene follows the mouse: 40 px right, 25 px up
    const ScreenPoint panned = at(c, p);
    EXPECT_NEAR(panned.x, kW / 2 + 40, 1e-6);
    EXPECT_NEAR(panned.y, kH / 2 - 25, 1e-6);

    Camera z = Camera::front();
    const Vector3d side = z.target + Vector3d(0, 50, 0);
    const double before = at(z, side).x - kW / 2;
    z.zoom(2); // twice as close: a point in the target's plane twice as far from the centre
    EXPECT_NEAR(at(z, side).x - kW / 2, 2 * before, 1e-6);

    Camera o = Camera::front();
    o.orbit(0, 200); // pitch stops straight above
    EXPECT_EQ(o.pitch, 90);
    o.orbit(370, 0);
    EXPECT_NEAR(o.yaw, 10, 1e-9);
}

TEST(Scene, PickingFindsThePointUnderTheMouse)
{
    const Camera c = Camera::front();
    const std::vector<Vector3d> points{c.target, c.target + Vector3d(0, 100, 0), c.target + Vector3d(200, 0, 0)};
    const ScreenPoint second = at(c, points[1]);
    EXPECT_EQ(pick(c, points, second.x + 3, second.y - 3, kW, kH), std::optional<std::size_t>(1));
    EXPECT_FALSE(pick(c, points, second.x + 30, second.y, kW, kH).has_value());
    // The target and the point 200 mm nearer the eye lie on one ray: the nearer wins.
    EXPECT_EQ(pick(c, points, kW / 2, kH / 2, kW, kH), std::optional<std::size_t>(2));
}

TEST(Scene, ProgramMovesAsDrawn)
{
    const Vector3d start(200, 50, 150);
    auto move = [](Keyword k, std::size_t line, std::array<double, 6> target, std::array<double, 6> via = {},
                   double ag = 0) {
        ProgramMove m;
        m.kind = k;
        m.line = line;
        m.target = target;
        m.via = via;
        m.runAngle = ag;
        return m;
    };
    const std::vector<ProgramMove> moves{
        move(Keyword::Movl, 2, {200, 50, 250, 180, 0, 0}),
        move(Keyword::Movp, 3, {200, 50, 150, 180, 0, 0}),
        move(Keyword::Movc, 4, {200, -50, 150, 180, 0, 0}, {250, 0, 150, 180, 0, 0}),  // half circle
        move(Keyword::Movc, 6, {200, -50, 150, 180, 0, 0}, {250, 0, 150, 180, 0, 0}, 90), // no arc: starts at its end
        move(Keyword::Movj, 8, {0, 0, 0, 0, 90, 0}),
        move(Keyword::Movc, 9, {300, 0, 150, 180, 0, 0}, {250, 0, 150, 180, 0, 0}, 90), // from the MOVJ target
    };
    const ProgramScene scene = programScene(moves, start, std::nullopt);
    ASSERT_EQ(scene.pieces.size(), 5u);
    EXPECT_EQ(scene.unplacedJointMoves, std::vector<std::size_t>{8});
    EXPECT_EQ(scene.noArc, std::vector<std::size_t>{6});
    const ProgramPiece& line = scene.pieces[0];
    EXPECT_FALSE(line.dashed);
    ASSERT_EQ(line.path.size(), 2u);
    EXPECT_LT((line.path[0] - start).norm(), 1e-9);
    EXPECT_TRUE(scene.pieces[1].dashed);

    const ProgramPiece& arc = scene.pieces[2];
    EXPECT_FALSE(arc.dashed);
    ASSERT_GT(arc.path.size(), 8u);
    const Vector3d centre(200, 0, 150);
    double nearestVia = 1e9;
    for (const Vector3d& p : arc.path) {
        EXPECT_NEAR((p - centre).norm(), 50, 1e-6);
        nearestVia = std::min(nearestVia, (p - Vector3d(250, 0, 150)).norm());
    }
    EXPECT_LT(nearestVia, 2.5); // the arc passes the via point
    EXPECT_LT((arc.target - Vector3d(200, -50, 150)).norm(), 1e-9);

    // Without the MOVJ placed, the last arc starts where the arm was before
    // it: at the end of the half circle, a quarter turn through the via.
    const ProgramPiece& quarter = scene.pieces[4];
    EXPECT_LT((quarter.path.front() - Vector3d(200, -50, 150)).norm(), 1e-9);

    // With the arm's geometry the MOVJ target is placed, dashed, and the arc
    // after it starts there.
    const ProgramScene placed = programScene(moves, start, kin::ArmGeometry{});
    EXPECT_TRUE(placed.unplacedJointMoves.empty());
    ASSERT_EQ(placed.pieces.size(), 6u);
    EXPECT_TRUE(placed.pieces[4].dashed);
    EXPECT_LT((placed.pieces[4].target - Vector3d(200, 0, 310)).norm(), 1e-9);
    EXPECT_LT((placed.pieces[5].path.front() - Vector3d(200, 0, 310)).norm(), 1e-9);

    // No start known: the first move is its point alone.
    const ProgramScene loose = programScene(moves, std::nullopt, std::nullopt);
    EXPECT_TRUE(loose.pieces[0].path.empty());
}

TEST(Scene, JointsAgainstTheirLimits)
{
    struct Row {
        std::optional<double> angle, lowest, highest;
        LimitState want;
    };
    const Row rows[] = {
        {std::nullopt, -170.0, 170.0, LimitState::Unknown}, {10.0, std::nullopt, 170.0, LimitState::Unknown},
        {10.0, -170.0, std::nullopt, LimitState::Unknown},  {0.0, -170.0, 170.0, LimitState::Clear},
        {164.9, -170.0, 170.0, LimitState::Clear},          {165.1, -170.0, 170.0, LimitState::Near},
        {-165.5, -170.0, 170.0, LimitState::Near},          {170.0, -170.0, 170.0, LimitState::AtLimit},
        {-175.0, -170.0, 170.0, LimitState::AtLimit},       {-166.0, 170.0, 170.0, LimitState::Near}, // positive lowest
        {NAN, -170.0, 170.0, LimitState::Unknown},
    };
    for (const Row& r : rows)
        EXPECT_EQ(limitState(r.angle, r.lowest, r.highest), r.want) << r.angle.value_or(-999);
}

TEST(Scene, ArmPointsEndAtTheTcp)
{
    kin::ArmGeometry g;
    g.tool = Vector3d(0, 0, 40);
    const kin::Joints q{30, 20, -10, 15, 60, -45};
    const auto pts = armPoints(g, q);
    EXPECT_LT((pts.back() - kin::forward(g, q).translation()).norm(), 1e-9);
    EXPECT_LT((pts[5] - kin::wristCentre(g, q)).norm(), 1e-9);
    EXPECT_NEAR((pts[3] - pts[2]).norm(), g.a2, 1e-9);
    EXPECT_NEAR((pts[6] - pts[5]).norm(), g.d6, 1e-9);
    EXPECT_NEAR((pts[7] - pts[6]).norm(), 40, 1e-9);
}
