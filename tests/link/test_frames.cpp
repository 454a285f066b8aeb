#include <gtest/gtest.h>

#include "link/frames.h"
#include "link/crc.h"
#include "link/hex.h"
#include "support/fake_board.h"

namespace vq {
namespace {

using test::FakeBoard;
using test::RecordingPort;

TEST(ReadRequest, StatusBlockAtSlave128)
{
    auto f = buildReadRequest("128", "10 00", "00 24");
    EXPECT_EQ(f.text, "80 03 10 00 00 24 5F 00");
    EXPECT_EQ(bytesToHexText(f.bytes), "80 03 10 00 00 24 5F 00");
    EXPECT_EQ(f.expectedReplyLength, 77);
}

TEST(ReadRequest, ReplyLengthFollowsTheCount)
{
    struct Case { const char* count; int length; };
    const Case cases[] = {{"00 24", 77}, {"00 12", 41}, {"00 0C", 29}, {"00 01", 7}, {"01 00", 517}, {"zz", 5}};
    for (const auto& c : cases) EXPECT_EQ(buildReadRequest("128", "11 10", c.count).expectedReplyLength, c.length) << c.count;
}

TEST(ReadRequest, SlaveAddressText)
{
    struct Case { const char* slave; const char* first; };
    const Case cases[] = {{"128", "80"}, {"1", "01"}, {"300", "2C"}, {"x", "00"}, {"", "00"}};
    for (const auto& c : cases) EXPECT_EQ(buildReadRequest(c.slave, "10 00", "00 24").text.substr(0, 2), c.first) << c.slave;
}

TEST(WriteRequest, OneWordToModeRegister)
{
    auto f = buildWriteRequest("128", "10 01", "1", "00 01");
    EXPECT_EQ(f.text, "80 10 10 01 00 01 02 00 01 1B D6");
    EXPECT_EQ(f.expectedReplyLength, 8);
}

TEST(WriteRequest, QuantityIsPassedThroughNotDerived)
{
    const float six[] = {0, 0, -90, 0, -90, 0};
    auto f = buildWriteRequest("128", "11 B0", "6", floatArrayToHex(six));
    ASSERT_EQ(f.bytes.size(), 9u + 24u);
    EXPECT_EQ(bytesToHexText(std::span(f.bytes).subspan(0, 7)), "80 10 11 B0 00 06 18");
    float thirteen[13] = {};
    auto arc = buildWriteRequest("128", "11 E0", "13", floatArrayToHex(thirteen));
    EXPECT_EQ(bytesToHexText(std::span(arc.bytes).subspan(0, 7)), "80 10 11 E0 00 0D 34");
    EXPECT_EQ(arc.bytes.size(), 9u + 52u);
    // The CRC covers everything before it.
    EXPECT_EQ(crc16(f.bytes), 0);
    EXPECT_EQ(crc16(arc.bytes), 0);
}

TEST(Sender, ReadShowsFrameSetsThresholdAndReplyAddress)
{
    FakeBoard board;
    RecordingPort port;
    FormState state;
    port.open("/dev/null", 115200);
    board.setText(Ctl::SlaveAddress, kNoIndex, "128");
    RequestSender sender(port, board, state);
    port.input = {1, 2, 3};
    sender.sendReadRequest("10 00", "00 24");
    EXPECT_TRUE(port.input.empty()) << "unread input is discarded before a send";
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(bytesToHexText(port.writes[0]), "80 03 10 00 00 24 5F 00");
    EXPECT_EQ(board.text(Ctl::SentFrame), "80 03 10 00 00 24 5F 00");
    EXPECT_EQ(port.threshold, 77);
    EXPECT_EQ(state.replyAddress, "10 00");
}

TEST(Sender, WriteKeepsReplyAddressAndSendsNothingOnClosedPort)
{
    FakeBoard board;
    RecordingPort port;
    FormState state;
    board.setText(Ctl::SlaveAddress, kNoIndex, "128");
    state.replyAddress = "11 70";
    RequestSender sender(port, board, state);
    sender.sendWriteRequest("10 01", "1", "00 01");
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(board.text(Ctl::SentFrame), "80 10 10 01 00 01 02 00 01 1B D6");
    EXPECT_EQ(port.threshold, 8);
    EXPECT_EQ(state.replyAddress, "11 70");
}

} // namespace
} // namespace vq
