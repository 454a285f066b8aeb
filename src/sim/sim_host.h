// The simulated controller on a pseudo-terminal, served from the thread's
// event loop (Qt Core only). The console opens slaveDevice() like any
// serial port; SimHost reads the requests from the master side, lets the
// controller answer them, and writes the replies back after the time they
// would take on the line. Nothing blocks: input comes through a socket
// notifier, output and the simulation clock through timers. A reply goes
// out when its last byte would have left the line, to the timer's
// precision (a kernel timer on Linux), not rounded to the millisecond the
// way a QTimer waits: a real controller has no such rounding, and with it
// the reply time would depend on where the request fell between the
// simulation's own ticks.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "sim/sim_options.h"

class QSocketNotifier;
class QTimer;

namespace vq {
class PeriodTimer;
}

namespace vq::sim {

class Controller;
class SlaveLink;
struct LinkCounters;

class SimHost : public QObject {
    Q_OBJECT
public:
    explicit SimHost(QObject* parent = nullptr);
    ~SimHost() override;

    // Opens a pseudo-terminal pair and starts serving it; makes the
    // controller anew from the options. When options.linkPath is set, that
    // path becomes a symbolic link to the slave device (an existing link
    // there is replaced; any other file makes start fail). False on
    // failure, with errorString() saying why.
    bool start(const SimOptions& options);
    // Stops serving, closes the pair and removes the link.
    void stop();
    bool isRunning() const { return running_; }

    // The device the console opens, e.g. /dev/pts/7; empty when vanished
    // or stopped.
    QString slaveDevice() const { return slaveName_; }
    QString errorString() const { return error_; }
    const SimOptions& options() const { return options_; }

    Controller& controller();
    const LinkCounters& counters() const;

    // Faults and line settings at run time.
    void setFaults(const FaultSettings& faults);
    FaultSettings faults() const;
    void setDropShare(double share);
    void setCorruptShare(double share);
    void setTruncateShare(double share);
    void setStrayShare(double share);
    void setExceptionShare(double share);
    void setDelay(double ms, double share = 1.0);
    void setTimeScale(double scale);
    void setBaud(int baud);
    void reseed(std::uint64_t seed);

    // Sees every chunk of bytes read from the line, as read, before the
    // controller is given it: the master's requests exactly as they were
    // written (tests record them with it).
    std::function<void(std::span<const std::uint8_t>)> onBytesIn;

    // The device goes away under the console (the master side is closed).
    void vanish();
    // A new pseudo-terminal pair; the link, if any, is pointed at it.
    bool reappear();

signals:
    void deviceChanged(const QString& device);
    void vanished();

private:
    bool openPair();
    void closePair();
    bool pointLink();
    void removeLink();
    double now() const;
    void onReadable();
    void onWritable();
    void onTick();
    void onOutputDue();
    void scheduleOutput();
    void flushOutput();

    SimOptions options_;
    std::unique_ptr<Controller> controller_;
    std::unique_ptr<SlaveLink> link_;
    QElapsedTimer clock_;
    QTimer* tick_ = nullptr;
    PeriodTimer* outTimer_ = nullptr;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    int masterFd_ = -1;
    int slaveFd_ = -1;
    QString slaveName_;
    QString error_;
    bool running_ = false;
    bool linkMade_ = false;
    std::vector<unsigned char> pendingWrite_;
};

} // namespace vq::sim
