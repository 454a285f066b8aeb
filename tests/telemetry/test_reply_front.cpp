// The common front of the receive event: CRC check, Text19, function split,
// replyAddress bookkeeping and dispatch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/frames.h"
#include "link/hex.h"
#include "reply_frames.h"
#include "support/fake_board.h"
#include "telemetry/reply_handler.h"

namespace vq {
namespace {

using test::Bytes;
using test::FakeBoard;

// Literal replies whose CRC was computed once with a separate bitwise
// implementation of the Modbus CRC (not with crc16 of this project).
const Bytes kShortest = {0x0A, 0x3F, 0x47};
const Bytes kAckPidSave = {0x80, 0x10, 0x10, 0xB0, 0x00, 0x01, 0x1A, 0xFF};
const Bytes kAckParamSave = {0x80, 0x10, 0x11, 0x00, 0x00, 0x01, 0x1A, 0xE4};
const Bytes kAckMechanical = {0x80, 0x10, 0x11, 0x10, 0x00, 0x06, 0x5A, 0xE3};
const Bytes kAckKp1 = {0x80, 0x10, 0x10, 0x50, 0x00, 0x01, 0x1B, 0x09};
const Bytes kException = {0x80, 0x83, 0x02, 0x90, 0xD9};
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
    void receive(const Bytes& bytes) { handler.MSComm1_OnComm(bytes); }
    // As the read sender leaves it before the reply comes.
    void expectReply(const char* start) { state.replyAddress = start; }

    FakeBoard board;
    FormState state;
    ReplyHandler handler{state, board};
};

TEST_F(ReplyFront, IndependentlyComputedCrcsPass)
{
    ASSERT_EQ(kEncoderParams.size(), 5u + 2 * 12);
    ASSERT_EQ(kPidGains.size(), 5u + 2 * 18);
    // If the check disagreed with the reference CRCs, none of these would show.
    for (const Bytes* frame : {&kShortest, &kAckPidSave, &kAckParamSave, &kAckMechanical, &kAckKp1, &kException,
                               &kEncoderParams, &kPidGains}) {
        board.setText(Ctl::ReceivedFrame, kNoIndex, "");
        receive(*frame);
        EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(*frame));
    }
}

TEST_F(ReplyFront, LiteralReadRepliesDecode)
{
    expectReply("10 50");
    receive(kPidGains);
    EXPECT_EQ(board.text(Ctl::PidKp, 1), "100");
    EXPECT_EQ(board.text(Ctl::PidKd, 6), "0");
    expectReply("11 30");
    receive(kEncoderParams);
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "10.0");
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 6), "0.0");
}

TEST_F(ReplyFront, ThreeByteReplyShownWithoutTrailingBlank)
{
    receive(kShortest);
    EXPECT_EQ(board.text(Ctl::ReceivedFrame), "0A 3F 47");
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
        expectReply("11 30");
        receive(c.bytes);
        EXPECT_EQ(board.text(Ctl::ReceivedFrame), "before") << c.what;
        EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "box") << c.what;
        EXPECT_EQ(state.replyAddress, "11 30") << c.what;
    }
}

// A property of this CRC, not of the handler: feeding a frame's own low CRC
// byte leaves the register at 00 hi, so a good reply followed by one 00 byte
// checks out against its last two bytes (hi, 00). The byte count still
// bounds the data, so the decoded values are those of the reply.
TEST_F(ReplyFront, TrailingZeroByteStillChecksOut)
{
    const Bytes padded = test::concat(kEncoderParams, {0x00});
    expectReply("11 30");
    receive(padded);
    EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(padded));
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "10.0");
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 6), "0.0");
}

TEST_F(ReplyFront, EverySingleBitErrorIsCaught)
{
    for (std::size_t i = 0; i < kEncoderParams.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = kEncoderParams;
            bad[i] = static_cast<std::uint8_t>(bad[i] ^ (1u << bit));
            expectReply("11 30");
            receive(bad);
            ASSERT_EQ(state.replyAddress, "11 30") << "byte " << i << " bit " << bit;
        }
    }
    EXPECT_FALSE(board.has(Ctl::ReceivedFrame));
    EXPECT_FALSE(board.has(Ctl::MotorEncoderParam, 1));
}

TEST_F(ReplyFront, AcceptedReplyEmptiesReplyAddress)
{
    expectReply("11 30");
    receive(kEncoderParams);
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "10.0");
    EXPECT_EQ(state.replyAddress, "");
    // The same reply again, with nobody waiting for it: Text19 only.
    board.setText(Ctl::MotorEncoderParam, 1, "typed");
    board.setText(Ctl::ReceivedFrame, kNoIndex, "");
    receive(kEncoderParams);
    EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(kEncoderParams));
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "typed");
}

TEST_F(ReplyFront, StatusReplyAfterReplyAddressEmptiedDecodedNowhere)
{
    std::vector<std::uint16_t> regs(36, 0);
    regs[0] = 1;  // state
    regs[5] = 7;  // busy
    regs[6] = 1;  // servo axis 1
    const Bytes reply = test::readReplyRegs(regs);
    receive(reply);
    EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(reply));
    EXPECT_FALSE(board.has(Ctl::BusyWord));
    EXPECT_FALSE(board.has(Ctl::ReadyLamp));
    EXPECT_EQ(state.controllerBusy, 0);
    EXPECT_EQ(state.servoState[1], 0);
}

TEST_F(ReplyFront, WriteAcknowledgements)
{
    // Acknowledgements carry no data for a box; only the two save commands
    // change captions.
    struct Case { const char* what; Bytes ack; Ctl control; int index; const char* after; };
    const Case cases[] = {
        {"float block 11 10", kAckMechanical, Ctl::MechanicalParam, 1, "box"},
        {"single PID gain 10 50", kAckKp1, Ctl::PidKp, 1, "box"},
        {"single PID gain 10 50, Kd box", kAckKp1, Ctl::PidKd, 6, "box"},
        {"PID save 10 B0", kAckPidSave, Ctl::PidGainsButton, 1, "保存参数OK"},
        {"parameter save 11 00", kAckParamSave, Ctl::StoreParamsButton, 0, "保存参数OK"},
        // Quantity FFFF: read as a field it would show "-1" or a number.
        {"reduction 11 20", test::writeAck(0x1120, 0xFFFF), Ctl::ReductionRatio, 1, "box"},
        {"motor encoder 11 30", test::writeAck(0x1130, 0xFFFF), Ctl::MotorEncoderParam, 1, "box"},
        {"max positive 11 40", test::writeAck(0x1140, 0xFFFF), Ctl::MaxPositiveAngle, 1, "box"},
        {"max negative 11 50", test::writeAck(0x1150, 0xFFFF), Ctl::MaxNegativeAngle, 1, "box"},
        {"tool block 11 60", test::writeAck(0x1160, 0xFFFF), Ctl::ToolParam, 1, "box"},
        {"point speed 11 A0", test::writeAck(0x11A0, 0xFFFF), Ctl::PointSpeed, 0, "box"},
        {"line speed 11 A6", test::writeAck(0x11A6, 0xFFFF), Ctl::LinearSpeed, 0, "box"},
        {"single PID gain 10 50, quantity FFFF", test::writeAck(0x1050, 0xFFFF), Ctl::PidKp, 1, "box"},
        {"axis switch 10 10", test::writeAck(0x1010, 1), Ctl::PidKp, 1, "box"},
        {"mode word 10 01", test::writeAck(0x1001, 1), Ctl::TeachSpeed, kNoIndex, "box"},
        {"alarm clear 10 40", test::writeAck(0x1040, 1), Ctl::PidGainsButton, 1, "box"},
        {"motion target 11 B0", test::writeAck(0x11B0, 6), Ctl::JointAngle, 1, "box"},
    };
    for (const auto& c : cases) {
        board.setText(c.control, c.index, "box");
        board.setText(Ctl::ReceivedFrame, kNoIndex, "");
        expectReply("11 70"); // a read whose reply was lost; the ack replaces it
        receive(c.ack);
        EXPECT_EQ(board.text(c.control, c.index), c.after) << c.what;
        EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(c.ack)) << c.what;
        EXPECT_EQ(state.replyAddress, "") << c.what;
    }
    EXPECT_FALSE(board.has(Ctl::JointAngle, 2)) << "the replaced 11 70 must not have been decoded";
}

TEST_F(ReplyFront, ExceptionAndUnknownFunctionsCarryNoData)
{
    const Bytes unknown = test::withCrc({0x80, 0x04, 0x18, 0x00, 0x00, 0x20, 0x41});
    for (const Bytes* frame : {&kException, &unknown}) {
        for (const char* waiting : {"11 30", "10 50"}) {
            board.setText(Ctl::MotorEncoderParam, 1, "box");
            board.setText(Ctl::PidKp, 1, "box");
            expectReply(waiting);
            receive(*frame);
            EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(*frame));
            EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "box");
            EXPECT_EQ(board.text(Ctl::PidKp, 1), "box");
            EXPECT_EQ(state.replyAddress, "");
        }
    }
}

TEST_F(ReplyFront, ByteCountIsTakenFromTheReplyButNeverReadsPastTheData)
{
    const Bytes five = test::floatBytes({1.0f, 2.0f, 3.0f, 4.0f, 5.0f});
    // Claims 24 bytes, carries 10: two whole floats and two bytes of the third.
    Bytes partial(five.begin(), five.begin() + 10);
    // Claims 6 bytes, carries 20: one float and half of the next.
    struct Case { const char* what; Bytes reply; std::vector<std::string> after; };
    const Case cases[] = {
        {"count larger than data", test::readReplyClaiming(0x18, partial), {"1.0", "2.0", "box", "box", "box", "box"}},
        {"count smaller than data", test::readReplyClaiming(0x06, five), {"1.0", "box", "box", "box", "box", "box"}},
        {"count zero", test::readReplyClaiming(0x00, five), {"box", "box", "box", "box", "box", "box"}},
        {"count FF, no data", test::readReplyClaiming(0xFF, {}), {"box", "box", "box", "box", "box", "box"}},
        {"count as requested", test::readReply(five), {"1.0", "2.0", "3.0", "4.0", "5.0", "box"}},
    };
    for (const auto& c : cases) {
        for (int k = 1; k <= 6; ++k) board.setText(Ctl::MotorEncoderParam, k, "box");
        expectReply("11 30");
        receive(c.reply);
        for (int k = 1; k <= 6; ++k) EXPECT_EQ(board.text(Ctl::MotorEncoderParam, k), c.after[static_cast<std::size_t>(k - 1)]) << c.what << " Text12(" << k << ")";
    }
}

TEST_F(ReplyFront, ShortWriteAcknowledgementMatchesNothing)
{
    // A valid CRC over a truncated echo: the start register is incomplete.
    const Bytes cut = test::withCrc({0x80, 0x10, 0x10});
    board.setText(Ctl::PidGainsButton, 1, "保存中..");
    expectReply("10 B0");
    receive(cut);
    EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(cut));
    EXPECT_EQ(board.text(Ctl::PidGainsButton, 1), "保存中..");
    EXPECT_EQ(state.replyAddress, "");
}

TEST_F(ReplyFront, AddressComparisonIsExactText)
{
    const Bytes reply = test::readReply(test::floatBytes({10.0f}));
    for (const char* waiting : {"11 a0", "11A0", " 11 A0", "11 A0 "}) {
        board.setText(Ctl::PointSpeed, 0, "box");
        expectReply(waiting);
        receive(reply);
        EXPECT_EQ(board.text(Ctl::PointSpeed, 0), "box") << '"' << waiting << '"';
    }
    expectReply("11 A0");
    receive(reply);
    EXPECT_EQ(board.text(Ctl::PointSpeed, 0), "10");
}

// Every row of the dispatch table, with a read reply whose every register
// pair holds a distinct float and every single register a distinct word.
// The expectations are the block layouts as the device documents them.
TEST_F(ReplyFront, DispatchTable)
{
    // Data of 18 registers: floats 1.5, 2.5, ... (register pairs) as one
    // reply; words 1, 2, ... as another.
    Bytes floats;
    for (int i = 0; i < 9; ++i) test::appendFloat(floats, 1.5f + static_cast<float>(i));
    std::vector<std::uint16_t> words;
    for (int i = 0; i < 18; ++i) words.push_back(static_cast<std::uint16_t>(i + 1));

    struct Row {
        const char* address;
        bool wordData;
        Ctl control;
        int index;
        const char* shown; // after a read reply
    };
    const Row rows[] = {
        {"10 50", true, Ctl::PidKp, 1, "1"},
        {"10 50", true, Ctl::PidKi, 1, "7"},
        {"10 50", true, Ctl::PidKd, 6, "18"},
        {"10 B0", true, Ctl::PidGainsButton, 1, "保存参数OK"},
        {"11 00", true, Ctl::StoreParamsButton, 2, "保存参数OK"},
        {"11 10", false, Ctl::MechanicalParam, 1, "1.50"},
        {"11 10", false, Ctl::MechanicalParam, 6, "6.50"},
        {"11 20", false, Ctl::ReductionRatio, 6, "6.50"},
        {"11 30", false, Ctl::MotorEncoderParam, 2, "2.5"},
        {"11 40", false, Ctl::MaxPositiveAngle, 3, "3.5"},
        {"11 50", false, Ctl::MaxNegativeAngle, 4, "4.5"},
        {"11 60", false, Ctl::ToolParam, 3, "3.50"},
        {"11 70", false, Ctl::JointAngle, 1, "1.500"},
        {"11 A0", false, Ctl::PointSpeed, 0, "2"}, // 1.5 rounds half away from zero
        {"11 A0", false, Ctl::PointSpeed, 2, "4"},
        {"11 A6", false, Ctl::LinearSpeed, 1, "3"},
        {"10 00", true, Ctl::TeachSpeed, kNoIndex, "3"},
        {"10 00", true, Ctl::BusyWord, kNoIndex, "6"},
    };
    // A box past a block's run (a fourth tool or speed box) does not exist:
    // the board refuses it, so a decoder writing one fails here.
    for (const auto& r : rows) {
        board.setText(r.control, r.index, "box");
        expectReply(r.address);
        receive(r.wordData ? test::readReplyRegs(words) : test::readReply(floats));
        EXPECT_EQ(board.text(r.control, r.index), r.shown) << r.address << " " << describe(r.control, r.index);
        EXPECT_EQ(state.replyAddress, "");
    }
}

// The road of one poll through the real sender and a recording port: the
// read sets replyAddress and the threshold, the port fires once the whole
// reply is in, and the handler takes the buffer.
TEST_F(ReplyFront, ReadRequestThroughPortToDecoder)
{
    test::RecordingPort port;
    port.open("sim", 115200);
    board.setText(Ctl::SlaveAddress, kNoIndex, "128");
    port.onReceive = [&] { handler.MSComm1_OnComm(port.takeAll()); };
    RequestSender sender(port, board, state);

    sender.sendReadRequest("11 30", "00 0C");
    ASSERT_EQ(port.threshold, static_cast<int>(kEncoderParams.size()));
    Bytes first(kEncoderParams.begin(), kEncoderParams.begin() + 10);
    port.deliver(first);
    EXPECT_FALSE(board.has(Ctl::ReceivedFrame)) << "fired before the whole reply was in";
    port.deliver(Bytes(kEncoderParams.begin() + 10, kEncoderParams.end()));
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "10.0");
    EXPECT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(kEncoderParams));
    EXPECT_TRUE(port.input.empty());
    EXPECT_EQ(state.replyAddress, "");
}

} // namespace
} // namespace vq
