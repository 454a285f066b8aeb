// End-to-end: the picture window opened from menu 功能 follows the simulated
// arm: gauges against the limits it reports, the program's points before
// Run, and the recording exported from the menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>

#include <fstream>
#include <string>

#include "app/view/joint_gauge.h"
#include "app/view/views_window.h"
#include "e2e_rig.h"

namespace vq::e2e {

TEST(PicturesE2e, GaugesProgramPointsAndExport)
{
    Rig r;
    ASSERT_TRUE(r.start());
    view::ViewsWindow& views = *r.console->views();
    EXPECT_FALSE(views.isVisible());
    r.window().action("showViews")->trigger();
    ASSERT_TRUE(views.isVisible());
    EXPECT_TRUE(views.showArm().isChecked()); // the simulator's arm: its geometry is drawn

    // Limits come from the start-up reads, the angles from the pose reads.
    ASSERT_TRUE(r.waitFor([&] { return views.gauge(1).state() == view::LimitState::Clear; }, kGenerousWaitMs));
    r.arm().setJoints({167, -108.5, 0, 0, 90, 0});
    ASSERT_TRUE(r.waitFor([&] { return views.gauge(1).state() == view::LimitState::Near; }, kGenerousWaitMs));
    EXPECT_EQ(views.gauge(2).state(), view::LimitState::Near);
    r.arm().setJoints({0, 0, 150, 0, 90, 0}); // J3 at its highest angle
    ASSERT_TRUE(r.waitFor([&] { return views.gauge(3).state() == view::LimitState::AtLimit; }, kGenerousWaitMs));
    EXPECT_EQ(views.gauge(1).state(), view::LimitState::Clear);

    // The program's points, before anything runs.
    r.board().setText(Ctl::ProgramEditor, kNoIndex,
                      "MOVP X1=200 Y1=150 Z1=150 A1=180 B1=0 C1=0\r\nMOVL X1=200 Y1=50 Z1=150 A1=180 B1=0 C1=0\r\n"
                      "MOVC X2=250 Y2=0 Z2=150 A2=180 B2=0 C2=0\r\n     X3=200 Y3=-50 Z3=150 A3=180 B3=0 C3=0 Ag=0\r\n");
    ASSERT_TRUE(r.waitFor([&] { return views.model().program.pieces.size() == 3; }));
    EXPECT_EQ(views.model().program.pieces[2].line, 2u);
    EXPECT_GT(views.model().program.pieces[2].path.size(), 8u);

    // The recording, exported from the menu: a header and a row per sample.
    const std::string path = ::testing::TempDir() + "/pictures-e2e.csv";
    r.prompts.saveNames = {path};
    ASSERT_TRUE(r.waitFor([&] { return views.recorder().size() >= 5; }));
    r.window().action("exportRecording")->trigger();
    const std::size_t rows = views.recorder().size(); // no reply came in between: no event loop ran
    std::ifstream in(path);
    std::size_t lines = 0;
    for (std::string l; std::getline(in, l);) ++lines;
    EXPECT_EQ(lines, rows + 1);
    EXPECT_NE(r.board().text(Ctl::StatusLine).find("已导出"), std::string::npos);
}

} // namespace vq::e2e
