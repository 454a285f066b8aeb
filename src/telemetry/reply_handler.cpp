#include "reply_handler.h"

#include <algorithm>
#include <array>

#include "blocks.h"
#include "link/crc.h"
#include "link/hex.h"
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

enum class Needs : std::uint8_t { AnyFunction, ReadReply };

struct DispatchRow {
    std::string_view replyAddress;
    Needs needs;
    Decoder decode;
};

// Register blocks by start address. A write acknowledgement for a float
// block reaches its decoder with only the four-digit quantity as data, so
// every float field lacks digits and nothing changes; 10 50 needs a read
// reply because its single-gain writes are acknowledged at the same address.
constexpr std::array kDispatch = {
    DispatchRow{"10 00", Needs::AnyFunction, decodeStatusBlock},
    DispatchRow{"10 50", Needs::ReadReply, decodeFields<kPidGainsBlock>},
    DispatchRow{"10 B0", Needs::AnyFunction, acknowledgeSave<kPidSaved>},
    DispatchRow{"11 00", Needs::AnyFunction, acknowledgeSave<kParamsSaved>},
    DispatchRow{"11 10", Needs::AnyFunction, decodeFields<kMechanicalBlock>},
    DispatchRow{"11 20", Needs::AnyFunction, decodeFields<kReductionBlock>},
    DispatchRow{"11 30", Needs::AnyFunction, decodeFields<kMotorEncoderBlock>},
    DispatchRow{"11 40", Needs::AnyFunction, decodeFields<kMaxPositiveBlock>},
    DispatchRow{"11 50", Needs::AnyFunction, decodeFields<kMaxNegativeBlock>},
    DispatchRow{"11 60", Needs::AnyFunction, decodeFields<kToolBlock>},
    DispatchRow{"11 70", Needs::AnyFunction, decodeFields<kPoseBlock>},
    DispatchRow{"11 A0", Needs::AnyFunction, decodeFields<kPointSpeedBlock>},
    DispatchRow{"11 A6", Needs::AnyFunction, decodeFields<kLineSpeedBlock>},
};

constexpr std::string_view kReadFunction = "03";
constexpr std::string_view kWriteFunction = "10";

// Digits [from, from + length) of replyHex, cut at `end` (where the CRC
// starts): a reply that claims more than it carries gives what it carries.
std::string_view digitsBefore(std::string_view replyHex, std::size_t from, std::size_t length, std::size_t end)
{
    if (from >= end) return {};
    return replyHex.substr(from, std::min(length, end - from));
}

} // namespace

ReplyHandler::ReplyHandler(FormState& state, Board& board) : state_(state), board_(board)
{
    // A status or pose reply is 77 bytes; parameter blocks are shorter.
    replyHex_.reserve(2 * 80);
    replyText_.reserve(3 * 80);
}

void ReplyHandler::MSComm1_OnComm(std::span<const std::uint8_t> received)
{
    // Fewer than three bytes leave nothing to check a CRC over.
    if (received.size() < 3) return;

    makeReplyHex(received, replyHex_);
    const std::string_view hex = replyHex_;

    // The CRC travels low byte first, which is also the order of the check
    // text, so the two compare as text.
    const std::string crcText = bytesToCrcHex(received.first(received.size() - 2));
    if (hex.substr(hex.size() - 4) != crcText) return;

    makeReplyText(received, replyText_);
    board_.setText(Ctl::ReceivedFrame, kNoIndex, replyText_);

    // Digit positions (0-based): 0-1 slave address, 2-3 function, then the
    // function's fields; the last four digits are the CRC and never data.
    const std::size_t crcStart = hex.size() - 4;
    const std::string_view function = hex.substr(2, 2);
    std::string_view dataHex;
    if (function == kReadFunction) {
        // Byte count at 4-5, data from 6. The count is taken as sent, not
        // compared with what was asked for.
        const auto byteCount = parseHexDigits(digitsBefore(hex, 4, 2, crcStart));
        if (byteCount) dataHex = digitsBefore(hex, 6, 2 * std::size_t{*byteCount}, crcStart);
    } else if (function == kWriteFunction) {
        // Echoed start register at 4-7 ("HH LL" as the senders write it),
        // echoed quantity at 8-11. An echo cut short names no block.
        const std::string_view start = digitsBefore(hex, 4, 4, crcStart);
        state_.replyAddress.clear();
        if (start.size() == 4) {
            state_.replyAddress.append(start.substr(0, 2));
            state_.replyAddress.push_back(' ');
            state_.replyAddress.append(start.substr(2, 2));
        }
        dataHex = digitsBefore(hex, 8, 4, crcStart);
    }

    dispatch(function, dataHex);
    state_.replyAddress.clear();
}

void ReplyHandler::dispatch(std::string_view function, std::string_view dataHex)
{
    for (const DispatchRow& row : kDispatch) {
        if (row.replyAddress != state_.replyAddress) continue;
        if (row.needs == Needs::ReadReply && function != kReadFunction) continue;
        row.decode(dataHex, state_, board_);
        return;
    }
}

} // namespace vq
