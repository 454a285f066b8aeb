// Pose block at 1170, parameter blocks and save acknowledgements.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "answer.h"
#include "reply_frames.h"
#include "support/fake_board.h"
#include "telemetry/reply_handler.h"

namespace vq {
namespace {

using test::Bytes;
using test::FakeBoard;

class Blocks : public ::testing::Test {
protected:
    void receive(Slot slot, const Bytes& reply) { EXPECT_TRUE(test::answer(handler, board, slot, reply)); }
    void preset(const char* box, int first, int last)
    {
        for (int i = first; i <= last; ++i) board.setText(box, i, "box");
    }

    FakeBoard board;
    FormState state;
    ReplyHandler handler{state, board};
};

TEST_F(Blocks, PoseBlockEdgeValues)
{
    // Joint 1 = 1.0 (00 00 80 3F), X = -0.5 (00 00 00 BF), monitor 1 = 1.0.
    Bytes data(72, 0);
    const Bytes one = {0x00, 0x00, 0x80, 0x3F};
    const Bytes minusHalf = {0x00, 0x00, 0x00, 0xBF};
    std::copy(one.begin(), one.end(), data.begin());
    std::copy(minusHalf.begin(), minusHalf.end(), data.begin() + 24);
    std::copy(one.begin(), one.end(), data.begin() + 48);
    receive(Slot::ReadPose, test::readReply(data));
    EXPECT_EQ(board.text("Label2", 1), "1.000");
    EXPECT_EQ(board.text("Label3", 1), "-0.50");
    EXPECT_EQ(board.text("Label5", 1), "1");
    EXPECT_EQ(board.text("Label2", 2), "0.000");
    EXPECT_EQ(board.text("Label3", 6), "0.00");
    EXPECT_EQ(board.text("Label5", 6), "0");
    EXPECT_FALSE(board.has("Label2", 7));
    EXPECT_FALSE(board.has("Label3", 7));
    EXPECT_FALSE(board.has("Label5", 7));
}

TEST_F(Blocks, PoseBlockOrderAndPatterns)
{
    // Eighteen distinct values: joints, then X..C, then monitors.
    Bytes data;
    for (float f : {10.0f, 20.125f, -30.5f, 0.0004f, 179.9996f, -0.0006f}) test::appendFloat(data, f);
    for (float f : {350.125f, -12.346f, 0.006f, 90.0f, -180.0f, 1e6f}) test::appendFloat(data, f);
    for (float f : {0.5f, -0.5f, 1.49f, 2.5f, -1234.6f, 100000.0f}) test::appendFloat(data, f);
    receive(Slot::ReadPose, test::readReply(data));
    const char* joints[] = {"10.000", "20.125", "-30.500", "0.000", "180.000", "-0.001"};
    const char* pose[] = {"350.13", "-12.35", "0.01", "90.00", "-180.00", "1000000.00"};
    const char* monitors[] = {"1", "-1", "1", "3", "-1235", "100000"};
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(board.text("Label2", k), joints[k - 1]) << k;
        EXPECT_EQ(board.text("Label3", k), pose[k - 1]) << k;
        EXPECT_EQ(board.text("Label5", k), monitors[k - 1]) << k;
    }
}

TEST_F(Blocks, ShortPoseReplyUpdatesOnlyCompleteFields)
{
    preset("Label2", 1, 6);
    preset("Label3", 1, 6);
    // Three whole floats and half of the fourth (14 bytes, seven registers).
    Bytes data = test::floatBytes({1.0f, 2.0f, 3.0f, 4.0f});
    data.resize(14);
    receive(Slot::ReadPose, test::readReplyCarrying(data, 36));
    const char* expected[] = {"1.000", "2.000", "3.000", "box", "box", "box"};
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(board.text("Label2", k), expected[k - 1]) << k;
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(board.text("Label3", k), "box") << k;
}

TEST_F(Blocks, PidGainsAreRegisterValuesInDecimal)
{
    std::vector<std::uint16_t> regs(18);
    for (int j = 0; j < 18; ++j) regs[static_cast<std::size_t>(j)] = static_cast<std::uint16_t>(100 * (j + 1));
    regs[0] = 0x0064;
    regs[17] = 0xFFFF;
    receive(Slot::ReadPidGains, test::readReplyRegs(regs));
    EXPECT_EQ(board.text("Text4", 1), "100");
    for (int k = 2; k <= 6; ++k) EXPECT_EQ(board.text("Text4", k), std::to_string(100 * k)) << k;
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(board.text("Text5", k), std::to_string(100 * (6 + k))) << k;
    for (int k = 1; k <= 5; ++k) EXPECT_EQ(board.text("Text6", k), std::to_string(100 * (12 + k))) << k;
    EXPECT_EQ(board.text("Text6", 6), "-1");
}

TEST_F(Blocks, FloatBlocks)
{
    // Six floats in every block; each block shows them with its own pattern
    // in its own boxes.
    Bytes data = test::floatBytes({1.25f, -2.5f, 10.0f, 0.04f, 99.96f, 7.0f});
    struct Row {
        Slot slot;
        const char* box;
        int first, last;
        std::vector<std::string> shown;
    };
    const Row rows[] = {
        {Slot::ReadMechanical, "Text17", 1, 6, {"1.25", "-2.50", "10.00", "0.04", "99.96", "7.00"}},
        {Slot::ReadReduction, "Text3", 1, 6, {"1.25", "-2.50", "10.00", "0.04", "99.96", "7.00"}},
        {Slot::ReadMotorEncoder, "Text12", 1, 6, {"1.3", "-2.5", "10.0", "0.0", "100.0", "7.0"}},
        {Slot::ReadMaxPositive, "Text14", 1, 6, {"1.3", "-2.5", "10.0", "0.0", "100.0", "7.0"}},
        {Slot::ReadMaxNegative, "Text15", 1, 6, {"1.3", "-2.5", "10.0", "0.0", "100.0", "7.0"}},
        {Slot::ReadTool, "Text16", 1, 3, {"1.25", "-2.50", "10.00"}},
        {Slot::ReadPointSpeed, "Text10", 0, 2, {"1", "-3", "10"}},
        {Slot::ReadLineSpeed, "Text21", 0, 2, {"1", "-3", "10"}},
    };
    for (const auto& r : rows) {
        preset(r.box, r.first - 1, r.last + 3);
        receive(r.slot, test::readReply(data));
        EXPECT_EQ(board.text(r.box, r.first - 1), "box") << slotNumber(r.slot);
        for (int i = r.first; i <= r.last; ++i)
            EXPECT_EQ(board.text(r.box, i), r.shown[static_cast<std::size_t>(i - r.first)]) << slotNumber(r.slot) << " " << r.box << "(" << i << ")";
        for (int i = r.last + 1; i <= r.last + 3; ++i) EXPECT_EQ(board.text(r.box, i), "box") << slotNumber(r.slot) << " " << r.box << "(" << i << ")";
    }
}

TEST_F(Blocks, SameDigitsDifferentPatterns)
{
    const Bytes data = {0x00, 0x00, 0x20, 0x41};
    receive(Slot::ReadMotorEncoder, test::readReplyCarrying(data, 12));
    receive(Slot::ReadPointSpeed, test::readReplyCarrying(data, 12));
    EXPECT_EQ(board.text("Text12", 1), "10.0");
    EXPECT_EQ(board.text("Text10", 0), "10");
}

TEST_F(Blocks, ToolBlockFillsOnlyTx_Ty_Tz)
{
    preset("Text16", 1, 6);
    preset("Text17", 1, 6);
    receive(Slot::ReadTool, test::readReply(test::floatBytes({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f})));
    EXPECT_EQ(board.text("Text16", 1), "1.00");
    EXPECT_EQ(board.text("Text16", 2), "2.00");
    EXPECT_EQ(board.text("Text16", 3), "3.00");
    for (int k = 4; k <= 6; ++k) EXPECT_EQ(board.text("Text16", k), "box");
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(board.text("Text17", k), "box");
}

TEST_F(Blocks, UnshowableFloatKeepsItsBoxOthersStillUpdate)
{
    preset("Text14", 1, 6);
    Bytes data = test::floatBytes({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f});
    const Bytes nan = {0x00, 0x00, 0xC0, 0x7F};
    std::copy(nan.begin(), nan.end(), data.begin() + 8); // third float
    receive(Slot::ReadMaxPositive, test::readReply(data));
    const char* expected[] = {"1.0", "2.0", "box", "4.0", "5.0", "6.0"};
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(board.text("Text14", k), expected[k - 1]) << k;
}

TEST_F(Blocks, SaveAcknowledgements)
{
    board.setText("Command3", 1, "保存中..");
    for (int i = 0; i <= 2; ++i) board.setText("Command4", i, "保存参数");
    board.setText("Command4", 1, "保存中..");

    receive(Slot::StorePidGains, test::writeAck(0x10B0, 1));
    EXPECT_EQ(board.text("Command3", 1), "保存参数OK");
    for (int i = 0; i <= 2; ++i) EXPECT_NE(board.text("Command4", i), "保存参数OK");

    // Whichever button was clicked, all three turn.
    receive(Slot::StoreParameters, test::writeAck(0x1100, 1));
    for (int i = 0; i <= 2; ++i) EXPECT_EQ(board.text("Command4", i), "保存参数OK") << i;
    EXPECT_FALSE(board.has("Command4", 3));
    EXPECT_FALSE(board.has("Command3", 0));
    EXPECT_FALSE(board.has("Command3", 2));
}

} // namespace
} // namespace vq
