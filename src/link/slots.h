// The slot table: every request the console can make of the controller, one
// row each. A slot's number is its place in the poll cycle (the scheduler
// walks 1 to 200 and serves due slots in ascending order), so the enum's
// values are not arbitrary: they fix the order in which pending requests go
// out. Register addresses, counts and quantities are those of the
// controller's register map.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace vq {

inline constexpr int kSlotCount = 201; // slots 0..200; 200 wraps the cycle

enum class Slot : std::uint8_t {
    ReadStatus = 1,          // status block: modes, busy word, servos, encoders, alarms
    ReadPose = 6,            // pose block: joint angles, tool pose, monitor values
    ReadPidGains = 9,        // Kp, Ki, Kd of the six axes
    ReadMechanical = 10,     // mechanical parameters
    ReadReduction = 20,      // reduction ratios
    ReadMotorEncoder = 30,   // motor encoder parameters
    ReadMaxPositive = 40,    // positive angle limits
    ReadMaxNegative = 50,    // negative angle limits
    WriteKp1 = 51,           // single gains: Kp of axis k at 50 + k
    ReadTool = 60,           // tool parameters
    WriteKi1 = 61,           // Ki of axis k at 60 + k
    WriteKd1 = 71,           // Kd of axis k at 70 + k
    AxisPower1 = 81,         // switch word of axis k at 80 + k
    ReadLineSpeed = 89,
    AxisPowerAll = 90,       // switch words of all six axes
    AlarmClear = 91,
    ReadPointSpeed = 92,
    StoreParameters = 100,   // the controller stores its parameter blocks
    SetOrigin = 101,
    WriteMechanical = 110,
    ReturnToOrigin = 111,
    WriteReduction = 120,
    WriteMotorEncoder = 130,
    StorePidGains = 131,
    WriteMaxPositive = 140,
    ControlMode = 141,
    TeachSpeed = 142,
    MotionMode = 143,
    Jog = 144,               // jog code of the held button, 0 to stop
    WriteMaxNegative = 150,
    WriteTool = 160,
    WriteLineSpeed = 189,
    WritePointSpeed = 192,
    JointTarget = 193,
    PointMove = 194,         // MOVP
    LinearMove = 195,        // MOVL
    ArcMove = 196,           // MOVC
};

constexpr int slotNumber(Slot s) { return static_cast<int>(s); }
constexpr Slot slotAt(int number) { return static_cast<Slot>(number); }
// Axis k (1..6) of a per-axis slot group: axisSlot(Slot::AxisPower1, 3).
constexpr Slot axisSlot(Slot first, int axis) { return slotAt(slotNumber(first) + axis - 1); }

// Start registers of the controller's blocks that replies are decoded by.
namespace reg {
inline constexpr std::uint16_t kStatus = 0x1000;
inline constexpr std::uint16_t kPidGains = 0x1050;
inline constexpr std::uint16_t kStorePid = 0x10B0;
inline constexpr std::uint16_t kStoreParameters = 0x1100;
inline constexpr std::uint16_t kMechanical = 0x1110;
inline constexpr std::uint16_t kReduction = 0x1120;
inline constexpr std::uint16_t kMotorEncoder = 0x1130;
inline constexpr std::uint16_t kMaxPositive = 0x1140;
inline constexpr std::uint16_t kMaxNegative = 0x1150;
inline constexpr std::uint16_t kTool = 0x1160;
inline constexpr std::uint16_t kPose = 0x1170;
inline constexpr std::uint16_t kPointSpeed = 0x11A0;
inline constexpr std::uint16_t kLineSpeed = 0x11A6;
} // namespace reg

// Where a write's data comes from when its slot is served. One payload can
// feed two slots (the origin word, the Cartesian target): the last one
// stored before the slot comes is the one sent.
enum class Payload : std::uint8_t {
    None,
    ControlModeWord,
    SpeedWord,
    MotionModeWord,
    JogWord,
    AxisPower1, AxisPower2, AxisPower3, AxisPower4, AxisPower5, AxisPower6,
    AxisPowerAll,
    AlarmClear,
    Origin,
    JointTarget,
    PoseTarget,
    ArcTarget,
    PointSpeed,
    LineSpeed,
    PidSave,
    Mechanical, Reduction, MotorEncoder, MaxPositive, MaxNegative, Tool,
    Count
};

enum class Condition : std::uint8_t {
    StatusReadOn, // the continuous status read is switched on
    PoseReadOn,   // the continuous pose read is switched on
    Raised,       // the slot's flag is raised
};

enum class PidTerm : std::uint8_t { Kp, Ki, Kd };

struct SlotRow {
    enum class Source : std::uint8_t {
        None,      // a read
        Mailbox,   // the payload stored in the mailbox
        GainBox,   // the PID gain box of (term, axis) as the operator left it, read at send time
        Constant,  // one constant word
    };

    Slot slot;
    Condition when;
    std::uint8_t function;  // 0x03 read holding registers, 0x10 write multiple registers
    std::uint16_t start;    // first register
    std::uint16_t amount;   // read: register count; write: number of values (six floats are 6, not 12)
    Source source;
    Payload payload;        // Source::Mailbox
    PidTerm term;           // Source::GainBox
    std::uint8_t axis;      // Source::GainBox: 1..6
    std::uint16_t constant; // Source::Constant
    std::optional<Slot> followUp; // raised after the write went out: the block is read back
    bool keepRaised;        // the flag stays raised after sending: the jog word goes out every cycle

    bool isRead() const { return function == 0x03; }
    // Length of the controller's reply: address, function, byte count,
    // two bytes a register and the CRC for a read; the echo of start and
    // quantity with the CRC for a write.
    int replyLength() const { return isRead() ? 5 + 2 * amount : 8; }
};

// The table in ascending slot order.
std::span<const SlotRow> slotTable();
// The row of a slot number, or nullptr when no row has it.
const SlotRow* slotRow(int number);
const SlotRow& slotRow(Slot slot);

} // namespace vq
