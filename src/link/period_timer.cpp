#include "period_timer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <limits>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace vq {

PeriodTimer::PeriodTimer(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_LINUX
    fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &PeriodTimer::onExpired);
    }
#endif
    fallback_ = new QTimer(this);
    fallback_->setTimerType(Qt::PreciseTimer);
    connect(fallback_, &QTimer::timeout, this, &PeriodTimer::fire);
}

PeriodTimer::~PeriodTimer()
{
#ifdef Q_OS_LINUX
    if (fd_ >= 0) {
        delete notifier_; // before its descriptor goes
        ::close(fd_);
    }
#endif
}

void PeriodTimer::setInterval(int ms)
{
    interval_ = ms < 0 ? 0 : ms;
    if (active_) start();
}

void PeriodTimer::start()
{
    using std::chrono::milliseconds;
    active_ = true;
    once_ = false;
    if (isKernelTimer()) {
        fallback_->stop();
        arm(milliseconds(interval_), milliseconds(interval_));
    } else {
        arm({}, {});
        fallback_->setSingleShot(false);
        fallback_->start(interval_);
    }
}

void PeriodTimer::startOnce(std::chrono::nanoseconds delay)
{
    active_ = true;
    once_ = true;
    if (fd_ >= 0 && delay.count() > 0) {
        fallback_->stop();
        arm(delay, {});
    } else {
        arm({}, {});
        // Whole milliseconds, rounded up: never before the delay.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(delay, std::chrono::nanoseconds{}));
        fallback_->setSingleShot(true);
        fallback_->start(static_cast<int>(std::min<std::int64_t>(ms.count(), std::numeric_limits<int>::max())));
    }
}

void PeriodTimer::stop()
{
    active_ = false;
    once_ = false;
    fallback_->stop();
    arm({}, {});
}

void PeriodTimer::arm(std::chrono::nanoseconds first, std::chrono::nanoseconds period)
{
#ifdef Q_OS_LINUX
    if (fd_ < 0) return;
    auto toSpec = [](std::chrono::nanoseconds t) {
        timespec ts{};
        ts.tv_sec = static_cast<time_t>(t.count() / 1000000000);
        ts.tv_nsec = static_cast<long>(t.count() % 1000000000);
        return ts;
    };
    itimerspec spec{};
    spec.it_value = toSpec(first); // zero disarms
    spec.it_interval = toSpec(period);
    // Setting the timer also clears expirations not yet read.
    ::timerfd_settime(fd_, 0, &spec, nullptr);
#else
    (void)first;
    (void)period;
#endif
}

void PeriodTimer::fire()
{
    if (once_) { // a one-shot ends with its timeout
        once_ = false;
        active_ = false;
    }
    emit timeout();
}

void PeriodTimer::skipBunchedExpiration()
{
#ifdef Q_OS_LINUX
    // The kernel keeps the period's phase. After the loop was held up for
    // most of a period, the next expiration is due soon after this late
    // one, and two timeouts (two requests on the line) would follow each
    // other closely. That next expiration is skipped: the timeout after
    // this one comes on the phase at least half a period from now.
    itimerspec left{};
    if (::timerfd_gettime(fd_, &left) != 0) return;
    const auto next = std::chrono::seconds(left.it_value.tv_sec) + std::chrono::nanoseconds(left.it_value.tv_nsec);
    const std::chrono::nanoseconds period = std::chrono::milliseconds(interval_);
    if (next >= period / 2) return;
    arm(next + period, period);
#endif
}

void PeriodTimer::onExpired()
{
#ifdef Q_OS_LINUX
    std::uint64_t expirations = 0;
    const ssize_t n = ::read(fd_, &expirations, sizeof expirations);
    // Nothing to read: the timer was stopped or restarted after the fd
    // became readable. Several expirations: the loop was busy; like a
    // QTimer, the missed periods make one timeout.
    if (n != static_cast<ssize_t>(sizeof expirations) || expirations == 0 || !active_) return;
    if (!once_) skipBunchedExpiration();
    fire();
#endif
}

} // namespace vq
