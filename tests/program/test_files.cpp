#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <QStringDecoder>
#include <QStringEncoder>

#include "program/program_files.h"
#include "program_fixture.h"

namespace fs = std::filesystem;

namespace vq::test {
namespace {

const std::string kDefault = "PSPEED RPM=1000 ACC=500 DEC=500\r\nLSPEED MMS=100 ACC=10 DEC=10\r\n";

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "velquor-program-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        if (made == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = made;
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(path_), {})); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(ProgramFiles, GbkIsAvailable) { EXPECT_EQ(programFileCodec(), "GBK"); }

TEST(ProgramFiles, NewThenSaveWritesExactlyTheTwoDefaultLines)
{
    TempDir dir;
    ProgramRig rig;
    rig.setProgram("something else");
    rig.program.newProgram();
    rig.prompts.saveNames.push_back(dir.file("new.txt"));
    rig.program.saveProgram();
    EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Done);
    EXPECT_EQ(readBytes(dir.file("new.txt")), kDefault);
    ASSERT_EQ(rig.prompts.dialogs.size(), 1u);
    EXPECT_EQ(rig.prompts.dialogs[0].first, "保存文件");
    EXPECT_EQ(rig.prompts.dialogs[0].second, "*.txt|*.txt|所有文件(*.*)|*.*");
}

TEST(ProgramFiles, SaveOverALongerFileLeavesNoTail)
{
    TempDir dir;
    writeBytes(dir.file("p.txt"), std::string(5000, 'x'));
    ProgramRig rig;
    rig.setProgram("END\r\n");
    rig.prompts.saveNames.push_back(dir.file("p.txt"));
    rig.program.saveProgram();
    EXPECT_EQ(readBytes(dir.file("p.txt")), "END\r\n");
    EXPECT_EQ(dir.entries(), 1u); // no temporary file left behind
}

// Open then Save reproduces a code-page-936 file byte for byte.
TEST(ProgramFiles, OpenThenSaveRoundTrips)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::string text; // Text7 after opening (UTF-8)
    };
    const Case cases[] = {
        {"chinese with CR LF", "MOVJ J1=1\r\n\xC4\xE3\xBA\xC3 \xD4\xCB\xD0\xD0\r\nEND\r\n",
         "MOVJ J1=1\r\n你好 运行\r\nEND\r\n"},
        {"LF only", "MOVJ J1=1\nEND\n", "MOVJ J1=1\nEND\n"},
        {"no final CR LF", "PSPEED RPM=1\r\nMOVJ J1=2", "PSPEED RPM=1\r\nMOVJ J1=2"},
        {"empty", "", ""},
        {"euro sign and bare CR", "\x80\r\r\n", "€\r\r\n"},
        {"default program", kDefault, kDefault},
        {"long, Chinese only in its last line", std::string(70000, 'A') + "\r\n\xD4\xCB\xD0\xD0",
         std::string(70000, 'A') + "\r\n运行"},
        {"long, all ASCII", std::string(70001, 'B') + "\r\n", std::string(70001, 'B') + "\r\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeBytes(dir.file("in.txt"), c.bytes);
        ProgramRig rig;
        rig.setProgram("old");
        rig.prompts.openNames.push_back(dir.file("in.txt"));
        rig.program.openProgram();
        EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Done) << c.name;
        EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), c.text) << c.name;
        rig.prompts.saveNames.push_back(dir.file("out.txt"));
        rig.program.saveProgram();
        EXPECT_EQ(readBytes(dir.file("out.txt")), c.bytes) << c.name;
        EXPECT_EQ(readBytes(dir.file("in.txt")), c.bytes) << c.name;
        ASSERT_EQ(rig.prompts.dialogs.size(), 2u);
        EXPECT_EQ(rig.prompts.dialogs[0].first, "打开文件");
        EXPECT_EQ(rig.prompts.dialogs[0].second, "*.txt|*.txt|所有文件(*.*)|*.*");
    }
}

TEST(ProgramFiles, TextOutsideGbkIsWrittenAsQuestionMark)
{
    EXPECT_EQ(encodeProgramText("A😀é\r\n"), "A?\xA8\xA6\r\n");
    EXPECT_EQ(decodeProgramBytes("\xA8\xA6"), "é");
}

// ASCII text skips the codec both ways; the codec must agree on every byte.
TEST(ProgramFiles, AsciiTextIsTheCodecsOwnResult)
{
    std::string ascii;
    for (int c = 0; c < 0x80; ++c) ascii += static_cast<char>(c);
    const QByteArray bytes(ascii.data(), static_cast<qsizetype>(ascii.size()));
    const std::string codec(programFileCodec());
    QStringDecoder decoder(codec.c_str());
    QStringEncoder encoder(codec.c_str());
    const QString decoded = decoder.decode(bytes);
    const QByteArray encoded = encoder.encode(decoded);
    EXPECT_EQ(decodeProgramBytes(ascii), decoded.toStdString());
    EXPECT_EQ(encodeProgramText(ascii), std::string(encoded.constData(), static_cast<std::size_t>(encoded.size())));
    EXPECT_EQ(decodeProgramBytes(ascii), ascii);
    // One byte from 0x80 up is not ASCII, wherever it stands.
    EXPECT_EQ(decodeProgramBytes(ascii + "\x80"), ascii + "€");
    EXPECT_EQ(decodeProgramBytes("\xA8\xA6" + ascii), "é" + ascii);
}

TEST(ProgramFiles, OpenedLfOnlyProgramDoesNotStart)
{
    TempDir dir;
    writeBytes(dir.file("lf.txt"), "PSPEED RPM=1\nLSPEED MMS=1\nEND\n");
    ProgramRig rig;
    rig.prompts.openNames.push_back(dir.file("lf.txt"));
    rig.program.openProgram();
    rig.clickRun();
    EXPECT_FALSE(rig.running());
}

TEST(ProgramFiles, OpenOfAMissingNameChangesNothing)
{
    TempDir dir;
    ProgramRig rig;
    rig.setProgram("keep\r\n");
    rig.prompts.openNames.push_back(dir.file("missing.txt"));
    rig.program.openProgram();
    EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Failed);
    EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "keep\r\n");
    EXPECT_FALSE(fs::exists(dir.file("missing.txt")));
    EXPECT_EQ(dir.entries(), 0u);

    // A folder is no program file either.
    rig.prompts.openNames.push_back(dir.path().string());
    rig.program.openProgram();
    EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Failed);
    EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "keep\r\n");
}

// A file longer than any program is a file that cannot be read: the open
// ends without a change, at once, instead of holding the console up.
TEST(ProgramFiles, OpenOfAFileLongerThanAnyProgramChangesNothing)
{
    const struct {
        std::uintmax_t bytes;
        bool opens;
    } cases[] = {{kMaxProgramFileBytes, true}, {kMaxProgramFileBytes + 1, false}, {std::uintmax_t{1} << 33, false}};
    for (const auto& c : cases) {
        TempDir dir;
        {
            std::ofstream create(dir.file("big.txt"));
        }
        fs::resize_file(dir.file("big.txt"), c.bytes); // sparse: no disk used
        ProgramRig rig;
        rig.setProgram("keep\r\n");
        rig.prompts.openNames.push_back(dir.file("big.txt"));
        rig.program.openProgram();
        EXPECT_EQ(rig.program.lastFileStatus(), c.opens ? FileStatus::Done : FileStatus::Failed) << c.bytes;
        EXPECT_EQ(rig.board.text(Ctl::ProgramEditor).size(), c.opens ? c.bytes : 6u) << c.bytes;
    }
}

TEST(ProgramFiles, NoNameChosenChangesNothing)
{
    TempDir dir;
    ProgramRig rig;
    rig.setProgram("keep");
    rig.program.openProgram();
    EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::NoFileChosen);
    rig.program.saveProgram();
    EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::NoFileChosen);
    EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "keep");
    EXPECT_EQ(rig.prompts.dialogs.size(), 2u);
}

TEST(ProgramFiles, SaveIntoAFolderThatIsAFileFails)
{
    TempDir dir;
    writeBytes(dir.file("plain"), "old");
    ProgramRig rig;
    rig.setProgram(kDefault);
    rig.prompts.saveNames.push_back(dir.file("plain") + "/p.txt");
    rig.program.saveProgram();
    EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Failed);
    EXPECT_EQ(readBytes(dir.file("plain")), "old");
    // Saving onto a folder name fails too and leaves the folder alone.
    fs::create_directory(dir.file("sub"));
    rig.prompts.saveNames.push_back(dir.file("sub"));
    rig.program.saveProgram();
    EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Failed);
    EXPECT_TRUE(fs::is_directory(dir.file("sub")));
}

TEST(ProgramFiles, SaveInAReadOnlyFolderKeepsTheOldFile)
{
    TempDir dir;
    writeBytes(dir.file("p.txt"), "OLD PROGRAM\r\n");
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    {
        // Permission bits do not bind a privileged user.
        std::ofstream probe(dir.file("probe"));
        if (probe) {
            probe.close();
            fs::remove(dir.file("probe"));
            GTEST_SKIP() << "folder permissions are not enforced for this user";
        }
    }
    EXPECT_FALSE(writeProgramFile(dir.file("p.txt"), kDefault));
    EXPECT_EQ(readBytes(dir.file("p.txt")), "OLD PROGRAM\r\n");
}

// A disk that fills up during the write: the file-size limit makes the write
// fail part way, as a full disk does.
TEST(ProgramFiles, FailedWriteKeepsTheOldFileIntact)
{
    TempDir dir;
    const std::string old = "OLD PROGRAM THAT MUST SURVIVE\r\nEND\r\n";
    writeBytes(dir.file("p.txt"), old);
    std::string big;
    for (int i = 0; i < 2000; ++i) big += "MOVJ J1=" + std::to_string(i) + "\r\n";

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool ok = writeProgramFile(dir.file("p.txt"), big);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(readBytes(dir.file("p.txt")), old);
    EXPECT_EQ(dir.entries(), 1u); // the partial temporary file is gone

    EXPECT_TRUE(writeProgramFile(dir.file("p.txt"), big)); // and with room it works
    EXPECT_EQ(readBytes(dir.file("p.txt")), big);
}

TEST(ProgramFiles, DeviceIsWrittenInPlaceAndItsErrorReported)
{
    struct stat st {};
    if (::stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "no /dev/full";
    EXPECT_FALSE(writeProgramFile("/dev/full", kDefault));
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)); // not replaced by a regular file
    EXPECT_TRUE(writeProgramFile("/dev/null", kDefault));
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

} // namespace
} // namespace vq::test
