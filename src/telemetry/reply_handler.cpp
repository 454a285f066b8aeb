#include "reply_handler.h"

#include <array>

#include "blocks.h"
#include "link/slots.h"
#include "reply_fields.h"

namespace vq {
namespace {

using Decoder = void (*)(std::string_view dataHex, FormState& state, Board& board);

template <const auto& Runs>
void decodeFields(std::string_view dataHex, FormState&, Board& board)
{
    applyFields(dataHex, board, Runs);
}

template <const CaptionRun& Captions>
void acknowledgeSave(std::string_view, FormState&, Board& board)
{
    applyCaptions(board, Captions);
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
    DispatchRow{reg::kStatus, Answers::Read, decodeStatusBlock},
    DispatchRow{reg::kPidGains, Answers::Read, decodeFields<kPidGainsBlock>},
    DispatchRow{reg::kStorePid, Answers::Write, acknowledgeSave<kPidSaved>},
    DispatchRow{reg::kStoreParameters, Answers::Write, acknowledgeSave<kParamsSaved>},
    DispatchRow{reg::kMechanical, Answers::Read, decodeFields<kMechanicalBlock>},
    DispatchRow{reg::kReduction, Answers::Read, decodeFields<kReductionBlock>},
    DispatchRow{reg::kMotorEncoder, Answers::Read, decodeFields<kMotorEncoderBlock>},
    DispatchRow{reg::kMaxPositive, Answers::Read, decodeFields<kMaxPositiveBlock>},
    DispatchRow{reg::kMaxNegative, Answers::Read, decodeFields<kMaxNegativeBlock>},
    DispatchRow{reg::kTool, Answers::Read, decodeFields<kToolBlock>},
    DispatchRow{reg::kPose, Answers::Read, decodeFields<kPoseBlock>},
    DispatchRow{reg::kPointSpeed, Answers::Read, decodeFields<kPointSpeedBlock>},
    DispatchRow{reg::kLineSpeed, Answers::Read, decodeFields<kLineSpeedBlock>},
};

} // namespace

ReplyHandler::ReplyHandler(FormState& state, Board& board) : state_(state), board_(board)
{
    dataHex_.reserve(2 * 80); // a status or pose reply carries 72 data bytes
}

void ReplyHandler::handle(const Reply& reply)
{
    const Answers answers = reply.isRead ? Answers::Read : Answers::Write;
    for (const DispatchRow& row : kDispatch) {
        if (row.block != reply.block || row.answers != answers) continue;
        makeReplyHex(reply.data, dataHex_);
        row.decode(dataHex_, state_, board_);
        return;
    }
}

} // namespace vq
