// Axis power, alarm clearing, homing and joint targets.
#include "rig.h"

namespace vq::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct AxisCase {
    int reported;
    std::optional<Bytes> word;
};

TEST(AxisPower, ToggleAsksForTheOppositeOfTheReportedState)
{
    const AxisCase cases[] = {{0, Bytes{0x00, 0x01}}, {1, Bytes{0x00, 0x02}}, {7, std::nullopt}, {-1, std::nullopt}};
    for (int axis = 1; axis <= 6; ++axis) {
        for (const auto& c : cases) {
            SCOPED_TRACE("axis " + std::to_string(axis) + " state " + std::to_string(c.reported));
            Rig rig;
            rig.state.servoState[static_cast<std::size_t>(axis)] = c.reported;
            const FormState before = rig.state;
            rig.op.toggleAxis(axis);
            const auto all = rig.cycle();
            if (!c.word) {
                EXPECT_TRUE(sameState(before, rig.state));
                EXPECT_TRUE(all.empty());
                continue;
            }
            ASSERT_EQ(all.size(), 1u);
            EXPECT_EQ(all[0].start, 0x1010 + axis - 1);
            EXPECT_EQ(all[0].amount, 1);
            EXPECT_EQ(all[0].data, *c.word);
        }
    }
}

TEST(AxisPower, SecondAxisBeforeAnyStatusThenAfterServoOn)
{
    Rig rig;
    rig.op.toggleAxis(2);
    auto sent = writesTo(rig.cycle(), 0x1011);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (Bytes{0x00, 0x01}));

    rig.state.servoState[2] = 1; // the status block reported axis 2 on
    rig.op.toggleAxis(2);
    sent = writesTo(rig.cycle(), 0x1011);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data, (Bytes{0x00, 0x02}));

    // An unknown state later on: nothing, not even the old word again.
    rig.state.servoState[2] = 7;
    rig.op.toggleAxis(2);
    EXPECT_TRUE(rig.cycle().empty());
}

TEST(AxisPower, AllOnAllOff)
{
    const std::pair<bool, const char*> cases[] = {{true, "00 01 00 01 00 01 00 01 00 01 00 01"},
                                                  {false, "00 02 00 02 00 02 00 02 00 02 00 02"}};
    for (const auto& [on, words] : cases) {
        SCOPED_TRACE(on);
        Rig rig;
        rig.op.powerAllAxes(on);
        const auto all = rig.cycle();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].start, 0x1010);
        EXPECT_EQ(all[0].amount, 6);
        EXPECT_EQ(all[0].byteCount, 12);
        EXPECT_EQ(all[0].data, hexBytes(words));
    }
    Rig rig;
    const FormState before = rig.state;
    rig.op.toggleAxis(7); // seventh axis
    EXPECT_TRUE(sameState(before, rig.state));
}

TEST(Alarms, ClearSendsSixExecuteWords)
{
    Rig rig;
    rig.op.clearAlarms();
    const auto all = rig.cycle();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].start, 0x1040);
    EXPECT_EQ(all[0].amount, 6);
    EXPECT_EQ(all[0].data, hexBytes("00 01 00 01 00 01 00 01 00 01 00 01"));
    EXPECT_TRUE(rig.prompts.questions.empty());
}

TEST(Origin, SetAnsweredNoChangesNothing)
{
    Rig rig;
    rig.state.mailbox.store(Payload::Origin, Bytes{0x0E, 0xA1}); // earlier
    rig.prompts.answers = {false};
    const FormState before = rig.state;
    rig.op.setOrigin();
    ASSERT_EQ(rig.prompts.questions.size(), 1u);
    EXPECT_EQ(rig.prompts.questions[0].first, "是否设置机械臂原点?");
    EXPECT_EQ(rig.prompts.questions[0].second, "提示");
    EXPECT_TRUE(sameState(before, rig.state));
    EXPECT_TRUE(rig.cycle().empty());
}

TEST(Origin, SetAnsweredYesAndReturn)
{
    Rig rig;
    rig.prompts.answers = {true};
    rig.op.setOrigin();
    auto all = rig.cycle();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].start, 0x1080);
    EXPECT_EQ(all[0].amount, 6);
    EXPECT_EQ(all[0].data, hexBytes("00 01 00 01 00 01 00 01 00 01 00 01"));

    rig.op.returnToOrigin(); // no question for the return
    EXPECT_EQ(rig.prompts.questions.size(), 1u);
    all = rig.cycle();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].start, 0x1090);
    EXPECT_EQ(all[0].amount, 6);
    EXPECT_EQ(all[0].data, hexBytes("00 01 00 01 00 01 00 01 00 01 00 01"));
}

struct TargetCase {
    const char* name;
    TargetPreset preset;
    std::array<const char*, 6> boxes;
    std::optional<std::array<float, 6>> sent;
};

TEST(JointTarget, PresetsAndTypedAngles)
{
    const std::array<const char*, 6> design = {"90", "0", "0", "-90", "0", "90"};
    const TargetCase cases[] = {
        {"0°", TargetPreset::Zero, design, std::array<float, 6>{0, 0, 0, 0, 0, 0}},
        {"-90°", TargetPreset::Minus90, design, std::array<float, 6>{0, 0, -90, 0, -90, 0}},
        {"typed", TargetPreset::Typed, design, std::array<float, 6>{90, 0, 0, -90, 0, 90}},
        {"abc is 0", TargetPreset::Typed, {"1", "2", "3", "abc", "5", "6"}, std::array<float, 6>{1, 2, 3, 0, 5, 6}},
        {"12.5xyz", TargetPreset::Typed, {"0", "0", "0", "12.5xyz", "0", " -4 5"}, std::array<float, 6>{0, 0, 0, 12.5f, 0, -45}},
        {"0.1 rounds to float", TargetPreset::Typed, {"0.1", "0", "0", "0", "0", "0"}, std::array<float, 6>{0.1f, 0, 0, 0, 0, 0}},
        {"beyond float range", TargetPreset::Typed, {"0", "1e999", "0", "0", "0", "0"}, std::nullopt},
        {"beyond float, finite double", TargetPreset::Typed, {"0", "0", "1e39", "0", "0", "0"}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        for (int i = 1; i <= 6; ++i) rig.board.setText(Ctl::TargetAngle, i, c.boxes[static_cast<std::size_t>(i - 1)]);
        rig.board.setText(Ctl::TargetAngle, 7, "garbage"); // never read
        const FormState before = rig.state;
        rig.op.sendTargetAngles(c.preset);
        const auto all = rig.cycle();
        if (!c.sent) {
            EXPECT_TRUE(all.empty());
            EXPECT_EQ(payloadText(rig.state, Payload::JointTarget), payloadText(before, Payload::JointTarget));
            continue;
        }
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].start, 0x11B0);
        EXPECT_EQ(all[0].amount, 6);
        EXPECT_EQ(all[0].byteCount, 0x18);
        EXPECT_EQ(floatsOf(all[0]), std::vector<float>(c.sent->begin(), c.sent->end()));
    }
}

TEST(JointTarget, MinusNinetyWireBytes)
{
    Rig rig;
    rig.op.sendTargetAngles(TargetPreset::Minus90);
    EXPECT_EQ(payloadText(rig.state, Payload::JointTarget), "00 00 00 00 00 00 00 00 00 00 B4 C2 00 00 00 00 00 00 B4 C2 00 00 00 00");
    ASSERT_EQ(rig.port.writes.size(), 0u);
    rig.cycle();
    ASSERT_EQ(rig.port.writes.size(), 1u);
    const auto& frame = rig.port.writes[0];
    ASSERT_EQ(frame.size(), 33u); // 7 header bytes, 24 data bytes, CRC
    EXPECT_EQ(Bytes(frame.begin(), frame.end() - 2),
              hexBytes("80 10 11 B0 00 06 18 00 00 00 00 00 00 00 00 00 00 B4 C2 00 00 00 00 00 00 B4 C2 00 00 00 00"));
}

} // namespace
} // namespace vq::test
