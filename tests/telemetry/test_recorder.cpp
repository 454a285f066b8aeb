// The session's recording: one row per pose reply with the last status,
// bounded, and its CSV text.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "telemetry/recorder.h"
#include "support/fake_board.h"

using namespace vq;

namespace {

PoseBlock poseWith(float j1, float x)
{
    PoseBlock p;
    for (std::size_t i = 0; i < 6; ++i) {
        p.joint[i] = j1 + static_cast<float>(i);
        p.pose[i] = x + static_cast<float>(i);
    }
    return p;
}

std::vector<std::string> csvLines(const TelemetryRecorder& r)
{
    std::ostringstream out;
    r.writeCsv(out);
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

} // namespace

TEST(Recorder, RowsCarryTheLastStatusAndLeaveUnknownsEmpty)
{
    TelemetryRecorder r;
    PoseBlock partial = poseWith(10, 200);
    partial.pose[5].reset(); // the reply ended before C
    r.pose(0.25, partial);   // no status yet
    StatusBlock s;
    for (std::size_t i = 0; i < 6; ++i) {
        s.servo[i] = 1;
        s.alarm[i] = 0;
    }
    s.alarm[2] = 5;
    r.status(s);
    r.pose(0.5, poseWith(-1.5f, 0.125f));

    const auto lines = csvLines(r);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "time_s,J1,J2,J3,J4,J5,J6,X,Y,Z,A,B,C,servo1,servo2,servo3,servo4,servo5,servo6,"
                        "alarm1,alarm2,alarm3,alarm4,alarm5,alarm6");
    EXPECT_EQ(lines[1], "0.250,10.000,11.000,12.000,13.000,14.000,15.000,200.000,201.000,202.000,203.000,204.000,,"
                        ",,,,,,,,,,,");
    EXPECT_EQ(lines[2], "0.500,-1.500,-0.500,0.500,1.500,2.500,3.500,0.125,1.125,2.125,3.125,4.125,5.125,"
                        "1,1,1,1,1,1,0,0,5,0,0,0");
}

TEST(Recorder, TheBoundOverwritesTheOldestAndNeverGrows)
{
    TelemetryRecorder r(4);
    for (int i = 0; i < 10; ++i) r.pose(i, poseWith(static_cast<float>(i), 0));
    EXPECT_EQ(r.size(), 4u);
    EXPECT_EQ(r.overwritten(), 6u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(r.at(i).time, 6.0 + static_cast<double>(i));
    EXPECT_EQ(r.firstAtOrAfter(7.5), 2u);
    EXPECT_EQ(r.firstAtOrAfter(100), 4u);
    EXPECT_EQ(r.firstAtOrAfter(-1), 0u);
    const auto lines = csvLines(r);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1].substr(0, 12), "6.000,6.000,");
    EXPECT_EQ(lines[4].substr(0, 12), "9.000,9.000,");
    // The session's bound: eight hours at 9.5 samples a second.
    EXPECT_EQ(TelemetryRecorder::kSessionCapacity, 273600u);
}

TEST(Recorder, ExportWritesTheRowsAndSaysWhere)
{
    test::FakeBoard board;
    test::ScriptedPrompts prompts;
    TelemetryRecorder r;
    r.pose(1.0, poseWith(1, 2));
    r.pose(2.0, poseWith(3, 4));
    const std::string dir = ::testing::TempDir();
    prompts.saveNames = {dir + "/velquor-export.csv", dir + "/no-such-folder/x.csv", ""};

    ASSERT_TRUE(exportRecording(r, board, prompts));
    std::ifstream in(dir + "/velquor-export.csv", std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ostringstream want;
    r.writeCsv(want);
    EXPECT_EQ(written, want.str());
    EXPECT_NE(board.text(Ctl::StatusLine).find("已导出 2 行记录"), std::string::npos) << board.text(Ctl::StatusLine);

    EXPECT_FALSE(exportRecording(r, board, prompts));
    EXPECT_NE(board.text(Ctl::StatusLine).find("记录未能写入"), std::string::npos);
    EXPECT_FALSE(exportRecording(r, board, prompts)); // the dialog cancelled: nothing said
    EXPECT_NE(board.text(Ctl::StatusLine).find("记录未能写入"), std::string::npos);
    ASSERT_EQ(prompts.dialogs.size(), 3u);
    EXPECT_EQ(prompts.dialogs[0].first, kExportTitle);
}
