// End-to-end: what the window shows follows the simulated controller. The
// parameter boxes, the joint and pose read-outs, the mode panel, the alarm
// display and the two frame boxes are checked against the arm's own state.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "e2e_rig.h"
#include "link/crc.h"
#include "link/hex.h"

namespace vq::e2e {
namespace {

// Frame bytes with their CRC appended (low byte first), as hex text.
std::string frameText(std::vector<std::uint8_t> bytes)
{
    const std::uint16_t crc = crc16(bytes);
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytesToHexText(bytes);
}

// The reply the controller gives now to a read of count registers.
std::string readReplyText(const sim::Controller& arm, std::uint16_t start, std::uint16_t count)
{
    std::vector<std::uint8_t> bytes{arm.address(), 0x03, static_cast<std::uint8_t>(2 * count)};
    for (std::uint16_t reg : arm.readRegisters(start, count).value_or(std::vector<std::uint16_t>{})) {
        bytes.push_back(static_cast<std::uint8_t>(reg >> 8));
        bytes.push_back(static_cast<std::uint8_t>(reg & 0xFF));
    }
    return frameText(bytes);
}

// Waits until the start-up cycle has sent its one read of every parameter
// block, and a little longer for the last reply. Under load a reply can be
// late and land on the next request, so these tests do not rely on what
// the start-up reads showed.
void waitForStartupReads(Rig& r)
{
    const FormState& state = r.form().state();
    ASSERT_TRUE(r.waitFor([&] {
        for (Slot slot : {Slot::ReadPidGains, Slot::ReadMechanical, Slot::ReadReduction, Slot::ReadMotorEncoder,
                          Slot::ReadMaxPositive, Slot::ReadMaxNegative, Slot::ReadTool, Slot::ReadLineSpeed,
                          Slot::ReadPointSpeed})
            if (state.due(slot)) return false;
        // Sent is not read: a reply lost on a busy machine is asked for again.
        return r.form().everyBlockRead();
    }));
    r.idle(150);
}

std::string labelsOf(Rig& r, std::string_view name)
{
    std::string s;
    for (int i = 1; i <= 6; ++i) s += r.board().text(name, i) + " ";
    return s;
}

// ------------------------------------------------------------- parameters

struct ParamBox {
    const char* what;
    void (*change)(sim::Parameters&);
    const char* box;
    int index;
    const char* after; // the changed value as the box shows it
};

struct Reread {
    const char* trigger;
    std::function<void(Rig&)> act;
    std::vector<ParamBox> boxes;
};

TEST(Telemetry, ParameterBoxesFollowTheControllerWhenTheirBlockIsReadAgain)
{
    Rig r;
    ASSERT_TRUE(r.start());

    auto tab = [](int t) { return [t](Rig& rig) { rig.clickTab(t); }; };
    auto button = [](const char* name, int index) { return [=](Rig& rig) { rig.click(name, index); }; };
    const std::vector<Reread> rereads = {
        {"tab PID参数", tab(0),
         {{"Kp axis 3", [](sim::Parameters& p) { p.kp[2] = 345; }, "Text4", 3, "345"},
          {"Ki axis 1", [](sim::Parameters& p) { p.ki[0] = 7; }, "Text5", 1, "7"},
          {"Kd axis 6", [](sim::Parameters& p) { p.kd[5] = 1234; }, "Text6", 6, "1234"}}},
        {"tab 机械参数", tab(1),
         {{"mechanical a1", [](sim::Parameters& p) { p.mechanical[1] = 33.25f; }, "Text17", 2, "33.25"},
          {"tool z", [](sim::Parameters& p) { p.tool[2] = -12.5f; }, "Text16", 3, "-12.50"}}},
        {"tab 减速比", tab(2),
         {{"reduction axis 4", [](sim::Parameters& p) { p.reduction[3] = 51.125f; }, "Text3", 4, "51.13"},
          {"encoder axis 1", [](sim::Parameters& p) { p.encoder[0] = 2500.0f; }, "Text12", 1, "2500.0"}}},
        {"tab 角度参数", tab(3),
         {{"max positive axis 3", [](sim::Parameters& p) { p.limitPositive[2] = 123.5f; }, "Text14", 3, "123.5"},
          {"max negative axis 5", [](sim::Parameters& p) { p.limitNegative[4] = -99.25f; }, "Text15", 5, "-99.3"}}},
        {"point speed 读取", button("Command7", 0),
         {{"point speed DEC", [](sim::Parameters& p) { p.pointSpeed[2] = 333.4f; }, "Text10", 2, "333"}}},
        {"line speed 读取", button("Command23", 0),
         {{"line speed MM_S", [](sim::Parameters& p) { p.lineSpeed[0] = 250.5f; }, "Text21", 0, "251"}}},
    };

    waitForStartupReads(r);
    if (HasFatalFailure()) return;

    sim::Parameters p = r.arm().parameters();
    for (const auto& rr : rereads)
        for (const auto& b : rr.boxes) b.change(p);
    r.arm().setParameters(p);

    // The poll cycle reads only status and pose: no box changes by itself.
    r.idle(500);
    for (const auto& rr : rereads)
        for (const auto& b : rr.boxes) EXPECT_NE(r.board().text(b.box, b.index), b.after) << b.what;

    // Each re-read brings its own boxes in line, and only those.
    for (std::size_t i = 0; i < rereads.size(); ++i) {
        SCOPED_TRACE(rereads[i].trigger);
        rereads[i].act(r);
        if (::testing::Test::HasFatalFailure()) return;
        for (const auto& b : rereads[i].boxes)
            EXPECT_TRUE(r.waitFor([&] { return r.board().text(b.box, b.index) == b.after; }))
                << b.what << " shows " << r.board().text(b.box, b.index);
        for (std::size_t k = i + 1; k < rereads.size(); ++k)
            for (const auto& b : rereads[k].boxes)
                EXPECT_NE(r.board().text(b.box, b.index), b.after) << b.what << " changed before its re-read";
    }
}

// ------------------------------------------------------- joints and pose

// True once the six joint, six pose, six encoder and six monitor read-outs
// show the arm as it stands.
bool readoutsShowTheArm(Rig& r)
{
    if (!readoutsMatchArm(r)) return false;
    const auto rpm = r.arm().monitorValues();
    for (int i = 1; i <= 6; ++i) {
        const auto k = static_cast<std::size_t>(i - 1);
        if (r.board().text("Label5", i) != shown(rpm[k], 0)) return false;
        if (r.board().text("Label1", i) != std::to_string(r.arm().encoderPosition(i))) return false;
    }
    return true;
}

TEST(Telemetry, JointPoseAndEncoderReadoutsFollowTheArm)
{
    Rig r;
    ASSERT_TRUE(r.start());

    struct Stance {
        sim::JointArray q;
        std::array<const char*, 6> joints; // Label2(1..6)
    };
    const std::vector<Stance> stances = {
        {{12.5, -30.25, 45.0, -90.0, 60.0, 180.0}, {"12.500", "-30.250", "45.000", "-90.000", "60.000", "180.000"}},
        // At the limits; a value that rounds to zero is shown without a sign.
        {{-170.0, 110.0, -150.0, 179.999, -0.0004, -359.5},
         {"-170.000", "110.000", "-150.000", "179.999", "0.000", "-359.500"}},
        // 2.0005 as a float lies just below 2.0005.
        {{33.3333, 2.0005, -7.777, 0.5, 1.0, -1.0}, {"33.333", "2.000", "-7.777", "0.500", "1.000", "-1.000"}},
        {{0.0, 0.0, 0.0, 0.0, 90.0, 0.0}, {"0.000", "0.000", "0.000", "0.000", "90.000", "0.000"}},
    };
    for (const auto& s : stances) {
        r.arm().setJoints(s.q);
        EXPECT_TRUE(r.waitFor([&] { return readoutsShowTheArm(r); }))
            << "joints " << labelsOf(r, "Label2") << "| pose " << labelsOf(r, "Label3") << "| encoders "
            << labelsOf(r, "Label1");
        for (int i = 1; i <= 6; ++i) EXPECT_EQ(r.board().text("Label2", i), s.joints[static_cast<std::size_t>(i - 1)]);
        EXPECT_EQ(r.board().text("Label5", 1), "0"); // standing still
    }
}

TEST(Telemetry, JointTargetsInRunModeMoveTheArmAndTheReadoutsFollowTheMove)
{
    sim::SimOptions o = testSimOptions();
    o.controlMode = 0; // run: the target buttons are usable
    Rig r(o);
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(r.waitFor([&] { return r.isEnabled("Command2", 2); })) << "run mode not shown";

    // "-90°" at real time: the move is slow enough to be seen on its way.
    r.host().setTimeScale(1.0);
    bool sawBetween = false;
    bool sawMotorTurn = false;
    r.click("Command2", 2);
    const bool arrived = r.waitFor(
        [&] {
            const double j3 = std::stod(r.board().text("Label2", 3));
            if (j3 < -5.0 && j3 > -85.0) sawBetween = true;
            if (std::abs(std::stod(r.board().text("Label5", 3))) > 100.0) sawMotorTurn = true;
            const auto q = r.arm().joints();
            return !r.arm().moving() && q[2] == -90.0 && q[4] == -90.0 && readoutsShowTheArm(r);
        },
        8000);
    EXPECT_TRUE(arrived) << r.arm().lastEvent() << " | " << labelsOf(r, "Label2");
    EXPECT_TRUE(sawBetween) << "the joint read-out did not follow the move on its way";
    EXPECT_TRUE(sawMotorTurn) << "the monitor read-out showed no motor speed during the move";
    EXPECT_EQ(r.board().text("Label2", 3), "-90.000");
    EXPECT_EQ(r.board().text("Label2", 5), "-90.000");
    EXPECT_EQ(r.board().text("Label5", 3), "0");

    // "目标角度" with typed angles (box 7 is never read).
    r.host().setTimeScale(4.0);
    const std::array<QString, 6> typed{"12.5", "-20", "33.3", "-45", "60.25", "-100"};
    for (int i = 1; i <= 6; ++i) r.typeInto("Text1", i, typed[static_cast<std::size_t>(i - 1)]);
    r.click("Command2", 3);
    const std::array<const char*, 6> expected{"12.500", "-20.000", "33.300", "-45.000", "60.250", "-100.000"};
    EXPECT_TRUE(r.waitFor(
        [&] {
            for (int i = 1; i <= 6; ++i)
                if (r.board().text("Label2", i) != expected[static_cast<std::size_t>(i - 1)]) return false;
            return !r.arm().moving() && readoutsShowTheArm(r);
        },
        8000))
        << r.arm().lastEvent() << " | " << labelsOf(r, "Label2");
    EXPECT_FLOAT_EQ(static_cast<float>(r.arm().joints()[2]), 33.3f);

    // "0°".
    r.click("Command2", 1);
    EXPECT_TRUE(r.waitFor([&] { return allShow(r, "Label2", 1, 6, "0.000") && !r.arm().moving() && readoutsShowTheArm(r); }))
        << labelsOf(r, "Label2");
}

// ------------------------------------------------------------ mode panel

struct ModeRow {
    int click;           // Command19 index clicked
    bool motionButtons;  // Command22(0..3)
    bool runButtons;     // Command2(1..3)
    bool jogButtons;     // Command5(1..12)
    bool speedButtons;   // Command8(0..1)
};

// Checks the panel against the row; motionLit is the Command22 index that
// should be green (-1: none).
void expectPanel(Rig& r, const ModeRow& row, int motionLit)
{
    for (int i = 0; i <= 2; ++i) {
        EXPECT_TRUE(r.isEnabled("Command19", i)) << i;
        EXPECT_EQ(r.board().backColour("Command19", i), i == row.click ? Colour::green() : Colour::buttonFace())
            << "Command19_" << i << " " << describe(r.board().backColour("Command19", i));
    }
    for (int i = 0; i <= 3; ++i) {
        EXPECT_EQ(r.isEnabled("Command22", i), row.motionButtons) << "Command22_" << i;
        EXPECT_EQ(r.board().backColour("Command22", i), i == motionLit ? Colour::green() : Colour::buttonFace())
            << "Command22_" << i;
    }
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(r.isEnabled("Command2", i), row.runButtons) << "Command2_" << i;
    for (int i = 1; i <= 12; ++i) EXPECT_EQ(r.isEnabled("Command5", i), row.jogButtons) << "Command5_" << i;
    for (int i = 0; i <= 1; ++i) EXPECT_EQ(r.isEnabled("Command8", i), row.speedButtons) << "Command8_" << i;
    // The seventh-axis jog buttons stay out of use whatever the mode.
    EXPECT_FALSE(r.isEnabled("Command5", 13));
    EXPECT_FALSE(r.isEnabled("Command5", 14));
    EXPECT_EQ(r.board().backColour("Shape1"), Colour::green());
}

TEST(Telemetry, ModeButtonsAreLitAndEnabledByTheControlModeTheControllerReports)
{
    Rig r;
    ASSERT_TRUE(r.start());

    const std::vector<ModeRow> rows = {
        {0, false, true, false, false}, // 运行模式
        {1, true, false, true, true},   // 示教模式
        {2, false, false, false, false}, // 外部控制
        {1, true, false, true, true},   // back to teach
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("Command19_" + std::to_string(row.click));
        r.click("Command19", row.click);
        ASSERT_TRUE(r.waitFor([&] {
            return r.arm().controlMode() == row.click &&
                   r.board().backColour("Command19", row.click) == Colour::green() &&
                   r.isEnabled("Command5", 1) == row.jogButtons && r.isEnabled("Command2", 1) == row.runButtons;
        })) << "controller mode " << r.arm().controlMode();
        // The motion mode (joint, 1) is lit only in teach mode.
        expectPanel(r, row, row.click == 1 ? 0 : -1);
    }

    // In teach mode the lit motion-mode button follows the controller.
    const ModeRow teach{1, true, false, true, true};
    for (int m : {1, 2, 0}) {
        SCOPED_TRACE("Command22_" + std::to_string(m));
        r.click("Command22", m);
        ASSERT_TRUE(r.waitFor([&] {
            return r.arm().motionMode() == m + 1 && r.board().backColour("Command22", m) == Colour::green();
        }));
        expectPanel(r, teach, m);
    }
}

// ----------------------------------------------------------------- alarms

struct AlarmRow {
    const char* what;
    bool servo3Off;                    // axis 3 switched off first
    std::function<void(Rig&)> raise;   // puts the alarm on axis 3
    std::uint16_t code;
};

TEST(Telemetry, AlarmOnAxis3IsShownRedAndClearedByTheClearButton)
{
    sim::SimOptions o = testSimOptions();
    o.controlMode = 0; // run: the target buttons are usable
    Rig r(o);
    ASSERT_TRUE(r.start());

    const std::vector<AlarmRow> rows = {
        {"overload reported by the drive", false, [](Rig& rig) { rig.arm().raiseAlarm(3, sim::alarm::kOverload); },
         sim::alarm::kOverload},
        {"target beyond the positive limit of joint 3 (150)", false,
         [](Rig& rig) {
             rig.typeInto("Text1", 3, "170");
             rig.click("Command2", 3);
         },
         sim::alarm::kAngleLimit},
        {"over-temperature with the servo off", true,
         [](Rig& rig) { rig.arm().raiseAlarm(3, sim::alarm::kOverTemperature); }, sim::alarm::kOverTemperature},
    };

    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.servo3Off) {
            r.click("Command33"); // reported on: the click switches it off
            ASSERT_TRUE(r.waitFor([&] {
                return !r.arm().servoOn(3) && r.board().backColour("Command33") == Colour::buttonFace();
            }));
        }
        const Colour idle = row.servo3Off ? Colour::buttonFace() : Colour::green();
        ASSERT_EQ(r.board().text("Label8", 3), "3轴:0");
        ASSERT_EQ(r.board().backColour("Command33"), idle);

        row.raise(r);
        const std::string caption = "3轴:" + std::to_string(row.code);
        EXPECT_TRUE(r.waitFor([&] { return r.board().text("Label8", 3) == caption; }))
            << r.board().text("Label8", 3) << " | " << r.arm().lastEvent();
        EXPECT_EQ(r.arm().alarmCode(3), row.code);
        EXPECT_EQ(r.board().backColour("Command33"), Colour::red()) << describe(r.board().backColour("Command33"));
        // An alarm leaves the controller not ready: the lamp goes out.
        EXPECT_TRUE(r.waitFor([&] { return r.board().backColour("Shape1") == Colour::buttonFace(); }));
        // The other axes are untouched.
        for (int axis : {1, 2, 4, 5, 6}) {
            EXPECT_EQ(r.board().text("Label8", axis), std::to_string(axis) + "轴:0");
            EXPECT_EQ(r.board().backColour("Command3" + std::to_string(axis)), Colour::green()) << axis;
        }

        r.click("Command30"); // 清除报警
        EXPECT_TRUE(r.waitFor([&] {
            return r.arm().alarmCode(3) == 0 && r.board().text("Label8", 3) == "3轴:0" &&
                   r.board().backColour("Command33") == idle && r.board().backColour("Shape1") == Colour::green();
        })) << r.board().text("Label8", 3) << " " << describe(r.board().backColour("Command33"));

        if (row.servo3Off) {
            r.click("Command33");
            ASSERT_TRUE(r.waitFor([&] { return r.board().backColour("Command33") == Colour::green(); }));
        }
        r.typeInto("Text1", 3, "0");
    }
}

// ----------------------------------------------------- request and reply

TEST(Telemetry, Text18ShowsTheLastRequestAndText19TheLastAcceptedReply)
{
    Rig r;
    ASSERT_TRUE(r.start());
    // Let the start-up reads go out, then stop the continuous reads so that
    // only the requests made here go out.
    waitForStartupReads(r);
    if (HasFatalFailure()) return;
    r.click("Check2");
    r.click("Check3");
    ASSERT_EQ(r.board().value("Check2"), 0);
    ASSERT_EQ(r.board().value("Check3"), 0);
    r.idle(200);
    const std::string lastRequest = r.board().text("Text18");
    const std::string lastReply = r.board().text("Text19");
    r.idle(400);
    EXPECT_EQ(r.board().text("Text18"), lastRequest) << "requests sent with both reads off";
    EXPECT_EQ(r.board().text("Text19"), lastReply);

    // A read: the request as sent, the reply as the controller gave it.
    const std::string readPoint = frameText({0x80, 0x03, 0x11, 0xA0, 0x00, 0x0C});
    r.click("Command7", 0);
    ASSERT_TRUE(r.waitFor([&] { return r.board().text("Text18") == readPoint; })) << r.board().text("Text18");
    const std::string pointReply = readReplyText(r.arm(), 0x11A0, 12);
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Text19") == pointReply; })) << r.board().text("Text19");

    // A write and its acknowledgement.
    r.click("Command19", 1);
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Text18") == "80 10 10 01 00 01 02 00 01 1B D6"; }))
        << r.board().text("Text18");
    const std::string ack = frameText({0x80, 0x10, 0x10, 0x01, 0x00, 0x01});
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Text19") == ack; })) << r.board().text("Text19");

    // A reply with a wrong CRC is neither shown nor decoded.
    sim::Parameters p = r.arm().parameters();
    p.lineSpeed[0] = 321.0f;
    r.arm().setParameters(p);
    const std::string lineSpeedShown = r.board().text("Text21", 0);
    ASSERT_NE(lineSpeedShown, "321");
    r.host().setCorruptShare(1.0);
    const std::string readLine = frameText({0x80, 0x03, 0x11, 0xA6, 0x00, 0x0C});
    r.click("Command23", 0);
    ASSERT_TRUE(r.waitFor([&] { return r.board().text("Text18") == readLine; })) << r.board().text("Text18");
    r.idle(300);
    EXPECT_EQ(r.board().text("Text19"), ack);
    EXPECT_EQ(r.board().text("Text21", 0), lineSpeedShown);

    // The same read with the line mended goes through.
    r.host().setCorruptShare(0.0);
    r.click("Command23", 0);
    const std::string lineReply = readReplyText(r.arm(), 0x11A6, 12);
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Text19") == lineReply; })) << r.board().text("Text19");
    EXPECT_TRUE(r.waitFor([&] { return r.board().text("Text21", 0) == "321"; }));
    EXPECT_EQ(r.board().text("Text18"), readLine);
}

} // namespace
} // namespace vq::e2e
