#include "blocks.h"

#include "link/hex.h"
#include "reply_fields.h"

namespace vq {
namespace {

template <class T>
void showWords(const Axes<T>& values, Ctl box, Board& board)
{
    for (int k = 0; k < kAxes; ++k)
        if (const auto& v = values[static_cast<std::size_t>(k)]) board.setText(box, k + 1, DecimalText(*v).view());
}

} // namespace

void showFloats(const Axes<float>& values, const FloatRun& run, Board& board)
{
    for (int k = 0; k < run.count; ++k) {
        const auto& v = values[static_cast<std::size_t>(k)];
        if (!v) continue;
        if (auto text = formatFixed(*v, run.decimals)) board.setText(run.box, run.firstIndex + k, *text);
    }
}

void showPose(const PoseBlock& pose, Board& board)
{
    showFloats(pose.joint, kJointAngles, board);
    showFloats(pose.pose, kPoseValues, board);
    showFloats(pose.monitor, kMonitorValues, board);
}

void showPidGains(const PidGains& gains, Board& board)
{
    showWords(gains.kp, Ctl::PidKp, board);
    showWords(gains.ki, Ctl::PidKi, board);
    showWords(gains.kd, Ctl::PidKd, board);
}

void showCaptions(const CaptionRun& run, Board& board)
{
    for (int i = run.firstIndex; i <= run.lastIndex; ++i) board.setText(run.control, i, run.caption);
}

} // namespace vq
