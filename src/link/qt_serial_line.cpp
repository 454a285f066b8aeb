#include "qt_serial_line.h"

#include <QDateTime>

#ifdef Q_OS_UNIX
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
    serial_.setReadBufferSize(512);
    if (!serial_.open(QIODevice::ReadWrite)) return false;
    bool ok = serial_.setBaudRate(baud) && serial_.setDataBits(QSerialPort::Data8)
              && serial_.setParity(QSerialPort::NoParity) && serial_.setStopBits(QSerialPort::OneStop)
              && serial_.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        serial_.close();
        return false;
    }
    serial_.clear(QSerialPort::AllDirections);
    buffer_.clear();
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
    if (serial_.isOpen()) {
        serial_.readAll(); // what Qt has already buffered
        serial_.clear(QSerialPort::Input);
    }
    buffer_.clear();
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
    }
#endif
    qint64 n = serial_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    if (n != static_cast<qint64>(bytes.size())) return false;
    bytesWritten_ += static_cast<quint64>(n);
    return true;
}

std::vector<std::uint8_t> QtSerialLine::takeAll()
{
    if (serial_.isOpen()) buffer_.append(serial_.readAll());
    std::vector<std::uint8_t> out(buffer_.begin(), buffer_.end());
    buffer_.clear();
    return out;
}

void QtSerialLine::onReadyRead()
{
    buffer_.append(serial_.readAll());
    if (threshold_ > 0 && buffer_.size() >= threshold_) {
        ++receiveEvents_;
        if (onReceive) onReceive();
    }
}

void QtSerialLine::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::ResourceError && serial_.isOpen()) {
        // The device went away. Close now so nothing blocks on a dead
        // descriptor, and remember it for the next send.
        serial_.close();
        buffer_.clear();
        lost_ = true;
        lastReopenMs_ = QDateTime::currentMSecsSinceEpoch();
    }
}

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
