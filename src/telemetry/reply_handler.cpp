#include "reply_handler.h"

#include <array>

#include "blocks.h"
#include "link/slots.h"

namespace vq {
namespace {

using Decoder = void (*)(std::span<const std::uint8_t> data, FormState& state, Board& board);

void status(std::span<const std::uint8_t> data, FormState& state, Board& board) { showStatus(decodeStatus(data), state, board); }
void pose(std::span<const std::uint8_t> data, FormState& state, Board& board) { showPose(decodePose(data), board, state); }
void pidGains(std::span<const std::uint8_t> data, FormState& state, Board& board)
{
    showPidGains(decodePidGains(data), board, state);
}

template <const FloatRun& Run>
void floats(std::span<const std::uint8_t> data, FormState& state, Board& board)
{
    showFloats(decodeFloats(data).value, Run, board, state);
}

template <const CaptionRun& Captions>
void acknowledgeSave(std::span<const std::uint8_t>, FormState&, Board& board)
{
    showCaptions(Captions, board);
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
        row.decode(reply.data, state_, board_);
        return;
    }
}

} // namespace vq
