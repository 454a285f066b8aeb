// What the console needs of a serial line: open it with a speed, discard
// unread input, raise one receive notification once a given number of bytes
// is buffered, hand over the whole buffer, and write raw bytes. The real
// line is QtSerialLine (qt_serial_line.h); tests may use their own.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace vq {

class Port {
public:
    virtual ~Port() = default;

    // Opens the device at the given speed, no parity, 8 data bits, 1 stop
    // bit, no flow control. False when it cannot be opened (the port is then
    // closed).
    virtual bool open(const std::string& device, std::int32_t baud) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Throws away whatever has been received and not yet taken (the link
    // takes what has arrived with takePending() first, so that nothing is
    // thrown away unseen).
    virtual void discardInput() = 0;
    // Number of buffered bytes at which the receive notification fires.
    virtual void setReceiveThreshold(int bytes) = 0;
    // Writes the bytes; false when the port is closed or the write failed.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    // The whole receive buffer, emptied.
    virtual std::vector<std::uint8_t> takeAll() = 0;
    // Everything received and not yet taken, wherever it waits: also bytes
    // that arrived while the event loop was busy and that the receive
    // notification has not been raised for yet. Emptied. A line that can
    // hold such bytes outside its buffer overrides this.
    virtual std::vector<std::uint8_t> takePending() { return takeAll(); }

    // Called (on the owner's thread) once the threshold is reached.
    std::function<void()> onReceive;
};

} // namespace vq
