// The console as an operator starts it, seen from the line: a saved port
// "03", that port a pseudo-terminal whose other side this test serves as a
// reference slave that answers every block read with
// its start address followed by zeros. The first
// events read every block, in slot order, byte for byte; a console stopped
// and continued (SIGSTOP, SIGCONT) goes on polling without a burst.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
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

#include "support/run_queue.h"

namespace {

namespace fs = std::filesystem;
using vq::runQueueWaitMs;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

struct Frame {
    double ms;       // when the read that completed it returned
    int read;        // which read that was
    double starved;  // ms this listener waited for a processor since the read before it
    Bytes bytes;
};

std::string hex(const Bytes& b)
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

std::uint16_t crc16(const Bytes& b)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : b) {
        crc ^= byte;
        for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// Length of the request at the front of buf, 0 while it is incomplete.
std::size_t requestLength(const Bytes& buf)
{
    if (buf.size() < 2) return 0;
    std::size_t n = 8; // reads (03) and single writes (06)
    if (buf[1] == 0x10) {
        if (buf.size() < 7) return 0;
        n = 9 + buf[6];
    }
    return buf.size() >= n ? n : 0;
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
            ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
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
            ::kill(pid, SIGCONT);
            ::kill(pid, SIGTERM);
            int st = 0;
            for (int i = 0; i < 250 && ::waitpid(pid, &st, WNOHANG) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
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
        start = Clock::now();
    }
    void TearDown() override
    {
        ::close(slave);
        ::close(master);
        fs::remove_all(dir);
    }
    double now() const { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

    // Serves the line until `count` more requests came or `capMs` passed;
    // the cap only ends a test that fails. Reads are answered when `answer` is
    // set.
    void serve(std::size_t count, int capMs, bool answer)
    {
        const std::size_t want = frames.size() + count;
        const double end = now() + capMs;
        while (frames.size() < want && now() < end) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(std::min(10.0, end - now() + 1))) <= 0) continue;
            std::uint8_t buf[512];
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) continue;
            const double at = now();
            // Starved since the read before: this read may have come late.
            const double queued = runQueueWaitMs();
            const double starved = queued >= 0 && queuedAtRead >= 0 ? queued - queuedAtRead : 0.0;
            queuedAtRead = queued;
            ++reads;
            pending.insert(pending.end(), buf, buf + n);
            while (std::size_t len = requestLength(pending)) {
                Bytes req(pending.begin(), pending.begin() + static_cast<long>(len));
                pending.erase(pending.begin(), pending.begin() + static_cast<long>(len));
                frames.push_back({at, reads, starved, req});
                if (answer && req[1] == 0x03) {
                    Bytes reply{req[0], 0x03, static_cast<std::uint8_t>(2 * req[5])};
                    reply.resize(3 + 2 * req[5], 0);
                    // Each block's reply its own: two equal replies in a row
                    // look like a repeated copy, which the console drops.
                    reply[3] = req[2];
                    reply[4] = req[3];
                    std::uint16_t c = crc16(reply);
                    reply.push_back(c & 0xFF);
                    reply.push_back(c >> 8);
                    ASSERT_EQ(::write(master, reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
                }
            }
        }
    }
    // Requests that came in reads of their own closer than `minMs` after the
    // one before: a console that wrote them in a burst. Two requests in one
    // read are not counted, as this listener may have been late for both;
    // nor is a pair whose first request this listener read late because it
    // was waiting for a processor (a loaded machine): the gap it saw is
    // shorter than the one on the line.
    int closePairs(std::size_t from, std::size_t to, double minMs) const
    {
        int close = 0;
        for (std::size_t i = from + 1; i < to && i < frames.size(); ++i)
            if (frames[i].read != frames[i - 1].read && frames[i - 1].starved < 1.0 && frames[i].ms - frames[i - 1].ms < minMs)
                ++close;
        return close;
    }

    fs::path dir;
    int master = -1, slave = -1;
    Clock::time_point start;
    std::vector<Frame> frames;
    Bytes pending;
    int reads = 0;
    double queuedAtRead = -1; // runQueueWaitMs() at the last read
};

const char* const kStartup[] = {
    "80 03 10 00 00 24 5F 00", "80 03 11 70 00 24 5F 27", "80 03 10 50 00 12 DF 07", "80 03 11 10 00 0C 5F 27",
    "80 03 11 20 00 0C 5F 28", "80 03 11 30 00 0C 5E ED", "80 03 11 40 00 0C 5F 36", "80 03 11 50 00 0C 5E F3",
    "80 03 11 60 00 0C 5E FC", "80 03 11 A6 00 0C BE C1", "80 03 11 A0 00 0C 5E C0", "80 03 10 00 00 24 5F 00",
    "80 03 11 70 00 24 5F 27",
};

// A request follows the one before no sooner than that one's reply can
// have crossed the line: 8 + 77 bytes at 115200 baud are 7.4 ms.
constexpr double kMinGapMs = 7.0;

TEST_F(StartupWire, FirstEventsReadEveryBlockInSlotOrder)
{
    Console console(dir / "config", dir / "ports", true);
    serve(std::size(kStartup), 30000, true);
    ASSERT_GE(frames.size(), std::size(kStartup)) << "the console sent too little";
    for (std::size_t i = 0; i < std::size(kStartup); ++i) EXPECT_EQ(hex(frames[i].bytes), kStartup[i]) << "frame " << i;
    EXPECT_EQ(closePairs(0, frames.size(), kMinGapMs), 0);
}

TEST_F(StartupWire, StoppedAndContinuedConsolePollsOnWithoutBurst)
{
    Console console(dir / "config", dir / "ports", true);
    serve(std::size(kStartup), 30000, true);
    ASSERT_GE(frames.size(), std::size(kStartup)) << "the console sent too little";
    const std::size_t before = frames.size();
    // A cycle is status, pose and an event that sends nothing, 35 ms
    // apart. A stop from after a pose read until shortly before the next
    // pose event leaves the status event due, and the two close together; a
    // stop of a second leaves some 28 due. The last request is answered
    // while the console is stopped and waits in the line's buffer.
    struct Stop {
        int afterMs, forMs;
    };
    for (Stop stop : {Stop{40, 45}, {45, 48}, {38, 50}, {42, 52}, {0, 1000}, {44, 55}, {41, 45}, {39, 47}, {46, 49}, {43, 52}, {40, 54}, {47, 50}}) {
        for (int i = 0; i < 3 && hex(frames.back().bytes) != kStartup[1]; ++i) serve(1, 30000, true);
        ASSERT_EQ(hex(frames.back().bytes), kStartup[1]) << "the console stopped polling after it was continued";
        serve(1, stop.afterMs, true);
        ASSERT_EQ(::kill(console.pid, SIGSTOP), 0);
        serve(1, stop.forMs, true);
        ASSERT_EQ(::kill(console.pid, SIGCONT), 0);
        serve(3, 30000, true);
    }
    ASSERT_GE(frames.size(), before + 36) << "the console stopped polling after it was continued";
    EXPECT_EQ(closePairs(before - 1, frames.size(), kMinGapMs), 0) << "requests sent in a burst after a stop";
    // Polling after the stops is the same two-slot cycle: status and pose
    // in turn, each one a read of a known block.
    int statusReads = 0, poseReads = 0;
    for (std::size_t i = before; i < frames.size(); ++i) {
        const std::string h = hex(frames[i].bytes);
        statusReads += h == kStartup[0];
        poseReads += h == kStartup[1];
    }
    EXPECT_EQ(statusReads + poseReads, static_cast<int>(frames.size() - before));
    EXPECT_LE(std::abs(statusReads - poseReads), 1);
}

TEST_F(StartupWire, FirstStartWithNothingSavedSendsNothing)
{
    Console console(dir / "config", dir / "ports", false);
    serve(1, 1500, true);
    EXPECT_TRUE(frames.empty()) << hex(frames.front().bytes);
}

} // namespace
