#include "scheduler.h"

#include <array>

#include "hex.h"

namespace vq {
namespace {

using W = SlotRow::When;
using K = SlotRow::Kind;
using S = SlotRow::Source;

constexpr SlotRow read(std::int16_t slot, W when, const char* start, const char* count)
{
    return {slot, when, K::Read, start, count, S::None, nullptr, nullptr, 0, nullptr, 0, false};
}
constexpr SlotRow write(std::int16_t slot, const char* start, const char* qty, std::string FormState::*payload,
                        std::int16_t followUp = 0, bool keep = false)
{
    return {slot, W::Flag, K::Write, start, qty, S::Payload, payload, nullptr, 0, nullptr, followUp, keep};
}
constexpr SlotRow boxWrite(std::int16_t slot, const char* start, const char* box, int index)
{
    return {slot, W::Flag, K::Write, start, "1", S::BoxWord, nullptr, box, index, nullptr, 0, false};
}
constexpr SlotRow constWrite(std::int16_t slot, const char* start, const char* qty, const char* constant)
{
    return {slot, W::Flag, K::Write, start, qty, S::Constant, nullptr, nullptr, 0, constant, 0, false};
}

using F = FormState;

// The PID box a single-gain write reads, by its name in the table (which
// names no other boxes).
Ctl gainBox(std::string_view box)
{
    return box == "Text4" ? Ctl::PidKp : box == "Text5" ? Ctl::PidKi : Ctl::PidKd;
}

// Slot, condition, request, start, count or quantity, payload, follow-up.
const std::array kSlots = {
    read(1, W::Check2, "10 00", "00 24"),
    read(6, W::Check3, "11 70", "00 24"),
    read(9, W::Flag, "10 50", "00 12"),
    read(10, W::Flag, "11 10", "00 0C"),
    read(20, W::Flag, "11 20", "00 0C"),
    read(30, W::Flag, "11 30", "00 0C"),
    read(40, W::Flag, "11 40", "00 0C"),
    read(50, W::Flag, "11 50", "00 0C"),
    boxWrite(51, "10 50", "Text4", 1),
    boxWrite(52, "10 51", "Text4", 2),
    boxWrite(53, "10 52", "Text4", 3),
    boxWrite(54, "10 53", "Text4", 4),
    boxWrite(55, "10 54", "Text4", 5),
    boxWrite(56, "10 55", "Text4", 6),
    read(60, W::Flag, "11 60", "00 0C"),
    boxWrite(61, "10 60", "Text5", 1),
    boxWrite(62, "10 61", "Text5", 2),
    boxWrite(63, "10 62", "Text5", 3),
    boxWrite(64, "10 63", "Text5", 4),
    boxWrite(65, "10 64", "Text5", 5),
    boxWrite(66, "10 65", "Text5", 6),
    boxWrite(71, "10 70", "Text6", 1),
    boxWrite(72, "10 71", "Text6", 2),
    boxWrite(73, "10 72", "Text6", 3),
    boxWrite(74, "10 73", "Text6", 4),
    boxWrite(75, "10 74", "Text6", 5),
    boxWrite(76, "10 75", "Text6", 6),
    write(81, "10 10", "1", &F::axisPowerWord1),
    write(82, "10 11", "1", &F::axisPowerWord2),
    write(83, "10 12", "1", &F::axisPowerWord3),
    write(84, "10 13", "1", &F::axisPowerWord4),
    write(85, "10 14", "1", &F::axisPowerWord5),
    write(86, "10 15", "1", &F::axisPowerWord6),
    read(89, W::Flag, "11 A6", "00 0C"),
    write(90, "10 10", "6", &F::axisPowerAllData),
    write(91, "10 40", "6", &F::alarmClearData),
    read(92, W::Flag, "11 A0", "00 0C"),
    constWrite(100, "11 00", "1", "00 01"),
    write(101, "10 80", "6", &F::originData),
    write(110, "11 10", "6", &F::paramData1110, 10),
    write(111, "10 90", "6", &F::originData),
    write(120, "11 20", "6", &F::paramData1120, 20),
    write(130, "11 30", "6", &F::paramData1130, 30),
    write(131, "10 B0", "6", &F::paramSaveData),
    write(140, "11 40", "6", &F::paramData1140, 40),
    write(141, "10 01", "1", &F::controlModeWord),
    write(142, "10 02", "1", &F::speedWord),
    write(143, "10 03", "1", &F::motionModeWord),
    write(144, "10 04", "1", &F::jogWord, 0, true),
    write(150, "11 50", "6", &F::paramData1150, 50),
    write(160, "11 60", "3", &F::paramData1160, 60),
    write(189, "11 A6", "3", &F::lineSpeedData),
    write(192, "11 A0", "3", &F::pointSpeedData),
    write(193, "11 B0", "6", &F::jointTargetData),
    write(194, "11 C0", "6", &F::poseTargetData),
    write(195, "11 D0", "6", &F::poseTargetData),
    write(196, "11 E0", "13", &F::arcTargetData),
};

// Row lookup by slot number, built once from the table.
const std::array<const SlotRow*, kSlotCount>& rowIndex()
{
    static const auto index = [] {
        std::array<const SlotRow*, kSlotCount> idx{};
        for (const auto& row : kSlots) idx[static_cast<std::size_t>(row.slot)] = &row;
        return idx;
    }();
    return index;
}

} // namespace

std::span<const SlotRow> slotTable() { return kSlots; }

const SlotRow* slotRow(int slot)
{
    if (slot < 0 || slot >= kSlotCount) return nullptr;
    return rowIndex()[static_cast<std::size_t>(slot)];
}

bool PollScheduler::rowDue(const SlotRow& row) const
{
    switch (row.when) {
    case W::Check2: return board_.value(Ctl::StatusReadSwitch) == 1;
    case W::Check3: return board_.value(Ctl::PoseReadSwitch) == 1;
    case W::Flag: return state_.due(row.slot);
    }
    return false;
}

void PollScheduler::carryOut(const SlotRow& row)
{
    if (row.when == W::Flag && !row.keepFlag) state_.slotPending[static_cast<std::size_t>(row.slot)] = 0;
    if (row.kind == K::Read) {
        sender_.sendReadRequest(row.start, row.amount);
        return;
    }
    std::string payload;
    switch (row.source) {
    case S::Payload: payload = state_.*(row.payload); break;
    case S::BoxWord: payload = wordToHex(board_.text(gainBox(row.box), row.boxIndex)); break;
    case S::Constant: payload = row.constant; break;
    case S::None: break;
    }
    sender_.sendWriteRequest(row.start, row.amount, payload);
    if (row.followUp) state_.raise(row.followUp);
}

void PollScheduler::pollTick()
{
    // Advance to the next due slot and send it; the tick that reaches 200
    // wraps to 0 without sending. At most 200 steps, so this always ends.
    while (true) {
        ++state_.pollTick;
        if (state_.pollTick >= 1 && state_.pollTick < kSlotCount) {
            const SlotRow* row = rowIndex()[static_cast<std::size_t>(state_.pollTick)];
            if (row && rowDue(*row)) {
                carryOut(*row);
                return;
            }
        }
        if (state_.pollTick >= 200) {
            state_.pollTick = 0;
            return;
        }
    }
}

} // namespace vq
