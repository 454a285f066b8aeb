// For comparison, not part of the console: QtSerialLine with a single
// difference: write() leaves the bytes in QSerialPort's buffer, which writes
// them when the event loop next reports the port writable, where
// QtSerialLine writes them to the device at once. The round-trip benchmark
// runs it beside the real line to show what writing at once saves.
#pragma once

#include "link/qt_serial_line.h"

namespace vq::bench {

class QueuedSerialLine : public QtSerialLine {
public:
    bool write(std::span<const std::uint8_t> bytes) override
    {
        if (!isOpen()) return false;
        const qint64 n =
            serialPort().write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return n == static_cast<qint64>(bytes.size());
    }
};

} // namespace vq::bench
