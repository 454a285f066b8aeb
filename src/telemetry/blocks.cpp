#include "blocks.h"

#include "link/hex.h"
#include "reply_fields.h"

namespace vq {
namespace {

template <class T>
void showWords(const Axes<T>& values, Ctl box, Board& board, FormState& state)
{
    for (int k = 0; k < kAxes; ++k)
        if (const auto& v = values[static_cast<std::size_t>(k)]) {
            board.setText(box, k + 1, DecimalText(*v).view());
            markReported(box, k + 1, true, board, state);
        }
}

} // namespace

void markReported(Ctl box, int index, bool reported, Board& board, FormState& state)
{
    if (reported) {
        // A value of the controller's is shown on the box's own ground; an
        // edit's marking is the operator's business and stays.
        state.unreported.erase({box, index});
        if (board.backColour(box, index) != Colour::edited()) board.setBackColour(box, index, Colour::windowBackground());
    } else {
        state.unreported.insert({box, index});
        board.setBackColour(box, index, Colour::unreported());
    }
}

void showFloats(const Axes<float>& values, const FloatRun& run, Board& board, FormState& state)
{
    const bool readout = run.shown == Shown::Readout;
    for (int k = 0; k < run.count; ++k) {
        const int index = run.firstIndex + k;
        const auto& v = values[static_cast<std::size_t>(k)];
        if (!v) { // not covered by the reply
            if (readout) board.setEnabled(run.box, index, false);
            continue;
        }
        const auto text = formatFixed(*v, run.decimals);
        board.setText(run.box, index, text ? std::string_view(*text) : kNoValue);
        if (readout) board.setEnabled(run.box, index, text.has_value());
        else markReported(run.box, index, text.has_value(), board, state);
    }
}

void showPose(const PoseBlock& pose, Board& board, FormState& state)
{
    showFloats(pose.joint, kJointAngles, board, state);
    showFloats(pose.pose, kPoseValues, board, state);
    showFloats(pose.monitor, kMonitorValues, board, state);
}

void showPidGains(const PidGains& gains, Board& board, FormState& state)
{
    showWords(gains.kp, Ctl::PidKp, board, state);
    showWords(gains.ki, Ctl::PidKi, board, state);
    showWords(gains.kd, Ctl::PidKd, board, state);
}

void showCaptions(const CaptionRun& run, Board& board)
{
    for (int i = run.firstIndex; i <= run.lastIndex; ++i) board.setText(run.control, i, run.caption);
}

} // namespace vq
