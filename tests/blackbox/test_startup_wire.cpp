// The console as an operator starts it, seen from the line: a saved port
// "03", that port a pseudo-terminal whose other side this test reads as a
// silent reference slave. The first events send every block read, in slot
// order, byte for byte, 35 ms apart.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Frame {
    double ms; // arrival time from the first byte
    std::vector<std::uint8_t> bytes;
};

std::string hex(const std::vector<std::uint8_t>& b)
{
    static const char* d = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i) s += ' ';
        s += d[b[i] >> 4];
        s += d[b[i] & 15];
    }
    return s;
}

class Console {
public:
    Console(const fs::path& home, const fs::path& ports, bool saved)
    {
        fs::create_directories(home / "Comm");
        if (saved) std::ofstream(home / "Comm" / "Registry.conf") << "[General]\nComm=03\n";
        pid = ::fork();
        if (pid == 0) {
            ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
            ::setenv("VELQUOR_PORT_DIR", ports.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 2);
            ::execl(VELQUOR_BIN, VELQUOR_BIN, static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Console()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            int st = 0;
            for (int i = 0; i < 100 && ::waitpid(pid, &st, WNOHANG) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (::waitpid(pid, &st, WNOHANG) == 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &st, 0);
            }
        }
    }
    pid_t pid = -1;
};

class StartupWire : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("vq-wire-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "ports");
        char name[128];
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        fs::create_symlink(name, dir / "ports" / "com3");
    }
    void TearDown() override
    {
        ::close(slave);
        ::close(master);
        fs::remove_all(dir);
    }
    // Bytes read from the line for ms milliseconds, split into frames at
    // gaps of more than 5 ms.
    std::vector<Frame> listen(int ms)
    {
        std::vector<Frame> frames;
        auto start = Clock::now();
        auto last = start;
        bool first = true;
        Clock::time_point t0;
        while (Clock::now() - start < std::chrono::milliseconds(ms)) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            std::uint8_t buf[256];
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) continue;
            auto now = Clock::now();
            if (first) t0 = now;
            if (first || now - last > std::chrono::milliseconds(5))
                frames.push_back({std::chrono::duration<double, std::milli>(now - t0).count(), {}});
            first = false;
            last = now;
            frames.back().bytes.insert(frames.back().bytes.end(), buf, buf + n);
        }
        return frames;
    }
    fs::path dir;
    int master = -1, slave = -1;
};

TEST_F(StartupWire, FirstEventsReadEveryBlockInSlotOrder)
{
    Console console(dir / "config", dir / "ports", true);
    auto frames = listen(4000);
    const char* expected[] = {
        "80 03 10 00 00 24 5F 00", "80 03 11 70 00 24 5F 27", "80 03 10 50 00 12 DF 07", "80 03 11 10 00 0C 5F 27",
        "80 03 11 20 00 0C 5F 28", "80 03 11 30 00 0C 5E ED", "80 03 11 40 00 0C 5F 36", "80 03 11 50 00 0C 5E F3",
        "80 03 11 60 00 0C 5E FC", "80 03 11 A6 00 0C BE C1", "80 03 11 A0 00 0C 5E C0", "80 03 10 00 00 24 5F 00",
        "80 03 11 70 00 24 5F 27",
    };
    ASSERT_GE(frames.size(), std::size(expected)) << "the console sent too little";
    for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(hex(frames[i].bytes), expected[i]) << "frame " << i;
    // 35 ms per event; the idle event between the two cycles sends nothing,
    // so frames 10 and 11 are two events apart. An event that comes late
    // (a busy machine) is not followed closely by the next: that one waits
    // for the period after. So a gap is never much under half a period
    // (this listener has delays of its own) and at most one period longer
    // than its events.
    for (std::size_t i = 1; i < std::size(expected); ++i) {
        double gap = frames[i].ms - frames[i - 1].ms;
        double events = i == 11 ? 2 : 1;
        EXPECT_GE(gap, 10.0) << "between frames " << i - 1 << " and " << i;
        EXPECT_LE(gap, 35.0 * (events + 1) + 15.0) << "between frames " << i - 1 << " and " << i;
    }
}

TEST_F(StartupWire, FirstStartWithNothingSavedSendsNothing)
{
    Console console(dir / "config", dir / "ports", false);
    auto frames = listen(1500);
    EXPECT_TRUE(frames.empty()) << hex(frames.front().bytes);
}

} // namespace
