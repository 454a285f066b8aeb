#include "period_timer.h"

#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
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
    connect(fallback_, &QTimer::timeout, this, &PeriodTimer::timeout);
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
    active_ = true;
    if (isKernelTimer()) {
        fallback_->stop();
        arm(interval_);
    } else {
        arm(0);
        fallback_->start(interval_);
    }
}

void PeriodTimer::stop()
{
    active_ = false;
    fallback_->stop();
    arm(0);
}

void PeriodTimer::arm(int ms)
{
#ifdef Q_OS_LINUX
    if (fd_ < 0) return;
    itimerspec spec{};
    spec.it_interval.tv_sec = ms / 1000;
    spec.it_interval.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    spec.it_value = spec.it_interval; // all zero disarms
    // Setting the timer also clears expirations not yet read.
    ::timerfd_settime(fd_, 0, &spec, nullptr);
#else
    (void)ms;
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
    emit timeout();
#endif
}

} // namespace vq
