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
    // Boxes the window does not have cannot be written: the board refuses
    // them, so a decoder reaching past its boxes fails the test.
    static bool exists(Ctl box, int index) { return designerControl(box, index).has_value(); }
    void preset(Ctl box, int first, int last)
    {
        for (int i = first; i <= last; ++i)
            if (exists(box, i)) board.setText(box, i, "box");
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
    EXPECT_EQ(board.text(Ctl::JointAngle, 1), "1.000");
    EXPECT_EQ(board.text(Ctl::PoseValue, 1), "-0.50");
    EXPECT_EQ(board.text(Ctl::MonitorValue, 1), "1");
    EXPECT_EQ(board.text(Ctl::JointAngle, 2), "0.000");
    EXPECT_EQ(board.text(Ctl::PoseValue, 6), "0.00");
    EXPECT_EQ(board.text(Ctl::MonitorValue, 6), "0");
    EXPECT_FALSE(board.has(Ctl::JointAngle, 7));
    EXPECT_FALSE(board.has(Ctl::PoseValue, 7));
    EXPECT_FALSE(board.has(Ctl::MonitorValue, 7));
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
        EXPECT_EQ(board.text(Ctl::JointAngle, k), joints[k - 1]) << k;
        EXPECT_EQ(board.text(Ctl::PoseValue, k), pose[k - 1]) << k;
        EXPECT_EQ(board.text(Ctl::MonitorValue, k), monitors[k - 1]) << k;
    }
}

TEST_F(Blocks, ShortPoseReplyUpdatesOnlyCompleteFieldsAndGreysTheRest)
{
    preset(Ctl::JointAngle, 1, 6);
    preset(Ctl::PoseValue, 1, 6);
    // Three whole floats and half of the fourth (14 bytes, seven registers).
    Bytes data = test::floatBytes({1.0f, 2.0f, 3.0f, 4.0f});
    data.resize(14);
    receive(Slot::ReadPose, test::readReplyCarrying(data, 36));
    const char* expected[] = {"1.000", "2.000", "3.000", "box", "box", "box"};
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(board.text(Ctl::JointAngle, k), expected[k - 1]) << k;
        EXPECT_EQ(board.enabled(Ctl::JointAngle, k), k <= 3) << "fields not covered are greyed, " << k;
        EXPECT_EQ(board.text(Ctl::PoseValue, k), "box") << k;
        EXPECT_FALSE(board.enabled(Ctl::PoseValue, k)) << k;
    }
}

TEST_F(Blocks, PidGainsAreRegisterValuesInDecimal)
{
    std::vector<std::uint16_t> regs(18);
    for (int j = 0; j < 18; ++j) regs[static_cast<std::size_t>(j)] = static_cast<std::uint16_t>(100 * (j + 1));
    regs[0] = 0x0064;
    regs[17] = 0xFFFF;
    receive(Slot::ReadPidGains, test::readReplyRegs(regs));
    EXPECT_EQ(board.text(Ctl::PidKp, 1), "100");
    for (int k = 2; k <= 6; ++k) EXPECT_EQ(board.text(Ctl::PidKp, k), std::to_string(100 * k)) << k;
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(board.text(Ctl::PidKi, k), std::to_string(100 * (6 + k))) << k;
    for (int k = 1; k <= 5; ++k) EXPECT_EQ(board.text(Ctl::PidKd, k), std::to_string(100 * (12 + k))) << k;
    EXPECT_EQ(board.text(Ctl::PidKd, 6), "-1");
}

TEST_F(Blocks, FloatBlocks)
{
    // Six floats in every block; each block shows them with its own pattern
    // in its own boxes.
    Bytes data = test::floatBytes({1.25f, -2.5f, 10.0f, 0.04f, 99.96f, 7.0f});
    struct Row {
        Slot slot;
        Ctl box;
        int first, last;
        std::vector<std::string> shown;
    };
    const Row rows[] = {
        {Slot::ReadMechanical, Ctl::MechanicalParam, 1, 6, {"1.25", "-2.50", "10.00", "0.04", "99.96", "7.00"}},
        {Slot::ReadReduction, Ctl::ReductionRatio, 1, 6, {"1.25", "-2.50", "10.00", "0.04", "99.96", "7.00"}},
        {Slot::ReadMotorEncoder, Ctl::MotorEncoderParam, 1, 6, {"1.3", "-2.5", "10.0", "0.0", "100.0", "7.0"}},
        {Slot::ReadMaxPositive, Ctl::MaxPositiveAngle, 1, 6, {"1.3", "-2.5", "10.0", "0.0", "100.0", "7.0"}},
        {Slot::ReadMaxNegative, Ctl::MaxNegativeAngle, 1, 6, {"1.3", "-2.5", "10.0", "0.0", "100.0", "7.0"}},
        {Slot::ReadTool, Ctl::ToolParam, 1, 3, {"1.25", "-2.50", "10.00"}},
        {Slot::ReadPointSpeed, Ctl::PointSpeed, 0, 2, {"1", "-3", "10"}},
        {Slot::ReadLineSpeed, Ctl::LinearSpeed, 0, 2, {"1", "-3", "10"}},
    };
    for (const auto& r : rows) {
        preset(r.box, r.first - 1, r.last + 3);
        receive(r.slot, test::readReply(data));
        if (exists(r.box, r.first - 1)) {
            EXPECT_EQ(board.text(r.box, r.first - 1), "box") << slotNumber(r.slot);
        }
        for (int i = r.first; i <= r.last; ++i)
            EXPECT_EQ(board.text(r.box, i), r.shown[static_cast<std::size_t>(i - r.first)]) << slotNumber(r.slot) << " " << describe(r.box, i);
        for (int i = r.last + 1; i <= r.last + 3; ++i) {
            if (!exists(r.box, i)) continue;
            EXPECT_EQ(board.text(r.box, i), "box") << slotNumber(r.slot) << " " << describe(r.box, i);
        }
    }
}

TEST_F(Blocks, SameDigitsDifferentPatterns)
{
    const Bytes data = {0x00, 0x00, 0x20, 0x41};
    receive(Slot::ReadMotorEncoder, test::readReplyCarrying(data, 12));
    receive(Slot::ReadPointSpeed, test::readReplyCarrying(data, 12));
    EXPECT_EQ(board.text(Ctl::MotorEncoderParam, 1), "10.0");
    EXPECT_EQ(board.text(Ctl::PointSpeed, 0), "10");
}

TEST_F(Blocks, ToolBlockFillsOnlyTx_Ty_Tz)
{
    preset(Ctl::ToolParam, 1, 6);
    preset(Ctl::MechanicalParam, 1, 6);
    receive(Slot::ReadTool, test::readReply(test::floatBytes({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f})));
    EXPECT_EQ(board.text(Ctl::ToolParam, 1), "1.00");
    EXPECT_EQ(board.text(Ctl::ToolParam, 2), "2.00");
    EXPECT_EQ(board.text(Ctl::ToolParam, 3), "3.00");
    // There are no tool boxes 4..6: the board would refuse a write to them.
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(board.text(Ctl::MechanicalParam, k), "box");
}

// A value that is no number is never shown as the last one: a read-out
// shows "—" greyed, a parameter box "—" marked as unreported (its group is
// not written until the operator types a value). The next good value is
// shown live and clears the marking.
TEST_F(Blocks, ValuesThatAreNoNumberShowADashNotTheOldValue)
{
    const Bytes nan = {0x00, 0x00, 0xC0, 0x7F}, inf = {0x00, 0x00, 0x80, 0x7F}, minusInf = {0x00, 0x00, 0x80, 0xFF};
    struct Case {
        Slot slot;
        Ctl box;
        bool readout;
    };
    const Case cases[] = {{Slot::ReadPose, Ctl::JointAngle, true}, {Slot::ReadMaxPositive, Ctl::MaxPositiveAngle, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.box));
        preset(c.box, 1, 6);
        Bytes data = test::floatBytes({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f});
        data.resize(c.readout ? 72 : 24);
        std::copy(nan.begin(), nan.end(), data.begin() + 4);
        std::copy(inf.begin(), inf.end(), data.begin() + 8);
        std::copy(minusInf.begin(), minusInf.end(), data.begin() + 20);
        receive(c.slot, test::readReply(data));
        const char* expected[] = {"1", "—", "—", "4", "5", "—"};
        for (int k = 1; k <= 6; ++k) {
            const bool number = expected[k - 1] != std::string("—");
            EXPECT_EQ(board.text(c.box, k).substr(0, number ? 1 : std::string::npos), expected[k - 1]) << k;
            if (c.readout) {
                EXPECT_EQ(board.enabled(c.box, k), number) << k;
            } else {
                EXPECT_EQ(state.reported(c.box, k), number) << k;
                EXPECT_EQ(board.backColour(c.box, k), number ? Colour::windowBackground() : Colour::unreported()) << k;
            }
        }
        receive(c.slot, test::readReply(test::concat(test::floatBytes({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f}),
                                                     Bytes(c.readout ? 48 : 0, 0))));
        for (int k = 1; k <= 6; ++k) {
            EXPECT_TRUE(c.readout ? board.enabled(c.box, k) : state.reported(c.box, k)) << k;
            if (!c.readout) {
                EXPECT_EQ(board.backColour(c.box, k), Colour::windowBackground()) << k;
            }
        }
    }
}

TEST_F(Blocks, SaveAcknowledgements)
{
    board.setText(Ctl::PidGainsButton, 1, "保存中..");
    for (int i = 0; i <= 2; ++i) board.setText(Ctl::StoreParamsButton, i, "保存参数");
    board.setText(Ctl::StoreParamsButton, 1, "保存中..");

    receive(Slot::StorePidGains, test::writeAck(0x10B0, 1));
    EXPECT_EQ(board.text(Ctl::PidGainsButton, 1), "保存参数OK");
    for (int i = 0; i <= 2; ++i) EXPECT_NE(board.text(Ctl::StoreParamsButton, i), "保存参数OK");

    // Whichever button was clicked, all three turn.
    receive(Slot::StoreParameters, test::writeAck(0x1100, 1));
    for (int i = 0; i <= 2; ++i) EXPECT_EQ(board.text(Ctl::StoreParamsButton, i), "保存参数OK") << i;
    EXPECT_FALSE(board.has(Ctl::PidGainsButton, 0));
}

} // namespace
} // namespace vq
