// The simulated controller served from its own thread with its own event
// loop, so that a master on the main thread (the console's link, or
// libmodbus blocking in its calls) talks to it over the pseudo-terminal
// exactly as it would to a device.
#pragma once

#include <QMetaObject>
#include <QThread>

#include <memory>
#include <string>

#include "sim/sim_host.h"
#include "sim/slave_link.h"

namespace vq::bench {

class SimThread {
public:
    SimThread()
    {
        thread_.setObjectName("sim");
        thread_.start();
        // Made on the main thread, then handed to the simulator's thread
        // before anything in it (timers, notifiers) is started.
        host_ = new sim::SimHost();
        host_->moveToThread(&thread_);
    }
    ~SimThread()
    {
        QMetaObject::invokeMethod(host_, [h = host_] { delete h; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    SimThread(const SimThread&) = delete;
    SimThread& operator=(const SimThread&) = delete;

    // Starts serving a new pseudo-terminal pair; the slave device, or empty
    // on failure.
    std::string start(const sim::SimOptions& options)
    {
        std::string device;
        QMetaObject::invokeMethod(
            host_,
            [&] {
                if (host_->start(options)) device = host_->slaveDevice().toStdString();
            },
            Qt::BlockingQueuedConnection);
        return device;
    }
    void setBaud(int baud)
    {
        QMetaObject::invokeMethod(host_, [&] { host_->setBaud(baud); }, Qt::BlockingQueuedConnection);
    }
    sim::LinkCounters counters()
    {
        sim::LinkCounters c;
        QMetaObject::invokeMethod(host_, [&] { c = host_->counters(); }, Qt::BlockingQueuedConnection);
        return c;
    }
    QThread& thread() { return thread_; }

private:
    QThread thread_;
    sim::SimHost* host_ = nullptr;
};

} // namespace vq::bench
