// velquor-sim from the outside: the executable on a real pseudo-terminal,
// talked to by an independent Modbus master (libmodbus), with the writes
// that libmodbus refuses to build (float quantities) sent as raw bytes whose
// CRC this test computes itself. Links nothing of the project.
#include <gtest/gtest.h>

#include <modbus/modbus.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef VELQUOR_SIM_BIN
#error "VELQUOR_SIM_BIN must name the velquor-sim executable"
#endif

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// CRC-16/MODBUS, bit by bit: initial FFFF, reflected polynomial A001.
std::uint16_t modbusCrc(const Bytes& b)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : b) {
        crc ^= byte;
        for (int i = 0; i < 8; ++i) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

Bytes withCrc(Bytes b)
{
    const std::uint16_t c = modbusCrc(b);
    b.push_back(static_cast<std::uint8_t>(c & 0xFF));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
    return b;
}

Bytes floatsLittleEndian(std::initializer_list<float> values)
{
    Bytes out;
    for (float f : values) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &f, 4);
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
        }
    }
    return out;
}

// Float k of a block read by libmodbus: its bytes in little-endian order,
// two per register, first byte high.
float registerFloat(const std::uint16_t* regs, int k)
{
    const std::uint16_t lo = regs[2 * k];
    const std::uint16_t hi = regs[2 * k + 1];
    const std::uint32_t bits = static_cast<std::uint32_t>(lo >> 8) | (static_cast<std::uint32_t>(lo & 0xFF) << 8) |
                               (static_cast<std::uint32_t>(hi >> 8) << 16) |
                               (static_cast<std::uint32_t>(hi & 0xFF) << 24);
    float f = 0;
    std::memcpy(&f, &bits, 4);
    return f;
}

double angleGap(double a, double b)
{
    const double d = std::fmod(std::abs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

class SimBlackBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/velquor-sim-bb-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        link_ = dir_ + "/com1";
    }

    void TearDown() override
    {
        if (ctx_) {
            modbus_close(ctx_);
            modbus_free(ctx_);
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) {
            ::close(out_);
        }
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    // Starts the simulator and returns its first output line.
    std::string startSim(const std::vector<std::string>& extra)
    {
        int fds[2];
        if (::pipe(fds) != 0) {
            return {};
        }
        std::vector<std::string> args{VELQUOR_SIM_BIN, "--link", link_};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            std::vector<char*> argv;
            for (std::string& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out_ = fds[0];
        return nextLine();
    }

    // The simulator's next output line, or empty after 10 s.
    std::string nextLine()
    {
        std::string line;
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) {
                continue;
            }
            char c = 0;
            if (::read(out_, &c, 1) != 1) {
                break;
            }
            if (c == '\n') {
                return line;
            }
            line += c;
        }
        return {};
    }

    // One raw request; the reply through libmodbus' receive path (which
    // checks the CRC and the slave address).
    int rawRequest(const Bytes& frame, std::uint8_t* reply)
    {
        const int fd = modbus_get_socket(ctx_);
        if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) {
            return -1;
        }
        return modbus_receive_confirmation(ctx_, reply);
    }

    bool readBlock(int start, int count, std::uint16_t* dest)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (modbus_read_registers(ctx_, start, count, dest) == count) {
                return true;
            }
        }
        return false;
    }

    bool writeWords(int start, std::vector<std::uint16_t> words)
    {
        return modbus_write_registers(ctx_, start, static_cast<int>(words.size()), words.data()) ==
               static_cast<int>(words.size());
    }

    std::string dir_;
    std::string link_;
    pid_t pid_ = -1;
    int out_ = -1;
    modbus_t* ctx_ = nullptr;
};

} // namespace

TEST(BlackBoxCrc, PublishedExampleFrames)
{
    // Classic read request of ten registers from slave 1, and the console's
    // teach-mode write.
    EXPECT_EQ(withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
    EXPECT_EQ(withCrc({0x80, 0x10, 0x10, 0x01, 0x00, 0x01, 0x02, 0x00, 0x01}),
              (Bytes{0x80, 0x10, 0x10, 0x01, 0x00, 0x01, 0x02, 0x00, 0x01, 0x1B, 0xD6}));
}

TEST_F(SimBlackBox, PointMoveJogWatchdogAndCleanExit)
{
    const std::string device = startSim({"--time-scale", "10"});
    ASSERT_FALSE(device.empty()) << "no device line from velquor-sim";
    EXPECT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    EXPECT_EQ(std::filesystem::read_symlink(link_).string(), device);

    ctx_ = modbus_new_rtu(link_.c_str(), 115200, 'N', 8, 1);
    ASSERT_NE(ctx_, nullptr);
    ASSERT_EQ(modbus_set_slave(ctx_, 128), 0);
    modbus_set_response_timeout(ctx_, 1, 0);
    ASSERT_EQ(modbus_connect(ctx_), 0) << modbus_strerror(errno);

    // Status block: ready, run mode, servos off.
    std::uint16_t status[36] = {};
    ASSERT_TRUE(readBlock(0x1000, 36, status));
    EXPECT_EQ(status[0], 1);
    EXPECT_EQ(status[1], 0);
    EXPECT_EQ(status[6], 0);

    // Servos on: a plain register write, which libmodbus builds itself.
    ASSERT_TRUE(writeWords(0x1010, {1, 1, 1, 1, 1, 1}));
    ASSERT_TRUE(readBlock(0x1000, 36, status));
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(status[6 + k], 1) << "servo " << k + 1;
    }

    // Point move as the console sends it: six floats, quantity 6, 24 bytes.
    Bytes move{0x80, 0x10, 0x11, 0xC0, 0x00, 0x06, 0x18};
    const Bytes target = floatsLittleEndian({200, 150, 150, 180, 0, 0});
    move.insert(move.end(), target.begin(), target.end());
    std::uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH] = {};
    ASSERT_EQ(rawRequest(withCrc(move), reply), 8);
    EXPECT_EQ(Bytes(reply, reply + 8), withCrc({0x80, 0x10, 0x11, 0xC0, 0x00, 0x06}));

    // Wait for the busy word to fall.
    const auto moveDeadline = Clock::now() + std::chrono::seconds(10);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        ASSERT_TRUE(readBlock(0x1000, 36, status));
    } while (status[5] != 0 && Clock::now() < moveDeadline);
    ASSERT_EQ(status[5], 0) << "the move did not end";

    std::uint16_t pose[36] = {};
    ASSERT_TRUE(readBlock(0x1170, 36, pose));
    const double want[6] = {200, 150, 150, 180, 0, 0};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(registerFloat(pose, 6 + k), want[k], 0.05) << "coordinate " << k;
    }
    for (int k = 3; k < 6; ++k) {
        EXPECT_LT(angleGap(registerFloat(pose, 6 + k), want[k]), 0.05) << "angle " << k;
    }

    // Jog J1+ in teach mode, refreshed every 100 ms for half a second, then
    // no more jog words: the arm must stand still within 0.6 s.
    ASSERT_TRUE(writeWords(0x1001, {1}));
    const double j1Before = registerFloat(pose, 0);
    Clock::time_point lastJog;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(writeWords(0x1004, {10}));
        lastJog = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(readBlock(0x1000, 36, status));
    EXPECT_EQ(status[4], 10) << "still jogging while the words come";
    std::this_thread::sleep_until(lastJog + std::chrono::milliseconds(600));
    ASSERT_TRUE(readBlock(0x1170, 36, pose));
    const float j1Stopped = registerFloat(pose, 0);
    ASSERT_TRUE(readBlock(0x1000, 36, status));
    EXPECT_EQ(status[4], 0);
    EXPECT_EQ(status[5], 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(readBlock(0x1170, 36, pose));
    EXPECT_EQ(registerFloat(pose, 0), j1Stopped) << "J1 still moving after the watchdog";
    EXPECT_GT(j1Stopped - j1Before, 5.0) << "J1 did not jog";

    // An unknown register gets an exception, not silence.
    std::uint16_t none[4];
    EXPECT_EQ(modbus_read_registers(ctx_, 0x2000, 4, none), -1);
    EXPECT_EQ(errno, EMBXILADD);

    // SIGTERM: the simulator ends cleanly and takes its link with it.
    modbus_close(ctx_);
    modbus_free(ctx_);
    ctx_ = nullptr;
    ASSERT_EQ(::kill(pid_, SIGTERM), 0);
    int wstatus = 0;
    pid_t done = 0;
    const auto exitDeadline = Clock::now() + std::chrono::seconds(5);
    while ((done = ::waitpid(pid_, &wstatus, WNOHANG)) == 0 && Clock::now() < exitDeadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(done, pid_) << "velquor-sim did not end on SIGTERM";
    pid_ = -1;
    EXPECT_TRUE(WIFEXITED(wstatus));
    EXPECT_EQ(WEXITSTATUS(wstatus), 0);
    struct stat st {};
    EXPECT_NE(::lstat(link_.c_str(), &st), 0) << "the link is still there";
}

TEST_F(SimBlackBox, Usr1PrintsWhatHasBeenServedAndServingGoesOn)
{
    ASSERT_FALSE(startSim({}).empty());
    ctx_ = modbus_new_rtu(link_.c_str(), 115200, 'N', 8, 1);
    ASSERT_NE(ctx_, nullptr);
    ASSERT_EQ(modbus_set_slave(ctx_, 128), 0);
    modbus_set_response_timeout(ctx_, 1, 0);
    ASSERT_EQ(modbus_connect(ctx_), 0) << modbus_strerror(errno);

    struct Served {
        unsigned long long requests = 0, replies = 0, in = 0, out = 0;
    };
    auto ask = [&] {
        Served s;
        EXPECT_EQ(::kill(pid_, SIGUSR1), 0);
        const std::string line = nextLine();
        EXPECT_EQ(std::sscanf(line.c_str(), "served %llu requests, %llu replies, %llu bytes in, %llu bytes out",
                              &s.requests, &s.replies, &s.in, &s.out),
                  4)
            << line;
        return s;
    };
    std::uint16_t status[36] = {};
    for (int i = 0; i < 3; ++i) ASSERT_EQ(modbus_read_registers(ctx_, 0x1000, 36, status), 36);
    const Served first = ask();
    EXPECT_EQ(first.requests, 3u);
    EXPECT_EQ(first.replies, 3u);
    EXPECT_EQ(first.in, 3u * 8);
    EXPECT_EQ(first.out, 3u * 77);

    // Still serving after the signal, and counting on.
    std::uint16_t pose[36] = {};
    ASSERT_EQ(modbus_read_registers(ctx_, 0x1170, 36, pose), 36);
    EXPECT_EQ(ask().requests, 4u);
    EXPECT_EQ(::waitpid(pid_, nullptr, WNOHANG), 0) << "velquor-sim ended on SIGUSR1";
}

TEST_F(SimBlackBox, HelpListsEveryOption)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl(VELQUOR_SIM_BIN, VELQUOR_SIM_BIN, "--help", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    out_ = fds[0];
    std::string text;
    char buf[512];
    ssize_t n = 0;
    while ((n = ::read(out_, buf, sizeof buf)) > 0) {
        text.append(buf, static_cast<std::size_t>(n));
    }
    int wstatus = 0;
    ::waitpid(pid_, &wstatus, 0);
    pid_ = -1;
    for (const char* option : {"--link", "--address", "--state", "--time-scale", "--baud", "--drop", "--corrupt",
                               "--truncate", "--stray", "--exception", "--delay-ms", "--delay-share", "--seed"}) {
        EXPECT_NE(text.find(option), std::string::npos) << option;
    }
}
