// The picture window fed through the reply handler's listener: the gauges
// against limits the controller reported, the recording, the plot, and
// repaints at most 15 a second, none while hidden.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTest>

#include "app/view/arm_view.h"
#include "app/view/joint_gauge.h"
#include "app/view/joint_plot.h"
#include "app/view/views_window.h"
#include "link/form_state.h"
#include "link/slots.h"
#include "support/fake_board.h"
#include "telemetry/reply_frames.h"

using namespace vq;
using namespace vq::view;

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "test_views";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

struct Feed {
    FormState state;
    test::FakeBoard board;
    ReplyHandler replies{state, board};

    void read(std::uint16_t block, const test::Bytes& data)
    {
        const Request request{Slot::ReadPose, 0x03, block, static_cast<std::uint16_t>(data.size() / 2),
                              static_cast<int>(data.size()) + 5};
        replies.handle(Reply{request, block, true, data});
    }
    void pose(std::array<float, 6> joints, std::array<float, 3> xyz)
    {
        test::Bytes data;
        for (float j : joints) test::appendFloat(data, j);
        for (float v : xyz) test::appendFloat(data, v);
        for (float v : {180.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f}) test::appendFloat(data, v);
        read(reg::kPose, data);
    }
};

// The window, shown, listening to the feed.
struct Shown {
    QApplication& application = app();
    Feed feed;
    ViewsWindow w;
    explicit Shown(bool simulate) : w(feed.board, nullptr, nullptr, simulate)
    {
        w.listenTo(feed.replies);
        w.show();
    }
};

// Processes events until the condition holds or the cap passes.
template <class F>
bool waitFor(F done, int capMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < capMs) QTest::qWait(10);
    return done();
}

} // namespace

TEST(ViewsWindow, GaugesPlotAndRecordingFollowTheReplies)
{
    Shown shown(false);
    Feed& feed = shown.feed;
    ViewsWindow& w = shown.w;
    for (int axis = 1; axis <= 6; ++axis) EXPECT_EQ(w.gauge(axis).state(), LimitState::Unknown);
    EXPECT_FALSE(w.showArm().isChecked()); // not the simulator: no geometry of the real arm
    EXPECT_FALSE(w.showArm().toolTip().isEmpty());

    feed.read(reg::kMaxPositive, test::floatBytes({170, 110, 150, 180, 130, 360}));
    feed.read(reg::kMaxNegative, test::floatBytes({-170, 110, -150, -180, -130, -360})); // J2's given positive
    feed.pose({167, -112, 0, 0, 90, 0}, {200, 0, 310});
    ASSERT_TRUE(waitFor([&] { return w.gauge(1).state() != LimitState::Unknown; }));
    const LimitState want[6] = {LimitState::Near, LimitState::AtLimit, LimitState::Clear,
                                LimitState::Clear, LimitState::Clear, LimitState::Clear};
    for (int axis = 1; axis <= 6; ++axis) EXPECT_EQ(w.gauge(axis).state(), want[axis - 1]) << "axis " << axis;
    EXPECT_STREQ(w.gauge(2).property("limitState").toByteArray().constData(), "limit");

    for (int i = 0; i < 20; ++i) feed.pose({static_cast<float>(i), 0, 0, 0, 90, 0}, {200.0f + i, 0, 310});
    EXPECT_EQ(w.recorder().size(), 21u);
    ASSERT_TRUE(waitFor([&] { return w.plot().pointsShown(0) == 21; }));
    EXPECT_EQ(w.model().trail.size(), 20u); // the first two poses stand at one point
    w.plot().setSeriesShown(0, false);
    EXPECT_EQ(w.plot().pointsShown(0), 0);
    w.plot().setPaused(true);
    feed.pose({1, 0, 0, 0, 90, 0}, {300, 0, 310});
    QTest::qWait(3 * ViewsWindow::kFrameMs);
    EXPECT_EQ(w.plot().pointsShown(1), 21); // paused: the picture holds
    EXPECT_EQ(w.recorder().size(), 22u);   // the recording goes on
}

TEST(ViewsWindow, RepaintsAreCoalescedAndSkippedWhileHidden)
{
    Shown shown(true);
    Feed& feed = shown.feed;
    ViewsWindow& w = shown.w;
    ASSERT_TRUE(waitFor([&] { return w.framesPainted() > 0; }));
    // Replies far faster than the frame rate, for 600 ms and at least 60
    // replies (a starved machine feeds fewer in the time).
    const int before = w.framesPainted();
    QElapsedTimer t;
    t.start();
    int replies = 0;
    while (t.elapsed() < 600 || replies < 60) {
        feed.pose({static_cast<float>(replies % 90), 0, 0, 0, 90, 0}, {200, static_cast<float>(replies % 50), 310});
        ++replies;
        QTest::qWait(2);
    }
    const double seconds = t.elapsed() / 1000.0;
    const int painted = w.framesPainted() - before;
    EXPECT_LE(painted, static_cast<int>(seconds * 1000 / ViewsWindow::kFrameMs) + 2);

    w.hide();
    const int hidden = w.framesPainted();
    for (int i = 0; i < 50; ++i) {
        feed.pose({static_cast<float>(i), 0, 0, 0, 90, 0}, {200, 0, 310});
        QTest::qWait(5);
    }
    EXPECT_EQ(w.framesPainted(), hidden);
    EXPECT_EQ(w.recorder().size(), static_cast<std::size_t>(replies + 50)); // recorded all the same
}
