#include "sim/sim_host.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "link/period_timer.h"
#include "sim/controller.h"
#include "sim/slave_link.h"

namespace vq::sim {

namespace {

bool makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return false;
    }
    cfmakeraw(&t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

void setCloexec(int fd)
{
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0) {
        fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

ControllerOptions controllerOptions(const SimOptions& o)
{
    ControllerOptions c;
    c.address = o.address;
    c.stateFile = o.stateFile;
    c.timeScale = o.timeScale;
    c.controlMode = o.controlMode;
    c.servosOn = o.servosOn;
    return c;
}

} // namespace

SimHost::SimHost(QObject* parent)
    : QObject(parent), controller_(std::make_unique<Controller>()), link_(std::make_unique<SlaveLink>(*controller_))
{
    tick_ = new QTimer(this);
    tick_->setTimerType(Qt::PreciseTimer);
    connect(tick_, &QTimer::timeout, this, &SimHost::onTick);
    outTimer_ = new PeriodTimer(this);
    connect(outTimer_, &PeriodTimer::timeout, this, &SimHost::onOutputDue);
    clock_.start();
}

SimHost::~SimHost() { stop(); }

Controller& SimHost::controller() { return *controller_; }

const LinkCounters& SimHost::counters() const { return link_->counters(); }

double SimHost::now() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }

bool SimHost::start(const SimOptions& options)
{
    stop();
    error_.clear();
    options_ = options;
    link_.reset();
    controller_ = std::make_unique<Controller>(controllerOptions(options));
    link_ = std::make_unique<SlaveLink>(*controller_, std::max(0, options.baud), options.faults, options.seed);
    clock_.restart();
    link_->poll(now());
    if (!openPair()) {
        return false;
    }
    if (!options_.linkPath.empty() && !pointLink()) {
        closePair();
        return false;
    }
    running_ = true;
    tick_->start(std::clamp(options.tickMs, 1, 1000));
    return true;
}

void SimHost::stop()
{
    tick_->stop();
    outTimer_->stop();
    closePair();
    removeLink();
    running_ = false;
}

bool SimHost::openPair()
{
    int master = -1;
    int slave = -1;
    char name[PATH_MAX] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error_ = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    setCloexec(master);
    setCloexec(slave);
    // Raw both ways: no echo, no line editing, no CR/LF translation. The
    // slave side stays open here as well, so the master never sees a hang-up
    // while no console has the device open.
    if (!makeRaw(slave) || !makeRaw(master)) {
        error_ = QStringLiteral("raw mode: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(master);
        ::close(slave);
        return false;
    }
    const int flags = fcntl(master, F_GETFL);
    fcntl(master, F_SETFL, flags | O_NONBLOCK);
    masterFd_ = master;
    slaveFd_ = slave;
    slaveName_ = QString::fromLocal8Bit(name);
    readNotifier_ = new QSocketNotifier(masterFd_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &SimHost::onReadable);
    writeNotifier_ = new QSocketNotifier(masterFd_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &SimHost::onWritable);
    return true;
}

void SimHost::closePair()
{
    delete readNotifier_;
    readNotifier_ = nullptr;
    delete writeNotifier_;
    writeNotifier_ = nullptr;
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
        slaveFd_ = -1;
    }
    slaveName_.clear();
    pendingWrite_.clear();
    if (link_) {
        link_->reset();
    }
}

bool SimHost::pointLink()
{
    const QByteArray path = QFile::encodeName(QString::fromStdString(options_.linkPath));
    struct stat st {};
    if (lstat(path.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error_ = QStringLiteral("%1 exists and is not a symbolic link").arg(QString::fromStdString(options_.linkPath));
        return false;
    }
    // Make the new link beside the old one and rename it over, so the path
    // never points nowhere while it is being changed.
    const QByteArray tmp = path + ".new";
    ::unlink(tmp.constData());
    if (::symlink(QFile::encodeName(slaveName_).constData(), tmp.constData()) != 0 ||
        ::rename(tmp.constData(), path.constData()) != 0) {
        error_ = QStringLiteral("link %1: %2")
                     .arg(QString::fromStdString(options_.linkPath), QString::fromLocal8Bit(std::strerror(errno)));
        ::unlink(tmp.constData());
        return false;
    }
    linkMade_ = true;
    return true;
}

void SimHost::removeLink()
{
    if (!linkMade_) {
        return;
    }
    linkMade_ = false;
    const QByteArray path = QFile::encodeName(QString::fromStdString(options_.linkPath));
    struct stat st {};
    if (lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        ::unlink(path.constData());
    }
}

void SimHost::onReadable()
{
    if (masterFd_ < 0) {
        return;
    }
    std::vector<std::uint8_t> bytes;
    unsigned char buf[4096];
    for (;;) {
        const ssize_t n = ::read(masterFd_, buf, sizeof buf);
        if (n > 0) {
            bytes.insert(bytes.end(), buf, buf + n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break; // EAGAIN: all read; EIO: no reader on the other side
    }
    if (!bytes.empty()) {
        if (onBytesIn) {
            onBytesIn(bytes);
        }
        link_->receive(bytes, now());
        scheduleOutput();
    }
}

void SimHost::onTick()
{
    link_->poll(now());
    if (link_->nextDue() && !outTimer_->isActive()) {
        scheduleOutput();
    }
}

void SimHost::scheduleOutput()
{
    const auto due = link_->nextDue();
    if (!due) {
        return;
    }
    const double wait = *due - now();
    outTimer_->startOnce(std::chrono::nanoseconds(wait <= 0 ? 0 : static_cast<std::int64_t>(std::ceil(wait * 1e9))));
}

void SimHost::onOutputDue()
{
    const std::vector<std::uint8_t> bytes = link_->takeDue(now());
    if (masterFd_ >= 0) {
        pendingWrite_.insert(pendingWrite_.end(), bytes.begin(), bytes.end());
        flushOutput();
    }
    scheduleOutput();
}

void SimHost::flushOutput()
{
    while (!pendingWrite_.empty() && masterFd_ >= 0) {
        const ssize_t n = ::write(masterFd_, pendingWrite_.data(), pendingWrite_.size());
        if (n > 0) {
            pendingWrite_.erase(pendingWrite_.begin(), pendingWrite_.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            if (writeNotifier_) {
                writeNotifier_->setEnabled(true);
            }
            return;
        }
        pendingWrite_.clear(); // the other side is gone: what was on the line is lost
        break;
    }
    if (writeNotifier_) {
        writeNotifier_->setEnabled(false);
    }
}

void SimHost::onWritable() { flushOutput(); }

void SimHost::setFaults(const FaultSettings& faults) { link_->setFaults(faults); }
FaultSettings SimHost::faults() const { return link_->faults(); }

void SimHost::setDropShare(double share)
{
    FaultSettings f = link_->faults();
    f.dropShare = share;
    link_->setFaults(f);
}

void SimHost::setCorruptShare(double share)
{
    FaultSettings f = link_->faults();
    f.corruptShare = share;
    link_->setFaults(f);
}

void SimHost::setTruncateShare(double share)
{
    FaultSettings f = link_->faults();
    f.truncateShare = share;
    link_->setFaults(f);
}

void SimHost::setStrayShare(double share)
{
    FaultSettings f = link_->faults();
    f.strayShare = share;
    link_->setFaults(f);
}

void SimHost::setExceptionShare(double share)
{
    FaultSettings f = link_->faults();
    f.exceptionShare = share;
    link_->setFaults(f);
}

void SimHost::setDelay(double ms, double share)
{
    FaultSettings f = link_->faults();
    f.delayMs = ms;
    f.delayShare = share;
    link_->setFaults(f);
}

void SimHost::setTimeScale(double scale) { controller_->setTimeScale(scale); }
void SimHost::setBaud(int baud) { link_->setBaud(baud); }
void SimHost::reseed(std::uint64_t seed) { link_->reseed(seed); }

void SimHost::vanish()
{
    if (masterFd_ < 0) {
        return;
    }
    outTimer_->stop();
    closePair();
    // The link must not keep naming the closed device: its number is soon
    // given to another pseudo-terminal, which a console would then open.
    removeLink();
    emit vanished();
}

bool SimHost::reappear()
{
    if (!running_) {
        return false;
    }
    if (masterFd_ >= 0) {
        return true;
    }
    if (!openPair()) {
        return false;
    }
    if (!options_.linkPath.empty() && !pointLink()) {
        return false;
    }
    emit deviceChanged(slaveName_);
    return true;
}

} // namespace vq::sim
