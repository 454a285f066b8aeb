// The window's timer controls (Timer1 polls the line every 35 ms, Timer3
// steps the program), and the simulated controller's reply clock. A QTimer
// cannot keep such a period to better than a millisecond: Qt rounds every
// wait of its event loop up to a whole millisecond, so each timeout lands up
// to 1 ms after its due time, and the interval between two polls wanders by
// as much. On Linux this timer is a kernel timerfd watched by the event
// loop: the loop wakes when the fd becomes readable, with no rounding, and
// the kernel keeps the period from the start time, not from the last
// dispatch. Elsewhere (and for a zero interval, which means "whenever the
// loop is idle") it is a precise QTimer.
//
// Semantics follow QTimer: start() (re)starts with the current interval,
// setInterval() restarts a running timer, periods missed while the event
// loop was busy are delivered as one timeout, stop() discards a pending one.
// A timeout that comes late never has the next one bunched after it: the
// next comes at least half a period later, on the period's phase.
// startOnce() gives one timeout after a delay to the nanosecond (a reply
// due when its last byte would have left the line), then the timer is
// inactive; start() and stop() end it like any run.
#pragma once

#include <QObject>

#include <chrono>

class QSocketNotifier;
class QTimer;

namespace vq {

class PeriodTimer : public QObject {
    Q_OBJECT
public:
    explicit PeriodTimer(QObject* parent = nullptr);
    ~PeriodTimer() override;

    void setInterval(int ms);
    int interval() const { return interval_; }
    void start();
    // One timeout after the delay; zero or less: as soon as the event loop
    // runs (never from inside this call).
    void startOnce(std::chrono::nanoseconds delay);
    void stop();
    bool isActive() const { return active_; }
    // True when the period comes from the kernel timer (not a QTimer).
    bool isKernelTimer() const { return fd_ >= 0 && interval_ > 0; }

signals:
    void timeout();

private:
    void arm(std::chrono::nanoseconds first, std::chrono::nanoseconds period);
    void onExpired();
    void skipBunchedExpiration();
    void fire();

    int interval_ = 0;
    bool active_ = false;
    bool once_ = false;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* fallback_ = nullptr;
};

} // namespace vq
