// Program files in the whole console: a long file opened while the arm is
// polled, what the operator types kept as a recovery copy until saved, and
// the end by a signal going the ordinary way.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "e2e_rig.h"
#include "program/program_subsystem.h"

namespace vq::e2e {
namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A file of some megabytes is read while polling goes on: requests reach the
// controller during the open, and the text arrives whole.
TEST(FilesE2e, LongFileOpensWhileTheArmIsPolled)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("long.txt").toStdString();
    std::string bytes;
    for (int i = 0; bytes.size() < (std::size_t{6} << 20); ++i) bytes += "MOVJ J1=" + std::to_string(i % 90) + ".000 J2=0 J3=0\r\n";
    {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
    }
    Rig r;
    ASSERT_TRUE(r.start());
    r.prompts.openNames.push_back(path);
    r.window().action("OpenFile")->trigger();
    ASSERT_TRUE(r.form().program().opening());
    const auto before = r.arm().counters().requests;
    std::uint64_t duringOpen = 0;
    ASSERT_TRUE(r.waitFor([&] {
        if (r.form().program().opening()) duringOpen = r.arm().counters().requests - before;
        return !r.form().program().opening();
    }));
    EXPECT_GT(duringOpen, 0u) << "polling stopped while the file was read";
    EXPECT_EQ(r.form().program().lastFileStatus(), FileStatus::Done);
    EXPECT_EQ(r.board().text("Text7").size(), bytes.size());
    EXPECT_EQ(r.window().windowTitle().toStdString(), "Velquor - long.txt");
}

// Typing marks the title and, a moment later, writes the recovery copy;
// the next console offers it and puts it in the editor when accepted.
TEST(FilesE2e, TypedProgramIsKeptAndOfferedNextTime)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string copy = folder + "/" + std::string(kRecoveryFileName);
    {
        Rig r(testSimOptions(), false, folder);
        ASSERT_TRUE(r.start());
        QWidget* editor = r.widget("Text7");
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(editor, "END");
        EXPECT_EQ(r.window().windowTitle().toStdString(), "Velquor*");
        ASSERT_TRUE(r.waitFor([&] { return std::filesystem::exists(copy); }));
        EXPECT_EQ(readAll(copy), r.board().text("Text7"));
        QTest::keyClicks(editor, "X");
        r.window().close(); // at once: before the copy's timer
        EXPECT_EQ(readAll(copy), std::string(kDefaultProgram) + "ENDX");
    }
    Rig next(testSimOptions(), false, folder);
    ASSERT_TRUE(next.start());
    ASSERT_EQ(next.prompts.offers.size(), 1u);
    EXPECT_EQ(next.board().text("Text7"), kDefaultProgram);
    next.prompts.acceptOffer();
    EXPECT_EQ(next.board().text("Text7"), std::string(kDefaultProgram) + "ENDX");
    EXPECT_EQ(next.window().windowTitle().toStdString(), "Velquor*");
}

// SIGTERM closes the window as the operator would: the unsaved program is
// kept.
TEST(FilesE2e, TermSignalClosesTheOrdinaryWay)
{
    QTemporaryDir dir;
    const std::string copy = dir.path().toStdString() + "/" + std::string(kRecoveryFileName);
    Rig r(testSimOptions(), true, dir.path().toStdString());
    ASSERT_TRUE(r.start());
    r.widget("Text7")->setFocus();
    QTest::keyClicks(r.widget("Text7"), "MOVJ");
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(r.waitFor([&] { return r.window().programEnded(); }));
    EXPECT_EQ(readAll(copy), "MOVJ" + std::string(kDefaultProgram));
}

} // namespace
} // namespace vq::e2e
