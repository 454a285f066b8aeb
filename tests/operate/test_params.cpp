// Parameter boxes: marking, Enter, the groups sent, strict and lenient
// reading, read and save buttons.
#include "rig.h"

#include "operate/strict_number.h"

namespace vq::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(PidBox, TypingMarksEnterConfirmsAndTheSchedulerReadsTheBoxAtSend)
{
    Rig rig;
    rig.board.setText(Ctl::PidKp, 2, "12");
    rig.op.paramKey(ParamGroupId::PidKp, 2, false);
    EXPECT_EQ(rig.board.backColour(Ctl::PidKp, 2), Colour::edited());
    EXPECT_EQ(rig.board.backColour(Ctl::PidKp, 2), Colour::fromRgb(255, 128, 128));
    EXPECT_FALSE(rig.state.due(axisSlot(Slot::WriteKp1, 2)));

    rig.op.paramKey(ParamGroupId::PidKp, 2, true);
    EXPECT_EQ(rig.board.backColour(Ctl::PidKp, 2), Colour::windowBackground());
    EXPECT_TRUE(rig.state.due(axisSlot(Slot::WriteKp1, 2)));
    rig.board.setText(Ctl::PidKp, 2, "300"); // edited again before the slot comes
    const auto all = rig.cycle();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].start, 0x1051);
    EXPECT_EQ(all[0].amount, 1);
    EXPECT_EQ(all[0].data, (Bytes{0x01, 0x2C}));
    EXPECT_TRUE(rig.cycle().empty()); // no read-back for the gains
}

TEST(PidBox, EachArrayRaisesItsOwnSlot)
{
    struct Case {
        ParamGroupId group;
        Ctl box;
        int index;
        std::uint16_t start;
    };
    using P = ParamGroupId;
    for (const Case c : {Case{P::PidKp, Ctl::PidKp, 1, 0x1050}, Case{P::PidKp, Ctl::PidKp, 6, 0x1055},
                         Case{P::PidKi, Ctl::PidKi, 3, 0x1062}, Case{P::PidKd, Ctl::PidKd, 6, 0x1075},
                         Case{P::PidKd, Ctl::PidKd, 1, 0x1070}}) {
        SCOPED_TRACE(describe(c.box, c.index));
        Rig rig;
        rig.board.setText(c.box, c.index, "-90");
        rig.op.paramKey(c.group, c.index, true);
        const auto all = rig.cycle();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].start, c.start);
        EXPECT_EQ(all[0].data, (Bytes{0xFF, 0xA6}));
    }
    Rig rig; // a box outside the axes: nothing
    const FormState before = rig.state;
    rig.op.paramKey(ParamGroupId::PidKi, 7, true);
    EXPECT_TRUE(sameState(before, rig.state));
}

struct GroupCase {
    ParamGroupId group;
    Ctl box;
    int first;
    int count;
    std::uint16_t start;
    bool readBack;
};
using P = ParamGroupId;
const GroupCase kGroups[] = {
    {P::Mechanical, Ctl::MechanicalParam, 1, 6, 0x1110, true},
    {P::ReductionRatio, Ctl::ReductionRatio, 1, 6, 0x1120, true},
    {P::MotorEncoder, Ctl::MotorEncoderParam, 1, 6, 0x1130, true},
    {P::MaxPositiveAngle, Ctl::MaxPositiveAngle, 1, 6, 0x1140, true},
    {P::MaxNegativeAngle, Ctl::MaxNegativeAngle, 1, 6, 0x1150, true},
    {P::Tool, Ctl::ToolParam, 1, 3, 0x1160, true},
    {P::PointSpeed, Ctl::PointSpeed, 0, 3, 0x11A0, false},
    {P::LinearSpeed, Ctl::LinearSpeed, 0, 3, 0x11A6, false},
};

TEST(ParamGroup, EnterSendsTheWholeGroupThenItIsReadBack)
{
    const char* texts[] = {"1.5", "-2", "300", "0.25", "-1e2", "7"};
    const float values[] = {1.5f, -2.0f, 300.0f, 0.25f, -100.0f, 7.0f};
    for (const auto& g : kGroups) {
        SCOPED_TRACE(describe(g.box));
        Rig rig;
        for (int k = 0; k < g.count; ++k) rig.board.setText(g.box, g.first + k, texts[k]);
        const int box = g.first + g.count - 1; // Enter in the last box
        rig.op.paramKey(g.group, g.first, false);
        rig.op.paramKey(g.group, box, false);
        rig.op.paramKey(g.group, box, true);
        EXPECT_EQ(rig.board.backColour(g.box, box), Colour::windowBackground());
        // The other box goes out with the group but keeps its marking.
        EXPECT_EQ(rig.board.backColour(g.box, g.first), Colour::edited());

        auto all = rig.cycle();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].function, 0x10);
        EXPECT_EQ(all[0].start, g.start);
        EXPECT_EQ(all[0].amount, g.count);
        EXPECT_EQ(all[0].byteCount, 4 * g.count);
        EXPECT_EQ(floatsOf(all[0]), std::vector<float>(values, values + g.count));

        all = rig.cycle();
        if (g.readBack) {
            ASSERT_EQ(all.size(), 1u);
            EXPECT_EQ(all[0].function, 0x03);
            EXPECT_EQ(all[0].start, g.start);
            EXPECT_EQ(all[0].amount, 0x0C);
        } else {
            EXPECT_TRUE(all.empty());
        }
    }
}

TEST(ParamGroup, MaxPositiveAngleBoxThree)
{
    Rig rig;
    const char* texts[] = {"170", "120", "135", "180", "120", "360"};
    for (int i = 1; i <= 6; ++i) rig.board.setText(Ctl::MaxPositiveAngle, i, texts[i - 1]);
    rig.op.paramKey(ParamGroupId::MaxPositiveAngle, 3, false);
    rig.op.paramKey(ParamGroupId::MaxPositiveAngle, 3, true);
    EXPECT_EQ(payloadText(rig.state, Payload::MaxPositive), floatArrayToHex(std::array<float, 6>{170, 120, 135, 180, 120, 360}));
    auto all = rig.cycle();
    ASSERT_EQ(writesTo(all, 0x1140).size(), 1u);
    EXPECT_EQ(writesTo(all, 0x1140)[0].data,
              hexBytes("00 00 2A 43 00 00 F0 42 00 00 07 43 00 00 34 43 00 00 F0 42 00 00 B4 43"));
    all = rig.cycle();
    EXPECT_EQ(readsOf(all, 0x1140).size(), 1u);
}

struct LenientCase {
    const char* text;
    float value;
};

TEST(ParamGroup, LenientBoxesReadWhatTheyCan)
{
    const LenientCase cases[] = {{"abc", 0.0f},   {"12.5xyz", 12.5f}, {"", 0.0f},       {" 1 000", 1000.0f},
                                 {"-.5", -0.5f},  {"1e3x", 1000.0f},  {"0.1", 0.1f},    {"3,7", 3.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Rig rig;
        for (int i = 2; i <= 6; ++i) rig.board.setText(Ctl::MechanicalParam, i, "1");
        rig.board.setText(Ctl::MechanicalParam, 1, c.text);
        rig.op.paramKey(ParamGroupId::Mechanical, 1, true);
        const auto all = rig.cycle();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(floatsOf(all[0]), (std::vector<float>{c.value, 1, 1, 1, 1, 1}));
    }
}

struct FailCase {
    ParamGroupId group;
    Ctl box;
    int first;
    int count;
    int bad;
    const char* text;
};

TEST(ParamGroup, UnreadableGroupSendsNothingAndStaysMarked)
{
    const FailCase cases[] = {
        {P::PointSpeed, Ctl::PointSpeed, 0, 3, 1, "12a"},
        {P::PointSpeed, Ctl::PointSpeed, 0, 3, 0, ""},
        {P::PointSpeed, Ctl::PointSpeed, 0, 3, 2, "1,5"},
        {P::Tool, Ctl::ToolParam, 1, 3, 2, "abc"},
        {P::Tool, Ctl::ToolParam, 1, 3, 3, "."},
        {P::Tool, Ctl::ToolParam, 1, 3, 1, "1e"},
        {P::LinearSpeed, Ctl::LinearSpeed, 0, 3, 0, "inf"},
        {P::LinearSpeed, Ctl::LinearSpeed, 0, 3, 2, "1e39"},
        {P::LinearSpeed, Ctl::LinearSpeed, 0, 3, 1, "- 5"},
        {P::ReductionRatio, Ctl::ReductionRatio, 1, 6, 4, "1e999"},
        {P::MaxNegativeAngle, Ctl::MaxNegativeAngle, 1, 6, 6, "-1e40"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.box, c.bad) + " '" + c.text + "'");
        Rig rig;
        for (int k = 0; k < c.count; ++k) rig.board.setText(c.box, c.first + k, "5");
        rig.board.setText(c.box, c.bad, c.text);
        rig.op.paramKey(c.group, c.bad, false);
        const FormState before = rig.state;
        rig.op.paramKey(c.group, c.bad, true);
        EXPECT_EQ(rig.board.backColour(c.box, c.bad), Colour::edited());
        EXPECT_TRUE(sameState(before, rig.state));
        EXPECT_TRUE(rig.cycle().empty());
    }
}

TEST(ParamGroup, StrictBoxesAcceptWholeNumbers)
{
    Rig rig;
    rig.board.setText(Ctl::ToolParam, 1, " 1000 ");
    rig.board.setText(Ctl::ToolParam, 2, "-0.5");
    rig.board.setText(Ctl::ToolParam, 3, "2.5E1");
    rig.op.paramKey(ParamGroupId::Tool, 2, true);
    const auto all = rig.cycle();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].start, 0x1160);
    EXPECT_EQ(all[0].amount, 3);
    EXPECT_EQ(floatsOf(all[0]), (std::vector<float>{1000, -0.5f, 25}));
}

// A box the controller never reported (its block not read yet, or read as
// no number) and the operator did not type holds no setting: its group's
// write is refused with a message until the operator types in it.
TEST(ParamGroup, BoxesTheControllerNeverReportedAreNotWritten)
{
    struct Case {
        const char* what;
        ParamGroupId group;
        Ctl box;
        int unreportedBox;
        int keyBox;           // the box Enter is pressed in; -1: the group's "设置" button
        bool sentWhileMarked; // a single gain in another box goes out
        const char* message;
        std::uint16_t start;
    };
    const Case cases[] = {
        {"linear speed 设置", ParamGroupId::LinearSpeed, Ctl::LinearSpeed, 1, -1, false,
         "未设置线运行速度: 尚未从控制器读到, 请先读取或输入数值", 0x11A6},
        {"Enter in a mechanical box", ParamGroupId::Mechanical, Ctl::MechanicalParam, 2, 5, false,
         "未设置机械参数: 尚未从控制器读到, 请先读取或输入数值", 0x1110},
        {"Enter in the unreported Kp box", ParamGroupId::PidKp, Ctl::PidKp, 3, 3, false,
         "未设置PID参数 Kp 3轴: 尚未从控制器读到, 请先读取或输入数值", 0x1052},
        {"Enter in another Kp box", ParamGroupId::PidKp, Ctl::PidKp, 3, 4, true, "", 0x1053},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        for (const auto& g : paramGroups())
            if (g.id == c.group)
                for (int i = g.first; i < g.first + g.count; ++i) rig.board.setText(c.box, i, "5");
        rig.state.unreported.insert({c.box, c.unreportedBox});
        auto act = [&] {
            if (c.keyBox < 0) rig.op.writeLinearSpeed();
            else rig.op.paramKey(c.group, c.keyBox, true);
            return writesTo(rig.cycle(), c.start).size();
        };
        EXPECT_EQ(act(), c.sentWhileMarked ? 1u : 0u);
        EXPECT_EQ(rig.board.text(Ctl::StatusLine), c.message);
        rig.op.paramKey(c.group, c.unreportedBox, false); // the operator types a value
        EXPECT_EQ(act(), 1u);
    }
}

TEST(StrictReading, Grammar)
{
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"0", 0.0},        {"-12", -12.0},     {"+3.5", 3.5},   {".5", 0.5},        {"5.", 5.0},
        {" \t7\r\n", 7.0}, {"1e3", 1000.0},    {"1E-2", 0.01},  {"2.5e+1", 25.0},   {"", std::nullopt},
        {" ", std::nullopt}, {".", std::nullopt}, {"+", std::nullopt}, {"1e", std::nullopt}, {"1e+", std::nullopt},
        {"1.2.3", std::nullopt}, {"1 2", std::nullopt}, {"0x10", std::nullopt}, {"nan", std::nullopt},
        {"inf", std::nullopt}, {"1e999", std::nullopt}, {"1,5", std::nullopt}, {"--1", std::nullopt},
        {"12.5xyz", std::nullopt},
    };
    for (const auto& [text, want] : cases) {
        SCOPED_TRACE(std::string("'") + text + "'");
        EXPECT_EQ(readStrictFinite(text), want);
    }
    EXPECT_EQ(readStrictFloat("1e39"), std::nullopt);
    EXPECT_EQ(readStrictFloat("0.1"), 0.1f);
}

TEST(SpeedButtons, ReadAndSetWithoutColourChange)
{
    Rig rig;
    const char* point[] = {"1000", "100", "100"};
    for (int i = 0; i < 3; ++i) rig.board.setText(Ctl::PointSpeed, i, point[i]);
    rig.board.setBackColour(Ctl::PointSpeed, 1, Colour::edited());
    rig.op.writePointSpeed();
    EXPECT_EQ(rig.board.backColour(Ctl::PointSpeed, 1), Colour::edited());
    EXPECT_EQ(rig.board.backColour(Ctl::PointSpeed, 0), Colour::buttonFace());
    auto all = rig.cycle();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].start, 0x11A0);
    EXPECT_EQ(all[0].amount, 3);
    EXPECT_EQ(all[0].byteCount, 12);
    EXPECT_EQ(floatsOf(all[0]), (std::vector<float>{1000, 100, 100}));

    for (int i = 0; i < 3; ++i) rig.board.setText(Ctl::LinearSpeed, i, "0");
    rig.board.setText(Ctl::LinearSpeed, 0, "50");
    rig.op.writeLinearSpeed();
    all = rig.cycle();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].start, 0x11A6);
    EXPECT_EQ(floatsOf(all[0]), (std::vector<float>{50, 0, 0}));

    // A set with a box that is not a number sends nothing.
    rig.board.setText(Ctl::LinearSpeed, 2, "fast");
    const FormState before = rig.state;
    rig.op.writeLinearSpeed();
    EXPECT_TRUE(sameState(before, rig.state));

    rig.op.readPointSpeed();
    rig.op.readLinearSpeed();
    rig.op.readPidGains();
    all = rig.cycle();
    ASSERT_EQ(all.size(), 3u); // in slot order 9, 89, 92
    EXPECT_EQ(all[0].function, 0x03);
    EXPECT_EQ(all[0].start, 0x1050);
    EXPECT_EQ(all[0].amount, 0x12);
    EXPECT_EQ(all[1].start, 0x11A6);
    EXPECT_EQ(all[1].amount, 0x0C);
    EXPECT_EQ(all[2].start, 0x11A0);
    EXPECT_EQ(all[2].amount, 0x0C);
}

TEST(SaveButtons, CaptionsAndWrites)
{
    Rig rig;
    for (int i = 0; i < 3; ++i) rig.board.setText(Ctl::StoreParamsButton, i, "保存参数OK");
    rig.board.setText(Ctl::PidGainsButton, 1, "保存参数");
    rig.op.storeParameters();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(rig.board.text(Ctl::StoreParamsButton, i), "保存中..");
    EXPECT_EQ(rig.board.text(Ctl::PidGainsButton, 1), "保存参数");
    auto all = rig.cycle();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].start, 0x1100);
    EXPECT_EQ(all[0].amount, 1);
    EXPECT_EQ(all[0].data, (Bytes{0x00, 0x01}));

    rig.op.storePidGains();
    EXPECT_EQ(rig.board.text(Ctl::PidGainsButton, 1), "保存中..");
    all = rig.cycle();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].start, 0x10B0);
    EXPECT_EQ(all[0].amount, 6);
    EXPECT_EQ(all[0].data, hexBytes("00 01 00 01 00 01 00 01 00 01 00 01"));
}

} // namespace
} // namespace vq::test
