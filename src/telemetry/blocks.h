// How each register block the controller answers with is shown, as data:
// which decoded field goes to which box with how many decimals. The pose
// block and the parameter blocks are nothing but such tables; the status
// block has its own presenter because it also stores values and drives
// colours and enabling.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "decoded.h"
#include "link/board.h"
#include "link/form_state.h"

namespace vq {

// What a block's values are shown in: live read-outs of the arm (labels),
// or parameter boxes that are also the operator's input.
enum class Shown : std::uint8_t { Readout, ParamBox };

// The `count` values of a block going to `box`(firstIndex) ..
// `box`(firstIndex + count - 1), each with `decimals` ("0.000" is 3, "0" is 0).
struct FloatRun {
    Ctl box;
    int firstIndex;
    int count;
    int decimals;
    Shown shown = Shown::ParamBox;
};

// Shown for a value that came back but is no number (NaN, infinite).
inline constexpr std::string_view kNoValue = "—";

// Captions set when the controller acknowledges a save command.
struct CaptionRun {
    Ctl control;
    int firstIndex;
    int lastIndex;
    std::string_view caption;
};

// Pose block: joint angles, Cartesian pose and monitor values of axes 1..6.
// The seventh-axis read-outs are not written.
inline constexpr FloatRun kJointAngles{Ctl::JointAngle, 1, 6, 3, Shown::Readout};
inline constexpr FloatRun kPoseValues{Ctl::PoseValue, 1, 6, 2, Shown::Readout};
inline constexpr FloatRun kMonitorValues{Ctl::MonitorValue, 1, 6, 0, Shown::Readout};

// Float parameter blocks. The tool block and the two speed triples carry six
// floats of which only the first three are shown.
inline constexpr FloatRun kMechanicalBlock{Ctl::MechanicalParam, 1, 6, 2};     // 11 10
inline constexpr FloatRun kReductionBlock{Ctl::ReductionRatio, 1, 6, 2};       // 11 20
inline constexpr FloatRun kMotorEncoderBlock{Ctl::MotorEncoderParam, 1, 6, 1}; // 11 30
inline constexpr FloatRun kMaxPositiveBlock{Ctl::MaxPositiveAngle, 1, 6, 1};   // 11 40
inline constexpr FloatRun kMaxNegativeBlock{Ctl::MaxNegativeAngle, 1, 6, 1};   // 11 50
inline constexpr FloatRun kToolBlock{Ctl::ToolParam, 1, 3, 2};                 // 11 60: Tx, Ty, Tz
inline constexpr FloatRun kPointSpeedBlock{Ctl::PointSpeed, 0, 3, 0};          // 11 A0: RPM, ACC, DEC
inline constexpr FloatRun kLineSpeedBlock{Ctl::LinearSpeed, 0, 3, 0};          // 11 A6: MM_S, ACC, DEC

inline constexpr std::string_view kSavedCaption = "保存参数OK";
inline constexpr CaptionRun kPidSaved{Ctl::PidGainsButton, 1, 1, kSavedCaption};       // ack of 10 B0
inline constexpr CaptionRun kParamsSaved{Ctl::StoreParamsButton, 0, 2, kSavedCaption}; // ack of 11 00, all three buttons

// Shows every value the block carries. A read-out is live (enabled) while
// its value is; one that came back as no number shows "—" greyed, and one
// the reply did not cover (its byte count fell short) keeps its text
// greyed. A parameter box takes a value and counts as reported; one that
// came back as no number shows "—", marked as unreported; one not covered
// keeps what it had.
void showFloats(const Axes<float>& values, const FloatRun& run, Board& board, FormState& state);
void showPose(const PoseBlock& pose, Board& board, FormState& state);
void showPidGains(const PidGains& gains, Board& board, FormState& state);
void showCaptions(const CaptionRun& run, Board& board);

// A parameter box's text came from the controller (or not): its marking.
void markReported(Ctl box, int index, bool reported, Board& board, FormState& state);

// Status block: stores the busy word, servo states and alarm codes, shows
// the teach speed, busy word and encoder positions, colours the servo
// buttons and the status lamp and sets the mode panel.
void showStatus(const StatusBlock& status, FormState& state, Board& board);

} // namespace vq
