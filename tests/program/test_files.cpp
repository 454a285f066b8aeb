#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <QStringDecoder>
#include <QStringEncoder>

#include "program/program_files.h"
#include "link/status_line.h"
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

// The editor holding `before`, then a file at `path` of these bytes opened into it.
void openBytes(ProgramRig& rig, const std::string& path, const std::string& before, const std::string& bytes)
{
    writeBytes(path, bytes);
    rig.setProgram(before);
    rig.prompts.openNames.push_back(path);
    rig.openFile();
}

std::string repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
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
        {"long, Chinese only in its last line", repeat(std::string(69, 'A') + "\r\n", 1000) + "\xD4\xCB\xD0\xD0",
         repeat(std::string(69, 'A') + "\r\n", 1000) + "运行"},
        {"long, all ASCII", repeat("B\r\n", 23334), repeat("B\r\n", 23334)},
        {"a line at the longest", std::string(kMaxProgramLineBytes, 'C') + "\r\n\t\f\r\n",
         std::string(kMaxProgramLineBytes, 'C') + "\r\n\t\f\r\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        ProgramRig rig;
        openBytes(rig, dir.file("in.txt"), "old", c.bytes);
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
    rig.openFile();
    rig.clickRun();
    EXPECT_FALSE(rig.running());
}

TEST(ProgramFiles, OpenOfAMissingNameChangesNothing)
{
    TempDir dir;
    ProgramRig rig;
    rig.setProgram("keep\r\n");
    rig.prompts.openNames.push_back(dir.file("missing.txt"));
    rig.openFile();
    EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Failed);
    EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "keep\r\n");
    EXPECT_FALSE(fs::exists(dir.file("missing.txt")));
    EXPECT_EQ(dir.entries(), 0u);

    // A folder is no program file either.
    rig.prompts.openNames.push_back(dir.path().string());
    rig.openFile();
    EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Failed);
    EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "keep\r\n");
}

// A file longer than any program is refused at once, with the reason,
// instead of holding the console up.
TEST(ProgramFiles, OpenOfAFileLongerThanAnyProgramChangesNothing)
{
    for (std::uintmax_t bytes : {std::uintmax_t{kMaxProgramFileBytes} + 1, std::uintmax_t{1} << 33}) {
        TempDir dir;
        {
            std::ofstream create(dir.file("big.txt"));
        }
        fs::resize_file(dir.file("big.txt"), bytes); // sparse: no disk used
        ProgramRig rig;
        rig.setProgram("keep\r\n");
        rig.prompts.openNames.push_back(dir.file("big.txt"));
        rig.program.openProgram();
        EXPECT_FALSE(rig.program.opening()) << bytes;
        EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Failed) << bytes;
        EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "keep\r\n") << bytes;
        EXPECT_EQ(rig.board.text(Ctl::StatusLine), "打开失败：" + dir.file("big.txt") + "：文件超过 64 MB 上限");
    }
}

TEST(ProgramFiles, NoNameChosenChangesNothing)
{
    TempDir dir;
    ProgramRig rig;
    rig.setProgram("keep");
    rig.openFile();
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
    rig.prompts.filterChosen = 1; // "所有文件": the name as typed
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
    EXPECT_EQ(writeProgramFile(dir.file("p.txt"), kDefault), "没有权限（文件或文件夹只读）");
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
    const FileFault fault = writeProgramFile(dir.file("p.txt"), big);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(fault, "文件超过系统允许的大小");
    EXPECT_EQ(readBytes(dir.file("p.txt")), old);
    EXPECT_EQ(dir.entries(), 1u); // the partial temporary file is gone

    EXPECT_EQ(writeProgramFile(dir.file("p.txt"), big), ""); // and with room it works
    EXPECT_EQ(readBytes(dir.file("p.txt")), big);
}

// Pipes, devices, sockets, folders and the console's own serial device are
// neither opened nor written: each is refused at once with the reason on the
// status line, and the target is left as it was.
TEST(ProgramFiles, SpecialTargetsAreRefusedWithTheReason)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    fs::create_directory(dir.file("folder"));
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = dir.file("sock");
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    // The console's port reached through a link in the port folder.
    writeBytes(dir.file("port"), "");
    fs::create_symlink(dir.file("port"), dir.file("com3"));

    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {dir.file("fifo"), "是管道（FIFO），不是普通文件"},
        {"/dev/null", "是字符设备，不是普通文件"},
        {sockPath, "是套接字，不是普通文件"},
        {dir.file("folder"), "是文件夹"},
        {dir.file("com3"), "是控制台正在使用的串口"},
    };
    for (const auto& c : cases) {
        ProgramRig rig(ProgramFileSetup{{}, [&] { return dir.file("port"); }, nullptr});
        rig.prompts.filterChosen = 1; // "所有文件": the name as typed
        rig.setProgram("keep\r\n");
        rig.prompts.saveNames.push_back(c.path);
        rig.program.saveProgram();
        EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Failed) << c.path;
        EXPECT_EQ(rig.board.text(Ctl::StatusLine), "保存失败：" + c.path + "：" + c.reason);
        EXPECT_EQ(rig.board.backColour(Ctl::StatusLine), kProblemGround);
        rig.prompts.openNames.push_back(c.path);
        rig.program.openProgram(); // a pipe without a writer would block here
        EXPECT_FALSE(rig.program.opening()) << c.path;
        EXPECT_EQ(rig.board.text(Ctl::StatusLine), "打开失败：" + c.path + "：" + c.reason);
        EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "keep\r\n");
    }
    ::close(sock);
    EXPECT_EQ(readBytes(dir.file("port")), "");
    EXPECT_TRUE(fs::is_symlink(dir.file("com3")));
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(ProgramFiles, FailedSavesSayWhereAndWhy)
{
    EXPECT_EQ(reasonOf(ENOSPC), "磁盘已满");
    EXPECT_EQ(reasonOf(EROFS), "文件系统只读");
    EXPECT_EQ(reasonOf(EACCES), "没有权限（文件或文件夹只读）");
    TempDir dir;
    ProgramRig rig;
    rig.setProgram(kDefault);
    const std::string missing = dir.file("no-such-folder") + "/p.txt";
    rig.prompts.saveNames.push_back(missing);
    rig.program.saveProgram();
    EXPECT_EQ(rig.board.text(Ctl::StatusLine), "保存失败：" + missing + "：文件或文件夹不存在");
    EXPECT_EQ(dir.entries(), 0u);
}

// What is not a program's text is refused, whatever its name: the editor
// would hold the console up laying out a binary file or one endless line.
TEST(ProgramFiles, OpenRefusesWhatIsNotProgramText)
{
    const struct {
        std::string bytes;
        std::string reason;
    } cases[] = {
        {std::string("MOVJ J1=1\r\nEND\0\r\n", 17), "不是文本文件（第 2 行有控制字符）"},
        {"PSPEED\r\n\x1b[0m\r\n", "不是文本文件（第 2 行有控制字符）"},
        {std::string(kMaxProgramLineBytes + 1, 'A'), "第 1 行超过 16384 字节，不是教导程序（行尾不是 CR LF？）"},
        {"END\r\n" + std::string(kMaxProgramLineBytes, '\n') + "\n", "第 2 行超过 16384 字节，不是教导程序（行尾不是 CR LF？）"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ProgramRig rig;
        openBytes(rig, dir.file("x.txt"), "keep\r\n", c.bytes);
        EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Failed) << c.reason;
        EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "keep\r\n") << c.reason;
        EXPECT_EQ(rig.board.text(Ctl::StatusLine), "打开失败：" + dir.file("x.txt") + "：" + c.reason);
        EXPECT_TRUE(rig.board.enabled(Ctl::ProgramEditor));
    }
    std::string text;
    ASSERT_EQ(readProgramFile("/dev/null", text), "是字符设备，不是普通文件");
}

// A file is read a piece per tick with the console's events in between;
// the pieces, cut after CR LF, decode as the whole file does.
struct Clocked {
    std::int64_t clock = 0;
    TempDir dir;
};
struct OpenRig : Clocked, ProgramRig {
    // The recovery copy in `folder`, by default a folder of its own.
    explicit OpenRig(const std::string& folder = {})
        : ProgramRig(ProgramFileSetup{folder.empty() ? dir.file("data") : folder, nullptr, [this] { return clock; }})
    {
    }
};

TEST(ProgramFiles, OpenReadsInPiecesShowsProgressLateAndCanBeCancelled)
{
    std::string bytes;
    for (int i = 0; bytes.size() < 5 * kFileBytesPerTick; ++i)
        bytes += "MOVJ J1=" + std::to_string(i) + " \xD4\xCB\xD0\xD0\r\n"; // 运行
    bytes += "END";
    OpenRig rig;
    writeBytes(rig.dir.file("big.txt"), bytes);
    rig.setProgram("keep\r\n");
    rig.program.programEdited();
    rig.prompts.openNames.push_back(rig.dir.file("big.txt"));
    rig.program.openProgram();
    ASSERT_TRUE(rig.program.opening());
    EXPECT_TRUE(rig.board.timerEnabled(Ctl::FileTimer));
    EXPECT_FALSE(rig.board.enabled(Ctl::ProgramEditor));
    rig.program.fileTick();
    EXPECT_TRUE(rig.prompts.progress.empty()); // not before half a second
    rig.clickRun();
    EXPECT_FALSE(rig.running()); // a half-read program is not run
    rig.clock = kShowProgressAfterMs;
    rig.program.fileTick();
    ASSERT_EQ(rig.prompts.progress.size(), 1u);
    EXPECT_EQ(rig.prompts.progress[0].first, "正在打开 " + rig.dir.file("big.txt"));
    EXPECT_GT(rig.prompts.progress[0].second, 0);
    EXPECT_LT(rig.prompts.progress[0].second, 100);
    rig.prompts.cancelProgress();
    EXPECT_FALSE(rig.program.opening());
    EXPECT_EQ(rig.program.lastFileStatus(), FileStatus::Cancelled);
    EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), "keep\r\n");
    EXPECT_TRUE(rig.program.unsavedEdits());
    EXPECT_TRUE(rig.board.enabled(Ctl::ProgramEditor));
    EXPECT_TRUE(rig.prompts.progressHidden);

    // Read to its end: the whole text, in more ticks than one.
    rig.prompts.openNames.push_back(rig.dir.file("big.txt"));
    rig.program.openProgram();
    int ticks = 0;
    for (; rig.program.opening() && ticks < 1000; ++ticks) rig.program.fileTick();
    EXPECT_GE(ticks, 5);
    EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), decodeProgramBytes(bytes));
    EXPECT_FALSE(rig.board.timerEnabled(Ctl::FileTimer));
    EXPECT_EQ(rig.board.text(Ctl::WindowTitle), "Velquor - big.txt");
}

TEST(ProgramFiles, PiecesDecodeAsTheWholeFile)
{
    const std::string bytes = "A\xD4\r\n\xCB\xD0\xD0\r\r\n\nB\xC4\xE3\r\nEND";
    for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
        ProgramTextStream stream;
        std::string text = stream.feed(std::string_view(bytes).substr(0, cut));
        text += stream.feed(std::string_view(bytes).substr(cut));
        text += stream.finish();
        EXPECT_EQ(text, decodeProgramBytes(bytes)) << cut;
    }
}

// The title names the file and marks unsaved edits; Save under "*.txt" adds
// the extension a bare name lacks.
TEST(ProgramFiles, TitleAndTxtSuffix)
{
    OpenRig rig;
    rig.program.programEdited();
    EXPECT_EQ(rig.board.text(Ctl::WindowTitle), "Velquor*");
    const struct {
        std::string name;
        int filter;
        std::string saved;
    } cases[] = {
        {"prog6", 0, "prog6.txt"}, {"prog6", 1, "prog6"}, {"prog6.pgm", 0, "prog6.pgm"}, {"a.b/prog6", 0, "a.b/prog6.txt"}};
    fs::create_directory(rig.dir.file("a.b"));
    for (const auto& c : cases) {
        rig.prompts.filterChosen = c.filter;
        rig.prompts.saveNames.push_back(rig.dir.file(c.name));
        rig.program.saveProgram();
        EXPECT_TRUE(fs::is_regular_file(rig.dir.file(c.saved))) << c.name << " " << c.filter;
        EXPECT_EQ(rig.board.text(Ctl::WindowTitle), "Velquor - " + fs::path(c.saved).filename().string());
    }
    rig.program.teachIn(TeachInKind::End);
    EXPECT_EQ(rig.board.text(Ctl::WindowTitle), "Velquor - prog6.txt*");
    rig.program.newProgram();
    EXPECT_EQ(rig.board.text(Ctl::WindowTitle), "Velquor");
}

std::string recoveryText(const OpenRig& rig) { return readBytes(rig.program.recoveryPath()); }

// The unsaved program is kept: a moment after an edit, before New and Open
// replace it, and at exit; the next session offers it, non-modally.
TEST(ProgramFiles, UnsavedProgramIsKeptAndOffered)
{
    OpenRig rig;
    rig.setProgram("MOVJ J1=1 你好\r\n");
    rig.program.programEdited();
    EXPECT_TRUE(rig.board.timerEnabled(Ctl::RecoveryTimer));
    EXPECT_EQ(rig.board.timerInterval(Ctl::RecoveryTimer), kRecoveryDelayMs);
    rig.program.recoveryTick();
    EXPECT_FALSE(rig.board.timerEnabled(Ctl::RecoveryTimer));
    EXPECT_EQ(recoveryText(rig), "MOVJ J1=1 你好\r\n");

    rig.setProgram("MOVJ J1=2\r\n");
    rig.program.programEdited();
    rig.program.newProgram(); // before the recovery timer: written now
    EXPECT_EQ(recoveryText(rig), "MOVJ J1=2\r\n");
    EXPECT_EQ(rig.board.text(Ctl::ProgramEditor), kDefault);
    rig.program.beforeExit(); // nothing unsaved: the copy stays as it is
    EXPECT_EQ(recoveryText(rig), "MOVJ J1=2\r\n");

    writeBytes(rig.dir.file("p.txt"), "END\r\n");
    rig.setProgram("MOVJ J1=3\r\n");
    rig.program.programEdited();
    rig.prompts.openNames.push_back(rig.dir.file("p.txt"));
    rig.openFile();
    EXPECT_EQ(recoveryText(rig), "MOVJ J1=3\r\n");

    rig.setProgram("MOVJ J1=4\r\n");
    rig.program.programEdited();
    rig.program.beforeExit();
    EXPECT_EQ(recoveryText(rig), "MOVJ J1=4\r\n");

    // The next start.
    OpenRig next(rig.dir.file("data"));
    next.setProgram(kDefault);
    next.program.offerRecovery();
    ASSERT_EQ(next.prompts.offers.size(), 1u);
    EXPECT_EQ(next.prompts.offers[0].second, "恢复");
    EXPECT_EQ(next.board.text(Ctl::ProgramEditor), kDefault); // nothing changes until accepted
    next.prompts.acceptOffer();
    EXPECT_EQ(next.board.text(Ctl::ProgramEditor), "MOVJ J1=4\r\n");
    EXPECT_EQ(next.board.text(Ctl::WindowTitle), "Velquor*");

    // Saved: nothing left to recover, nothing offered.
    next.prompts.saveNames.push_back(next.dir.file("kept.txt"));
    next.program.saveProgram();
    EXPECT_FALSE(fs::exists(next.program.recoveryPath()));
    OpenRig third(rig.dir.file("data"));
    third.program.offerRecovery();
    EXPECT_TRUE(third.prompts.offers.empty());
}

} // namespace
} // namespace vq::test
