// Modbus RTU on the slave side: function codes, exception replies, CRC
// framing helpers, and the request framer that cuts a byte stream into
// requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vq::sim {

inline constexpr std::uint8_t kFnReadHolding = 0x03;
inline constexpr std::uint8_t kFnWriteMultiple = 0x10;

enum class ExceptionCode : std::uint8_t {
    IllegalFunction = 0x01,
    IllegalDataAddress = 0x02,
    IllegalDataValue = 0x03,
    DeviceFailure = 0x04,
};

// Appends the CRC, low byte first.
void appendCrc(std::vector<std::uint8_t>& frame);
// True when the last two bytes are the CRC of the rest (and there are at
// least four bytes).
bool crcMatches(std::span<const std::uint8_t> frame);

// address, function | 0x80, code, CRC.
std::vector<std::uint8_t> exceptionReply(std::uint8_t address, std::uint8_t function, ExceptionCode code);

// Cuts received bytes into requests. A request is recognised by its length
// (function 03: 8 bytes; function 10: 9 + byte count; any other function
// addressed to this slave: the shortest run that ends in a matching CRC)
// and by its CRC. Bytes in front of the first complete request with a good
// CRC are garbage and are thrown away; so is a partial frame followed by
// silence (no byte for the silence time). Requests for other slaves are
// recognised too, so their bytes are skipped, and reported separately.
class RequestFramer {
public:
    struct Frame {
        std::vector<std::uint8_t> bytes; // whole frame, CRC included
        bool forUs = false;              // address byte matches
    };

    RequestFramer(std::uint8_t address, double silenceSeconds);

    // Bytes that arrived at time `now` (seconds, any origin, never going
    // back). Returns the requests they complete, in order.
    std::vector<Frame> feed(std::span<const std::uint8_t> bytes, double now);

    void setAddress(std::uint8_t address) { address_ = address; }
    void setSilence(double seconds) { silence_ = seconds; }
    double silence() const { return silence_; }

    std::size_t buffered() const { return buffer_.size(); }
    // Bytes thrown away as garbage, partial frames or frames with a bad CRC.
    std::uint64_t discardedBytes() const { return discarded_; }

    static constexpr std::size_t kMaxBuffer = 512;

private:
    enum class Scan { Frame, NeedMore, Invalid };
    Scan scanAt(std::size_t offset, std::size_t& length) const;

    std::uint8_t address_;
    double silence_;
    std::vector<std::uint8_t> buffer_;
    double lastByteAt_ = 0;
    bool haveLast_ = false;
    std::uint64_t discarded_ = 0;
};

} // namespace vq::sim
