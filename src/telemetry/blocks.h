// The register blocks the controller answers with, as data: which field of
// dataHex goes to which box in which format. The pose block and the
// parameter blocks are nothing but such tables; the status block has its own
// decoder because it also stores values and drives colours and enabling.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "link/board.h"
#include "link/form_state.h"

namespace vq {

enum class FieldKind : std::uint8_t {
    Word,  // one register, signed 16-bit, shown in decimal
    Float, // two registers, 32-bit float in received byte order, shown with `decimals`
};

// `count` consecutive fields of one kind going to `box`(firstIndex) ..
// `box`(firstIndex + count - 1), the first at register offset `firstReg`.
struct FieldRun {
    Ctl box;
    int firstIndex;
    int count;
    int firstReg;
    FieldKind kind;
    int decimals; // Float only: "0.000" = 3, "0.00" = 2, "0.0" = 1, "0" = 0
};

// Captions set when the controller acknowledges a save command.
struct CaptionRun {
    Ctl control;
    int firstIndex;
    int lastIndex;
    std::string_view caption;
};

// Pose block at 1170: eighteen floats, joint angles, Cartesian pose and
// monitor values of axes 1..6. The seventh-axis read-outs are not written.
inline constexpr std::array kPoseBlock = {
    FieldRun{Ctl::JointAngle, 1, 6, 0, FieldKind::Float, 3},
    FieldRun{Ctl::PoseValue, 1, 6, 12, FieldKind::Float, 2},
    FieldRun{Ctl::MonitorValue, 1, 6, 24, FieldKind::Float, 0},
};

// PID gains at 1050: 18 words read contiguously (Kp, Ki, Kd of axes 1..6),
// although single gains are written at 1050, 1060 and 1070.
inline constexpr std::array kPidGainsBlock = {
    FieldRun{Ctl::PidKp, 1, 6, 0, FieldKind::Word, 0},
    FieldRun{Ctl::PidKi, 1, 6, 6, FieldKind::Word, 0},
    FieldRun{Ctl::PidKd, 1, 6, 12, FieldKind::Word, 0},
};

// Float parameter blocks, twelve registers each. The tool block and the two
// speed triples carry six floats of which only the first three are shown.
inline constexpr std::array kMechanicalBlock = {FieldRun{Ctl::MechanicalParam, 1, 6, 0, FieldKind::Float, 2}};   // 11 10
inline constexpr std::array kReductionBlock = {FieldRun{Ctl::ReductionRatio, 1, 6, 0, FieldKind::Float, 2}};    // 11 20
inline constexpr std::array kMotorEncoderBlock = {FieldRun{Ctl::MotorEncoderParam, 1, 6, 0, FieldKind::Float, 1}}; // 11 30
inline constexpr std::array kMaxPositiveBlock = {FieldRun{Ctl::MaxPositiveAngle, 1, 6, 0, FieldKind::Float, 1}};  // 11 40
inline constexpr std::array kMaxNegativeBlock = {FieldRun{Ctl::MaxNegativeAngle, 1, 6, 0, FieldKind::Float, 1}};  // 11 50
inline constexpr std::array kToolBlock = {FieldRun{Ctl::ToolParam, 1, 3, 0, FieldKind::Float, 2}};         // 11 60: Tx, Ty, Tz
inline constexpr std::array kPointSpeedBlock = {FieldRun{Ctl::PointSpeed, 0, 3, 0, FieldKind::Float, 0}};       // 11 A0: RPM, ACC, DEC
inline constexpr std::array kLineSpeedBlock = {FieldRun{Ctl::LinearSpeed, 0, 3, 0, FieldKind::Float, 0}};      // 11 A6: MM_S, ACC, DEC

inline constexpr std::string_view kSavedCaption = "保存参数OK";
inline constexpr CaptionRun kPidSaved{Ctl::PidGainsButton, 1, 1, kSavedCaption};       // ack of 10 B0
inline constexpr CaptionRun kParamsSaved{Ctl::StoreParamsButton, 0, 2, kSavedCaption}; // ack of 11 00, all three buttons

// Writes every field of the runs that converts; a field that does not is
// skipped and its box keeps its text.
void applyFields(std::string_view dataHex, Board& board, std::span<const FieldRun> runs);

void applyCaptions(Board& board, const CaptionRun& run);

// Status block at 1000: modes, teach speed, busy word, servo states, encoder
// positions, alarm codes; then the servo button colours, the status lamp and
// the mode panel.
void decodeStatusBlock(std::string_view dataHex, FormState& state, Board& board);

} // namespace vq
