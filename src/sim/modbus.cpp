#include "sim/modbus.h"

#include <algorithm>

#include "link/crc.h"

namespace vq::sim {

namespace {

// Longest request of an unknown function that the framer looks for.
constexpr std::size_t kMaxUnknownFrame = 64;

} // namespace

void appendCrc(std::vector<std::uint8_t>& frame)
{
    const std::uint16_t crc = crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool crcMatches(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 4) {
        return false;
    }
    const std::uint16_t crc = crc16(frame.first(frame.size() - 2));
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

std::vector<std::uint8_t> exceptionReply(std::uint8_t address, std::uint8_t function, ExceptionCode code)
{
    std::vector<std::uint8_t> r{address, static_cast<std::uint8_t>(function | 0x80), static_cast<std::uint8_t>(code)};
    appendCrc(r);
    return r;
}

RequestFramer::RequestFramer(std::uint8_t address, double silenceSeconds) : address_(address), silence_(silenceSeconds) {}

RequestFramer::Scan RequestFramer::scanAt(std::size_t offset, std::size_t& length) const
{
    const std::size_t avail = buffer_.size() - offset;
    if (avail < 2) {
        return Scan::NeedMore;
    }
    const std::uint8_t fn = buffer_[offset + 1];
    const auto window = [&](std::size_t n) { return std::span<const std::uint8_t>(buffer_).subspan(offset, n); };
    if (fn == kFnReadHolding || fn == kFnWriteMultiple) {
        std::size_t need = 8;
        if (fn == kFnWriteMultiple) {
            if (avail < 7) {
                return Scan::NeedMore;
            }
            need = 9 + static_cast<std::size_t>(buffer_[offset + 6]);
        }
        if (avail < need) {
            return Scan::NeedMore;
        }
        length = need;
        return crcMatches(window(need)) ? Scan::Frame : Scan::Invalid;
    }
    if (buffer_[offset] != address_) {
        return Scan::Invalid; // another slave's function we do not know: cannot be delimited
    }
    // A function this slave does not serve: the request ends where a CRC
    // matches; the slave answers it with an exception.
    const std::size_t top = std::min(avail, kMaxUnknownFrame);
    for (std::size_t n = 4; n <= top; ++n) {
        if (crcMatches(window(n))) {
            length = n;
            return Scan::Frame;
        }
    }
    return avail >= kMaxUnknownFrame ? Scan::Invalid : Scan::NeedMore;
}

std::vector<RequestFramer::Frame> RequestFramer::feed(std::span<const std::uint8_t> bytes, double now)
{
    std::vector<Frame> out;
    if (bytes.empty()) {
        return out;
    }
    if (haveLast_ && now - lastByteAt_ > silence_ && !buffer_.empty()) {
        discarded_ += buffer_.size(); // an unfinished frame ended by silence
        buffer_.clear();
    }
    lastByteAt_ = now;
    haveLast_ = true;
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());

    for (;;) {
        // The earliest complete request with a good CRC wins; whatever lies
        // in front of it is garbage.
        bool found = false;
        std::size_t at = 0;
        std::size_t length = 0;
        for (std::size_t off = 0; off + 1 < buffer_.size(); ++off) {
            std::size_t n = 0;
            if (scanAt(off, n) == Scan::Frame) {
                found = true;
                at = off;
                length = n;
                break;
            }
        }
        if (!found) {
            break;
        }
        discarded_ += at;
        Frame f;
        f.bytes.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(at),
                       buffer_.begin() + static_cast<std::ptrdiff_t>(at + length));
        f.forUs = f.bytes[0] == address_;
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at + length));
        out.push_back(std::move(f));
    }

    // Leading bytes that can no longer start a request: drop them, so the
    // buffer holds at most one partial frame plus what follows it.
    std::size_t drop = 0;
    while (drop < buffer_.size()) {
        std::size_t n = 0;
        if (scanAt(drop, n) != Scan::Invalid) {
            break;
        }
        ++drop;
    }
    if (buffer_.size() - drop > kMaxBuffer) {
        drop = buffer_.size() - kMaxBuffer;
    }
    discarded_ += drop;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(drop));
    return out;
}

} // namespace vq::sim
