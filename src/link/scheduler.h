// The poll scheduler: the only sender on the line. Each poll event (Timer1,
// 35 ms) advances the tick to the next slot that is due and hands exactly
// that one request to the link; the event that reaches 200 wraps to 0 and
// sends nothing. Operator actions and the program runner only store data
// and raise a slot in the mailbox.
//
// A poll event that comes before the line is free (Link::clearToSend: the
// timer's events bunched after a stall of the event loop) is skipped
// whole: the tick does not move and nothing is sent, so requests never
// follow each other closer than the line allows.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "link.h"
#include "mailbox.h"
#include "slots.h"

namespace vq {

class PollScheduler {
public:
    PollScheduler(Mailbox& mailbox, Link& link) : mailbox_(mailbox), link_(link) {}

    // The PID gain a single-gain write sends: what the operator left in the
    // gain's box, read when the slot is served.
    std::function<std::uint16_t(PidTerm, int axis)> gainAtSend;

    // One poll event. Returns the slot served, or nothing for the event that
    // wraps the cycle and for a skipped event (then skipped() is true).
    std::optional<Slot> pollTick();

    int tick() const { return tick_; }
    // Whether the last poll event was skipped because the line was busy;
    // how many were skipped since start.
    bool skipped() const { return skipped_; }
    std::uint64_t eventsSkipped() const { return eventsSkipped_; }

private:
    bool due(const SlotRow& row) const;
    void serve(const SlotRow& row);

    Mailbox& mailbox_;
    Link& link_;
    int tick_ = 0; // 0 at start, then 1..200, back to 0 at 200
    bool skipped_ = false;
    std::uint64_t eventsSkipped_ = 0;
};

} // namespace vq
