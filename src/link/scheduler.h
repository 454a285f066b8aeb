// The poll scheduler: the only sender on the line. Each poll event (Timer1,
// 35 ms) advances the tick to the next slot that is due and hands exactly
// that one request to the link; the event that reaches 200 wraps to 0 and
// sends nothing. Operator actions and the program runner only store data
// and raise a slot in the mailbox.
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
    // wraps the cycle.
    std::optional<Slot> pollTick();

    int tick() const { return tick_; }

private:
    bool due(const SlotRow& row) const;
    void serve(const SlotRow& row);

    Mailbox& mailbox_;
    Link& link_;
    int tick_ = 0; // 0 at start, then 1..200, back to 0 at 200
};

} // namespace vq
