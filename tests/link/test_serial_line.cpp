// The real QSerialPort line on a pseudo-terminal pair: the receive event
// fires once the threshold is buffered, however the bytes are chunked.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "link/qt_serial_line.h"

namespace vq {
namespace {

struct Pty {
    int master = -1;
    int slave = -1;
    std::string name;
    Pty()
    {
        char buf[128];
        if (::openpty(&master, &slave, buf, nullptr, nullptr) != 0) return;
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        name = buf;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty()
    {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
    void send(const std::vector<std::uint8_t>& b) { ASSERT_EQ(::write(master, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    std::vector<std::uint8_t> receive()
    {
        std::vector<std::uint8_t> out(1024);
        ssize_t n = ::read(master, out.data(), out.size());
        out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return out;
    }
};

// Runs the event loop until pred holds or ms pass.
template <class P> bool spin(P pred, int ms = 2000)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return pred();
}

TEST(QtSerialLine, ThresholdEventFiresOnceForByteByByteDelivery)
{
    Pty pty;
    ASSERT_FALSE(pty.name.empty());
    QtSerialLine line;
    ASSERT_TRUE(line.open(pty.name, 115200));
    int events = 0;
    std::vector<std::uint8_t> got;
    line.onReceive = [&] { ++events; got = line.takeAll(); };
    line.setReceiveThreshold(8);
    for (std::uint8_t b = 1; b <= 8; ++b) {
        pty.send({b});
        spin([&] { return false; }, b == 8 ? 200 : 10);
    }
    ASSERT_TRUE(spin([&] { return events > 0; }));
    EXPECT_EQ(events, 1);
    EXPECT_EQ(got, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(QtSerialLine, DiscardDropsUnreadInputAndWritesReachThePeer)
{
    Pty pty;
    QtSerialLine line;
    ASSERT_TRUE(line.open(pty.name, 115200));
    int events = 0;
    line.onReceive = [&] { ++events; };
    line.setReceiveThreshold(4);
    pty.send({9, 9, 9});
    spin([&] { return false; }, 100);
    line.discardInput();
    pty.send({1, 2});
    spin([&] { return false; }, 100);
    EXPECT_EQ(events, 0) << "3 stale + 2 new bytes must not reach a threshold of 4";
    const std::vector<std::uint8_t> frame = {0x80, 0x03, 0x10, 0x00, 0x00, 0x24, 0x5F, 0x00};
    ASSERT_TRUE(line.write(frame));
    std::vector<std::uint8_t> seen;
    ASSERT_TRUE(spin([&] {
        auto b = pty.receive();
        seen.insert(seen.end(), b.begin(), b.end());
        return seen.size() >= frame.size();
    }));
    EXPECT_EQ(seen, frame);
}

TEST(QtSerialLine, RequestIsOnTheLineWhenWriteReturns)
{
    Pty pty;
    QtSerialLine line;
    ASSERT_TRUE(line.open(pty.name, 115200));
    const std::vector<std::uint8_t> frame = {0x80, 0x03, 0x10, 0x00, 0x00, 0x24, 0x5F, 0x00};
    ASSERT_TRUE(line.write(frame));
    // No event loop runs here: the bytes must already be with the driver.
    std::vector<std::uint8_t> seen;
    while (seen.size() < frame.size()) {
        pollfd p{pty.master, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 1000), 1) << "only " << seen.size() << " bytes reached the peer";
        auto b = pty.receive();
        seen.insert(seen.end(), b.begin(), b.end());
    }
    EXPECT_EQ(seen, frame);
    EXPECT_EQ(line.bytesWritten(), frame.size());
}

TEST(QtSerialLine, WritesBeyondAFullDriverBufferArriveWholeAndInOrder)
{
    Pty pty;
    QtSerialLine line;
    ASSERT_TRUE(line.open(pty.name, 115200));
    std::vector<std::uint8_t> expected;
    std::size_t n = 0;
    auto writeChunk = [&] {
        std::vector<std::uint8_t> chunk(997);
        for (auto& b : chunk) b = static_cast<std::uint8_t>(n++ * 7 % 251);
        ASSERT_TRUE(line.write(chunk));
        expected.insert(expected.end(), chunk.begin(), chunk.end());
    };
    std::vector<std::uint8_t> seen;
    auto drainPeer = [&] {
        for (auto b = pty.receive(); !b.empty(); b = pty.receive()) seen.insert(seen.end(), b.begin(), b.end());
    };
    // The peer does not read: the driver's buffer fills part-way through a
    // write, and the rest waits in the line's queue.
    for (int c = 0; c < 300; ++c) writeChunk();
    // The peer reads, so the driver has room again while the queue still
    // holds bytes (the event loop has not run): later writes must not
    // overtake them.
    drainPeer();
    for (int c = 0; c < 3; ++c) writeChunk();
    ASSERT_TRUE(spin(
        [&] {
            drainPeer();
            return seen.size() >= expected.size();
        },
        10000));
    ASSERT_EQ(seen.size(), expected.size());
    EXPECT_TRUE(seen == expected) << "bytes reordered or altered";
    EXPECT_EQ(line.bytesWritten(), expected.size());
}

TEST(QtSerialLine, ClosedPortWritesNothingAndMissingDeviceFailsToOpen)
{
    QtSerialLine line;
    EXPECT_FALSE(line.open("/nonexistent/com1", 115200));
    EXPECT_FALSE(line.isOpen());
    const std::uint8_t b[] = {1};
    EXPECT_FALSE(line.write(b));
}

} // namespace
} // namespace vq

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
