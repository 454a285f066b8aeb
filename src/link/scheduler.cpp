#include "scheduler.h"

namespace vq {

bool PollScheduler::due(const SlotRow& row) const
{
    switch (row.when) {
    case Condition::StatusReadOn: return link_.settings.readStatus;
    case Condition::PoseReadOn: return link_.settings.readPose;
    case Condition::Raised: return mailbox_.due(row.slot);
    }
    return false;
}

void PollScheduler::serve(const SlotRow& row)
{
    if (row.when == Condition::Raised && !row.keepRaised) mailbox_.lower(row.slot);
    switch (row.source) {
    case SlotRow::Source::None: link_.send(row, {}); break;
    case SlotRow::Source::Mailbox: link_.send(row, mailbox_.payload(row.payload)); break;
    case SlotRow::Source::GainBox: link_.send(row, wordData(gainAtSend ? gainAtSend(row.term, row.axis) : 0)); break;
    case SlotRow::Source::Constant: link_.send(row, wordData(row.constant)); break;
    }
    if (row.followUp) mailbox_.raise(*row.followUp);
}

std::optional<Slot> PollScheduler::pollTick()
{
    skipped_ = !link_.clearToSend();
    if (skipped_) {
        ++eventsSkipped_;
        return std::nullopt;
    }
    // Advance to the next due slot and send it; the tick that reaches 200
    // wraps to 0 without sending. At most 200 steps, so this always ends.
    while (true) {
        ++tick_;
        if (const SlotRow* row = slotRow(tick_); row && due(*row)) {
            serve(*row);
            return row->slot;
        }
        if (tick_ >= 200) {
            tick_ = 0;
            link_.endCycle();
            return std::nullopt;
        }
    }
}

} // namespace vq
