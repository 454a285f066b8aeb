// The road of a reply from the port to the decoders: the link's checks,
// Text19, the block the reply speaks of and the dispatch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "answer.h"
#include "link/hex.h"
#include "link/link.h"
#include "reply_frames.h"
#include "support/fake_board.h"
#include "telemetry/reply_handler.h"

namespace vq {
namespace {

using test::Bytes;
using test::FakeBoard;

// Literal replies whose CRC was computed once with a separate bitwise
// implementation of the Modbus CRC (not with crc16 of this project).
const Bytes kAckPidSave = {0x80, 0x10, 0x10, 0xB0, 0x00, 0x01, 0x1A, 0xFF};
const Bytes kAckParamSave = {0x80, 0x10, 0x11, 0x00, 0x00, 0x01, 0x1A, 0xE4};
const Bytes kAckMechanical = {0x80, 0x10, 0x11, 0x10, 0x00, 0x06, 0x5A, 0xE3};
const Bytes kAckKp1 = {0x80, 0x10, 0x10, 0x50, 0x00, 0x01, 0x1B, 0x09};
// 11 30 read reply, twelve registers, the first float 00 00 20 41 (10.0),
// the other five 0.0.
const Bytes kEncoderParams = {0x80, 0x03, 0x18, 0x00, 0x00, 0x20, 0x41, //
                              0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x06};
// 10 50 read reply, eighteen registers, the first 0064, the others 0000.
const Bytes kPidGains = {0x80, 0x03, 0x24, 0x00, 0x64, //
                         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                         0, 0, 0, 0, 0xEF, 0x07};

class ReplyFront : public ::testing::Test {
protected:
    // The reply to the request of `slot`; whether the link accepted it.
    bool receive(Slot slot, const Bytes& bytes) { return test::answer(handler, board, slot, bytes); }

    FakeBoard board;
    FormState state;
    ReplyHandler handler{state, board};
};

TEST_F(ReplyFront, IndependentlyComputedCrcsPass)
{
    ASSERT_EQ(kEncoderParams.size(), 5u + 2 * 12);
    ASSERT_EQ(kPidGains.size(), 5u + 2 * 18);
    // If the check disagreed with the reference CRCs, none of these would show.
    const std::pair<Slot, const Bytes*> frames[] = {
        {Slot::StorePidGains, &kAckPidSave}, {Slot::StoreParameters, &kAckParamSave}, {Slot::WriteMechanical, &kAckMechanical},
        {Slot::WriteKp1, &kAckKp1},          {Slot::ReadMotorEncoder, &kEncoderParams}, {Slot::ReadPidGains, &kPidGains}};
    for (const auto& [slot, frame] : frames) {
        board.setText(Ctl::ReceivedFrame, kNoIndex, "");
        EXPECT_TRUE(receive(slot, *frame));
        EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(*frame));
    }
}

TEST_F(ReplyFront, LiteralReadRepliesDecode)
{
    receive(Slot::ReadPidGains, kPidGains);
    EXPECT_EQ(board.text(Ctl::PidKp, 1), "100");
    EXPECT_EQ(board.text(Ctl::PidKd, 6), "0");
    receive(Slot::ReadMotorEncoder, kEncoderParams);
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "10.0");
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 6), "0.0");
}

TEST_F(ReplyFront, RejectedRepliesLeaveEverythingAsItWas)
{
    Bytes swapped = kEncoderParams;
    std::swap(swapped[swapped.size() - 2], swapped[swapped.size() - 1]);
    Bytes cutStatus = test::readReplyRegs(std::vector<std::uint16_t>(36, 1));
    cutStatus.resize(50);
    struct Case { const char* what; Bytes bytes; };
    const Case cases[] = {
        {"empty", {}},
        {"one byte", {0x80}},
        {"two bytes", {0x80, 0x03}},
        {"swapped CRC bytes", swapped},
        {"two valid replies in one buffer", test::concat(kEncoderParams, kEncoderParams)},
        {"reply followed by a stray byte", test::concat(kEncoderParams, {0x01})},
        {"wrong CRC", {0x80, 0x03, 0x02, 0x00, 0x01, 0x00, 0x00}},
        {"3 bytes 0A 1B FF", {0x0A, 0x1B, 0xFF}},
        {"status reply cut short", cutStatus},
    };
    for (const auto& c : cases) {
        board.setText(Ctl::ReceivedFrame, kNoIndex, "before");
        board.setText(Ctl::MotorEncoderParam, 1, "box");
        EXPECT_FALSE(receive(Slot::ReadMotorEncoder, c.bytes)) << c.what;
        EXPECT_EQ(board.text(Ctl::ReceivedFrame), "before") << c.what;
        EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "box") << c.what;
    }
}

// A property of this CRC, not of the link: feeding a frame's own low CRC
// byte leaves the register at 00 hi, so a good reply followed by one 00 byte
// checks out against its last two bytes (hi, 00). Here a reply one byte
// short of the expected length, padded so by the line. The byte count still
// bounds the data, so the decoded values are those of the reply.
TEST_F(ReplyFront, TrailingZeroByteStillChecksOut)
{
    Bytes data = test::floatBytes({10.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    data.resize(23);
    const Bytes padded = test::concat(test::readReply(data), {0x00});
    ASSERT_EQ(padded.size(), 29u);
    board.setText(Ctl::MotorEncoderParam, 6, "box");
    EXPECT_TRUE(receive(Slot::ReadMotorEncoder, padded));
    EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(padded));
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "10.0");
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 5), "0.0");
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 6), "box");
}

TEST_F(ReplyFront, EverySingleBitErrorIsCaught)
{
    for (std::size_t i = 0; i < kEncoderParams.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = kEncoderParams;
            bad[i] = static_cast<std::uint8_t>(bad[i] ^ (1u << bit));
            ASSERT_FALSE(receive(Slot::ReadMotorEncoder, bad)) << "byte " << i << " bit " << bit;
        }
    }
    EXPECT_FALSE(board.has(Ctl::ReceivedFrame));
    EXPECT_FALSE(board.has(Ctl::MotorEncoderParam, 1));
}

TEST_F(ReplyFront, WriteAcknowledgements)
{
    // Acknowledgements carry no data for a box; only the two save commands
    // change captions, and only when they echo the register written.
    struct Case { const char* what; Slot slot; Bytes ack; Ctl control; int index; const char* after; };
    const Case cases[] = {
        {"float block 11 10", Slot::WriteMechanical, kAckMechanical, Ctl::MechanicalParam, 1, "box"},
        {"single PID gain 10 50", Slot::WriteKp1, kAckKp1, Ctl::PidKp, 1, "box"},
        {"single PID gain 10 50, Kd box", Slot::WriteKp1, kAckKp1, Ctl::PidKd, 6, "box"},
        {"PID save 10 B0", Slot::StorePidGains, kAckPidSave, Ctl::PidGainsButton, 1, "保存参数OK"},
        {"parameter save 11 00", Slot::StoreParameters, kAckParamSave, Ctl::StoreParamsButton, 0, "保存参数OK"},
        {"parameter save echo while the PID save waits", Slot::StorePidGains, kAckParamSave, Ctl::StoreParamsButton, 0, "box"},
        {"PID save echo while the parameter save waits", Slot::StoreParameters, kAckPidSave, Ctl::PidGainsButton, 1, "box"},
        // Quantity FFFF: read as a field it would show "-1" or a number.
        {"reduction 11 20", Slot::WriteReduction, test::writeAck(0x1120, 0xFFFF), Ctl::ReductionRatio, 1, "box"},
        {"motor encoder 11 30", Slot::WriteMotorEncoder, test::writeAck(0x1130, 0xFFFF), Ctl::MotorEncoderParam, 1, "box"},
        {"max positive 11 40", Slot::WriteMaxPositive, test::writeAck(0x1140, 0xFFFF), Ctl::MaxPositiveAngle, 1, "box"},
        {"max negative 11 50", Slot::WriteMaxNegative, test::writeAck(0x1150, 0xFFFF), Ctl::MaxNegativeAngle, 1, "box"},
        {"tool block 11 60", Slot::WriteTool, test::writeAck(0x1160, 0xFFFF), Ctl::ToolParam, 1, "box"},
        {"point speed 11 A0", Slot::WritePointSpeed, test::writeAck(0x11A0, 0xFFFF), Ctl::PointSpeed, 0, "box"},
        {"line speed 11 A6", Slot::WriteLineSpeed, test::writeAck(0x11A6, 0xFFFF), Ctl::LinearSpeed, 0, "box"},
        {"single PID gain 10 50, quantity FFFF", Slot::WriteKp1, test::writeAck(0x1050, 0xFFFF), Ctl::PidKp, 1, "box"},
        {"axis switch 10 10", Slot::AxisPower1, test::writeAck(0x1010, 1), Ctl::PidKp, 1, "box"},
        {"mode word 10 01", Slot::ControlMode, test::writeAck(0x1001, 1), Ctl::TeachSpeed, kNoIndex, "box"},
        {"alarm clear 10 40", Slot::AlarmClear, test::writeAck(0x1040, 1), Ctl::PidGainsButton, 1, "box"},
        {"motion target 11 B0", Slot::JointTarget, test::writeAck(0x11B0, 6), Ctl::JointAngle, 1, "box"},
    };
    for (const auto& c : cases) {
        board.setText(c.control, c.index, "box");
        board.setText(Ctl::ReceivedFrame, kNoIndex, "");
        EXPECT_TRUE(receive(c.slot, c.ack)) << c.what;
        EXPECT_EQ(board.text(c.control, c.index), c.after) << c.what;
        EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(c.ack)) << c.what;
    }
}

TEST_F(ReplyFront, ExceptionAndUnknownFunctionsCarryNoData)
{
    // Frames of the expected length with a good CRC and another function.
    const Bytes floats = test::floatBytes({10.0f, 10.0f, 10.0f, 10.0f, 10.0f, 10.0f});
    const Bytes words = test::registerBytes(std::vector<std::uint16_t>(18, 100));
    struct Case { Slot slot; Bytes frame; };
    const Case cases[] = {
        {Slot::ReadMotorEncoder, test::withCrc(test::concat({0x80, 0x04, 0x18}, floats))},
        {Slot::ReadMotorEncoder, test::withCrc(test::concat({0x80, 0x83, 0x18}, floats))},
        {Slot::ReadPidGains, test::withCrc(test::concat({0x80, 0x04, 0x24}, words))},
        {Slot::ReadPidGains, test::withCrc(test::concat({0x80, 0x83, 0x24}, words))},
    };
    for (const auto& c : cases) {
        board.setText(Ctl::MotorEncoderParam, 1, "box");
        board.setText(Ctl::PidKp, 1, "box");
        EXPECT_TRUE(receive(c.slot, c.frame));
        EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(c.frame));
        EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "box");
        EXPECT_EQ(board.text(Ctl::PidKp, 1), "box");
    }
}

TEST_F(ReplyFront, ByteCountIsTakenFromTheReplyButNeverReadsPastTheData)
{
    const Bytes six = test::floatBytes({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f});
    struct Case { const char* what; Bytes reply; std::vector<std::string> after; };
    const Case cases[] = {
        {"count FF, past the data", test::readReplyClaiming(0xFF, six), {"1.0", "2.0", "3.0", "4.0", "5.0", "6.0"}},
        // Two whole floats and two bytes of the third.
        {"count 10", test::readReplyClaiming(10, six), {"1.0", "2.0", "box", "box", "box", "box"}},
        {"count 6", test::readReplyClaiming(6, six), {"1.0", "box", "box", "box", "box", "box"}},
        {"count zero", test::readReplyClaiming(0, six), {"box", "box", "box", "box", "box", "box"}},
        {"count as requested", test::readReply(six), {"1.0", "2.0", "3.0", "4.0", "5.0", "6.0"}},
    };
    for (const auto& c : cases) {
        for (int k = 1; k <= 6; ++k) board.setText(Ctl::MotorEncoderParam, k, "box");
        EXPECT_TRUE(receive(Slot::ReadMotorEncoder, c.reply)) << c.what;
        for (int k = 1; k <= 6; ++k) EXPECT_EQ(board.text(Ctl::MotorEncoderParam, k), c.after[static_cast<std::size_t>(k - 1)]) << c.what << " Text12(" << k << ")";
    }
}

// Every read of the slot table, with a reply whose every register pair
// holds a distinct float and every single register a distinct word. The
// expectations are the block layouts as the device documents them.
TEST_F(ReplyFront, DispatchTable)
{
    struct Row {
        Slot slot;
        bool wordData;
        Ctl control;
        int index;
        const char* shown; // after a read reply
    };
    const Row rows[] = {
        {Slot::ReadPidGains, true, Ctl::PidKp, 1, "1"},
        {Slot::ReadPidGains, true, Ctl::PidKi, 1, "7"},
        {Slot::ReadPidGains, true, Ctl::PidKd, 6, "18"},
        {Slot::ReadMechanical, false, Ctl::MechanicalParam, 1, "1.50"},
        {Slot::ReadMechanical, false, Ctl::MechanicalParam, 6, "6.50"},
        {Slot::ReadReduction, false, Ctl::ReductionRatio, 6, "6.50"},
        {Slot::ReadMotorEncoder, false, Ctl::MotorEncoderParam, 2, "2.5"},
        {Slot::ReadMaxPositive, false, Ctl::MaxPositiveAngle, 3, "3.5"},
        {Slot::ReadMaxNegative, false, Ctl::MaxNegativeAngle, 4, "4.5"},
        {Slot::ReadTool, false, Ctl::ToolParam, 3, "3.50"},
        {Slot::ReadPose, false, Ctl::JointAngle, 1, "1.500"},
        {Slot::ReadPointSpeed, false, Ctl::PointSpeed, 0, "2"}, // 1.5 rounds half away from zero
        {Slot::ReadPointSpeed, false, Ctl::PointSpeed, 2, "4"},
        {Slot::ReadLineSpeed, false, Ctl::LinearSpeed, 1, "3"},
        {Slot::ReadStatus, true, Ctl::TeachSpeed, kNoIndex, "3"},
        {Slot::ReadStatus, true, Ctl::BusyWord, kNoIndex, "6"},
    };
    // A box past a block's run (a fourth tool or speed box) does not exist:
    // the board refuses it, so a decoder writing one fails here.
    for (const auto& r : rows) {
        // As many registers as the read asks for: floats 1.5, 2.5, ...
        // (register pairs), or words 1, 2, ...
        const std::size_t registers = slotRow(r.slot).amount;
        Bytes floats;
        for (std::size_t i = 0; i < registers / 2; ++i) test::appendFloat(floats, 1.5f + static_cast<float>(i));
        std::vector<std::uint16_t> words;
        for (std::size_t i = 0; i < registers; ++i) words.push_back(static_cast<std::uint16_t>(i + 1));
        board.setText(r.control, r.index, "box");
        EXPECT_TRUE(receive(r.slot, r.wordData ? test::readReplyRegs(words) : test::readReply(floats)));
        EXPECT_EQ(board.text(r.control, r.index), r.shown) << slotNumber(r.slot) << " " << describe(r.control, r.index);
    }
}

// The road of one poll through a link and a recording port: the read sets
// the threshold, the port fires once the whole reply is in, and the link
// takes the buffer to the handler.
TEST_F(ReplyFront, ReadRequestThroughPortToDecoder)
{
    test::RecordingPort port;
    port.open("sim", 115200);
    Link link(port);
    port.onReceive = [&] { link.receive(); };
    link.onFrameAccepted = [&](std::span<const std::uint8_t> f) { board.setText(Ctl::ReceivedFrame, kNoIndex, bytesToHexText(f)); };
    link.onReply = [&](const Reply& r) { handler.handle(r); };

    link.send(slotRow(Slot::ReadMotorEncoder), {});
    ASSERT_EQ(port.threshold, static_cast<int>(kEncoderParams.size()));
    Bytes first(kEncoderParams.begin(), kEncoderParams.begin() + 10);
    port.deliver(first);
    EXPECT_FALSE(board.has(Ctl::ReceivedFrame)) << "fired before the whole reply was in";
    port.deliver(Bytes(kEncoderParams.begin() + 10, kEncoderParams.end()));
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "10.0");
    EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(kEncoderParams));
    EXPECT_TRUE(port.input.empty());
}

} // namespace
} // namespace vq
