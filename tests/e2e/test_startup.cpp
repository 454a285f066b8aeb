#include <gtest/gtest.h>

#include "e2e_rig.h"
#include "link/hex.h"

namespace vq::e2e {
namespace {

TEST(StartUp, ParameterBoxesShowTheControllersValues)
{
    Rig r;
    ASSERT_TRUE(r.start());
    const auto& p = r.arm().parameters();
    // The first cycle reads every block; 11 A0 (slot 92) comes last.
    r.waitFor([&] { return r.form().scheduler().tick() > 92 || !r.form().state().due(Slot::ReadPointSpeed); });
    r.idle(100);
    for (int i = 1; i <= 6; ++i) {
        auto k = static_cast<std::size_t>(i - 1);
        EXPECT_EQ(r.board().text("Text4", i), std::to_string(p.kp[k])) << i;
        EXPECT_EQ(r.board().text("Text5", i), std::to_string(p.ki[k])) << i;
        EXPECT_EQ(r.board().text("Text6", i), std::to_string(p.kd[k])) << i;
        EXPECT_EQ(r.board().text("Text17", i), *formatFixed(p.mechanical[k], 2)) << i;
        EXPECT_EQ(r.board().text("Text3", i), *formatFixed(p.reduction[k], 2)) << i;
        EXPECT_EQ(r.board().text("Text12", i), *formatFixed(p.encoder[k], 1)) << i;
        EXPECT_EQ(r.board().text("Text14", i), *formatFixed(p.limitPositive[k], 1)) << i;
        EXPECT_EQ(r.board().text("Text15", i), *formatFixed(p.limitNegative[k], 1)) << i;
    }
    for (int i = 0; i < 3; ++i) {
        auto k = static_cast<std::size_t>(i);
        EXPECT_EQ(r.board().text("Text16", i + 1), *formatFixed(p.tool[k], 2));
        EXPECT_EQ(r.board().text("Text10", i), *formatFixed(p.pointSpeed[k], 0));
        EXPECT_EQ(r.board().text("Text21", i), *formatFixed(p.lineSpeed[k], 0));
    }
    // The joint read-outs follow the arm.
    auto j = r.arm().joints();
    EXPECT_NEAR(r.label("Label2", 5), j[4], 0.001);
}

} // namespace
} // namespace vq::e2e
