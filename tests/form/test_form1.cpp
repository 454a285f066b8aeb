// The console core without widgets: load sequence, tab re-reads, port
// choice and shutdown, driven event by event on the test board.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <optional>

#include "app/form1.h"
#include "link/status_line.h"
#include "link/crc.h"
#include "link/hex.h"
#include "link/status_line.h"
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
    std::string put(std::string_view name, std::string_view text) override
    {
        if (!fault.empty()) return fault;
        if (!text.empty()) values[std::string(name)] = std::string(text);
        return {};
    }
    std::string fault; // what put() answers when set: the store failed
    std::map<std::string, std::string> values;
    int reads = 0;
};

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

// A healthy controller: status with the given busy word, other blocks filled with their start register's low byte,
// writes acknowledged by their echo.
auto answering(const std::uint16_t& busy)
{
    return [&busy](const std::vector<std::uint8_t>& req) -> std::optional<std::vector<std::uint8_t>> {
        if (req.size() < 8) return std::nullopt;
        if (req[1] == 0x03) {
            if (req[2] == 0x10 && req[3] == 0x00) return readReply(statusRegs(busy));
            // Each block its own bytes (its start register), as a controller's
            // blocks differ: a copy of the reply before is not taken.
            return readReply(std::vector<std::uint16_t>(static_cast<std::size_t>(req[5]), static_cast<std::uint16_t>(req[3])));
        }
        std::vector<std::uint8_t> ack(req.begin(), req.begin() + 6);
        std::uint16_t c = crc16(ack);
        ack.push_back(static_cast<std::uint8_t>(c));
        ack.push_back(static_cast<std::uint8_t>(c >> 8));
        return ack;
    };
}

struct Rig {
    FakeBoard board;
    ScriptedPrompts prompts;
    RecordingPort port;
    MemorySettings settings;
    std::optional<std::string> fixed;
    std::unique_ptr<Form1> form;
    std::int64_t nowUs = 1'000'000'000'000'000; // the injected clock; event() moves it one poll period on

    void start()
    {
        form = std::make_unique<Form1>(board, prompts, port, settings, fixed, std::string(), [this] { return nowUs; });
        form->load();
    }
    // When set, answers every request within its own period, as a healthy
    // controller does; it gets the request and returns the reply (or none).
    std::function<std::optional<std::vector<std::uint8_t>>(const std::vector<std::uint8_t>&)> controller;

    // One cycle in which a healthy controller answers every request: the
    // start-up reads have then read every block once and are not repeated.
    // On port 03 against a healthy controller reporting `busy`, with the
    // start-up reads done.
    void startAnswering(const std::uint16_t& busy)
    {
        settings.values["Comm"] = "03";
        controller = answering(busy);
        start();
        readStartupBlocks();
    }

    void readStartupBlocks()
    {
        const std::uint16_t idle = 0;
        auto saved = controller;
        controller = answering(idle);
        while (event() != "-") {
        }
        controller = saved;
    }

    // Start address and function of what one Timer1 event sent, "-" for none.
    std::string event()
    {
        std::size_t before = port.writes.size();
        nowUs += 35'000;
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
    for (Slot s : {Slot::ReadPidGains, Slot::ReadMechanical, Slot::ReadReduction, Slot::ReadMotorEncoder, Slot::ReadMaxPositive,
                   Slot::ReadMaxNegative, Slot::ReadTool, Slot::ReadLineSpeed, Slot::ReadPointSpeed})
        EXPECT_TRUE(r.form->state().due(s)) << slotNumber(s);
    for (int i = 0; i <= 3; ++i) EXPECT_FALSE(r.board.enabled(Ctl::MotionModeButton, i));
    EXPECT_FALSE(r.board.timerEnabled(Ctl::RunnerTimer));
    EXPECT_TRUE(r.prompts.warnings.empty());
}

TEST_F(Form1Test, FirstCycleReadsEveryBlockThenIdles)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    const std::uint16_t idle = 0;
    r.controller = answering(idle);
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

// Every window event reaches the command its control stands for, with the
// control's index turned into the command's argument; events of controls
// the core does not know, and events a control has no use for, do nothing.
TEST_F(Form1Test, WindowEventsReachTheirCommands)
{
    using Check = std::function<void(Rig&)>;
    struct Case {
        const char* what;
        std::function<void(Form1&)> event;
        std::vector<int> raised;
        Check check;
    };
    const auto text = [](Ctl id, int index, const char* want) {
        return [=](Rig& r) { EXPECT_EQ(r.board.text(id, index), want); };
    };
    const auto endsWith = [](const char* tail) {
        return [=](Rig& r) {
            const std::string t = r.board.text(Ctl::ProgramEditor);
            EXPECT_EQ(t.substr(t.size() - std::min(t.size(), std::strlen(tail))), tail);
        };
    };
    const auto word = [](Payload payload, const char* want) {
        return [=](Rig& r) { EXPECT_EQ(bytesToHexText(r.form->state().mailbox.payload(payload)), want); };
    };
    const char* on = "00 01 00 01 00 01 00 01 00 01 00 01";
    const char* off = "00 02 00 02 00 02 00 02 00 02 00 02";
    const Case cases[] = {
        {"speed +", [](Form1& f) { f.click("Command8", 0); }, {142}, text(Ctl::TeachSpeed, kNoIndex, "4")},
        {"speed -", [](Form1& f) { f.click("Command8", 1); }, {142}, text(Ctl::TeachSpeed, kNoIndex, "2")},
        {"tool mode", [](Form1& f) { f.click("Command22", 2); }, {60, 143}, word(Payload::MotionModeWord, "00 03")},
        {"drag mode", [](Form1& f) { f.click("Command22", 3); }, {60, 90, 143}, word(Payload::MotionModeWord, "00 04")},
        {"external control", [](Form1& f) { f.click("Command19", 2); }, {141}, word(Payload::ControlModeWord, "00 02")},
        {"axis 4", [](Form1& f) { f.click("Command34", kNoIndex); }, {84}, {}},
        {"seventh axis", [](Form1& f) { f.click("Command1", 7); }, {}, {}},
        {"all on", [](Form1& f) { f.click("Command1", 9); }, {90}, word(Payload::AxisPowerAll, on)},
        {"all off", [](Form1& f) { f.click("Command1", 10); }, {90}, word(Payload::AxisPowerAll, off)},
        {"clear alarms", [](Form1& f) { f.click("Command30", kNoIndex); }, {91}, {}},
        {"set origin", [](Form1& f) { f.click("Command16", 0); }, {101}, {}},
        {"return to origin", [](Form1& f) { f.click("Command16", 1); }, {111}, {}},
        {"0°", [](Form1& f) { f.click("Command2", 1); }, {193}, word(Payload::JointTarget, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00")},
        {"-90°", [](Form1& f) { f.click("Command2", 2); }, {193}, word(Payload::JointTarget, "00 00 00 00 00 00 00 00 00 00 B4 C2 00 00 00 00 00 00 B4 C2 00 00 00 00")},
        {"typed target", [](Form1& f) { f.click("Command2", 3); }, {193}, word(Payload::JointTarget, "00 00 80 3F 00 00 80 3F 00 00 80 3F 00 00 80 3F 00 00 80 3F 00 00 80 3F")},
        {"jog press", [](Form1& f) { f.mouseDown("Command5", 3); }, {144}, word(Payload::JogWord, "00 14")},
        {"jog release", [](Form1& f) { f.mouseUp("Command5", 8); }, {144}, word(Payload::JogWord, "00 00")},
        {"read gains", [](Form1& f) { f.click("Command3", 0); }, {9}, {}},
        {"store gains", [](Form1& f) { f.click("Command3", 1); }, {131}, text(Ctl::PidGainsButton, 1, "保存中..")},
        {"store parameters", [](Form1& f) { f.click("Command4", 2); }, {100}, text(Ctl::StoreParamsButton, 0, "保存中..")},
        {"read point speed", [](Form1& f) { f.click("Command7", 0); }, {92}, {}},
        {"write point speed", [](Form1& f) { f.click("Command7", 1); }, {192}, {}},
        {"read linear speed", [](Form1& f) { f.click("Command23", 0); }, {89}, {}},
        {"write linear speed", [](Form1& f) { f.click("Command23", 1); }, {189}, {}},
        {"Kp Enter", [](Form1& f) { f.keyDown("Text4", 2, kKeyEnter); }, {52}, {}},
        {"Ki Enter", [](Form1& f) { f.keyDown("Text5", 6, kKeyEnter); }, {66}, {}},
        {"Kd Enter", [](Form1& f) { f.keyDown("Text6", 1, kKeyEnter); }, {71}, {}},
        {"mechanical Enter", [](Form1& f) { f.keyDown("Text17", 1, kKeyEnter); }, {110}, {}},
        {"reduction Enter", [](Form1& f) { f.keyDown("Text3", 2, kKeyEnter); }, {120}, {}},
        {"encoder Enter", [](Form1& f) { f.keyDown("Text12", 3, kKeyEnter); }, {130}, {}},
        {"max positive Enter", [](Form1& f) { f.keyDown("Text14", 4, kKeyEnter); }, {140}, {}},
        {"max negative Enter", [](Form1& f) { f.keyDown("Text15", 5, kKeyEnter); }, {150}, {}},
        {"tool Enter", [](Form1& f) { f.keyDown("Text16", 3, kKeyEnter); }, {160}, {}},
        {"point speed Enter", [](Form1& f) { f.keyDown("Text10", 0, kKeyEnter); }, {192}, {}},
        {"linear speed Enter", [](Form1& f) { f.keyDown("Text21", 2, kKeyEnter); }, {189}, {}},
        {"Kp typing", [](Form1& f) { f.keyDown("Text4", 2, 'a'); }, {},
         [](Rig& r) { EXPECT_EQ(r.board.backColour(Ctl::PidKp, 2), Colour::edited()); }},
        {"teach speed Enter", [](Form1& f) { f.keyDown("Text2", kNoIndex, kKeyEnter); }, {}, {}},
        {"PSPEED", [](Form1& f) { f.click("Command10", kNoIndex); }, {}, endsWith("PSPEED RPM=1 ACC=1 DEC=1\r\n")},
        {"LSPEED", [](Form1& f) { f.click("Command24", kNoIndex); }, {}, endsWith("LSPEED MMS=1 ACC=1 DEC=1\r\n")},
        {"MOVJ", [](Form1& f) { f.click("Command15", kNoIndex); }, {}, endsWith("MOVJ J1=2 J2=2 J3=2 J4=2 J5=2 J6=2\r\n")},
        {"MOVP", [](Form1& f) { f.click("Command20", kNoIndex); }, {}, endsWith("MOVP X1=3 Y1=3 Z1=3 A1=3 B1=3 C1=3\r\n")},
        {"MOVL", [](Form1& f) { f.click("Command6", kNoIndex); }, {}, endsWith("MOVL X1=3 Y1=3 Z1=3 A1=3 B1=3 C1=3\r\n")},
        {"MOVC", [](Form1& f) { f.click("Command18", kNoIndex); }, {}, endsWith("MOVC X2=3 Y2=3 Z2=3 A2=3 B2=3 C2=3\r\n")},
        {"MOVC end", [](Form1& f) { f.click("Command9", kNoIndex); }, {}, endsWith("     X3=3 Y3=3 Z3=3 A3=3 B3=3 C3=3 Ag=0.000\r\n")},
        {"DELAY", [](Form1& f) { f.click("Command21", kNoIndex); }, {}, endsWith("DELAY MS=\r\n")},
        {"END", [](Form1& f) { f.click("Command17", kNoIndex); }, {}, endsWith("\r\nEND\r\n")},
        {"test MOVP", [](Form1& f) { f.click("Command25", kNoIndex); }, {194}, {}},
        {"test MOVL", [](Form1& f) { f.click("Command26", kNoIndex); }, {195}, {}},
        {"test MOVC", [](Form1& f) { f.click("Command27", kNoIndex); }, {196}, {}},
        {"run", [](Form1& f) { f.click("Command14", kNoIndex); }, {},
         [](Rig& r) { EXPECT_TRUE(r.board.timerEnabled(Ctl::RunnerTimer)); }},
        {"pause", [](Form1& f) { f.click("Command13", kNoIndex); }, {}, text(Ctl::PauseButton, kNoIndex, "继续")},
        {"new program", [](Form1& f) { f.menu("NewFile"); }, {}, text(Ctl::ProgramEditor, kNoIndex, "PSPEED RPM=1000 ACC=500 DEC=500\r\nLSPEED MMS=100 ACC=10 DEC=10\r\n")},
        {"open", [](Form1& f) { f.menu("OpenFile"); }, {}, [](Rig& r) { EXPECT_EQ(r.prompts.dialogs.at(0).first, "打开文件"); }},
        {"save", [](Form1& f) { f.menu("SaveFile"); }, {}, [](Rig& r) { EXPECT_EQ(r.prompts.dialogs.at(0).first, "保存文件"); }},
        {"save as (no behaviour)", [](Form1& f) { f.menu("AsSaveFile"); }, {}, [](Rig& r) { EXPECT_TRUE(r.prompts.dialogs.empty()); }},
        {"no such mode button", [](Form1& f) { f.click("Command22", 4); }, {}, {}},
        {"no such gain box", [](Form1& f) { f.keyDown("Text5", 7, kKeyEnter); }, {}, {}},
        {"Run is no array", [](Form1& f) { f.click("Command14", 0); }, {}, [](Rig& r) { EXPECT_FALSE(r.board.timerEnabled(Ctl::RunnerTimer)); }},
        {"jog keys have no click", [](Form1& f) { f.click("Command5", 1); }, {}, {}},
        {"no such control", [](Form1& f) { f.click("Command37", kNoIndex); }, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r;
        r.prompts.answers = {true};
        r.start();
        r.form->state().mailbox.lowerAll();
        r.form->state().unreported.clear(); // as once the start-up reads came
        r.board.setText(Ctl::TeachSpeed, kNoIndex, "3");
        r.board.setText(Ctl::ProgramEditor, kNoIndex, "MOVJ J1=1\r\nEND\r\n");
        for (int i = 0; i < 3; ++i) r.board.setText(Ctl::PointSpeed, i, "1");
        for (int i = 0; i < 3; ++i) r.board.setText(Ctl::LinearSpeed, i, "1");
        for (int i = 1; i <= 6; ++i) r.board.setText(Ctl::TargetAngle, i, "1");
        for (int i = 1; i <= 3; ++i) r.board.setText(Ctl::ToolParam, i, "1");
        r.board.setEnabled(Ctl::JogKey, 3, true);
        for (int i = 1; i <= 6; ++i) r.board.setText(Ctl::JointAngle, i, "2");
        for (int i = 1; i <= 6; ++i) r.board.setText(Ctl::PoseValue, i, "3");
        r.form->program().poseFresh = [] { return true; };
        c.event(*r.form);
        std::vector<int> raised;
        for (int s = 0; s < kSlotCount; ++s)
            if (r.form->state().due(slotAt(s))) raised.push_back(s);
        EXPECT_EQ(raised, c.raised);
        if (c.check) c.check(r);
    }
}

TEST_F(Form1Test, TabClicksRaiseTheirBlocks)
{
    struct Case { int tab; std::vector<int> slots; };
    const Case cases[] = {{0, {9}}, {1, {10, 60}}, {2, {20, 30}}, {3, {40, 50}}, {4, {}}, {5, {}}};
    for (const auto& c : cases) {
        Rig r;
        r.start();
        r.form->state().mailbox.lowerAll();
        r.form->tabClick("SSTab1", c.tab);
        std::vector<int> raised;
        for (int s = 0; s < kSlotCount; ++s)
            if (r.form->state().due(slotAt(s))) raised.push_back(s);
        EXPECT_EQ(raised, c.slots) << "tab " << c.tab;
    }
    Rig r;
    r.start();
    r.form->state().mailbox.lowerAll();
    r.form->tabClick("SSTab2", 1);
    EXPECT_EQ(r.form->state().mailbox.raisedCount(), 0);
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

// A port that cannot be remembered is still opened, and the status line
// says where and why it was not stored.
TEST_F(Form1Test, PortThatCannotBeSavedIsSaid)
{
    Rig r;
    r.start();
    r.settings.fault = "/home/op/.config/Comm/Registry.conf：没有写入权限（或文件夹无法创建）";
    r.board.setText(Ctl::PortNumber, kNoIndex, "03");
    r.form->comboClick("Combo1");
    EXPECT_TRUE(r.port.isOpen());
    EXPECT_EQ(r.board.text(Ctl::StatusLine), "串口设置未能保存：" + r.settings.fault);
    EXPECT_EQ(r.board.backColour(Ctl::StatusLine), kProblemGround);
}

// Typing in the editor reaches the program as an edit: the title marks it.
TEST_F(Form1Test, TypingInTheEditorMarksTheProgramUnsaved)
{
    Rig r;
    r.start();
    EXPECT_FALSE(r.form->program().unsavedEdits());
    r.form->changed("Text7");
    EXPECT_TRUE(r.form->program().unsavedEdits());
    EXPECT_EQ(r.board.text(Ctl::WindowTitle), "Velquor*");
    EXPECT_TRUE(r.board.timerEnabled(Ctl::RecoveryTimer));
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


TEST_F(Form1Test, ReadoutsAreGreyedWhileNoStatusOrPoseReplyArrivesAndLiveAgainAfterOne)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    r.readStartupBlocks();
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
    r.readStartupBlocks();
    for (int e = 0; e < 3; ++e) r.event(); // one healthy cycle
    r.board.setText(Ctl::ProgramEditor, kNoIndex, "MOVJ J1=10 J2=0 J3=0 J4=0 J5=0 J6=0\r\nMOVJ J1=20 J2=0 J3=0 J4=0 J5=0 J6=0\r\nEND\r\n");
    r.form->click("Command14", kNoIndex);
    ASSERT_TRUE(r.board.timerEnabled(Ctl::RunnerTimer));
    for (int e = 0; e < 3; ++e) r.event(); // the controller reports idle
    // Line 0 goes to the scheduler at the end of a cycle.
    r.form->timer("Timer3");
    ASSERT_EQ(r.form->state().due(Slot::JointTarget), true);
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

// The device goes away under a run: the run pauses with its move held, and
// nothing of the program goes out when the device is back until Continue;
// then the held move goes out once. Stop drops a held move.
TEST_F(Form1Test, LineLossPausesTheRunUntilTheOperatorContinues)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    std::uint16_t busy = 0;
    r.controller = answering(busy);
    r.start();
    r.readStartupBlocks();
    for (int e = 0; e < 3; ++e) r.event();
    r.board.setText(Ctl::ProgramEditor, kNoIndex, "MOVJ J1=10 J2=0 J3=0 J4=0 J5=0 J6=0\r\nEND\r\n");
    r.form->click("Command14", kNoIndex);
    for (int e = 0; e < 3; ++e) r.event();
    r.form->timer("Timer3");
    r.port.close(); // the device goes away
    for (int e = 0; e < 3; ++e) r.event();
    EXPECT_EQ(r.board.text(Ctl::PauseButton), "继续");
    EXPECT_FALSE(r.form->state().due(Slot::JointTarget)) << "held with the run";
    EXPECT_NE(r.board.text(Ctl::StatusLine).find("通讯中断"), std::string::npos);
    r.port.open("/dev/null", 115200); // back
    std::vector<std::string> sent;
    for (int e = 0; e < 8; ++e) sent.push_back(r.event());
    r.form->timer("Timer3");
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "10 11 B0"), 0) << "nothing of the program before Continue";
    r.form->click("Command13", kNoIndex);
    EXPECT_EQ(r.board.text(Ctl::PauseButton), "暂停");
    sent.clear();
    for (int e = 0; e < 8; ++e) sent.push_back(r.event());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "10 11 B0"), 1) << "the held move goes out once";
    // Stop drops a move held back for the line.
    busy = 0;
    r.form->click("Command14", kNoIndex);
    for (int e = 0; e < 3; ++e) r.event();
    r.form->timer("Timer3");
    r.port.close();
    for (int e = 0; e < 4; ++e) r.event();
    r.form->click("Command12", kNoIndex);
    r.port.open("/dev/null", 115200);
    r.form->click("Command13", kNoIndex);
    sent.clear();
    for (int e = 0; e < 8; ++e) sent.push_back(r.event());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "10 11 B0"), 0);
}

constexpr std::size_t kAlarmRegOfAxis4 = 33; // alarm words of axes 1..6 at 30..35

// Clicks made before any port was opened are dropped, and the status line
// names them; the jog stop word alone may still go out. Opening a port
// later sends none of them.
TEST_F(Form1Test, WritesRaisedWhileNoPortIsOpenAreNeverSent)
{
    Rig r;
    r.start();
    r.form->state().mailbox.lowerAll();
    r.form->click("Command2", 2);  // -90°
    r.form->click("Command1", 9);  // all servos on
    r.form->click("Command25", kNoIndex); // MOVP
    r.board.setText(Ctl::PortNumber, kNoIndex, "03");
    r.form->comboClick("Combo1");
    ASSERT_TRUE(r.port.isOpen());
    const std::string told = r.board.text(Ctl::StatusLine);
    for (const char* words : {"关节目标", "全部伺服", "MOVP"}) EXPECT_NE(told.find(words), std::string::npos) << told;
    std::vector<std::string> sent;
    for (int e = 0; e < 400; ++e) sent.push_back(r.event());
    for (const char* write : {"10 11 B0", "10 10 10", "10 11 C0"})
        EXPECT_EQ(std::count(sent.begin(), sent.end(), write), 0) << write;
}

// An alarm reported during a run pauses it before the next line and says
// which line ran and which axis reported which code (0x8000 counts too).
// Continue is refused while the alarm stands and goes on with the next line
// once it is cleared.
TEST_F(Form1Test, AnAlarmPausesTheRunUntilClearedAndContinued)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    std::uint16_t busy = 0;
    std::uint16_t alarm = 0;
    r.controller = [&](const std::vector<std::uint8_t>& req) -> std::optional<std::vector<std::uint8_t>> {
        if (req[1] == 0x03 && req[2] == 0x10 && req[3] == 0x00) {
            auto regs = statusRegs(busy);
            regs[kAlarmRegOfAxis4] = alarm;
            return readReply(regs);
        }
        return answering(busy)(req);
    };
    r.start();
    r.readStartupBlocks();
    r.board.setText(Ctl::ProgramEditor, kNoIndex,
                    "MOVJ J1=1 J2=0 J3=0 J4=0 J5=0 J6=0\r\nMOVJ J1=2 J2=0 J3=0 J4=0 J5=0 J6=0\r\nMOVJ J1=3 J2=0 J3=0 J4=0 J5=0 J6=0\r\nEND\r\n");
    r.form->click("Command14", kNoIndex);
    for (int e = 0; e < 6; ++e) r.event();
    r.form->timer("Timer3"); // line 1 queued
    for (int e = 0; e < 6; ++e) r.event();
    alarm = 0x8005;
    for (int e = 0; e < 6; ++e) r.event();
    EXPECT_EQ(r.board.text(Ctl::PauseButton), "继续");
    const std::string told = r.board.text(Ctl::StatusLine);
    EXPECT_NE(told.find("第 1 行"), std::string::npos) << told;
    EXPECT_NE(told.find("4轴 报警 -32763"), std::string::npos) << told;
    EXPECT_EQ(r.board.backColour(Ctl::ServoButton, 4), Colour::red());
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 1u) << "no line while paused";
    r.form->click("Command13", kNoIndex);
    EXPECT_EQ(r.board.text(Ctl::PauseButton), "继续") << "refused while the alarm stands";
    alarm = 0;
    for (int e = 0; e < 6; ++e) r.event();
    r.form->click("Command13", kNoIndex);
    EXPECT_EQ(r.board.text(Ctl::PauseButton), "暂停");
    for (int e = 0; e < 6; ++e) r.event();
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 2u) << "goes on with the next line";
}

// A lost block read is asked for again in the next cycles until its block
// has come; a block read once is not read again by itself.
TEST_F(Form1Test, BlockReadsAreRetriedUntilTheirReplyCame)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    const std::uint16_t busy = 0;
    auto healthy = answering(busy);
    // The first cycle's replies to the PID gains and the point speed are
    // lost; the reply after a lost one is not taken either (it may be the
    // late one), so the mechanical block is read again too.
    r.controller = [&](const std::vector<std::uint8_t>& req) -> std::optional<std::vector<std::uint8_t>> {
        if (req[1] == 0x03 && ((req[2] == 0x10 && req[3] == 0x50) || (req[2] == 0x11 && req[3] == 0xA0))) return std::nullopt;
        return healthy(req);
    };
    auto cycle = [&] {
        std::vector<std::string> sent;
        for (std::string e = r.event(); e != "-"; e = r.event()) sent.push_back(e);
        return sent;
    };
    const auto first = cycle();
    EXPECT_EQ(std::count(first.begin(), first.end(), "03 10 50"), 1);
    r.controller = healthy;
    const auto second = cycle();
    EXPECT_EQ(second, (std::vector<std::string>{"03 10 00", "03 11 70", "03 10 50", "03 11 10", "03 11 A0"}));
    const auto third = cycle();
    EXPECT_EQ(third, (std::vector<std::string>{"03 10 00", "03 11 70"}));
    // So is a read asked for later (a tab's, the read-back after a write):
    // the typed value must not stay looking confirmed.
    const auto loseLimits = [&](const std::vector<std::uint8_t>& req) -> std::optional<std::vector<std::uint8_t>> {
        if (req[1] == 0x03 && req[2] == 0x11 && req[3] == 0x40) return std::nullopt;
        return healthy(req);
    };
    r.form->state().raise(Slot::ReadMaxPositive);
    r.controller = loseLimits;
    EXPECT_EQ(cycle(), (std::vector<std::string>{"03 10 00", "03 11 70", "03 11 40"}));
    r.controller = healthy;
    EXPECT_EQ(cycle(), (std::vector<std::string>{"03 10 00", "03 11 70", "03 11 40"}));
    EXPECT_EQ(cycle(), (std::vector<std::string>{"03 10 00", "03 11 70"}));
    EXPECT_TRUE(r.form->everyBlockRead());
    EXPECT_EQ(r.form->readsAskedAgain(), 4u);
    // A retry that someone else asks for too before it goes out (a tab's
    // read) is that read as well, and not counted as asked again.
    r.form->state().raise(Slot::ReadMaxPositive);
    r.controller = loseLimits;
    cycle();
    r.form->state().raise(Slot::ReadMaxPositive);
    r.controller = healthy;
    EXPECT_EQ(cycle(), (std::vector<std::string>{"03 10 00", "03 11 70", "03 11 40"}));
    EXPECT_EQ(r.form->readsAskedAgain(), 4u);
}

// A store whose acknowledgement is lost (or never sent) gives its buttons
// their caption back within two cycles and says so; it is never sent again
// by itself. An acknowledged store shows "保存参数OK" and says nothing.
TEST_F(Form1Test, UnacknowledgedStoreEndsSavingWithoutSendingAgain)
{
    struct Case {
        const char* button;
        int index;
        Ctl shown;
        int shownIndex;
        std::uint8_t reg;
        bool lost;
        bool portGone;
    };
    for (const Case c : {Case{"Command4", 1, Ctl::StoreParamsButton, 2, 0x00, true, false},
                         Case{"Command3", 1, Ctl::PidGainsButton, 1, 0xB0, true, false},
                         Case{"Command4", 0, Ctl::StoreParamsButton, 0, 0x00, false, false},
                         Case{"Command4", 2, Ctl::StoreParamsButton, 1, 0x00, true, true}}) {
        SCOPED_TRACE(std::string(c.button) + "_" + std::to_string(c.index) + (c.lost ? " lost" : " acked"));
        Rig r;
        const std::uint16_t busy = 0;
        r.startAnswering(busy);
        auto healthy = answering(busy);
        r.controller = [&](const std::vector<std::uint8_t>& req) -> std::optional<std::vector<std::uint8_t>> {
            if (c.lost && req[1] == 0x10 && req[3] == c.reg) return std::nullopt;
            return healthy(req);
        };
        const std::string told = r.board.text(Ctl::StatusLine);
        r.form->click(c.button, c.index);
        EXPECT_EQ(r.board.text(c.shown, c.shownIndex), "保存中..");
        if (c.portGone) r.port.failWrites = true;
        int stores = 0;
        for (int e = 0; e < 12; ++e) stores += r.event().find(c.reg == 0xB0 ? "10 10 B0" : "10 11 00") == 0;
        EXPECT_EQ(stores, c.portGone ? 0 : 1);
        EXPECT_EQ(r.board.text(c.shown, c.shownIndex), c.lost ? "保存参数" : "保存参数OK");
        const std::string now = r.board.text(Ctl::StatusLine);
        if (!c.lost) {
            EXPECT_EQ(now, told);
        } else if (!c.portGone) {
            EXPECT_NE(now.find("未确认: "), std::string::npos) << now;
        }
    }
}

// Stop drops a program move still in the mailbox; Pause holds it unsent
// and Continue sends it, with the runner waiting for a status reply after it.
TEST_F(Form1Test, StopDropsAndPauseHoldsTheProgramsQueuedMove)
{
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "stop" : "pause");
        Rig r;
        r.settings.values["Comm"] = "03";
        std::uint16_t busy = 0;
        r.controller = answering(busy);
        r.start();
        r.readStartupBlocks();
        r.board.setText(Ctl::ProgramEditor, kNoIndex, "MOVJ J1=5 J2=0 J3=0 J4=0 J5=0 J6=0\r\nMOVJ J1=6 J2=0 J3=0 J4=0 J5=0 J6=0\r\nEND\r\n");
        r.form->click("Command14", kNoIndex);
        r.event(); // status: busy 0
        r.form->timer("Timer3");
        ASSERT_TRUE(r.form->state().due(Slot::JointTarget));
        r.form->click(stop ? "Command12" : "Command13", kNoIndex);
        std::vector<std::string> sent;
        for (int e = 0; e < 6; ++e) sent.push_back(r.event());
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "10 11 B0"), 0);
        if (stop) continue;
        r.form->timer("Timer3"); // paused: no line
        EXPECT_FALSE(r.form->state().due(Slot::JointTarget));
        r.form->click("Command13", kNoIndex); // continue
        EXPECT_TRUE(r.form->state().due(Slot::JointTarget));
        EXPECT_EQ(r.form->state().controllerBusy, 100);
        r.form->timer("Timer3"); // the next line waits for the held move's status
        EXPECT_EQ(r.form->program().runner().lineIndex(), 1u);
    }
}

// Single step while paused: a move held by the pause goes out first, as
// the step of the line it belongs to; only the next step runs a new line.
TEST_F(Form1Test, SingleStepSendsTheHeldMoveThenOneLineAtATime)
{
    Rig r;
    const std::uint16_t idle = 0;
    r.startAnswering(idle);
    r.board.setText(Ctl::ProgramEditor, kNoIndex,
                    "MOVJ J1=5 J2=0 J3=0 J4=0 J5=0 J6=0\r\nMOVJ J1=6 J2=0 J3=0 J4=0 J5=0 J6=0\r\nEND\r\n");
    EXPECT_FALSE(r.board.enabled(Ctl::StepMenu));
    r.form->click("Command14", kNoIndex);
    r.event(); // status: busy 0
    r.form->timer("Timer3");
    r.form->click("Command13", kNoIndex); // pause: the move is held
    ASSERT_FALSE(r.form->state().due(Slot::JointTarget));
    EXPECT_TRUE(r.board.enabled(Ctl::StepMenu));
    EXPECT_EQ(r.board.text(Ctl::RunStatus), "已暂停 第 1 行");

    r.form->menu("singleStep");
    EXPECT_TRUE(r.form->state().due(Slot::JointTarget));
    std::vector<std::string> sent;
    for (int e = 0; e < 6; ++e) sent.push_back(r.event());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "10 11 B0"), 1);
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 1u) << "the held move was the step";

    r.form->menu("singleStep");
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 2u);
    EXPECT_TRUE(r.form->state().due(Slot::JointTarget));
    EXPECT_EQ(r.board.text(Ctl::RunStatus), "已暂停 第 2 行");
    EXPECT_EQ(r.board.value(Ctl::ProgramEditor), -2);
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 2u) << "one line per step";

    // An axis in alarm: no step, and the operator is told why.
    r.form->state().alarmCode[4] = 5;
    r.form->menu("singleStep");
    r.form->state().controllerBusy = 0;
    r.form->timer("Timer3");
    EXPECT_EQ(r.form->program().runner().lineIndex(), 2u);
    EXPECT_EQ(r.board.text(Ctl::StatusLine), "4轴仍在报警，程序不能继续：清除报警后再按“单步”");
}

// The joint limits the controller reports are what the check holds the
// program's joint targets against.
TEST_F(Form1Test, ReportedJointLimitsReachTheProgramCheck)
{
    Rig r;
    const std::uint16_t idle = 0;
    auto healthy = answering(idle);
    r.startAnswering(idle);
    r.controller = [&](const std::vector<std::uint8_t>& req) -> std::optional<std::vector<std::uint8_t>> {
        // 10.0 and -10.0 for every joint: 00 00 20 41 and 00 00 20 C1.
        if (req[1] == 0x03 && req[2] == 0x11 && (req[3] == 0x40 || req[3] == 0x50)) {
            std::vector<std::uint16_t> regs;
            for (int j = 0; j < 6; ++j) regs.insert(regs.end(), {0x0000, req[3] == 0x40 ? std::uint16_t(0x2041) : std::uint16_t(0x20C1)});
            return readReply(regs);
        }
        return healthy(req);
    };
    r.form->tabClick("SSTab1", 3); // "角度参数": the limits are read again
    for (int e = 0; e < 6; ++e) r.event();
    r.board.setText(Ctl::ProgramEditor, kNoIndex, "MOVJ J1=0 J2=11 J3=0 J4=0 J5=-10.5 J6=10\r\n");
    r.form->change("Text7");
    ASSERT_TRUE(r.board.timerEnabled(Ctl::CheckTimer));
    r.form->timer("checkTimer");
    EXPECT_EQ(r.board.items[Ctl::ProgramProblems],
              (std::vector<std::string>{"第 1 行：关节 2 的目标 11 超过上限 10", "第 1 行：关节 5 的目标 -10.5 低于下限 -10"}));
}

TEST_F(Form1Test, RepliesReachTheDecoders)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    r.event(); // read of 10 00
    // Status block: state 1, teach mode, speed 3, joint mode, busy 0.
    const auto reply = readReply(statusRegs(0));
    r.port.deliver(reply);
    EXPECT_EQ(r.board.text(Ctl::TeachSpeed), "3");
    EXPECT_EQ(r.board.backColour(Ctl::ControlModeButton, 1), Colour::green());
    EXPECT_EQ(r.form->link().repliesAccepted(), 1u);
    EXPECT_EQ(r.board.text(Ctl::SentFrame), "80 03 10 00 00 24 5F 00");
    EXPECT_EQ(r.board.text(Ctl::ReceivedFrame), bytesToHexText(reply));
}

TEST_F(Form1Test, SlaveReadSwitchesAndGainBoxesAreTakenAtEachPollEvent)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    r.readStartupBlocks();
    const std::size_t before = r.port.writes.size();
    r.board.setValue(Ctl::StatusReadSwitch, kNoIndex, 0);
    r.board.setText(Ctl::SlaveAddress, kNoIndex, "1");
    r.board.setText(Ctl::PidKi, 2, "5");
    r.form->state().raise(axisSlot(Slot::WriteKi1, 2));
    r.board.setText(Ctl::PidKi, 2, "-2"); // edited again before the slot comes
    const char* expected[] = {"03 11 70", "10 10 61", "-", "03 11 70", "-"};
    for (const char* e : expected) EXPECT_EQ(r.event(), e);
    EXPECT_EQ(bytesToHexText(r.port.writes[before + 1]).substr(0, 26), "01 10 10 61 00 01 02 FF FE");
    r.board.setValue(Ctl::StatusReadSwitch, kNoIndex, 1);
    r.board.setValue(Ctl::PoseReadSwitch, kNoIndex, 0);
    r.board.setText(Ctl::SlaveAddress, kNoIndex, "128");
    EXPECT_EQ(r.event(), "03 10 00");
    EXPECT_EQ(r.event(), "-");
    EXPECT_EQ(bytesToHexText(r.port.writes.back()), "80 03 10 00 00 24 5F 00");
}

// A request that cannot be written is counted and the operator is told
// which: every command, a recurring read only at the first failure of a
// run on an open port.
TEST_F(Form1Test, RequestsThatCannotBeWrittenAreToldOnTheStatusLine)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    r.readStartupBlocks();
    std::vector<std::string> told;
    auto cycle = [&] {
        told.clear();
        do {
            r.board.setText(Ctl::StatusLine, kNoIndex, "");
            r.form->timer("Timer1");
            if (!r.board.text(Ctl::StatusLine).empty()) told.push_back(r.board.text(Ctl::StatusLine));
        } while (r.form->scheduler().tick() != 0);
        return told;
    };
    // With the port closed the continuous reads are counted, not told: the
    // window says the port is closed.
    r.port.close();
    EXPECT_TRUE(cycle().empty());
    // The device goes at the write: the port is open, the write fails.
    r.port.open("/dev/null", 115200);
    r.port.failWrites = true;
    r.form->operate().clearAlarms();
    EXPECT_EQ(cycle(), (std::vector<std::string>{"未发送: 读取状态块 (串口写入失败)", "未发送: 读取位姿块 (串口写入失败)",
                                                 "未发送: 清除报警 (串口写入失败)"}));
    EXPECT_EQ(r.board.backColour(Ctl::StatusLine), kProblemGround);
    EXPECT_EQ(r.form->link().requestsUnsent(), 5u);
    EXPECT_TRUE(cycle().empty()) << "a run of failures is told once";
    // Back on the line, a recurring read that fails again is told again.
    r.port.failWrites = false;
    EXPECT_TRUE(cycle().empty());
    r.port.failWrites = true;
    EXPECT_EQ(cycle().size(), 2u);
}

// Until its block is read, a parameter box shows no invented value: empty,
// marked, and its group's write is refused. The start-up reads fill and
// unmark every box.
TEST_F(Form1Test, ParameterBoxesAreEmptyAndMarkedUntilTheirBlockIsRead)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    int boxes = 0;
    for (const ParamGroup& g : paramGroups())
        for (int i = g.first; i < g.first + g.count; ++i, ++boxes) {
            EXPECT_EQ(r.board.text(g.box, i), "") << describe(g.box, i);
            EXPECT_EQ(r.board.backColour(g.box, i), Colour::unreported()) << describe(g.box, i);
        }
    EXPECT_EQ(boxes, 57);
    r.form->operate().writePointSpeed();
    EXPECT_FALSE(r.form->state().due(Slot::WritePointSpeed));
    EXPECT_EQ(r.board.text(Ctl::StatusLine), "未设置点运行速度: 尚未从控制器读到, 请先读取或输入数值");
    // Nor is an unread speed recorded into the program.
    const std::string program = r.board.text(Ctl::ProgramEditor);
    r.form->click("Command10", kNoIndex); // PSPEED
    EXPECT_EQ(r.board.text(Ctl::ProgramEditor), program);
    EXPECT_EQ(r.board.text(Ctl::StatusLine), "未录入：速度尚未从控制器读到");
    r.readStartupBlocks();
    EXPECT_TRUE(r.form->state().unreported.empty());
    for (const ParamGroup& g : paramGroups())
        for (int i = g.first; i < g.first + g.count; ++i) {
            EXPECT_NE(r.board.text(g.box, i), "") << describe(g.box, i);
            EXPECT_EQ(r.board.backColour(g.box, i), Colour::windowBackground()) << describe(g.box, i);
        }
    r.form->operate().writePointSpeed();
    EXPECT_TRUE(r.form->state().due(Slot::WritePointSpeed));
}

} // namespace
} // namespace vq

namespace vq {
namespace {

// The controls whose state the stale mask takes over, as the window shows them.
std::string maskedState(const FakeBoard& b)
{
    std::string s;
    for (int i = 1; i <= 6; ++i) s += describe(b.backColour(Ctl::ServoButton, i)) + " ";
    for (int i = 0; i <= 2; ++i) s += describe(b.backColour(Ctl::ControlModeButton, i)) + " ";
    for (int i = 0; i <= 3; ++i) s += describe(b.backColour(Ctl::MotionModeButton, i)) + " ";
    for (int i = 1; i <= 12; ++i) s += b.enabled(Ctl::JogKey, i) ? "J" : "j";
    for (int i = 1; i <= 3; ++i) s += b.enabled(Ctl::TargetAngleButton, i) ? "T" : "t";
    for (Ctl c : {Ctl::PointMoveButton, Ctl::LineMoveButton, Ctl::ArcMoveButton, Ctl::RunButton}) s += b.enabled(c) ? "M" : "m";
    return s;
}

TEST_F(Form1Test, WhileStatusRepliesAreMissingNothingShowsAStateOrMovesAndAfterwardsAllIsAsBefore)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    r.readStartupBlocks();
    // Teach mode, joint motion, servos on, axis 3 in alarm.
    std::vector<std::uint16_t> regs = statusRegs(0);
    for (int k = 0; k < 6; ++k) regs[6 + std::size_t(k)] = 1;
    regs[32] = 4;
    r.controller = [&](const std::vector<std::uint8_t>& req) -> std::optional<std::vector<std::uint8_t>> {
        if (req[1] == 0x03 && req[2] == 0x10) return readReply(regs);
        return answering(0)(req);
    };
    for (int e = 0; e < 3; ++e) r.event();
    const std::string live = maskedState(r.board);
    EXPECT_NE(live.find("RGB(0, 255, 0)"), std::string::npos) << live;
    EXPECT_EQ(r.board.backColour(Ctl::ServoButton, 3), Colour::red());
    EXPECT_TRUE(r.board.enabled(Ctl::JogKey, 1));
    EXPECT_EQ(r.board.text(Ctl::LinkLostBanner), "");

    r.controller = nullptr;
    while (!r.form->statusStale()) r.event();
    EXPECT_EQ(r.board.text(Ctl::LinkLostBanner), "通讯中断");
    const std::string neutral = maskedState(r.board);
    EXPECT_EQ(neutral.find("RGB("), std::string::npos) << "no colour of the controller's state while it is unknown: " << neutral;
    EXPECT_EQ(neutral.substr(neutral.size() - 19), "jjjjjjjjjjjjtttmmmm") << neutral;
    // A jog press on the disabled key sends nothing.
    r.form->mouseDown("Command5", 1);
    for (int e = 0; e < 3; ++e) r.event();
    for (const auto& w : r.port.writes) EXPECT_NE(bytesToHexText(w).substr(3, 8), "10 10 04") << "jog word while stale";

    // The line is back with the same state: everything as before.
    r.controller = [&](const std::vector<std::uint8_t>& req) -> std::optional<std::vector<std::uint8_t>> {
        if (req[1] == 0x03 && req[2] == 0x10) return readReply(regs);
        return answering(0)(req);
    };
    while (r.form->statusStale()) r.event();
    EXPECT_EQ(maskedState(r.board), live);
    EXPECT_EQ(r.board.text(Ctl::LinkLostBanner), "");

    // Lost again; the reply that ends it reports run mode with the alarm
    // cleared: that is what shows, not the state from before.
    r.controller = nullptr;
    while (!r.form->statusStale()) r.event();
    regs[1] = 0;
    regs[32] = 0;
    r.controller = [&](const std::vector<std::uint8_t>& req) -> std::optional<std::vector<std::uint8_t>> {
        if (req[1] == 0x03 && req[2] == 0x10) return readReply(regs);
        return answering(0)(req);
    };
    while (r.form->statusStale()) r.event();
    EXPECT_EQ(r.board.backColour(Ctl::ServoButton, 3), Colour::green());
    EXPECT_EQ(r.board.backColour(Ctl::ControlModeButton, 0), Colour::green());
    EXPECT_FALSE(r.board.enabled(Ctl::JogKey, 1));
    EXPECT_TRUE(r.board.enabled(Ctl::TargetAngleButton, 1));
    EXPECT_TRUE(r.board.enabled(Ctl::RunButton));
}

TEST_F(Form1Test, LinkStatusNamesThePortAndTurnsRedWithinASecondOfSilence)
{
    Rig r;
    EXPECT_EQ((r.start(), r.board.text(Ctl::LinkStatus)), "未打开");
    r.form.reset();
    r.settings.values["Comm"] = "03";
    r.start();
    const std::uint16_t idle = 0; // answering() keeps a reference to the busy word
    r.controller = answering(idle);
    for (int e = 0; e < 30; ++e) r.event();
    const std::string live = r.board.text(Ctl::LinkStatus);
    EXPECT_EQ(live.rfind("已连接 /dev/null · ", 0), 0u) << live; // com3 leads to /dev/null
    EXPECT_NE(live.find("丢失 0%"), std::string::npos) << live;
    EXPECT_NE(r.board.backColour(Ctl::LinkStatus), kLineDownGround);

    r.controller = nullptr;
    const std::int64_t quietFrom = r.nowUs;
    while (r.board.backColour(Ctl::LinkStatus) != kLineDownGround) {
        r.event();
        ASSERT_LE(r.nowUs - quietFrom, 1'000'000) << "still " << r.board.text(Ctl::LinkStatus);
    }
    EXPECT_EQ(r.board.text(Ctl::LinkStatus).rfind("通讯中断 /dev/null", 0), 0u);

    r.controller = answering(idle);
    for (int e = 0; e < 3; ++e) r.event();
    EXPECT_EQ(r.board.text(Ctl::LinkStatus).rfind("已连接", 0), 0u) << r.board.text(Ctl::LinkStatus);
    r.port.close(); // the device went away
    r.event();
    EXPECT_EQ(r.board.text(Ctl::LinkStatus).rfind("通讯中断", 0), 0u);
    EXPECT_EQ(r.board.backColour(Ctl::LinkStatus), kLineDownGround);
}

TEST_F(Form1Test, ThePortListLeavesTheOpenPortAloneAndListsItAsOpen)
{
    Rig r;
    RecordingPort probe;
    probe.openable = {devicePathForNumber(5)};
    r.settings.values["Comm"] = "03";
    r.start();
    r.form->setProbePort(&probe);
    const auto opens = r.port.opened.size();
    const int closes = r.port.closes;
    r.form->comboDropDown("Combo1");
    EXPECT_EQ(r.board.items[Ctl::PortNumber], (std::vector<std::string>{"03（已打开）", "05"}));
    EXPECT_EQ(r.port.opened.size(), opens);
    EXPECT_EQ(r.port.closes, closes);
    EXPECT_TRUE(r.port.isOpen());
    EXPECT_FALSE(probe.isOpen());
    for (const auto& [device, baud] : probe.opened) EXPECT_NE(device, devicePathForNumber(3));
    // Choosing the open port again keeps it as it is.
    r.board.setText(Ctl::PortNumber, kNoIndex, "03（已打开）");
    r.form->comboClick("Combo1");
    EXPECT_EQ(r.board.text(Ctl::PortNumber), "03");
    EXPECT_EQ(r.port.opened.size(), opens);
    EXPECT_TRUE(r.port.isOpen());
}

TEST_F(Form1Test, TheSimulatorIsShownByName)
{
    Rig r;
    r.fixed = "/dev/pts/99";
    r.start();
    EXPECT_EQ(r.board.text(Ctl::PortNumber), "模拟控制器");
    EXPECT_EQ(r.board.text(Ctl::LinkStatus).rfind("已连接 模拟控制器", 0), 0u) << r.board.text(Ctl::LinkStatus);
    r.form->comboDropDown("Combo1");
    ASSERT_FALSE(r.board.items[Ctl::PortNumber].empty());
    EXPECT_EQ(r.board.items[Ctl::PortNumber][0], "模拟控制器（已打开）");
    // Choosing it after another port reopens the simulator's device, and the saved port stays.
    r.board.setText(Ctl::PortNumber, kNoIndex, "模拟控制器");
    r.port.close();
    r.form->comboClick("Combo1");
    EXPECT_EQ(r.port.opened.back().first, "/dev/pts/99");
    EXPECT_EQ(r.settings.values.count("Comm"), 0u);
}

TEST_F(Form1Test, TrafficLogRecordsTheLineAndItsControlsFilterPauseAndExport)
{
    Rig r;
    r.settings.values["Comm"] = "03";
    r.start();
    r.readStartupBlocks();
    TrafficLog& log = r.form->traffic();
    ASSERT_GT(log.endSeq(), 0u);
    EXPECT_EQ(trafficMeaning(*log.find(log.firstSeq())), "读 状态块");
    ASSERT_NE(r.event(), "-");
    EXPECT_EQ(log.find(log.endSeq() - 1)->timeUs, r.nowUs); // times come from the injected clock

    r.board.setValue(Ctl::TrafficReadsShown, kNoIndex, 0);
    r.form->click("trafficReads", kNoIndex);
    EXPECT_FALSE(log.shown(TrafficKind::Read));
    r.board.setValue(Ctl::TrafficReadsShown, kNoIndex, 1);
    r.form->click("trafficReads", kNoIndex);
    EXPECT_TRUE(log.shown(TrafficKind::Read));

    r.form->click("trafficPause", kNoIndex);
    EXPECT_EQ(r.board.text(Ctl::TrafficPauseButton), "继续");
    const auto end = log.endSeq();
    r.event();
    EXPECT_EQ(log.endSeq(), end);
    r.form->click("trafficPause", kNoIndex);
    EXPECT_EQ(r.board.text(Ctl::TrafficPauseButton), "暂停");
    r.event();
    r.event();
    EXPECT_GT(log.endSeq(), end);

    const std::string csv = (dir / "traffic.csv").string();
    r.prompts.saveNames = {csv, "/nonexistent-dir/traffic.txt"};
    r.form->click("trafficExport", kNoIndex);
    std::ifstream in(csv, std::ios::binary);
    std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(body, log.exportCsv());
    EXPECT_EQ(r.board.backColour(Ctl::StatusLine), Colour::windowBackground());
    r.form->click("trafficExport", kNoIndex);
    EXPECT_NE(r.board.text(Ctl::StatusLine).find("未能导出"), std::string::npos);
    EXPECT_EQ(r.board.backColour(Ctl::StatusLine), kProblemGround);

    r.form->click("trafficClear", kNoIndex);
    EXPECT_EQ(log.firstSeq(), log.endSeq());
}

} // namespace
} // namespace vq
