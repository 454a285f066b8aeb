#include <gtest/gtest.h>

#include <set>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "link/ports.h"
#include "support/fake_board.h"

namespace vq {
namespace {

namespace fs = std::filesystem;
using test::FakeBoard;
using test::RecordingPort;
using test::ScriptedPrompts;

class PortDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("vq-ports-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        ::setenv("VELQUOR_PORT_DIR", dir.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("VELQUOR_PORT_DIR");
        fs::remove_all(dir);
    }
    fs::path dir;
};

TEST_F(PortDir, NumberMapsToNamedLinkOrTtyUsb)
{
    fs::create_symlink("/dev/null", dir / "com3");
    EXPECT_EQ(devicePathForNumber(3), (dir / "com3").string());
    EXPECT_EQ(devicePathForNumber(4), "/dev/ttyUSB3");
    fs::create_symlink(dir / "missing", dir / "com5"); // dangling still names the port
    EXPECT_EQ(devicePathForNumber(5), (dir / "com5").string());
}

TEST_F(PortDir, PortTextForms)
{
    EXPECT_EQ(deviceForPortText("03"), "/dev/ttyUSB2");
    EXPECT_EQ(deviceForPortText("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(deviceForPortText(""), std::nullopt);
    EXPECT_EQ(deviceForPortText("abc"), std::nullopt);
    EXPECT_EQ(deviceForPortText("-3"), std::nullopt);
    EXPECT_EQ(deviceForPortText("99999999999"), std::nullopt);
}

TEST(PortFolder, FollowsXdgConfigHome)
{
    ::unsetenv("VELQUOR_PORT_DIR");
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg-x", 1);
    EXPECT_EQ(portFolder(), "/tmp/cfg-x/Comm/ports");
}

TEST(BaudText, Table)
{
    EXPECT_EQ(baudFromSpeedText("115200"), 115200);
    EXPECT_EQ(baudFromSpeedText("9600"), 9600);
    EXPECT_EQ(baudFromSpeedText(""), std::nullopt);
    EXPECT_EQ(baudFromSpeedText("fast"), std::nullopt);
    EXPECT_EQ(baudFromSpeedText("0"), std::nullopt);
}

TEST_F(PortDir, OpenPortEnablesTimerAndWarnsOncePerFailure)
{
    FakeBoard board;
    RecordingPort port;
    ScriptedPrompts prompts;
    port.openable = {"/dev/good"};
    PortOpener opener(port, board, prompts);
    opener.openPort("/dev/missing", "115200");
    EXPECT_TRUE(board.timerEnabled(Ctl::PollTimer));
    EXPECT_FALSE(port.isOpen());
    ASSERT_EQ(prompts.warnings.size(), 1u);
    EXPECT_EQ(prompts.warnings[0].first, "没有当前串口,检查设置是否正确！");
    EXPECT_EQ(prompts.warnings[0].second, "警告!");
    opener.openPort("/dev/missing", "115200");
    EXPECT_EQ(prompts.warnings.size(), 2u);
    opener.openPort("/dev/good", "115200");
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.opened.back(), (std::pair<std::string, std::int32_t>{"/dev/good", 115200}));
    EXPECT_EQ(prompts.warnings.size(), 2u);
    opener.openPort("/dev/good", "fast");
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(prompts.warnings.size(), 3u);
}

TEST_F(PortDir, ProbingListsPortsThatOpenAndNeverTouchesTheOpenOne)
{
    for (const char* n : {"com1", "com3", "com16"}) fs::create_symlink("/dev/null", dir / n);
    const std::set<std::string> openable = {(dir / "com1").string(), (dir / "com3").string(), (dir / "com16").string()};
    struct Case {
        const char* what;
        bool open3;    // port 3 is open on the console's port
        bool useProbe; // a second port finds the others
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {"closed, no probe port: tried on the console's port", false, false, {"01", "03", "16"}},
        {"closed, probe port", false, true, {"01", "03", "16"}},
        {"port 3 open, probe port", true, true, {"01", "03*", "16"}},
        {"port 3 open, no probe port: nothing else can be tried", true, false, {"03*"}},
    };
    for (const Case& c : cases) {
        FakeBoard board;
        RecordingPort port, probe;
        ScriptedPrompts prompts;
        port.openable = probe.openable = openable;
        if (c.open3) port.open((dir / "com3").string(), 115200);
        const auto opens = port.opened.size();
        PortOpener opener(port, board, prompts);
        if (c.useProbe) opener.setProbe(&probe);
        EXPECT_EQ(opener.probePorts(c.open3 ? (dir / "com3").string() : "", "*"), c.listed) << c.what;
        EXPECT_EQ(port.isOpen(), c.open3) << c.what << ": the console's port is left as it was";
        if (c.open3 || c.useProbe) {
            EXPECT_EQ(port.opened.size(), opens) << c.what;
        }
        EXPECT_FALSE(probe.isOpen()) << c.what;
        for (const auto& [device, baud] : probe.opened)
            EXPECT_FALSE(c.open3 && device == (dir / "com3").string()) << c.what << ": the open port is not probed";
        EXPECT_TRUE(prompts.warnings.empty());
    }
}

} // namespace
} // namespace vq
