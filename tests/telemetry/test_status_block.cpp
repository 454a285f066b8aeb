// Status block at 1000: stored values, read-outs, colours and the mode panel.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
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

// The block's registers by meaning; `registers()` lays them out as the
// controller does (offsets from 1000 hex).
struct Status {
    std::uint16_t state = 1, mode = 1, speed = 0, motion = 1, busy = 0;
    std::array<std::uint16_t, 6> servo{};
    std::array<std::int32_t, 6> encoder{};
    std::array<std::uint16_t, 6> alarm{};

    std::vector<std::uint16_t> registers() const
    {
        std::vector<std::uint16_t> r(36, 0);
        r[0] = state;
        r[1] = mode;
        r[2] = speed;
        r[3] = motion;
        r[4] = 0xBEEF; // unused
        r[5] = busy;
        for (int k = 0; k < 6; ++k) {
            r[6 + k] = servo[k];
            r[12 + k] = 0xBEEF; // unused
            const auto e = static_cast<std::uint32_t>(encoder[k]);
            r[18 + 2 * k] = static_cast<std::uint16_t>(e & 0xFFFF); // low word first
            r[19 + 2 * k] = static_cast<std::uint16_t>(e >> 16);
            r[30 + k] = alarm[k];
        }
        return r;
    }
    Bytes reply() const { return test::readReplyRegs(registers()); }
};

class StatusBlock : public ::testing::Test {
protected:
    void receive(const Bytes& reply) { EXPECT_TRUE(test::answer(handler, board, Slot::ReadStatus, reply)); }
    void receive(const Status& s) { receive(s.reply()); }
    // Enabling of every group the mode panel drives, set to one value.
    void setGroups(bool on)
    {
        for (int i = 0; i <= 3; ++i) board.setEnabled(Ctl::MotionModeButton, i, on);
        for (int i = 1; i <= 3; ++i) board.setEnabled(Ctl::TargetAngleButton, i, on);
        for (int i = 1; i <= 12; ++i) board.setEnabled(Ctl::JogKey, i, on);
        for (int i = 0; i <= 1; ++i) board.setEnabled(Ctl::SpeedStepButton, i, on);
    }

    FakeBoard board;
    FormState state;
    ReplyHandler handler{state, board};
};

TEST_F(StatusBlock, StoredValuesAndReadouts)
{
    Status s;
    s.speed = 30;
    s.busy = 5;
    s.servo = {1, 0, 1, 2, 0, 1};
    s.encoder = {-1, 65536, 1, -70000, 2147483647, 123456};
    s.alarm = {0, 1, 2, 3, 0, 0};
    receive(s);
    EXPECT_EQ(board.text(Ctl::TeachSpeed), "30");
    EXPECT_EQ(board.text(Ctl::BusyWord), "5");
    EXPECT_EQ(state.controllerBusy, 5);
    const char* encoderText[] = {"-1", "65536", "1", "-70000", "2147483647", "123456"};
    const char* alarmText[] = {"1轴:0", "2轴:1", "3轴:2", "4轴:3", "5轴:0", "6轴:0"};
    for (int k = 1; k <= 6; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        EXPECT_EQ(state.servoState[static_cast<std::size_t>(k)], s.servo[i]) << k;
        EXPECT_EQ(state.alarmCode[static_cast<std::size_t>(k)], s.alarm[i]) << k;
        EXPECT_EQ(board.text(Ctl::EncoderPosition, k), encoderText[i]) << k;
        EXPECT_EQ(board.text(Ctl::AlarmCaption, k), alarmText[i]) << k;
    }
    // Seventh-axis read-outs are never written (the alarm legend has no id:
    // the board refuses it).
    EXPECT_FALSE(board.has(Ctl::EncoderPosition, 7));
    EXPECT_FALSE(board.has(Ctl::JogKey, 13));
    EXPECT_FALSE(board.has(Ctl::JogKey, 14));
}

TEST_F(StatusBlock, EncoderWordsLowFirst)
{
    // Raw registers (low word, high word) as they arrive.
    struct Case { std::uint16_t low, high; const char* shown; };
    const Case cases[] = {{0xFFFF, 0xFFFF, "-1"}, {0x0000, 0x0001, "65536"}, {0x0001, 0x0000, "1"},
                          {0x0000, 0x8000, "-2147483648"}, {0x5678, 0x1234, "305419896"}};
    for (const auto& c : cases) {
        auto regs = Status{}.registers();
        regs[18] = c.low;
        regs[19] = c.high;
        receive(test::readReplyRegs(regs));
        EXPECT_EQ(board.text(Ctl::EncoderPosition, 1), c.shown);
    }
}

TEST_F(StatusBlock, SixteenBitWordsAreSigned)
{
    Status s;
    s.speed = 0x8000;
    s.busy = 0xFFFF;
    s.servo[0] = 0xFFFF;
    s.alarm[1] = 0xFFFE;
    receive(s);
    EXPECT_EQ(board.text(Ctl::TeachSpeed), "-32768");
    EXPECT_EQ(board.text(Ctl::BusyWord), "-1");
    EXPECT_EQ(state.controllerBusy, -1);
    EXPECT_EQ(state.servoState[1], -1);
    EXPECT_EQ(state.alarmCode[2], -2);
    EXPECT_EQ(board.text(Ctl::AlarmCaption, 2), "2轴:-2");
    // Any code but 0 is an alarm, 0x8000 and above too; -1 is not "on".
    EXPECT_EQ(board.backColour(Ctl::ServoButton, 1), Colour::buttonFace());
    EXPECT_EQ(board.backColour(Ctl::ServoButton, 2), Colour::red());
}

TEST_F(StatusBlock, ServoButtonColours)
{
    Status s;
    //          axis 1 2 3 4 5 6
    s.servo = {1, 0, 1, 0, 1, 0};
    s.alarm = {0, 0, 2, 1, 0, 0};
    receive(s);
    const Colour expected[] = {Colour::green(), Colour::buttonFace(), Colour::red(), Colour::red(),
                               Colour::green(), Colour::buttonFace()};
    for (int k = 1; k <= 6; ++k)
        EXPECT_EQ(board.backColour(Ctl::ServoButton, k), expected[k - 1]) << k << " " << describe(board.backColour(Ctl::ServoButton, k));
    EXPECT_EQ(board.text(Ctl::AlarmCaption, 3), "3轴:2");

    // The next reply clears what is no longer reported.
    receive(Status{});
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(board.backColour(Ctl::ServoButton, k), Colour::buttonFace()) << k;
}

TEST_F(StatusBlock, StatusLamp)
{
    struct Case { std::uint16_t state; Colour lamp; bool modeButtonsEnabled; };
    const Case cases[] = {{1, Colour::green(), true}, {0, Colour::buttonFace(), false},
                          {2, Colour::buttonFace(), true}, {0xFFFF, Colour::buttonFace(), true}};
    for (const auto& c : cases) {
        Status s;
        s.state = c.state;
        receive(s);
        EXPECT_EQ(board.backColour(Ctl::ReadyLamp), c.lamp) << c.state;
        for (int i = 0; i <= 2; ++i) EXPECT_EQ(board.enabled(Ctl::ControlModeButton, i), c.modeButtonsEnabled) << c.state;
    }
}

// The mode panel, row by row as the controller's modes define it.
TEST_F(StatusBlock, ModePanel)
{
    struct Row {
        std::uint16_t mode;
        int lit; // Command19 index lit, -1 none
        bool motion, run, jog, speed;
    };
    const Row rows[] = {
        {0, 0, false, true, false, false},
        {1, 1, true, false, true, true},
        {2, 2, false, false, false, false},
    };
    for (const auto& r : rows) {
        for (bool before : {false, true}) {
            setGroups(before);
            Status s;
            s.mode = r.mode;
            s.motion = 2;
            receive(s);
            for (int i = 0; i <= 2; ++i) {
                EXPECT_TRUE(board.enabled(Ctl::ControlModeButton, i));
                EXPECT_EQ(board.backColour(Ctl::ControlModeButton, i), i == r.lit ? Colour::green() : Colour::buttonFace()) << r.mode << " " << i;
            }
            for (int i = 0; i <= 3; ++i) {
                EXPECT_EQ(board.enabled(Ctl::MotionModeButton, i), r.motion) << r.mode;
                const bool lit = r.mode == 1 && i == 1; // motionMode 2: Command22(1)
                EXPECT_EQ(board.backColour(Ctl::MotionModeButton, i), lit ? Colour::green() : Colour::buttonFace()) << r.mode << " " << i;
            }
            for (int i = 1; i <= 3; ++i) EXPECT_EQ(board.enabled(Ctl::TargetAngleButton, i), r.run) << r.mode;
            for (int i = 1; i <= 12; ++i) EXPECT_EQ(board.enabled(Ctl::JogKey, i), r.jog) << r.mode;
            for (int i = 0; i <= 1; ++i) EXPECT_EQ(board.enabled(Ctl::SpeedStepButton, i), r.speed) << r.mode;
        }
    }
}

TEST_F(StatusBlock, UnknownControlModeLightsNothingAndKeepsEnabling)
{
    for (bool before : {false, true}) {
        Status lit; // teach mode lights Command19(1) and Command22(0) first
        receive(lit);
        setGroups(before);
        Status s;
        s.mode = 3;
        receive(s);
        for (int i = 0; i <= 2; ++i) EXPECT_EQ(board.backColour(Ctl::ControlModeButton, i), Colour::buttonFace());
        for (int i = 0; i <= 3; ++i) {
            EXPECT_EQ(board.backColour(Ctl::MotionModeButton, i), Colour::buttonFace());
            EXPECT_EQ(board.enabled(Ctl::MotionModeButton, i), before);
        }
        for (int i = 1; i <= 12; ++i) EXPECT_EQ(board.enabled(Ctl::JogKey, i), before);
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(board.enabled(Ctl::TargetAngleButton, i), before);
    }
}

TEST_F(StatusBlock, MotionModeLightsOneButtonInTeachMode)
{
    struct Case { std::uint16_t motion; int lit; };
    const Case cases[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {0, -1}, {5, -1}, {0xFFFF, -1}};
    for (const auto& c : cases) {
        setGroups(false);
        Status s;
        s.mode = 1;
        s.motion = c.motion;
        receive(s);
        for (int i = 0; i <= 3; ++i) {
            EXPECT_EQ(board.backColour(Ctl::MotionModeButton, i), i == c.lit ? Colour::green() : Colour::buttonFace()) << c.motion << " " << i;
            EXPECT_TRUE(board.enabled(Ctl::MotionModeButton, i));
        }
        for (int i = 1; i <= 12; ++i) EXPECT_TRUE(board.enabled(Ctl::JogKey, i)) << c.motion;
        for (int i = 0; i <= 1; ++i) EXPECT_TRUE(board.enabled(Ctl::SpeedStepButton, i)) << c.motion;
    }
}

TEST_F(StatusBlock, NotReadyDisablesModeButtonsOnly)
{
    for (bool before : {false, true}) {
        receive(Status{}); // teach mode, joint: lit
        setGroups(before);
        Status s;
        s.state = 0;
        s.mode = 1;
        receive(s);
        for (int i = 0; i <= 2; ++i) {
            EXPECT_FALSE(board.enabled(Ctl::ControlModeButton, i));
            EXPECT_EQ(board.backColour(Ctl::ControlModeButton, i), Colour::buttonFace());
        }
        for (int i = 0; i <= 3; ++i) {
            EXPECT_EQ(board.backColour(Ctl::MotionModeButton, i), Colour::buttonFace());
            EXPECT_EQ(board.enabled(Ctl::MotionModeButton, i), before);
        }
        for (int i = 1; i <= 12; ++i) EXPECT_EQ(board.enabled(Ctl::JogKey, i), before);
        for (int i = 0; i <= 1; ++i) EXPECT_EQ(board.enabled(Ctl::SpeedStepButton, i), before);
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(board.enabled(Ctl::TargetAngleButton, i), before);
    }
}

TEST_F(StatusBlock, ShortReplyKeepsWhatItDoesNotCarry)
{
    Status full;
    full.speed = 40;
    full.busy = 9;
    full.servo = {1, 1, 1, 1, 1, 1};
    full.encoder = {10, 20, 30, 40, 50, 60};
    full.alarm = {0, 0, 0, 0, 0, 3};
    receive(full);

    // Eight registers: state, modes, speed, busy, servo axes 1 and 2. Axis 1
    // goes off; every axis from 3 on keeps its old servo state, and every
    // encoder and alarm keeps its value.
    auto regs = Status{}.registers();
    regs[2] = 41;
    regs[5] = 0;
    regs[6] = 0;
    regs[7] = 1;
    regs.resize(8);
    receive(test::readReplyCarrying(test::registerBytes(regs), 36));
    EXPECT_EQ(board.text(Ctl::TeachSpeed), "41");
    EXPECT_EQ(state.controllerBusy, 0);
    EXPECT_EQ(state.servoState[1], 0);
    EXPECT_EQ(state.servoState[2], 1);
    EXPECT_EQ(state.servoState[3], 1);
    EXPECT_EQ(board.backColour(Ctl::ServoButton, 1), Colour::buttonFace());
    EXPECT_EQ(board.backColour(Ctl::ServoButton, 3), Colour::green());
    EXPECT_EQ(board.backColour(Ctl::ServoButton, 6), Colour::red()) << "alarm from the earlier reply";
    EXPECT_EQ(board.text(Ctl::EncoderPosition, 6), "60");
    EXPECT_EQ(board.text(Ctl::AlarmCaption, 6), "6轴:3");
    // What the reply does not cover is greyed: no longer the arm's live state.
    EXPECT_TRUE(board.enabled(Ctl::BusyWord));
    for (int axis = 1; axis <= 6; ++axis) {
        EXPECT_FALSE(board.enabled(Ctl::EncoderPosition, axis)) << axis;
        EXPECT_FALSE(board.enabled(Ctl::AlarmCaption, axis)) << axis;
    }
    // An encoder whose high word is missing is skipped too; the busy word
    // not covered is greyed.
    auto half = full.registers();
    half[18] = 0x0007;
    half.resize(19);
    receive(test::readReplyCarrying(test::registerBytes(half), 36));
    EXPECT_EQ(board.text(Ctl::EncoderPosition, 1), "10");
    EXPECT_FALSE(board.enabled(Ctl::EncoderPosition, 1));
    receive(test::readReplyCarrying(test::registerBytes({1, 1, 3}), 36));
    EXPECT_FALSE(board.enabled(Ctl::BusyWord));
    // A whole reply makes everything live again.
    receive(full);
    EXPECT_TRUE(board.enabled(Ctl::BusyWord));
    for (int axis = 1; axis <= 6; ++axis) EXPECT_TRUE(board.enabled(Ctl::EncoderPosition, axis) && board.enabled(Ctl::AlarmCaption, axis)) << axis;
}

TEST_F(StatusBlock, EmptyReplyCountsModesAsZero)
{
    receive(Status{});
    setGroups(true);
    board.setText(Ctl::BusyWord, kNoIndex, "x");
    state.controllerBusy = 100; // a run just started
    receive(test::readReplyCarrying({}, 36));
    EXPECT_EQ(state.controllerBusy, 100);
    EXPECT_EQ(board.text(Ctl::BusyWord), "x");
    EXPECT_EQ(board.backColour(Ctl::ReadyLamp), Colour::buttonFace());
    for (int i = 0; i <= 2; ++i) EXPECT_FALSE(board.enabled(Ctl::ControlModeButton, i));
    for (int i = 1; i <= 12; ++i) EXPECT_TRUE(board.enabled(Ctl::JogKey, i));
}

} // namespace
} // namespace vq
