// Parameters saved to and read from the state file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "sim/modbus.h"
#include "sim_rig.h"

using namespace vq::sim;
using namespace vq::sim::test;

namespace {

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/velquor-sim-test-XXXXXX";
        path_ = ::mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

ControllerOptions fileOptions(const std::string& path)
{
    ControllerOptions o;
    o.stateFile = path;
    return o;
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(StateFile, DefaultsAsText)
{
    EXPECT_EQ(formatStateFile(Parameters{}),
              "# velquor-sim controller parameters\n"
              "mechanical = 180 30 170 20 170 60\n"
              "reduction = 80 80 60 50 50 30\n"
              "encoder = 10000 10000 10000 10000 10000 10000\n"
              "limit_positive = 170 110 150 180 130 360\n"
              "limit_negative = -170 -110 -150 -180 -130 -360\n"
              "tool = 0 0 0\n"
              "point_speed = 1000 200 200\n"
              "line_speed = 100 200 200\n"
              "pid_kp = 100 100 100 80 80 60\n"
              "pid_ki = 10 10 10 8 8 6\n"
              "pid_kd = 5 5 5 4 4 3\n");
}

TEST(StateFile, FloatsComeBackBitForBit)
{
    Parameters p;
    p.tool = {0.1f, -1e-7f, 123456.789f};
    p.reduction[3] = 1.0f / 3.0f;
    Parameters q;
    std::vector<std::string> warnings;
    parseStateFile(formatStateFile(p), q, &warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(q, p);
}

TEST(StateFile, BadLinesKeepTheirDefaults)
{
    Parameters p;
    std::vector<std::string> warnings;
    parseStateFile("# comment\n"
                   "\n"
                   "reduction = 1 2 3\n"             // too few
                   "encoder = 1 2 3 4 5 x\n"         // not a number
                   "tool = 5 6 7\n"                  // good
                   "point_speed = 0 100 100\n"       // speed 0
                   "pid_kp = 1 2 3 4 5 70000\n"      // beyond a word
                   "mechanical = 1 2 0 0 0 5\n"      // no arm lengths
                   "colour = blue\n"                 // unknown
                   "limit_positive 1 2 3 4 5 6\n",   // no '='
                   p, &warnings);
    const Parameters d;
    EXPECT_EQ(p.reduction, d.reduction);
    EXPECT_EQ(p.encoder, d.encoder);
    EXPECT_EQ(p.tool, (std::array<float, 3>{5, 6, 7}));
    EXPECT_EQ(p.pointSpeed, d.pointSpeed);
    EXPECT_EQ(p.kp, d.kp);
    EXPECT_EQ(p.mechanical, d.mechanical);
    EXPECT_EQ(p.limitPositive, d.limitPositive);
    EXPECT_EQ(warnings.size(), 7u);
}

TEST(StateFile, SaveCommandsWriteTheFileAndStartReadsIt)
{
    TempDir dir;
    const std::string path = dir.file("controller.state");
    {
        Rig rig(fileOptions(path));
        rig.floats(0x1120, {81, 82, 83, 84, 85, 86});
        rig.floats(0x11A0, {700, 300, 400});
        rig.words(0x1052, {321});
        EXPECT_FALSE(std::filesystem::exists(path)); // nothing saved yet
        // Parameter save: everything but the PID gains.
        EXPECT_EQ(rig.words(0x1100, {1}).size(), 8u);
        const std::string text = slurp(path);
        EXPECT_NE(text.find("reduction = 81 82 83 84 85 86\n"), std::string::npos);
        EXPECT_NE(text.find("point_speed = 700 300 400\n"), std::string::npos);
        EXPECT_NE(text.find("pid_kp = 100 100 100 80 80 60\n"), std::string::npos);
        // PID save: the gains join, the unsaved ratio edit stays out.
        rig.floats(0x1120, {1, 1, 1, 1, 1, 1});
        rig.words(0x10B0, {1, 1, 1, 1, 1, 1});
        const std::string text2 = slurp(path);
        EXPECT_NE(text2.find("pid_kp = 100 100 321 80 80 60\n"), std::string::npos);
        EXPECT_NE(text2.find("reduction = 81 82 83 84 85 86\n"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    }
    // A new controller on the same file starts with what was saved.
    Rig again(fileOptions(path));
    EXPECT_TRUE(again.c.stateFileWarnings().empty());
    const Bytes ratios = again.read(0x1120, 12);
    EXPECT_EQ(replyFloat(ratios, 0), 81.0f);
    EXPECT_EQ(replyWord(again.read(0x1050, 18), 2), 321);
    EXPECT_EQ(replyFloat(again.read(0x11A0, 12), 0), 700.0f);
}

TEST(StateFile, SaveWithoutAFileStaysInMemoryAndAFailedSaveIsAnError)
{
    Rig memory;
    memory.floats(0x1130, {5000, 5000, 5000, 5000, 5000, 5000});
    EXPECT_EQ(memory.words(0x1100, {1}).size(), 8u);
    EXPECT_EQ(memory.c.savedParameters().encoder[0], 5000.0f);
    EXPECT_EQ(memory.c.counters().saves, 1u);

    Rig broken(fileOptions("/nonexistent-dir/velquor/controller.state"));
    EXPECT_EQ(broken.words(0x1100, {1}), exceptionReply(0x80, 0x10, ExceptionCode::DeviceFailure));
    EXPECT_EQ(broken.c.counters().saves, 0u);
    // A save word of 0 does nothing and is acknowledged.
    EXPECT_EQ(broken.words(0x1100, {0}).size(), 8u);
}
