#include "slots.h"

#include <array>

namespace vq {
namespace {

using C = Condition;
using S = SlotRow::Source;
using P = Payload;

constexpr std::uint8_t kRead = 0x03;
constexpr std::uint8_t kWrite = 0x10;

constexpr SlotRow read(Slot slot, C when, std::uint16_t start, std::uint16_t count)
{
    return {slot, when, kRead, start, count, S::None, P::None, PidTerm::Kp, 0, 0, std::nullopt, false};
}
constexpr SlotRow write(Slot slot, std::uint16_t start, std::uint16_t quantity, Payload payload,
                        std::optional<Slot> followUp = std::nullopt, bool keepRaised = false)
{
    return {slot, C::Raised, kWrite, start, quantity, S::Mailbox, payload, PidTerm::Kp, 0, 0, followUp, keepRaised};
}
constexpr SlotRow gain(int number, std::uint16_t start, PidTerm term, int axis)
{
    return {slotAt(number), C::Raised, kWrite, start, 1, S::GainBox, P::None, term, static_cast<std::uint8_t>(axis), 0,
            std::nullopt, false};
}
constexpr SlotRow constant(Slot slot, std::uint16_t start, std::uint16_t word)
{
    return {slot, C::Raised, kWrite, start, 1, S::Constant, P::None, PidTerm::Kp, 0, word, std::nullopt, false};
}

// slot, register, count or quantity, data, follow-up read
constexpr std::array kSlots = {
    read(Slot::ReadStatus, C::StatusReadOn, 0x1000, 36),
    read(Slot::ReadPose, C::PoseReadOn, 0x1170, 36),
    read(Slot::ReadPidGains, C::Raised, 0x1050, 18),
    read(Slot::ReadMechanical, C::Raised, 0x1110, 12),
    read(Slot::ReadReduction, C::Raised, 0x1120, 12),
    read(Slot::ReadMotorEncoder, C::Raised, 0x1130, 12),
    read(Slot::ReadMaxPositive, C::Raised, 0x1140, 12),
    read(Slot::ReadMaxNegative, C::Raised, 0x1150, 12),
    gain(51, 0x1050, PidTerm::Kp, 1),
    gain(52, 0x1051, PidTerm::Kp, 2),
    gain(53, 0x1052, PidTerm::Kp, 3),
    gain(54, 0x1053, PidTerm::Kp, 4),
    gain(55, 0x1054, PidTerm::Kp, 5),
    gain(56, 0x1055, PidTerm::Kp, 6),
    read(Slot::ReadTool, C::Raised, 0x1160, 12),
    gain(61, 0x1060, PidTerm::Ki, 1),
    gain(62, 0x1061, PidTerm::Ki, 2),
    gain(63, 0x1062, PidTerm::Ki, 3),
    gain(64, 0x1063, PidTerm::Ki, 4),
    gain(65, 0x1064, PidTerm::Ki, 5),
    gain(66, 0x1065, PidTerm::Ki, 6),
    gain(71, 0x1070, PidTerm::Kd, 1),
    gain(72, 0x1071, PidTerm::Kd, 2),
    gain(73, 0x1072, PidTerm::Kd, 3),
    gain(74, 0x1073, PidTerm::Kd, 4),
    gain(75, 0x1074, PidTerm::Kd, 5),
    gain(76, 0x1075, PidTerm::Kd, 6),
    write(slotAt(81), 0x1010, 1, P::AxisPower1),
    write(slotAt(82), 0x1011, 1, P::AxisPower2),
    write(slotAt(83), 0x1012, 1, P::AxisPower3),
    write(slotAt(84), 0x1013, 1, P::AxisPower4),
    write(slotAt(85), 0x1014, 1, P::AxisPower5),
    write(slotAt(86), 0x1015, 1, P::AxisPower6),
    read(Slot::ReadLineSpeed, C::Raised, 0x11A6, 12),
    write(Slot::AxisPowerAll, 0x1010, 6, P::AxisPowerAll),
    write(Slot::AlarmClear, 0x1040, 6, P::AlarmClear),
    read(Slot::ReadPointSpeed, C::Raised, 0x11A0, 12),
    constant(Slot::StoreParameters, 0x1100, 0x0001),
    write(Slot::SetOrigin, 0x1080, 6, P::Origin),
    write(Slot::WriteMechanical, 0x1110, 6, P::Mechanical, Slot::ReadMechanical),
    write(Slot::ReturnToOrigin, 0x1090, 6, P::Origin),
    write(Slot::WriteReduction, 0x1120, 6, P::Reduction, Slot::ReadReduction),
    write(Slot::WriteMotorEncoder, 0x1130, 6, P::MotorEncoder, Slot::ReadMotorEncoder),
    write(Slot::StorePidGains, 0x10B0, 6, P::PidSave),
    write(Slot::WriteMaxPositive, 0x1140, 6, P::MaxPositive, Slot::ReadMaxPositive),
    write(Slot::ControlMode, 0x1001, 1, P::ControlModeWord),
    write(Slot::TeachSpeed, 0x1002, 1, P::SpeedWord),
    write(Slot::MotionMode, 0x1003, 1, P::MotionModeWord),
    write(Slot::Jog, 0x1004, 1, P::JogWord, std::nullopt, true),
    write(Slot::WriteMaxNegative, 0x1150, 6, P::MaxNegative, Slot::ReadMaxNegative),
    write(Slot::WriteTool, 0x1160, 3, P::Tool, Slot::ReadTool),
    write(Slot::WriteLineSpeed, 0x11A6, 3, P::LineSpeed),
    write(Slot::WritePointSpeed, 0x11A0, 3, P::PointSpeed),
    write(Slot::JointTarget, 0x11B0, 6, P::JointTarget),
    write(Slot::PointMove, 0x11C0, 6, P::PoseTarget),
    write(Slot::LinearMove, 0x11D0, 6, P::PoseTarget),
    write(Slot::ArcMove, 0x11E0, 13, P::ArcTarget),
};

const std::array<const SlotRow*, kSlotCount>& rowIndex()
{
    static const auto index = [] {
        std::array<const SlotRow*, kSlotCount> idx{};
        for (const auto& row : kSlots) idx[static_cast<std::size_t>(slotNumber(row.slot))] = &row;
        return idx;
    }();
    return index;
}

} // namespace

std::span<const SlotRow> slotTable() { return kSlots; }

const SlotRow* slotRow(int number)
{
    if (number < 0 || number >= kSlotCount) return nullptr;
    return rowIndex()[static_cast<std::size_t>(number)];
}

const SlotRow& slotRow(Slot slot) { return *rowIndex()[static_cast<std::size_t>(slotNumber(slot))]; }

} // namespace vq
