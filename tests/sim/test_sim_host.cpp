// SimHost in-process, as the console uses it: a pseudo-terminal served from
// the event loop, line time, faults switched at run time, the device going
// away and coming back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <filesystem>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "sim/controller.h"
#include "sim/modbus.h"
#include "sim/sim_host.h"
#include "sim/slave_link.h"
#include "sim_rig.h"

using namespace vq::sim;
using namespace vq::sim::test;

namespace {

class Port {
public:
    explicit Port(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) {
            termios t{};
            tcgetattr(fd_, &t);
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Port()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool ok() const { return fd_ >= 0; }

    // Sends a request and runs the event loop until `expect` bytes came
    // back or the time is up. Returns what came and how long it took.
    Bytes exchange(const Bytes& request, std::size_t expect, int timeoutMs, double* tookMs = nullptr)
    {
        if (::write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
            return {};
        }
        QElapsedTimer clock;
        clock.start();
        Bytes got;
        while (clock.elapsed() < timeoutMs && got.size() < expect) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::uint8_t buf[256];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) {
                got.insert(got.end(), buf, buf + n);
            }
        }
        if (tookMs) {
            *tookMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
        return got;
    }

private:
    int fd_ = -1;
};

std::string tempDir()
{
    char tmpl[] = "/tmp/velquor-simhost-XXXXXX";
    return ::mkdtemp(tmpl);
}

} // namespace

TEST(SimHost, ServesThePtyAndComesBackAfterVanishing)
{
    const std::string dir = tempDir();
    const std::string link = dir + "/com1";
    {
        SimHost host;
        SimOptions opt;
        opt.linkPath = link;
        ASSERT_TRUE(host.start(opt)) << host.errorString().toStdString();
        const std::string first = host.slaveDevice().toStdString();
        ASSERT_FALSE(first.empty());
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), first);

        {
            Port port(link);
            ASSERT_TRUE(port.ok());
            double took = 0;
            const Bytes status = port.exchange(readFrame(0x1000, 36), 77, 2000, &took);
            ASSERT_EQ(status.size(), 77u);
            EXPECT_TRUE(crcMatches(status));
            EXPECT_GE(took, 6.0) << "77 bytes take 6.7 ms at 115200 baud";

            // The controller behind the host is the one that answered.
            EXPECT_EQ(port.exchange(writeFrame(0x1010, 6, wordBytes({1, 1, 1, 1, 1, 1})), 8, 2000).size(), 8u);
            EXPECT_TRUE(host.controller().servoOn(6));

            // Faults switched at run time.
            host.setDropShare(1.0);
            EXPECT_TRUE(port.exchange(readFrame(0x1000, 36), 77, 150).empty());
            EXPECT_EQ(host.counters().dropped, 1u);
            host.setDropShare(0.0);
            host.setDelay(60);
            double late = 0;
            EXPECT_EQ(port.exchange(readFrame(0x1000, 2), 9, 2000, &late).size(), 9u);
            EXPECT_GE(late, 55.0);
            host.setDelay(0);
        }

        // Vanish: the device goes; reappear: a new one behind the same link.
        host.vanish();
        EXPECT_TRUE(host.slaveDevice().isEmpty());
        ASSERT_TRUE(host.reappear());
        const std::string second = host.slaveDevice().toStdString();
        ASSERT_FALSE(second.empty());
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), second);
        {
            Port port(link);
            ASSERT_TRUE(port.ok());
            EXPECT_EQ(port.exchange(readFrame(0x1170, 36), 77, 2000).size(), 77u);
        }
        EXPECT_TRUE(host.controller().servoOn(6)) << "the controller lives on across the vanish";

        host.stop();
        EXPECT_FALSE(std::filesystem::is_symlink(link));
    }
    std::filesystem::remove_all(dir);
}

TEST(SimHost, RefusesToReplaceAFileThatIsNotALink)
{
    const std::string dir = tempDir();
    const std::string path = dir + "/com1";
    { std::FILE* f = std::fopen(path.c_str(), "w"); std::fclose(f); }
    SimHost host;
    SimOptions opt;
    opt.linkPath = path;
    EXPECT_FALSE(host.start(opt));
    EXPECT_FALSE(host.errorString().isEmpty());
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    std::filesystem::remove_all(dir);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
