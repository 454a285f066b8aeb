// What the subsystems share: the request mailbox and the few values decoded
// from the controller that other parts read. Everything runs on the window's
// one thread, so nothing here is locked.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <utility>

#include "board.h"
#include "mailbox.h"

namespace vq {

struct FormState {
    Mailbox mailbox;

    // Decoded from the status block: the busy word (0 when the controller is
    // idle; the runner waits for it) and each axis's servo state and alarm
    // code, axes 1..6 ([0] unused).
    std::int16_t controllerBusy = 0;
    std::array<int, 7> servoState{};
    std::array<int, 7> alarmCode{};

    // Parameter and speed boxes whose text is no value of the controller's:
    // the block was never read, or its value came back unreadable, and the
    // operator has not typed one. Such a box is shown marked, and a write of
    // its group is refused.
    std::set<std::pair<Ctl, int>> unreported;
    bool reported(Ctl box, int index) const { return unreported.count({box, index}) == 0; }

    void raise(Slot slot) { mailbox.raise(slot); }
    bool due(Slot slot) const { return mailbox.due(slot); }
    void post(Slot slot, std::span<const std::uint8_t> data) { mailbox.post(slot, data); }
};

} // namespace vq
