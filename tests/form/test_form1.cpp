// The console core without widgets: load sequence, tab re-reads, port
// choice and shutdown, driven event by event on the test board.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "app/form1.h"
#include "link/crc.h"
#include "link/hex.h"
#include "support/fake_board.h"

namespace vq {
namespace {

namespace fs = std::filesystem;
using test::FakeBoard;
using test::RecordingPort;
using test::ScriptedPrompts;

class MemorySettings : public SavedSettings {
public:
    std::string get(std::string_view name) override
    {
        ++reads;
        auto it = values.find(std::string(name));
        return it == values.end() ? std::string() : it->second;
    }
    void put(std::string_view name, std::string_view text) override
    {
        if (!text.empty()) values[std::string(name)] = std::string(text);
    }
    std::map<std::string, std::string> values;
    int reads = 0;
};

struct Rig {
    FakeBoard board;
    ScriptedPrompts prompts;
    RecordingPort port;
    MemorySettings settings;
    std::optional<std::string> fixed;
    std::unique_ptr<Form1> form;

    void start()
    {
        form = std::make_unique<Form1>(board, prompts, port, settings, fixed);
        form->load();
    }
    // When set, answers every request within its own period, as a healthy
    // controller does; it gets the request and returns the reply (or none).
    std::function<std::optional<std::vector<std::uint8_t>>(const std::vector<std::uint8_t>&)> controller;

    // Start address and function of what one Timer1 event sent, "-" for none.
    std::string event()
    {
        std::size_t before = port.writes.size();
        form->timer("Timer1");
        if (port.writes.size() == before) return "-";
        if (controller)
            if (auto reply = controller(port.writes.back())) port.deliver(*reply);
        return bytesToHexText(port.writes.back()).substr(3, 8);
    }
};

class Form1Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("vq-form1-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        ::setenv("VELQUOR_PORT_DIR", dir.c_str(), 1);
        fs::create_symlink("/dev/null", dir / "com3");
    }
    void TearDown() override
    {
        ::unsetenv("VELQUOR_PORT_DIR");
        fs::remove_all(dir);
    }
    fs::path dir;
};

TEST_F(Form1Test, FirstStartWithNothingSavedSendsNothingAndWarnsNothing)
{
    Rig r;
    r.start();
    EXPECT_EQ(r.board.text(Ctl::PortNumber), "");
    EXPECT_EQ(r.board.text(Ctl::BaudRate), "115200");
    EXPECT_EQ(r.board.text(Ctl::SlaveAddress), "128");
    EXPECT_FALSE(r.board.timerEnabled(Ctl::PollTimer));
    EXPECT_TRUE(r.port.opened.empty());
    EXPECT_TRUE(r.prompts.warnings.empty());
    for (int i = 0; i < 10; ++i) r.form->timer("Timer1");
    EXPECT_TRUE(r.port.writes.empty());
}

TEST_F(Form1Test, LoadSequenceDefaults)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    EXPECT_EQ(r.board.text(Ctl::PortNumber), "03");
    ASSERT_EQ(r.port.opened.size(), 1u);
    EXPECT_EQ(r.port.opened[0].first, (dir / "com3").string());
    EXPECT_EQ(r.port.opened[0].second, 115200);
    EXPECT_TRUE(r.board.timerEnabled(Ctl::PollTimer));
    EXPECT_EQ(r.board.text(Ctl::ProgramEditor), "PSPEED RPM=1000 ACC=500 DEC=500\r\nLSPEED MMS=100 ACC=10 DEC=10\r\n");
    EXPECT_EQ(r.board.value(Ctl::StatusReadSwitch), 1);
    EXPECT_EQ(r.board.value(Ctl::PoseReadSwitch), 1);
    for (int s : {9, 10, 20, 30, 40, 50, 60, 89, 92}) EXPECT_EQ(r.form->state().slotPending[static_cast<std::size_t>(s)], 1) << s;
    for (int i = 0; i <= 3; ++i) EXPECT_FALSE(r.board.enabled(Ctl::MotionModeButton, i));
    EXPECT_FALSE(r.board.timerEnabled(Ctl::RunnerTimer));
    EXPECT_TRUE(r.prompts.warnings.empty());
}

TEST_F(Form1Test, FirstCycleReadsEveryBlockThenIdles)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    const char* expected[] = {"03 10 00", "03 11 70", "03 10 50", "03 11 10", "03 11 20", "03 11 30", "03 11 40",
                              "03 11 50", "03 11 60", "03 11 A6", "03 11 A0", "-", "03 10 00", "03 11 70", "-"};
    for (const char* e : expected) EXPECT_EQ(r.event(), e);
    EXPECT_EQ(bytesToHexText(r.port.writes[0]), "80 03 10 00 00 24 5F 00");
}

TEST_F(Form1Test, SavedPortThatDoesNotOpenWarnsOnceAndPollsNothing)
{
    Rig r;
    r.settings.values["Comm"] = "07";
    r.port.openable = {"/only/this"};
    r.start();
    EXPECT_EQ(r.prompts.warnings.size(), 1u);
    EXPECT_TRUE(r.board.timerEnabled(Ctl::PollTimer));
    for (int i = 0; i < 20; ++i) r.form->timer("Timer1");
    EXPECT_TRUE(r.port.writes.empty());
    EXPECT_EQ(r.board.text(Ctl::ProgramEditor).substr(0, 6), "PSPEED") << "the load sequence goes on after the warning";
}

TEST_F(Form1Test, SimulatedDeviceLeavesTheSavedPortAlone)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.fixed = "/dev/pts/99";
    r.start();
    EXPECT_EQ(r.settings.reads, 0);
    EXPECT_EQ(r.port.opened.at(0).first, "/dev/pts/99");
    EXPECT_EQ(r.settings.values["Comm"], "03");
}

TEST_F(Form1Test, TabClicksRaiseTheirBlocks)
{
    struct Case { int tab; std::vector<int> slots; };
    const Case cases[] = {{0, {9}}, {1, {10, 60}}, {2, {20, 30}}, {3, {40, 50}}, {4, {}}, {5, {}}};
    for (const auto& c : cases) {
        Rig r;
        r.start();
        r.form->state().slotPending = {};
        r.form->tabClick("SSTab1", c.tab);
        std::vector<int> raised;
        for (int s = 0; s < kSlotCount; ++s)
            if (r.form->state().slotPending[static_cast<std::size_t>(s)] == 1) raised.push_back(s);
        EXPECT_EQ(raised, c.slots) << "tab " << c.tab;
    }
    Rig r;
    r.start();
    r.form->state().slotPending = {};
    r.form->tabClick("SSTab2", 1);
    EXPECT_EQ(r.form->state().slotPending, (std::array<std::int16_t, kSlotCount>{}));
}

TEST_F(Form1Test, ChoosingAPortSavesAndOpensIt)
{
    Rig r;
    r.start();
    r.form->comboDropDown("Combo1");
    EXPECT_EQ(r.board.items[Ctl::PortNumber], (std::vector<std::string>{"01", "02", "03", "04", "05", "06", "07", "08", "09", "10",
                                                                  "11", "12", "13", "14", "15", "16"}));
    EXPECT_FALSE(r.port.isOpen());
    r.board.setText(Ctl::PortNumber, kNoIndex, "03");
    r.form->comboClick("Combo1");
    EXPECT_EQ(r.settings.values["Comm"], "03");
    EXPECT_TRUE(r.port.isOpen());
    EXPECT_EQ(r.port.opened.back().first, (dir / "com3").string());
    r.board.setText(Ctl::PortNumber, kNoIndex, "abc");
    r.form->comboClick("Combo1");
    EXPECT_FALSE(r.port.isOpen());
    EXPECT_EQ(r.prompts.warnings.size(), 1u);
}

TEST_F(Form1Test, ExitClosesThePortAndEndsAtOnce)
{
    for (const char* how : {"menu", "close"}) {
        Rig r;
        r.settings.values["Comm"] = "03";
        r.start();
        if (std::string(how) == "menu") r.form->menu("Exit");
        else r.form->unload();
        EXPECT_FALSE(r.port.isOpen()) << how;
        EXPECT_TRUE(r.board.ended) << how;
        std::size_t writes = r.port.writes.size();
        r.form->timer("Timer1");
        r.form->click("Command14", kNoIndex);
        EXPECT_EQ(r.port.writes.size(), writes) << "no event runs after the end";
        EXPECT_TRUE(r.port.writes.empty()) << "nothing is sent on a plain exit";
    }
}

TEST_F(Form1Test, ExitWhileJoggingSendsTheStopWordBeforeClosing)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    r.board.setEnabled(Ctl::JogKey, 3, true);
    r.form->mouseDown("Command5", 3);
    r.form->unload();
    ASSERT_FALSE(r.port.writes.empty());
    EXPECT_EQ(bytesToHexText(r.port.writes.back()).substr(0, 26), "80 10 10 04 00 01 02 00 00");
    EXPECT_FALSE(r.port.isOpen());
}

// A read reply for the block that was asked for, with a good CRC.
std::vector<std::uint8_t> readReply(const std::vector<std::uint16_t>& regs)
{
    std::vector<std::uint8_t> reply = {0x80, 0x03, static_cast<std::uint8_t>(2 * regs.size())};
    for (auto w : regs) {
        reply.push_back(static_cast<std::uint8_t>(w >> 8));
        reply.push_back(static_cast<std::uint8_t>(w));
    }
    std::uint16_t c = crc16(reply);
    reply.push_back(static_cast<std::uint8_t>(c));
    reply.push_back(static_cast<std::uint8_t>(c >> 8));
    return reply;
}

std::vector<std::uint16_t> statusRegs(std::uint16_t busy)
{
    std::vector<std::uint16_t> regs(36, 0);
    regs[0] = 1; // ready
    regs[1] = 1; // teach
    regs[2] = 3;
    regs[3] = 1;
    regs[5] = busy;
    return regs;
}

// A healthy controller: status with the given busy word, zeros elsewhere,
// writes acknowledged by their echo.
auto answering(const std::uint16_t& busy)
{
    return [&busy](const std::vector<std::uint8_t>& req) -> std::optional<std::vector<std::uint8_t>> {
        if (req.size() < 8) return std::nullopt;
        if (req[1] == 0x03) {
            if (req[2] == 0x10 && req[3] == 0x00) return readReply(statusRegs(busy));
            return readReply(std::vector<std::uint16_t>(static_cast<std::size_t>(req[5]), 0));
        }
        std::vector<std::uint8_t> ack(req.begin(), req.begin() + 6);
        std::uint16_t c = crc16(ack);
        ack.push_back(static_cast<std::uint8_t>(c));
        ack.push_back(static_cast<std::uint8_t>(c >> 8));
        return ack;
    };
}

TEST_F(Form1Test, ReadoutsAreGreyedWhileNoStatusOrPoseReplyArrivesAndLiveAgainAfterOne)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    r.form->state().slotPending = {};
    // Each idle cycle: status read, pose read, wrap. No replies at all.
    for (int cycle = 0; cycle < Form1::kStaleAfterMissedReads; ++cycle)
        for (int e = 0; e < 3; ++e) r.event();
    EXPECT_FALSE(r.form->statusStale());
    EXPECT_TRUE(r.board.enabled(Ctl::EncoderPosition, 1));
    r.event(); // one more status read without a reply
    EXPECT_TRUE(r.form->statusStale());
    for (int i = 1; i <= 6; ++i) {
        EXPECT_FALSE(r.board.enabled(Ctl::EncoderPosition, i));
        EXPECT_FALSE(r.board.enabled(Ctl::AlarmCaption, i));
    }
    EXPECT_FALSE(r.board.enabled(Ctl::BusyWord));
    EXPECT_EQ(r.board.backColour(Ctl::ReadyLamp), Colour::buttonFace());
    EXPECT_EQ(r.event(), "03 11 70");
    EXPECT_TRUE(r.form->poseStale());
    EXPECT_FALSE(r.board.enabled(Ctl::JointAngle, 3));
    r.event(); // wrap
    // A corrupt reply changes nothing.
    EXPECT_EQ(r.event(), "03 10 00");
    auto bad = readReply(statusRegs(0));
    bad[10] ^= 0x01;
    r.port.deliver(bad);
    EXPECT_TRUE(r.form->statusStale());
    // The line is good again: within two cycles everything is live.
    std::uint16_t busy = 0;
    r.controller = answering(busy);
    for (int e = 0; e < 6; ++e) r.event();
    EXPECT_FALSE(r.form->statusStale());
    EXPECT_FALSE(r.form->poseStale());
    EXPECT_TRUE(r.board.enabled(Ctl::EncoderPosition, 6));
    EXPECT_TRUE(r.board.enabled(Ctl::PoseValue, 1));
    EXPECT_EQ(r.board.backColour(Ctl::ReadyLamp), Colour::green());
}

TEST_F(Form1Test, RunnerWaitsForAStatusReplyTakenAfterItsWrite)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    std::uint16_t busy = 0;
    r.controller = answering(busy);
    r.start();
    r.form->state().slotPending = {};
    for (int e = 0; e < 3; ++e) r.event(); // one healthy cycle
    r.board.setText(Ctl::ProgramEditor, kNoIndex, "MOVJ J1=10\r\nMOVJ J1=20\r\nEND\r\n");
    r.form->click("Command14", kNoIndex);
    ASSERT_TRUE(r.board.timerEnabled(Ctl::RunnerTimer));
    for (int e = 0; e < 3; ++e) r.event(); // the controller reports idle
    // Line 0 goes to the scheduler at the end of a cycle.
    r.form->timer("Timer3");
    ASSERT_EQ(r.form->state().slotPending[193], 1);
    // An idle word read before the write went out does not release the
    // next line.
    EXPECT_EQ(r.event(), "03 10 00");
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 1u);
    EXPECT_EQ(r.event(), "03 11 70");
    busy = 1; // the controller takes the move
    EXPECT_EQ(r.event(), "10 11 B0");
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 1u) << "still waiting: no status since the write";
    EXPECT_EQ(r.event(), "-");
    EXPECT_EQ(r.event(), "03 10 00"); // moving
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 1u);
    r.event();
    r.event();
    busy = 0; // arrived
    EXPECT_EQ(r.event(), "03 10 00");
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 2u);
}

TEST_F(Form1Test, RunnerMoveSentWhileTheLineIsDownGoesOutWhenItIsBack)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    std::uint16_t busy = 0;
    r.controller = answering(busy);
    r.start();
    r.form->state().slotPending = {};
    for (int e = 0; e < 3; ++e) r.event();
    r.board.setText(Ctl::ProgramEditor, kNoIndex, "MOVJ J1=10\r\nEND\r\n");
    r.form->click("Command14", kNoIndex);
    for (int e = 0; e < 3; ++e) r.event();
    r.form->timer("Timer3");
    r.port.close(); // the device goes away
    for (int e = 0; e < 3; ++e) r.event();
    EXPECT_EQ(r.form->state().slotPending[193], 1) << "the move waits for the line";
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 1u);
    r.port.open("/dev/null", 115200); // back
    std::vector<std::string> sent;
    for (int e = 0; e < 6; ++e) sent.push_back(r.event());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "10 11 B0"), 1) << "the held move goes out once";
    // Stop drops a move held back for the line, not the mailbox as a whole.
    busy = 0;
    r.form->click("Command14", kNoIndex);
    for (int e = 0; e < 3; ++e) r.event();
    r.form->timer("Timer3");
    r.port.close();
    for (int e = 0; e < 4; ++e) r.event();
    EXPECT_EQ(r.form->state().slotPending[193], 1);
    r.form->click("Command12", kNoIndex);
    EXPECT_EQ(r.form->state().slotPending[193], 0);
}

TEST_F(Form1Test, LateRepliesAreNotTakenForTheAnswerOfTheNextRequest)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    r.event();                                // status read, no reply in its period
    r.event();                                // pose read, no reply in its period
    EXPECT_EQ(r.event(), "03 10 50");         // PID table, 41 bytes expected
    r.port.deliver(readReply(statusRegs(0))); // the status reply, late: 77 bytes
    EXPECT_EQ(r.board.text(Ctl::PidKp, 1), "") << "status words must not become PID gains";
    r.port.input.clear();
    // A late status reply of the pose reply's length, in the pose period.
    r.form->state().slotPending = {};
    EXPECT_EQ(r.event(), "-");
    EXPECT_EQ(r.event(), "03 10 00");
    r.port.deliver(readReply(statusRegs(0)));
    EXPECT_EQ(r.event(), "03 11 70");
    auto lateStatus = statusRegs(0);
    lateStatus[0] = 1;
    r.port.deliver(readReply(lateStatus)); // 77 bytes, good CRC, but it is the status block
    std::vector<std::uint16_t> pose(36, 0);
    r.port.deliver(readReply(pose)); // the real pose reply in the same period
    EXPECT_NE(r.board.text(Ctl::JointAngle, 1), "0.000") << "two replies in one period: neither is trusted";
    // A healthy line is trusted again after one clean cycle.
    std::uint16_t busy = 0;
    r.controller = answering(busy);
    for (int e = 0; e < 9; ++e) r.event();
    EXPECT_EQ(r.board.text(Ctl::JointAngle, 1), "0.000");
    EXPECT_EQ(r.board.text(Ctl::BusyWord), "0");
}

TEST_F(Form1Test, RepliesReachTheDecoders)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    r.event(); // read of 10 00
    // Status block: state 1, teach mode, speed 3, joint mode, busy 0.
    std::vector<std::uint8_t> reply = {0x80, 0x03, 72};
    std::vector<std::uint16_t> regs(36, 0);
    regs[0] = 1;
    regs[1] = 1;
    regs[2] = 3;
    regs[3] = 1;
    for (auto w : regs) {
        reply.push_back(static_cast<std::uint8_t>(w >> 8));
        reply.push_back(static_cast<std::uint8_t>(w));
    }
    std::uint16_t c = crc16(reply);
    reply.push_back(static_cast<std::uint8_t>(c));
    reply.push_back(static_cast<std::uint8_t>(c >> 8));
    r.port.deliver(reply);
    EXPECT_EQ(r.board.text(Ctl::TeachSpeed), "3");
    EXPECT_EQ(r.board.backColour(Ctl::ControlModeButton, 1), Colour::green());
    EXPECT_TRUE(r.form->state().replyAddress.empty());
}

} // namespace
} // namespace vq
