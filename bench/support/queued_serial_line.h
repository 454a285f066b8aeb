// For comparison, not part of the console: the serial line as QtSerialLine
// has it (QSerialPort, readyRead gathered up to the receive threshold, one
// receive event), with a single difference: write() leaves the bytes in
// QSerialPort's buffer, which writes them when the event loop next reports
// the port writable, where QtSerialLine writes them to the device at once.
// The round-trip benchmark runs it beside the real line to show what
// writing at once saves.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <vector>

#include "link/port.h"

namespace vq::bench {

class QueuedSerialLine : public Port {
public:
    QueuedSerialLine()
    {
        QObject::connect(&serial_, &QSerialPort::readyRead, [this] {
            buffer_.append(serial_.readAll());
            if (threshold_ > 0 && buffer_.size() >= threshold_ && onReceive) onReceive();
        });
    }
    ~QueuedSerialLine() override { close(); }

    bool open(const std::string& device, std::int32_t baud) override
    {
        close();
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
        return true;
    }
    void close() override
    {
        if (serial_.isOpen()) serial_.close();
        buffer_.clear();
    }
    bool isOpen() const override { return serial_.isOpen(); }
    void discardInput() override
    {
        if (serial_.isOpen()) {
            serial_.readAll();
            serial_.clear(QSerialPort::Input);
        }
        buffer_.clear();
    }
    void setReceiveThreshold(int bytes) override { threshold_ = bytes; }
    bool write(std::span<const std::uint8_t> bytes) override
    {
        if (!serial_.isOpen()) return false;
        const qint64 n = serial_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return n == static_cast<qint64>(bytes.size());
    }
    std::vector<std::uint8_t> takeAll() override
    {
        if (serial_.isOpen()) buffer_.append(serial_.readAll());
        std::vector<std::uint8_t> out(buffer_.begin(), buffer_.end());
        buffer_.clear();
        return out;
    }

private:
    QSerialPort serial_;
    QByteArray buffer_;
    int threshold_ = 10;
};

} // namespace vq::bench
