// Jog buttons, teach speed, motion and control modes: what is queued and
// what the scheduler then writes.
#include "rig.h"

namespace vq::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct JogCase {
    int index;
    const char* word;
    const char* joint;
    const char* cartesian;
};
const JogCase kJogCases[] = {
    {1, "00 0A", "J1轴+", "X轴+"}, {2, "00 0B", "J1轴-", "X轴-"},  {3, "00 14", "J2轴+", "Y轴+"},
    {4, "00 15", "J2轴-", "Y轴-"}, {5, "00 1E", "J3轴+", "Z轴+"},  {6, "00 1F", "J3轴-", "Z轴-"},
    {7, "00 28", "J4轴+", "A轴+"}, {8, "00 29", "J4轴-", "A轴-"},  {9, "00 32", "J5轴+", "B轴+"},
    {10, "00 33", "J5轴-", "B轴-"}, {11, "00 3C", "J6轴+", "C轴+"}, {12, "00 3D", "J6轴-", "C轴-"},
};

TEST(Jog, PressSendsCodeReleaseSendsStopAndSlotStaysRaised)
{
    for (const auto& c : kJogCases) {
        SCOPED_TRACE(c.index);
        Rig rig;
        EXPECT_TRUE(rig.op.mouseDown("Command5", c.index));
        EXPECT_EQ(payloadText(rig.state, Payload::JogWord), c.word);
        EXPECT_EQ(rig.op.heldJog(), c.index);
        auto sent = writesTo(rig.cycle(), 0x1004);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].amount, 1);
        EXPECT_EQ(sent[0].byteCount, 2);
        EXPECT_EQ(sent[0].data, hexBytes(c.word));
        EXPECT_TRUE(rig.state.due(Slot::Jog));

        // Held: the code goes out again every cycle.
        sent = writesTo(rig.cycle(), 0x1004);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].data, hexBytes(c.word));

        EXPECT_TRUE(rig.op.mouseUp("Command5", c.index));
        EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "00 00");
        EXPECT_EQ(rig.op.heldJog(), 0);
        for (int k = 0; k < 2; ++k) {
            sent = writesTo(rig.cycle(), 0x1004);
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(sent[0].data, (Bytes{0x00, 0x00}));
            EXPECT_TRUE(rig.state.due(Slot::Jog));
        }
    }
}

TEST(Jog, PressAndReleaseBeforeTheSlotSendOnlyTheStopWord)
{
    Rig rig;
    rig.op.mouseDown("Command5", 7);
    rig.op.mouseUp("Command5", 7);
    const auto all = rig.cycle();
    ASSERT_EQ(all.size(), 1u); // nothing else is due
    EXPECT_EQ(all[0].start, 0x1004);
    EXPECT_EQ(all[0].data, (Bytes{0x00, 0x00}));
}

TEST(Jog, SecondPressReplacesTheFirstAndAnyReleaseStops)
{
    Rig rig;
    rig.op.mouseDown("Command5", 1);
    rig.op.mouseDown("Command5", 4);
    EXPECT_EQ(rig.op.heldJog(), 4);
    auto sent = writesTo(rig.cycle(), 0x1004);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (Bytes{0x00, 0x15}));

    // The release of the other button (or a release delivered because the
    // press ended some other way) still stops the arm.
    rig.op.mouseUp("Command5", 1);
    EXPECT_EQ(rig.op.heldJog(), 0);
    sent = writesTo(rig.cycle(), 0x1004);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (Bytes{0x00, 0x00}));
}

TEST(Jog, SeventhAxisAndDisabledButtonsDoNotJog)
{
    for (int index : {13, 14, 0, 15}) {
        SCOPED_TRACE(index);
        Rig rig;
        const FormState before = rig.state;
        EXPECT_TRUE(rig.op.mouseDown("Command5", index));
        EXPECT_TRUE(sameState(before, rig.state));
        // Their release still sends the stop word.
        rig.op.mouseUp("Command5", index);
        EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "00 00");
        EXPECT_TRUE(rig.state.due(Slot::Jog));
    }
    Rig rig;
    rig.board.setEnabled("Command5", 3, false);
    rig.op.mouseDown("Command5", 3);
    EXPECT_FALSE(rig.state.due(Slot::Jog));
    EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "");
    EXPECT_EQ(rig.op.heldJog(), 0);
}

TEST(Jog, ReleaseAllJogsStopsAHeldJogAndIsQuietBeforeAnyJog)
{
    Rig rig;
    EXPECT_FALSE(rig.op.releaseAllJogs());
    EXPECT_FALSE(rig.state.due(Slot::Jog));
    EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "");

    rig.op.mouseDown("Command5", 11);
    rig.cycle();
    EXPECT_TRUE(rig.op.releaseAllJogs());
    EXPECT_EQ(rig.op.heldJog(), 0);
    EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "00 00");
    auto sent = writesTo(rig.cycle(), 0x1004);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (Bytes{0x00, 0x00}));

    // Released by the operator just before shutdown: the code may have been
    // the last word sent, so the caller is still told to send the stop word.
    rig.op.mouseDown("Command5", 2);
    rig.cycle();
    rig.op.mouseUp("Command5", 2);
    EXPECT_TRUE(rig.op.releaseAllJogs());
    EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "00 00");
}

TEST(Jog, DragModeWhileHeldStopsTheJog)
{
    Rig rig;
    rig.op.mouseDown("Command5", 5);
    rig.op.click("Command22", 3);
    EXPECT_EQ(rig.op.heldJog(), 0);
    EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "00 00");
}

struct SpeedCase {
    const char* text;
    int index;
    const char* textAfter;
    std::optional<Bytes> sent;
};
const SpeedCase kSpeedCases[] = {
    {"5", 0, "5", Bytes{0x00, 0x05}},   // upper limit: kept, still sent
    {"1", 1, "1", Bytes{0x00, 0x01}},   // lower limit
    {"3", 0, "4", Bytes{0x00, 0x04}},
    {"3", 1, "2", Bytes{0x00, 0x02}},
    {" 2 ", 0, "3", Bytes{0x00, 0x03}}, // surrounding blanks
    {"4.5", 0, "5.5", Bytes{0x00, 0x06}}, // half to even when sent
    {"1e0", 0, "2", Bytes{0x00, 0x02}},
    {"abc", 0, "abc", std::nullopt},
    {"abc", 1, "abc", std::nullopt},
    {"", 0, "", std::nullopt},
    {"3x", 0, "3x", std::nullopt},
    {"1,5", 1, "1,5", std::nullopt},
    {"inf", 1, "inf", std::nullopt},
    {"1e999", 1, "1e999", std::nullopt},
    {"0x3", 0, "0x3", std::nullopt},
};

TEST(TeachSpeed, StepsWithinOneToFiveAndSendsTheBox)
{
    for (const auto& c : kSpeedCases) {
        SCOPED_TRACE(std::string(c.text) + (c.index ? " -" : " +"));
        Rig rig;
        rig.board.setText("Text2", kNoIndex, c.text);
        const FormState before = rig.state;
        EXPECT_TRUE(rig.op.click("Command8", c.index));
        EXPECT_EQ(rig.board.text("Text2"), c.textAfter);
        if (!c.sent) {
            EXPECT_TRUE(sameState(before, rig.state));
        }
        const auto all = rig.cycle();
        const auto sent = writesTo(all, 0x1002);
        if (c.sent) {
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(sent[0].amount, 1);
            EXPECT_EQ(sent[0].data, *c.sent);
        } else {
            EXPECT_TRUE(all.empty());
        }
    }
}

TEST(TeachSpeed, TypingSendsNothing)
{
    Rig rig;
    rig.board.setText("Text2", kNoIndex, "3");
    const FormState before = rig.state;
    EXPECT_TRUE(rig.op.keyDown("Text2", kNoIndex, 'A'));
    EXPECT_TRUE(rig.op.keyDown("Text2", kNoIndex, kKeyEnter));
    EXPECT_TRUE(sameState(before, rig.state));
    EXPECT_EQ(rig.board.backColour("Text2"), Colour::buttonFace());
}

struct ModeCase {
    int index;
    std::uint8_t word;
    bool cartesian;
};

TEST(MotionMode, JointCartesianToolSetCaptionsAndSendTheMode)
{
    for (const ModeCase c : {ModeCase{0, 1, false}, ModeCase{1, 2, true}, ModeCase{2, 3, true}}) {
        SCOPED_TRACE(c.index);
        Rig rig;
        for (int i = 1; i <= 12; ++i) rig.board.setEnabled("Command5", i, false);
        EXPECT_TRUE(rig.op.click("Command22", c.index));
        for (const auto& j : kJogCases) {
            EXPECT_TRUE(rig.board.enabled("Command5", j.index));
            EXPECT_EQ(rig.board.text("Command5", j.index), c.cartesian ? j.cartesian : j.joint);
        }
        EXPECT_FALSE(rig.board.has("Command5", 13));
        const auto all = rig.cycle();
        const auto mode = writesTo(all, 0x1003);
        ASSERT_EQ(mode.size(), 1u);
        EXPECT_EQ(mode[0].amount, 1);
        EXPECT_EQ(mode[0].data, (Bytes{0x00, c.word}));
        const auto readBack = readsOf(all, 0x1160);
        ASSERT_EQ(readBack.size(), 1u);
        EXPECT_EQ(readBack[0].amount, 0x0C);
        EXPECT_TRUE(writesTo(all, 0x1010).empty());
    }
}

TEST(MotionMode, DragSwitchesServosOffAndDisablesJogButtons)
{
    Rig rig;
    rig.op.click("Command22", 1); // Cartesian captions
    rig.cycle();
    EXPECT_TRUE(rig.op.click("Command22", 3));
    for (const auto& j : kJogCases) {
        EXPECT_FALSE(rig.board.enabled("Command5", j.index));
        EXPECT_EQ(rig.board.text("Command5", j.index), j.cartesian);
    }
    EXPECT_EQ(payloadText(rig.state, Payload::AxisPowerAll), "00 02 00 02 00 02 00 02 00 02 00 02");
    const auto all = rig.cycle();
    const auto mode = writesTo(all, 0x1003);
    ASSERT_EQ(mode.size(), 1u);
    EXPECT_EQ(mode[0].data, (Bytes{0x00, 0x04}));
    const auto power = writesTo(all, 0x1010);
    ASSERT_EQ(power.size(), 1u);
    EXPECT_EQ(power[0].amount, 6);
    EXPECT_EQ(power[0].byteCount, 12);
    EXPECT_EQ(power[0].data, hexBytes("00 02 00 02 00 02 00 02 00 02 00 02"));
    EXPECT_EQ(readsOf(all, 0x1160).size(), 1u);

    // A jog press in drag mode does nothing; joint mode enables them again.
    rig.op.mouseDown("Command5", 1);
    EXPECT_FALSE(rig.state.due(Slot::Jog));
    rig.op.click("Command22", 0);
    for (const auto& j : kJogCases) {
        EXPECT_TRUE(rig.board.enabled("Command5", j.index));
        EXPECT_EQ(rig.board.text("Command5", j.index), j.joint);
    }
}

TEST(ControlMode, SendsTheModeWord)
{
    for (int index : {0, 1, 2}) {
        SCOPED_TRACE(index);
        Rig rig;
        EXPECT_TRUE(rig.op.click("Command19", index));
        const auto all = rig.cycle();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].start, 0x1001);
        EXPECT_EQ(all[0].amount, 1);
        EXPECT_EQ(all[0].data, (Bytes{0x00, static_cast<std::uint8_t>(index)}));
    }
}

TEST(Modes, IndicesWithoutAButtonDoNothing)
{
    const std::pair<const char*, int> cases[] = {{"Command22", 4}, {"Command22", -1}, {"Command19", 3},
                                                 {"Command8", 2}};
    for (const auto& [name, index] : cases) {
        SCOPED_TRACE(std::string(name) + " " + std::to_string(index));
        Rig rig;
        rig.board.setText("Text2", kNoIndex, "3");
        const FormState before = rig.state;
        EXPECT_TRUE(rig.op.click(name, index));
        EXPECT_TRUE(sameState(before, rig.state));
        EXPECT_EQ(rig.board.text("Text2"), "3");
    }
}

} // namespace
} // namespace vq::test
