#include "reply_handler.h"

#include <array>

#include "blocks.h"
#include "link/slots.h"

namespace vq {
namespace {

// What a decoder works with: the reply's data and block, where it shows
// the values, and who else is told.
struct Decoding {
    std::span<const std::uint8_t> data;
    std::uint16_t block;
    FormState& state;
    Board& board;
    const BlockListener& listener;
};

using Decoder = void (*)(const Decoding& d);

void status(const Decoding& d)
{
    const StatusBlock block = decodeStatus(d.data);
    showStatus(block, d.state, d.board);
    if (d.listener.status) d.listener.status(block);
}

void pose(const Decoding& d)
{
    const PoseBlock block = decodePose(d.data);
    showPose(block, d.board, d.state);
    if (d.listener.pose) d.listener.pose(block);
}

void pidGains(const Decoding& d) { showPidGains(decodePidGains(d.data), d.board, d.state); }

template <const FloatRun& Run>
void floats(const Decoding& d)
{
    const FloatBlock block = decodeFloats(d.data);
    showFloats(block.value, Run, d.board, d.state);
    if (d.listener.floats) d.listener.floats(d.block, block);
}

template <const CaptionRun& Captions>
void acknowledgeSave(const Decoding& d)
{
    showCaptions(Captions, d.board);
}

enum class Answers : std::uint8_t { Read, Write };

struct DispatchRow {
    std::uint16_t block;
    Answers answers;
    Decoder decode;
};

// Register blocks by start register. Single PID gains are written at 1050
// too; their acknowledgements change nothing.
constexpr std::array kDispatch = {
    DispatchRow{reg::kStatus, Answers::Read, status},
    DispatchRow{reg::kPidGains, Answers::Read, pidGains},
    DispatchRow{reg::kStorePid, Answers::Write, acknowledgeSave<kPidSaved>},
    DispatchRow{reg::kStoreParameters, Answers::Write, acknowledgeSave<kParamsSaved>},
    DispatchRow{reg::kMechanical, Answers::Read, floats<kMechanicalBlock>},
    DispatchRow{reg::kReduction, Answers::Read, floats<kReductionBlock>},
    DispatchRow{reg::kMotorEncoder, Answers::Read, floats<kMotorEncoderBlock>},
    DispatchRow{reg::kMaxPositive, Answers::Read, floats<kMaxPositiveBlock>},
    DispatchRow{reg::kMaxNegative, Answers::Read, floats<kMaxNegativeBlock>},
    DispatchRow{reg::kTool, Answers::Read, floats<kToolBlock>},
    DispatchRow{reg::kPose, Answers::Read, pose},
    DispatchRow{reg::kPointSpeed, Answers::Read, floats<kPointSpeedBlock>},
    DispatchRow{reg::kLineSpeed, Answers::Read, floats<kLineSpeedBlock>},
};

} // namespace

ReplyHandler::ReplyHandler(FormState& state, Board& board) : state_(state), board_(board) {}

void ReplyHandler::handle(const Reply& reply)
{
    const Answers answers = reply.isRead ? Answers::Read : Answers::Write;
    for (const DispatchRow& row : kDispatch) {
        if (row.block != reply.block || row.answers != answers) continue;
        row.decode(Decoding{reply.data, reply.block, state_, board_, listener_});
        return;
    }
}

} // namespace vq
