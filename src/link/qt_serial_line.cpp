#include "qt_serial_line.h"

#include <QDateTime>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vq {

QtSerialLine::QtSerialLine(QObject* parent) : QObject(parent)
{
    connect(&serial_, &QSerialPort::readyRead, this, &QtSerialLine::onReadyRead);
    connect(&serial_, &QSerialPort::errorOccurred, this, &QtSerialLine::onError);
}

QtSerialLine::~QtSerialLine() { close(); }

bool QtSerialLine::open(const std::string& device, std::int32_t baud)
{
    close();
    device_ = device;
    baud_ = baud;
    lost_ = false;
    serial_.setPortName(QString::fromStdString(device));
    serial_.setReadBufferSize(kBufferBytes);
    if (!serial_.open(QIODevice::ReadWrite)) return false;
    bool ok = serial_.setBaudRate(baud) && serial_.setDataBits(QSerialPort::Data8)
              && serial_.setParity(QSerialPort::NoParity) && serial_.setStopBits(QSerialPort::OneStop)
              && serial_.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        serial_.close();
        return false;
    }
    serial_.clear(QSerialPort::AllDirections);
    buffer_.resize(0);
    buffer_.reserve(kBufferBytes);
    threshold_ = 10;
    return true;
}

void QtSerialLine::close()
{
    if (serial_.isOpen()) serial_.close();
    buffer_.clear();
    lost_ = false;
}

bool QtSerialLine::isOpen() const { return serial_.isOpen(); }

void QtSerialLine::discardInput()
{
    // Reads what the driver holds rather than flushing it: a flush would
    // also throw away a reply that arrives between the owner's last look
    // and the flush, and QSerialPort's next read would then find nothing.
    // Reading also notices a device that has gone.
    gather();
    drainDriver();
    buffer_.resize(0); // keeps its memory for the next reply
}

std::vector<std::uint8_t> QtSerialLine::takePending()
{
    gather();
    drainDriver();
    std::vector<std::uint8_t> out(buffer_.begin(), buffer_.end());
    buffer_.resize(0);
    return out;
}

void QtSerialLine::drainDriver()
{
#ifdef Q_OS_UNIX
    // What QSerialPort holds has been gathered first, so the bytes stay in
    // order. The descriptor is non-blocking; with VMIN and VTIME 0 a read
    // that finds nothing returns 0.
    if (!serial_.isOpen() || serial_.bytesAvailable() > 0) return;
    while (true) {
        const qsizetype had = buffer_.size();
        buffer_.resize(had + kBufferBytes);
        ssize_t n;
        do {
            n = ::read(serial_.handle(), buffer_.data() + had, static_cast<std::size_t>(kBufferBytes));
        } while (n < 0 && errno == EINTR);
        buffer_.resize(had + std::max<qsizetype>(n, 0));
        if (n > 0) continue;
        if (n < 0 && goneErrno(errno)) markLost();
        else if (n == 0 && hungUp()) markLost();
        return;
    }
#endif
}
void QtSerialLine::setReceiveThreshold(int bytes) { threshold_ = bytes; }

bool QtSerialLine::write(std::span<const std::uint8_t> bytes)
{
    if (!serial_.isOpen() && !(lost_ && tryReopen())) return false;
#ifdef Q_OS_UNIX
    // QSerialPort only queues what it is given and writes it when the event
    // loop next reports the port writable: one more pass of the loop, and a
    // notifier switched on and off again, before the request is on the
    // line. The descriptor is non-blocking, so write at once what the
    // driver takes now; only a remainder (driver buffer full) or a failure
    // goes through QSerialPort, which then writes it, or reports the error,
    // as before. Nothing is written past bytes QSerialPort still holds.
    if (serial_.bytesToWrite() == 0) {
        ssize_t n;
        do {
            n = ::write(serial_.handle(), bytes.data(), bytes.size());
        } while (n < 0 && errno == EINTR);
        if (n > 0) {
            bytesWritten_ += static_cast<quint64>(n);
            bytes = bytes.subspan(static_cast<std::size_t>(n));
        }
        if (bytes.empty()) return true;
        if (n < 0 && goneErrno(errno)) { // the device has gone: the request did not leave
            markLost();
            return false;
        }
    }
#endif
    qint64 n = serial_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    if (n != static_cast<qint64>(bytes.size())) return false;
    bytesWritten_ += static_cast<quint64>(n);
    return true;
}

std::vector<std::uint8_t> QtSerialLine::takeAll()
{
    gather();
    std::vector<std::uint8_t> out(buffer_.begin(), buffer_.end());
    buffer_.resize(0);
    return out;
}

// Moves what QSerialPort holds to the end of the buffer. readAll() would
// allocate a 16 KiB array for every call and free it again; with requests
// every 35 ms that memory went back and forth between the heap and the
// system, each time at the cost of new pages.
void QtSerialLine::gather()
{
    if (!serial_.isOpen()) return;
    const qint64 n = serial_.bytesAvailable();
    if (n <= 0) return;
    const qsizetype had = buffer_.size();
    buffer_.resize(had + n);
    const qint64 got = serial_.read(buffer_.data() + had, n);
    buffer_.resize(had + std::max<qint64>(got, 0));
}

void QtSerialLine::onReadyRead()
{
    gather();
    if (threshold_ > 0 && buffer_.size() >= threshold_) {
        ++receiveEvents_;
        if (onReceive) onReceive();
    }
}

void QtSerialLine::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !serial_.isOpen()) return;
#ifdef Q_OS_UNIX
    if (!deviceGone()) {
        // The device is still there, and an error alone is no evidence
        // that it went. QSerialPort reports a read that finds nothing with
        // whatever errno was left (EAGAIN from any earlier non-blocking
        // call gives a ResourceError, and then it stops reading): that
        // happens when the event loop saw a reply arrive and, in the same
        // pass and before QSerialPort's read, the next request took it.
        // Nothing is lost; reading resumes.
        serial_.clearError();
        resumeReading();
        return;
    }
#endif
    markLost();
}

void QtSerialLine::markLost()
{
    // The device went away. Close now so nothing blocks on a dead
    // descriptor, and remember it for the next send.
    serial_.close();
    buffer_.clear();
    lost_ = true;
    lastReopenMs_ = QDateTime::currentMSecsSinceEpoch();
}

#ifdef Q_OS_UNIX
bool QtSerialLine::goneErrno(int e) { return e == EIO || e == ENXIO || e == ENODEV; }

bool QtSerialLine::deviceGone()
{
    // Evidence only: a hang-up on the descriptor, or its path no longer there.
    struct stat st{};
    return hungUp() || (::stat(device_.c_str(), &st) != 0 && errno == ENOENT);
}

bool QtSerialLine::hungUp()
{
    pollfd p{serial_.handle(), POLLIN, 0};
    int n;
    do {
        n = ::poll(&p, 1, 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 || (n > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0);
}

void QtSerialLine::resumeReading()
{
    // QSerialPort switches its read notifier back on when it is asked for
    // bytes it does not hold; whatever it does hold is taken first.
    gather();
    char none = 0;
    serial_.read(&none, 1);
}
#endif

bool QtSerialLine::tryReopen()
{
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastReopenMs_ < 500) return false;
    lastReopenMs_ = now;
    std::string device = device_;
    if (!open(device, baud_)) {
        lost_ = true;
        return false;
    }
    return true;
}

} // namespace vq
