// The slave's side of the line: received bytes are cut into requests, the
// controller serves them, faults are applied on request and the replies are
// queued with the time at which their last byte would have crossed the line.
// Time is given by the caller; nothing here reads a clock.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "sim/modbus.h"
#include "sim/sim_options.h"

namespace vq::sim {

class Controller;

struct LinkCounters {
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
    std::uint64_t requests = 0;          // requests for this slave with a good CRC
    std::uint64_t otherAddress = 0;      // good requests for other slaves (no reply)
    std::uint64_t discardedBytes = 0;    // garbage, partial frames, bad CRCs
    std::uint64_t replies = 0;           // replies queued for sending
    std::uint64_t dropped = 0;           // replies left out
    std::uint64_t corrupted = 0;         // replies with a wrong CRC
    std::uint64_t truncated = 0;         // replies cut short
    std::uint64_t stray = 0;             // bursts of stray bytes
    std::uint64_t delayed = 0;           // replies held back by the delay
    std::uint64_t injectedExceptions = 0;
};

// Seconds that n bytes take on the line (10 bits each); 0 when baud is 0.
double lineTime(std::size_t bytes, int baud);

// Small deterministic generator (splitmix64), the same on every platform.
class FaultRandom {
public:
    explicit FaultRandom(std::uint64_t seed = 1) : state_(seed) {}
    std::uint64_t next();
    double uniform(); // [0, 1)
    int below(int n); // 0 .. n-1

private:
    std::uint64_t state_;
};

class SlaveLink {
public:
    explicit SlaveLink(Controller& controller, int baud = 115200, const FaultSettings& faults = {},
                       std::uint64_t seed = 1);

    // Bytes that arrived at `now` (seconds). The controller is first moved
    // on to `now`; every request completed is served at once.
    void receive(std::span<const std::uint8_t> bytes, double now);
    // Moves the controller on to `now`.
    void poll(double now);

    // Bytes whose time has come, in order (whole replies and stray bursts).
    std::vector<std::uint8_t> takeDue(double now);
    // When the next queued output is due; nothing when the queue is empty.
    std::optional<double> nextDue() const;
    bool idle() const { return out_.empty(); }

    void setFaults(const FaultSettings& f) { faults_ = f; }
    const FaultSettings& faults() const { return faults_; }
    void setBaud(int baud);
    int baud() const { return baud_; }
    void reseed(std::uint64_t seed) { random_ = FaultRandom(seed); }
    // Forgets partial input and queued output (the line was cut).
    void reset();

    const LinkCounters& counters() const;
    Controller& controller() { return controller_; }

private:
    void serve(const std::vector<std::uint8_t>& frame, double now);
    void queue(std::vector<std::uint8_t> bytes, double due);

    struct Pending {
        double due;
        std::vector<std::uint8_t> bytes;
    };

    Controller& controller_;
    int baud_;
    FaultSettings faults_;
    FaultRandom random_;
    RequestFramer framer_;
    std::deque<Pending> out_;
    double lastTime_ = 0;
    bool started_ = false;
    double lineFreeAt_ = 0;
    mutable LinkCounters counters_;
};

} // namespace vq::sim
