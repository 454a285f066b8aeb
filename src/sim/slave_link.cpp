#include "sim/slave_link.h"

#include <algorithm>
#include <cmath>

#include "sim/controller.h"

namespace vq::sim {

namespace {

constexpr double kMinSilence = 0.002; // s

double silenceFor(int baud) { return std::max(kMinSilence, baud > 0 ? 35.0 / baud : 0.0); }

} // namespace

double lineTime(std::size_t bytes, int baud)
{
    return baud > 0 ? static_cast<double>(bytes) * 10.0 / baud : 0.0;
}

std::uint64_t FaultRandom::next()
{
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double FaultRandom::uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

int FaultRandom::below(int n) { return n <= 1 ? 0 : static_cast<int>(next() % static_cast<std::uint64_t>(n)); }

SlaveLink::SlaveLink(Controller& controller, int baud, const FaultSettings& faults, std::uint64_t seed)
    : controller_(controller), baud_(baud), faults_(faults), random_(seed),
      framer_(controller.address(), silenceFor(baud))
{
}

void SlaveLink::setBaud(int baud)
{
    baud_ = std::max(0, baud);
    framer_.setSilence(silenceFor(baud_));
}

void SlaveLink::reset()
{
    framer_ = RequestFramer(controller_.address(), silenceFor(baud_));
    out_.clear();
    lineFreeAt_ = 0;
}

const LinkCounters& SlaveLink::counters() const
{
    counters_.discardedBytes = framer_.discardedBytes();
    return counters_;
}

void SlaveLink::poll(double now)
{
    if (!started_) {
        started_ = true;
        lastTime_ = now;
        return;
    }
    if (now > lastTime_) {
        controller_.advance(now - lastTime_);
        lastTime_ = now;
    }
}

void SlaveLink::receive(std::span<const std::uint8_t> bytes, double now)
{
    poll(now);
    counters_.bytesIn += bytes.size();
    framer_.setAddress(controller_.address());
    for (const RequestFramer::Frame& f : framer_.feed(bytes, now)) {
        if (!f.forUs) {
            ++counters_.otherAddress;
            continue;
        }
        serve(f.bytes, now);
    }
}

void SlaveLink::serve(const std::vector<std::uint8_t>& frame, double now)
{
    ++counters_.requests;
    // Every decision draws its numbers whatever the outcome, so one seed
    // gives one sequence of faults.
    const bool inject = random_.uniform() < faults_.exceptionShare;
    const bool drop = random_.uniform() < faults_.dropShare;
    const bool corrupt = random_.uniform() < faults_.corruptShare;
    const bool truncate = random_.uniform() < faults_.truncateShare;
    const double cutAt = random_.uniform();
    const bool stray = random_.uniform() < faults_.strayShare;
    const bool delay = random_.uniform() < faults_.delayShare && faults_.delayMs > 0;
    const std::uint64_t strayBits = random_.next();
    const std::uint64_t strayBytes = random_.next();

    std::optional<std::vector<std::uint8_t>> reply;
    if (inject) {
        ++counters_.injectedExceptions;
        reply = exceptionReply(frame[0], frame[1], ExceptionCode::DeviceFailure);
    } else {
        reply = controller_.handle(frame);
    }
    if (!reply) {
        return;
    }
    if (drop) {
        ++counters_.dropped;
        return;
    }
    if (corrupt) {
        ++counters_.corrupted;
        reply->back() ^= static_cast<std::uint8_t>(1 + (strayBits >> 56) % 255);
    }
    if (truncate && reply->size() > 1) {
        ++counters_.truncated;
        const auto keep = 1 + static_cast<std::size_t>(cutAt * static_cast<double>(reply->size() - 1));
        reply->resize(std::min(keep, reply->size() - 1));
    }
    double start = std::max(now, lineFreeAt_);
    if (delay) {
        ++counters_.delayed;
        start = std::max(now + faults_.delayMs / 1000.0, lineFreeAt_);
    }
    const double done = start + lineTime(reply->size(), baud_);
    queue(std::move(*reply), done);
    ++counters_.replies;
    lineFreeAt_ = done;

    if (stray) {
        ++counters_.stray;
        const std::size_t n = 1 + (strayBits & 7);
        std::vector<std::uint8_t> junk(n);
        for (std::size_t i = 0; i < n; ++i) {
            junk[i] = static_cast<std::uint8_t>(strayBytes >> (8 * i));
        }
        const double gap = 0.002 + 0.001 * static_cast<double>((strayBits >> 8) % 9); // 2 .. 10 ms
        const double strayDone = done + gap + lineTime(n, baud_);
        queue(std::move(junk), strayDone);
        lineFreeAt_ = strayDone;
    }
}

void SlaveLink::queue(std::vector<std::uint8_t> bytes, double due)
{
    out_.push_back(Pending{due, std::move(bytes)});
}

std::vector<std::uint8_t> SlaveLink::takeDue(double now)
{
    std::vector<std::uint8_t> bytes;
    while (!out_.empty() && out_.front().due <= now + 1e-9) {
        bytes.insert(bytes.end(), out_.front().bytes.begin(), out_.front().bytes.end());
        out_.pop_front();
    }
    counters_.bytesOut += bytes.size();
    return bytes;
}

std::optional<double> SlaveLink::nextDue() const
{
    if (out_.empty()) {
        return std::nullopt;
    }
    return out_.front().due;
}

} // namespace vq::sim
