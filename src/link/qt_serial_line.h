// The real line: QSerialPort at the given speed, n,8,1, no flow control,
// 512-byte buffers. readyRead chunks are gathered here until the receive
// threshold is reached; then onReceive fires once and the owner takes the
// whole buffer, as a serial control with a receive threshold does.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include "link/port.h"

namespace vq {

class QtSerialLine : public QObject, public Port {
    Q_OBJECT
public:
    explicit QtSerialLine(QObject* parent = nullptr);
    ~QtSerialLine() override;

    bool open(const std::string& device, std::int32_t baud) override;
    void close() override;
    bool isOpen() const override;
    void discardInput() override;
    void setReceiveThreshold(int bytes) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> takeAll() override;
    // Also reads what the driver holds and QSerialPort has not read yet.
    std::vector<std::uint8_t> takePending() override;

    // Bytes written and receive events raised since construction.
    quint64 bytesWritten() const { return bytesWritten_; }
    quint64 receiveEvents() const { return receiveEvents_; }
    // True after the device went away under an open port (adapter pulled,
    // peer of a pseudo-terminal closed); the line then tries to reopen the
    // same device, at most twice a second, when the next request is sent.
    // Only evidence counts as gone: a hang-up on the descriptor, the
    // device's path gone, or a read or write failing with EIO, ENXIO or
    // ENODEV. An error QSerialPort reports without such evidence (a read
    // that found nothing) leaves the line open.
    bool lost() const { return lost_; }

protected:
    QSerialPort& serialPort() { return serial_; }

private:
    static constexpr qsizetype kBufferBytes = 512;

    void onReadyRead();
    void gather();
    void onError(QSerialPort::SerialPortError error);
    void markLost();
    void drainDriver(); // reads what the driver holds into the buffer
#ifdef Q_OS_UNIX
    static bool goneErrno(int e);
    bool deviceGone();    // hang-up on the descriptor or the path gone
    bool hungUp();        // the device has gone (or the descriptor is bad)
    void resumeReading(); // QSerialPort's reading after a spurious error
#endif
    bool tryReopen();

    QSerialPort serial_;
    QByteArray buffer_;
    int threshold_ = 10;
    bool lost_ = false;
    std::string device_;
    std::int32_t baud_ = 0;
    qint64 lastReopenMs_ = 0;
    quint64 bytesWritten_ = 0;
    quint64 receiveEvents_ = 0;
};

} // namespace vq
