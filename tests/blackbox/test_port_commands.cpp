// The console's commands that run without a display, as an operator runs
// them from a shell: --help and --version, --link-port making, replacing
// and refusing com<N> links in the port folder, and --list-ports saying
// what each port number reaches. Pseudo-terminals stand for adapters.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1; // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class PortCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("vq-portcmd-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        ports = dir / "ports"; // left to --link-port to make
        for (Pty& p : pty) {
            char name[128];
            ASSERT_EQ(::openpty(&p.master, &p.slave, name, nullptr, nullptr), 0);
            p.name = name;
        }
    }
    void TearDown() override
    {
        for (Pty& p : pty) {
            ::close(p.slave);
            ::close(p.master);
        }
        fs::remove_all(dir);
    }

    // velquor with these arguments, without any display, the port folder
    // set; stdout and stderr collected.
    Outcome velquor(const std::vector<std::string>& args)
    {
        const fs::path out = dir / "out", err = dir / "err";
        pid_t pid = ::fork();
        if (pid == 0) {
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            ::setenv("VELQUOR_PORT_DIR", ports.c_str(), 1);
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
            std::vector<char*> argv{const_cast<char*>(VELQUOR_BIN)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(VELQUOR_BIN, argv.data());
            ::_exit(127);
        }
        int st = 0;
        ::waitpid(pid, &st, 0);
        return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, slurp(out), slurp(err)};
    }

    // The line --list-ports prints for port number n.
    static std::string numberLine(const std::string& listing, int n)
    {
        char head[8];
        std::snprintf(head, sizeof head, "%3d  ", n);
        std::istringstream in(listing);
        for (std::string line; std::getline(in, line);)
            if (line.rfind(head, 0) == 0) return line;
        return {};
    }

    struct Pty {
        int master = -1, slave = -1;
        std::string name;
    };
    fs::path dir, ports;
    Pty pty[2];
};

TEST_F(PortCommands, HelpAndVersionNeedNoDisplay)
{
    struct Case {
        const char* arg;
        std::string expected;
    };
    const Case cases[] = {
        {"--version", std::string("velquor ") + VELQUOR_VERSION},
        {"--help", "--link-port <N>"},
        {"--help", "--list-ports"},
    };
    for (const Case& c : cases) {
        Outcome r = velquor({c.arg});
        EXPECT_EQ(r.status, 0) << c.arg << "\n" << r.err;
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << c.arg << " printed:\n" << r.out;
    }
}

TEST_F(PortCommands, LinkIsMadeReplacedAndListed)
{
    Outcome made = velquor({"--link-port", "3", pty[0].name});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(fs::read_symlink(ports / "com3"), pty[0].name);
    EXPECT_EQ(made.out, (ports / "com3").string() + " -> " + pty[0].name + "\n");

    Outcome list = velquor({"--list-ports"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(numberLine(list.out, 3), "  3  " + (ports / "com3").string() + " -> " + pty[0].name + "  (present)");
    EXPECT_EQ(numberLine(list.out, 4), "  4  /dev/ttyUSB3  (no com4 link; not present)");
    EXPECT_NE(list.out.find("Serial ports: "), std::string::npos) << list.out;

    // A link already there is replaced, and nothing is left beside it.
    Outcome replaced = velquor({"--link-port", "3", pty[1].name});
    ASSERT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(fs::read_symlink(ports / "com3"), pty[1].name);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(ports)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"com3"});

    // A device given relative to the working folder is linked by its full
    // path, not resolved: the link keeps the name given.
    fs::create_symlink(pty[0].name, dir / "adapter");
    const fs::path cwd = fs::current_path();
    fs::current_path(dir);
    Outcome relative = velquor({"--link-port", "16", "adapter"});
    fs::current_path(cwd);
    ASSERT_EQ(relative.status, 0) << relative.err;
    EXPECT_EQ(fs::read_symlink(ports / "com16"), dir / "adapter");
}

TEST_F(PortCommands, PlainFileInTheWayIsLeftAlone)
{
    fs::create_directories(ports);
    std::ofstream(ports / "com5") << "keep";
    Outcome r = velquor({"--link-port", "5", pty[0].name});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find((ports / "com5").string() + " exists and is not a symbolic link"), std::string::npos) << r.err;
    // (Asserted: read through a link, the file would be a terminal and wait.)
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(ports / "com5")));
    EXPECT_EQ(slurp(ports / "com5"), "keep");

    Outcome list = velquor({"--list-ports"});
    EXPECT_EQ(numberLine(list.out, 5), "  5  " + (ports / "com5").string() + "  (not a symbolic link; opened as it stands)");
}

TEST_F(PortCommands, BadNumbersAndDevicesChangeNothing)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--link-port", "0", pty[0].name},  {"--link-port", "17", pty[0].name},
        {"--link-port", "x", pty[0].name},  {"--link-port", "3"},
        {"--link-port", "3", pty[0].name, pty[1].name},
    };
    for (const auto& args : cases) {
        Outcome r = velquor(args);
        EXPECT_EQ(r.status, 2) << args[1] << " " << args.size();
        EXPECT_FALSE(r.err.empty()) << args[1];
        EXPECT_FALSE(fs::exists(ports)) << args[1];
    }
}

} // namespace
