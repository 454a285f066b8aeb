// The poll timer: QTimer's semantics (start, restart on a new interval,
// missed periods as one timeout, nothing after stop) on the kernel timer and
// on the zero-interval fallback, and the one-shot the simulator times its
// replies with. Bounds on counts are wide: these check what fires, not how
// precisely.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "link/period_timer.h"

namespace vq::test {
namespace {

struct Counted {
    PeriodTimer timer;
    int fired = 0;
    Counted() { QObject::connect(&timer, &PeriodTimer::timeout, [this] { ++fired; }); }
};

// Blocks the thread without running the event loop, as a long handler does.
void busy(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TEST(PeriodTimer, FiresEveryPeriodUntilStopped)
{
    Counted c;
    c.timer.setInterval(20);
    EXPECT_FALSE(c.timer.isActive());
    c.timer.start();
    EXPECT_TRUE(c.timer.isActive());
#ifdef Q_OS_LINUX
    EXPECT_TRUE(c.timer.isKernelTimer());
#endif
    QTest::qWait(300);
    EXPECT_GE(c.fired, 5);
    EXPECT_LE(c.fired, 16);
    c.timer.stop();
    EXPECT_FALSE(c.timer.isActive());
    const int atStop = c.fired;
    QTest::qWait(80);
    EXPECT_EQ(c.fired, atStop);
}

TEST(PeriodTimer, StopDiscardsAnExpiryNotYetDelivered)
{
    Counted c;
    c.timer.setInterval(5);
    c.timer.start();
    busy(30); // several periods pass while the loop is blocked
    c.timer.stop();
    QTest::qWait(40);
    EXPECT_EQ(c.fired, 0);
}

TEST(PeriodTimer, MissedPeriodsMakeOneTimeout)
{
    Counted c;
    c.timer.setInterval(5);
    c.timer.start();
    busy(60); // about twelve periods
    QElapsedTimer t;
    t.start();
    while (c.fired == 0 && t.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    EXPECT_EQ(c.fired, 1);
    c.timer.stop();
}

// A stall that ends shortly before the next period's expiration: the late
// timeout is not followed by that one a few milliseconds later (two polls
// bunched on the line), whatever the load makes of the timing.
TEST(PeriodTimer, ALateTimeoutIsNotFollowedClosely)
{
#ifdef Q_OS_LINUX
    Counted c;
    c.timer.setInterval(35);
    QElapsedTimer t;
    std::vector<qint64> at;
    QObject::connect(&c.timer, &PeriodTimer::timeout, [&] { at.push_back(t.nsecsElapsed()); });
    t.start();
    c.timer.start();
    busy(62); // the first expiration comes 27 ms late, 8 ms before the second
    while (at.size() < 3 && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    ASSERT_EQ(at.size(), 3u);
    for (std::size_t i = 1; i < at.size(); ++i) EXPECT_GE(at[i] - at[i - 1], 17'500'000) << "timeout " << i;
    c.timer.stop();
#endif
}

TEST(PeriodTimer, NewIntervalRestartsARunningTimer)
{
    Counted c;
    c.timer.setInterval(10000);
    c.timer.start();
    c.timer.setInterval(10);
    EXPECT_TRUE(c.timer.isActive());
    EXPECT_EQ(c.timer.interval(), 10);
    QTest::qWait(150);
    EXPECT_GE(c.fired, 3);
    c.timer.stop();

    // start() on a running timer begins a new period from now.
    Counted d;
    d.timer.setInterval(300);
    d.timer.start();
    QTest::qWait(200);
    d.timer.start();
    QTest::qWait(200); // 400 ms after the first start, 200 ms after the second
    EXPECT_EQ(d.fired, 0);
    QTest::qWait(250);
    EXPECT_GE(d.fired, 1);
}

TEST(PeriodTimer, ZeroIntervalFiresWheneverTheLoopIsIdle)
{
    Counted c;
    c.timer.setInterval(0);
    EXPECT_FALSE(c.timer.isKernelTimer());
    c.timer.start();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_GE(c.fired, 1);
    c.timer.stop();
    const int atStop = c.fired;
    QTest::qWait(20);
    EXPECT_EQ(c.fired, atStop);

    // Back to a period: the kernel timer again, not both.
    c.timer.setInterval(20);
    c.timer.start();
    QTest::qWait(110);
    EXPECT_LE(c.fired - atStop, 7);
    EXPECT_GE(c.fired - atStop, 2);
}

TEST(PeriodTimer, StartOnceFiresOnceNeverEarlyAndEndsAPeriodicRun)
{
    using namespace std::chrono;
    struct Case {
        const char* name;
        nanoseconds delay;
    };
    // Sub-millisecond and odd delays, and zero / negative (next loop pass).
    const Case cases[] = {{"2.5 ms", microseconds(2500)}, {"0.3 ms", microseconds(300)},
                          {"6.684 ms", nanoseconds(6684028)}, {"zero", nanoseconds(0)}, {"negative", milliseconds(-3)}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Counted c;
        c.timer.setInterval(10); // a periodic run, replaced by the one-shot
        c.timer.start();
        QElapsedTimer t;
        t.start();
        qint64 firedAfterNs = -1;
        QObject::connect(&c.timer, &PeriodTimer::timeout, [&] {
            if (firedAfterNs < 0) firedAfterNs = t.nsecsElapsed();
        });
        c.timer.startOnce(k.delay);
        EXPECT_TRUE(c.timer.isActive());
        EXPECT_EQ(c.fired, 0) << "never from inside startOnce";
        while (c.fired == 0 && t.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        ASSERT_EQ(c.fired, 1);
        EXPECT_GE(firedAfterNs, std::max<std::int64_t>(0, k.delay.count()));
        EXPECT_FALSE(c.timer.isActive());
        QTest::qWait(40); // four periods of the replaced run
        EXPECT_EQ(c.fired, 1);
    }

    // stop() discards a one-shot not yet delivered; start() goes back to
    // the period.
    Counted c;
    c.timer.setInterval(10);
    c.timer.startOnce(milliseconds(5));
    busy(20);
    c.timer.stop();
    QTest::qWait(30);
    EXPECT_EQ(c.fired, 0);
    c.timer.startOnce(milliseconds(5));
    c.timer.start();
    QTest::qWait(105);
    EXPECT_GE(c.fired, 3);
    EXPECT_TRUE(c.timer.isActive());
    c.timer.stop();
}

} // namespace
} // namespace vq::test
