// The link's reply checks and the block decoders behind them. The input is
// a run of poll events, each followed by a receive event. Each event takes
// two header bytes and a length byte:
//   byte 0: the slot whose request the poll event sends; a number that is
//           no slot is the event that wraps the cycle and sends nothing;
//   byte 1: the shape of the reply:
//           0 the bytes as they are (the CRC is almost always wrong);
//           1 the bytes with a good CRC appended;
//           2 a read reply: address, 03, byte count, the bytes, good CRC
//             (bit 2 set: the first byte is the byte count, which then may
//             not match what follows);
//           3 a write acknowledgement: address, 10, the bytes, good CRC;
//           bit 3 set: no receive event (the reply is lost);
//   byte 2: how many of the following bytes the event takes.
// After every receive event: an accepted reply had the length of the reply
// to the request on the line, a good CRC, came while that request awaited
// its reply, is shown (ReceivedFrame) and is decoded, if at all, as the
// block the request named; a rejected one changes nothing and is decoded
// nowhere; every read-out that shows a number shows one.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "link/crc.h"
#include "link/frames.h"
#include "link/hex.h"
#include "link/link.h"
#include "link/numtext.h"
#include "link/slots.h"
#include "support/fake_board.h"
#include "telemetry/blocks.h"
#include "telemetry/reply_handler.h"

namespace {

using vq::fuzz::quoted;

struct NumberBoxes {
    std::uint16_t block; // start register of the block whose decoder fills them
    vq::Ctl id;
    int first;
    int last;
};

// Read-outs that the decoders fill with numbers only.
constexpr std::array<NumberBoxes, 17> kNumberBoxes = {{
    {vq::reg::kStatus, vq::Ctl::EncoderPosition, 1, 6},
    {vq::reg::kStatus, vq::Ctl::TeachSpeed, vq::kNoIndex, vq::kNoIndex},
    {vq::reg::kStatus, vq::Ctl::BusyWord, vq::kNoIndex, vq::kNoIndex},
    {vq::reg::kPose, vq::Ctl::JointAngle, 1, 6},
    {vq::reg::kPose, vq::Ctl::PoseValue, 1, 6},
    {vq::reg::kPose, vq::Ctl::MonitorValue, 1, 6},
    {vq::reg::kPidGains, vq::Ctl::PidKp, 1, 6},
    {vq::reg::kPidGains, vq::Ctl::PidKi, 1, 6},
    {vq::reg::kPidGains, vq::Ctl::PidKd, 1, 6},
    {vq::reg::kMechanical, vq::Ctl::MechanicalParam, 1, 6},
    {vq::reg::kReduction, vq::Ctl::ReductionRatio, 1, 6},
    {vq::reg::kMotorEncoder, vq::Ctl::MotorEncoderParam, 1, 6},
    {vq::reg::kMaxPositive, vq::Ctl::MaxPositiveAngle, 1, 6},
    {vq::reg::kMaxNegative, vq::Ctl::MaxNegativeAngle, 1, 6},
    {vq::reg::kTool, vq::Ctl::ToolParam, 1, 3},
    {vq::reg::kPointSpeed, vq::Ctl::PointSpeed, 0, 2},
    {vq::reg::kLineSpeed, vq::Ctl::LinearSpeed, 0, 2},
}};

constexpr std::uint8_t kSlave = 0x80;

void appendCrc(std::vector<std::uint8_t>& frame)
{
    const std::uint16_t crc = vq::crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

// The read-outs of that block show numbers, or the no-value mark for a
// field that came back as no number.
template <class Context>
void checkBoards(const vq::test::FakeBoard& board, std::uint16_t block, const Context& context)
{
    for (const NumberBoxes& box : kNumberBoxes) {
        if (box.block != block) continue;
        for (int i = box.first; i <= box.last; ++i) {
            const std::string text = board.text(box.id, i);
            if (text.empty()) continue;
            VQ_FUZZ_CHECK(vq::readStrictNumber(text).has_value() || text == vq::kNoValue,
                          vq::describe(box.id, i) + " = " + quoted(text) + " after " + context());
        }
    }
    if (block != vq::reg::kStatus) return;
    // The alarm captions: axis caption, then the code as a whole number.
    for (int axis = 1; axis <= 6; ++axis) {
        const std::string text = board.text(vq::Ctl::AlarmCaption, axis);
        const std::string caption = std::to_string(axis) + "轴:";
        VQ_FUZZ_CHECK(text.rfind(caption, 0) == 0 && vq::readStrictNumber(text.substr(caption.size())).has_value(),
                      vq::describe(vq::Ctl::AlarmCaption, axis) + " = " + quoted(text) + " after " + context());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vq::FormState state;
    vq::test::FakeBoard board;
    vq::ReplyHandler handler(state, board);
    vq::test::RecordingPort port;
    port.open("fuzz", 115200);
    vq::Link link(port);
    link.onFrameAccepted = [&](std::span<const std::uint8_t> f) { board.setText(vq::Ctl::ReceivedFrame, vq::kNoIndex, vq::bytesToHexText(f)); };
    struct Decoded {
        bool any = false;
        std::uint16_t block = 0;
        bool isRead = false;
    } decoded;
    link.onReply = [&](const vq::Reply& reply) {
        decoded = {true, reply.block, reply.isRead};
        handler.handle(reply);
    };

    std::size_t at = 0;
    while (at + 3 <= size) {
        const std::uint8_t pick = data[at];
        const std::uint8_t shape = data[at + 1];
        const std::size_t length = std::min<std::size_t>(data[at + 2], size - at - 3);
        at += 3;
        std::vector<std::uint8_t> chunk(data + at, data + at + length);
        at += length;

        std::vector<std::uint8_t> frame;
        switch (shape & 3) {
        case 0:
            frame = chunk;
            break;
        case 1:
            frame = chunk;
            appendCrc(frame);
            break;
        case 2:
            frame = {kSlave, 0x03};
            if ((shape & 4) && !chunk.empty()) {
                frame.insert(frame.end(), chunk.begin(), chunk.end());
            } else {
                frame.push_back(static_cast<std::uint8_t>(chunk.size()));
                frame.insert(frame.end(), chunk.begin(), chunk.end());
            }
            appendCrc(frame);
            break;
        default:
            frame = {kSlave, 0x10};
            frame.insert(frame.end(), chunk.begin(), chunk.end());
            appendCrc(frame);
            break;
        }

        if (const vq::SlotRow* row = vq::slotRow(pick)) link.send(*row, chunk);
        else link.endCycle();
        if (shape & 8) continue;

        const vq::Link::State stateBefore = link.state();
        const std::uint64_t acceptedBefore = link.repliesAccepted();
        const std::string shownBefore = board.text(vq::Ctl::ReceivedFrame);
        decoded = {};
        port.input = frame;
        link.receive();

        const vq::Request& request = link.current();
        const auto context = [&] {
            return "reply " + quoted(vq::bytesToHexText(frame)) + " to slot " + std::to_string(vq::slotNumber(request.slot));
        };
        if (link.repliesAccepted() > acceptedBefore) {
            VQ_FUZZ_CHECK(stateBefore == vq::Link::State::AwaitingReply, context() + ": no request awaited it");
            VQ_FUZZ_CHECK(static_cast<int>(frame.size()) == request.replyLength, context() + ": not the reply length");
            VQ_FUZZ_CHECK(vq::crcMatches(frame), context() + ": bad CRC");
            VQ_FUZZ_CHECK(board.text(vq::Ctl::ReceivedFrame) == vq::bytesToHexText(frame), context() + ": received frame " + quoted(board.text(vq::Ctl::ReceivedFrame)));
            if (decoded.any) {
                VQ_FUZZ_CHECK(decoded.block == request.start, context() + ": decoded as another block");
                VQ_FUZZ_CHECK(decoded.isRead == (request.function == vq::kReadHolding), context() + ": read and write mixed");
                checkBoards(board, decoded.block, context);
            }
        } else {
            VQ_FUZZ_CHECK(!decoded.any, context() + ": rejected but decoded");
            VQ_FUZZ_CHECK(board.text(vq::Ctl::ReceivedFrame) == shownBefore, context() + ": received frame " + quoted(board.text(vq::Ctl::ReceivedFrame)));
        }
    }
    return 0;
}
