// The receive event and the block decoders behind it. The input is a run of
// receive events. Each event takes two header bytes and a length byte:
//   byte 0: the block the console expects (replyAddress), one of the
//           dispatch addresses or empty;
//   byte 1: the shape of the reply:
//           0 the bytes as they are (the CRC is almost always wrong);
//           1 the bytes with a good CRC appended;
//           2 a read reply: address, 03, byte count, the bytes, good CRC
//             (bit 2 set: the first byte is the byte count, which then may
//             not match what follows);
//           3 a write acknowledgement: address, 10, the bytes, good CRC;
//   byte 2: how many of the following bytes the event takes.
// After every event: an accepted reply is shown (ReceivedFrame) and empties
// replyAddress; a rejected one changes neither; every read-out that shows a
// number shows one (checked after accepted replies, the only ones decoded).
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "link/crc.h"
#include "link/hex.h"
#include "link/numtext.h"
#include "support/fake_board.h"
#include "telemetry/reply_handler.h"

namespace {

using vq::fuzz::quoted;

constexpr std::array<std::string_view, 14> kReplyAddresses = {
    "10 00", "10 50", "10 B0", "11 00", "11 10", "11 20", "11 30",
    "11 40", "11 50", "11 60", "11 70", "11 A0", "11 A6", "",
};

struct NumberBoxes {
    std::string_view block; // replyAddress of the decoder that fills them
    vq::Ctl id;
    int first;
    int last;
};

// Read-outs that the decoders fill with numbers only.
constexpr std::array<NumberBoxes, 17> kNumberBoxes = {{
    {"10 00", vq::Ctl::EncoderPosition, 1, 6},
    {"10 00", vq::Ctl::TeachSpeed, vq::kNoIndex, vq::kNoIndex},
    {"10 00", vq::Ctl::BusyWord, vq::kNoIndex, vq::kNoIndex},
    {"11 70", vq::Ctl::JointAngle, 1, 6},
    {"11 70", vq::Ctl::PoseValue, 1, 6},
    {"11 70", vq::Ctl::MonitorValue, 1, 6},
    {"10 50", vq::Ctl::PidKp, 1, 6},
    {"10 50", vq::Ctl::PidKi, 1, 6},
    {"10 50", vq::Ctl::PidKd, 1, 6},
    {"11 10", vq::Ctl::MechanicalParam, 1, 6},
    {"11 20", vq::Ctl::ReductionRatio, 1, 6},
    {"11 30", vq::Ctl::MotorEncoderParam, 1, 6},
    {"11 40", vq::Ctl::MaxPositiveAngle, 1, 6},
    {"11 50", vq::Ctl::MaxNegativeAngle, 1, 6},
    {"11 60", vq::Ctl::ToolParam, 1, 3},
    {"11 A0", vq::Ctl::PointSpeed, 0, 2},
    {"11 A6", vq::Ctl::LinearSpeed, 0, 2},
}};

constexpr std::uint8_t kSlave = 0x80;

void appendCrc(std::vector<std::uint8_t>& frame)
{
    const std::uint16_t crc = vq::crc16(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool goodCrc(const std::vector<std::uint8_t>& frame)
{
    if (frame.size() < 3) return false;
    const std::uint16_t crc = vq::crc16(std::span<const std::uint8_t>(frame).first(frame.size() - 2));
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

// The block an accepted reply was decoded as: the echoed start register of
// a write acknowledgement, otherwise replyAddress as it was.
std::string decodedBlock(const std::vector<std::uint8_t>& frame, const std::string& addressBefore)
{
    if (frame[1] != 0x10) return addressBefore;
    if (frame.size() < 6) return {};
    return vq::bytesToHexText(std::span<const std::uint8_t>(frame).subspan(2, 2));
}

// The read-outs of that block show numbers only.
template <class Context>
void checkBoards(const vq::test::FakeBoard& board, std::string_view block, const Context& context)
{
    for (const NumberBoxes& box : kNumberBoxes) {
        if (box.block != block) continue;
        for (int i = box.first; i <= box.last; ++i) {
            const std::string text = board.text(box.id, i);
            if (text.empty()) continue;
            VQ_FUZZ_CHECK(vq::readStrictNumber(text).has_value(),
                          vq::describe(box.id, i) + " = " + quoted(text) + " after " + context());
        }
    }
    if (block != "10 00") return;
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

        state.replyAddress = std::string(kReplyAddresses[pick % kReplyAddresses.size()]);
        const std::string addressBefore = state.replyAddress;
        const std::string shownBefore = board.text(vq::Ctl::ReceivedFrame);
        handler.MSComm1_OnComm(frame);

        const auto context = [&] { return "reply " + quoted(vq::bytesToHexText(frame)) + " for " + quoted(addressBefore); };
        if (goodCrc(frame)) {
            VQ_FUZZ_CHECK(state.replyAddress.empty(), context() + ": replyAddress " + quoted(state.replyAddress));
            VQ_FUZZ_CHECK(board.text(vq::Ctl::ReceivedFrame) == vq::bytesToHexText(frame), context() + ": received frame " + quoted(board.text(vq::Ctl::ReceivedFrame)));
            // Only an accepted reply reaches a decoder.
            checkBoards(board, decodedBlock(frame, addressBefore), context);
        } else {
            VQ_FUZZ_CHECK(state.replyAddress == addressBefore, context() + ": replyAddress " + quoted(state.replyAddress));
            VQ_FUZZ_CHECK(board.text(vq::Ctl::ReceivedFrame) == shownBefore, context() + ": received frame " + quoted(board.text(vq::Ctl::ReceivedFrame)));
        }
    }
    return 0;
}
