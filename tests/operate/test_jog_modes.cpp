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
        rig.op.jogPress(c.index);
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

        rig.op.jogRelease();
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
    rig.op.jogPress(7);
    rig.op.jogRelease();
    const auto all = rig.cycle();
    ASSERT_EQ(all.size(), 1u); // nothing else is due
    EXPECT_EQ(all[0].start, 0x1004);
    EXPECT_EQ(all[0].data, (Bytes{0x00, 0x00}));
}

TEST(Jog, SecondPressReplacesTheFirstAndAnyReleaseStops)
{
    Rig rig;
    rig.op.jogPress(1);
    rig.op.jogPress(4);
    EXPECT_EQ(rig.op.heldJog(), 4);
    auto sent = writesTo(rig.cycle(), 0x1004);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (Bytes{0x00, 0x15}));

    // The release of the other button (or a release delivered because the
    // press ended some other way) still stops the arm.
    rig.op.jogRelease();
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
        rig.op.jogPress(index);
        EXPECT_TRUE(sameState(before, rig.state));
        // Their release still sends the stop word.
        rig.op.jogRelease();
        EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "00 00");
        EXPECT_TRUE(rig.state.due(Slot::Jog));
    }
    Rig rig;
    rig.board.setEnabled(Ctl::JogKey, 3, false);
    rig.op.jogPress(3);
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

    rig.op.jogPress(11);
    rig.cycle();
    EXPECT_TRUE(rig.op.releaseAllJogs());
    EXPECT_EQ(rig.op.heldJog(), 0);
    EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "00 00");
    auto sent = writesTo(rig.cycle(), 0x1004);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (Bytes{0x00, 0x00}));

    // Released by the operator just before shutdown: the code may have been
    // the last word sent, so the caller is still told to send the stop word.
    rig.op.jogPress(2);
    rig.cycle();
    rig.op.jogRelease();
    EXPECT_TRUE(rig.op.releaseAllJogs());
    EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "00 00");
}

TEST(Jog, DragModeWhileHeldStopsTheJog)
{
    Rig rig;
    rig.op.jogPress(5);
    rig.op.setMotionMode(MotionMode::Drag);
    EXPECT_EQ(rig.op.heldJog(), 0);
    EXPECT_EQ(payloadText(rig.state, Payload::JogWord), "00 00");
}

struct SpeedCase {
    const char* text;
    SpeedStep step;
    const char* textAfter;
    std::optional<Bytes> sent;
};
const SpeedCase kSpeedCases[] = {
    {"5", SpeedStep::Up, "5", Bytes{0x00, 0x05}},   // upper limit: kept, still sent
    {"1", SpeedStep::Down, "1", Bytes{0x00, 0x01}},   // lower limit
    {"3", SpeedStep::Up, "4", Bytes{0x00, 0x04}},
    {"3", SpeedStep::Down, "2", Bytes{0x00, 0x02}},
    {" 2 ", SpeedStep::Up, "3", Bytes{0x00, 0x03}}, // surrounding blanks
    {"4.5", SpeedStep::Up, "5", Bytes{0x00, 0x05}},   // a typed level is the nearest of 1..5 (4.5: 4)
    {"-7", SpeedStep::Up, "2", Bytes{0x00, 0x02}},    // below the range: 1, then the step
    {"9", SpeedStep::Down, "4", Bytes{0x00, 0x04}},   // above it: 5, then the step
    {"0", SpeedStep::Down, "1", Bytes{0x00, 0x01}},
    {"1e0", SpeedStep::Up, "2", Bytes{0x00, 0x02}},
    {"abc", SpeedStep::Up, "abc", std::nullopt},
    {"abc", SpeedStep::Down, "abc", std::nullopt},
    {"", SpeedStep::Up, "", std::nullopt},
    {"3x", SpeedStep::Up, "3x", std::nullopt},
    {"1,5", SpeedStep::Down, "1,5", std::nullopt},
    {"inf", SpeedStep::Down, "inf", std::nullopt},
    {"1e999", SpeedStep::Down, "1e999", std::nullopt},
    {"0x3", SpeedStep::Up, "0x3", std::nullopt},
};

TEST(TeachSpeed, StepsWithinOneToFiveAndSendsTheBox)
{
    for (const auto& c : kSpeedCases) {
        SCOPED_TRACE(std::string(c.text) + (c.step == SpeedStep::Down ? " -" : " +"));
        Rig rig;
        rig.board.setText(Ctl::TeachSpeed, kNoIndex, c.text);
        const FormState before = rig.state;
        rig.op.stepTeachSpeed(c.step);
        EXPECT_EQ(rig.board.text(Ctl::TeachSpeed), c.textAfter);
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

struct ModeCase {
    MotionMode mode;
    std::uint8_t word;
    bool cartesian;
};

TEST(MotionMode, JointCartesianToolSetCaptionsAndSendTheMode)
{
    for (const ModeCase c : {ModeCase{MotionMode::Joint, 1, false}, ModeCase{MotionMode::Cartesian, 2, true},
                              ModeCase{MotionMode::Tool, 3, true}}) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        Rig rig;
        for (int i = 1; i <= 12; ++i) rig.board.setEnabled(Ctl::JogKey, i, false);
        rig.op.setMotionMode(c.mode);
        for (const auto& j : kJogCases) {
            EXPECT_TRUE(rig.board.enabled(Ctl::JogKey, j.index));
            EXPECT_EQ(rig.board.text(Ctl::JogKey, j.index), c.cartesian ? j.cartesian : j.joint);
        }
        EXPECT_FALSE(rig.board.has(Ctl::JogKey, 13));
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
    rig.op.setMotionMode(MotionMode::Cartesian); // Cartesian captions
    rig.cycle();
    rig.op.setMotionMode(MotionMode::Drag);
    for (const auto& j : kJogCases) {
        EXPECT_FALSE(rig.board.enabled(Ctl::JogKey, j.index));
        EXPECT_EQ(rig.board.text(Ctl::JogKey, j.index), j.cartesian);
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
    rig.op.jogPress(1);
    EXPECT_FALSE(rig.state.due(Slot::Jog));
    rig.op.setMotionMode(MotionMode::Joint);
    for (const auto& j : kJogCases) {
        EXPECT_TRUE(rig.board.enabled(Ctl::JogKey, j.index));
        EXPECT_EQ(rig.board.text(Ctl::JogKey, j.index), j.joint);
    }
}

TEST(ControlMode, SendsTheModeWord)
{
    const std::pair<ControlMode, std::uint8_t> cases[] = {
        {ControlMode::Run, 0}, {ControlMode::Teach, 1}, {ControlMode::External, 2}};
    for (const auto& [mode, word] : cases) {
        SCOPED_TRACE(word);
        Rig rig;
        rig.op.setControlMode(mode);
        const auto all = rig.cycle();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].start, 0x1001);
        EXPECT_EQ(all[0].amount, 1);
        EXPECT_EQ(all[0].data, (Bytes{0x00, word}));
    }
}

} // namespace
} // namespace vq::test
