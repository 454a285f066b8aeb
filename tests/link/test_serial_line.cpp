// The real QSerialPort line on a pseudo-terminal pair: the receive event
// fires once the threshold is buffered, however the bytes are chunked.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QSerialPort>
#include <QSocketNotifier>

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "link/qt_serial_line.h"
#include "support/pty_pair.h"

namespace vq {
namespace {

using Pty = test::PtyPair;

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
    EXPECT_EQ(line.takeAll(), (std::vector<std::uint8_t>{1, 2}));
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

// Stale bytes are dropped wherever they wait when a request is sent: taken
// into the line's buffer by an earlier event, read by Qt but not taken, or
// still in the driver because the event loop has not run since.
TEST(QtSerialLine, DiscardDropsStaleBytesWhereverTheyWait)
{
    struct Case {
        const char* name;
        bool takenIntoBuffer; // a receive event below the threshold gathered them
        bool loopRan;         // the event loop ran after the stale bytes came
    };
    const Case cases[] = {
        {"gathered below the threshold", true, true},
        {"still in the driver", false, false},
    };
    for (const Case& c : cases) {
        Pty pty;
        QtSerialLine line;
        ASSERT_TRUE(line.open(pty.name, 115200));
        int events = 0;
        line.onReceive = [&] { ++events; };
        line.setReceiveThreshold(c.takenIntoBuffer ? 40 : 0); // 0: no event, Qt keeps the bytes
        pty.send({7, 7, 7, 7, 7});
        if (c.loopRan) spin([&] { return false; }, 100);
        // Mixed: one more stale byte that only the driver has.
        pty.send({8});
        line.discardInput();
        line.setReceiveThreshold(3);
        pty.send({1, 2, 3});
        ASSERT_TRUE(spin([&] { return events > 0; }, 1000)) << c.name;
        EXPECT_EQ(line.takeAll(), (std::vector<std::uint8_t>{1, 2, 3})) << c.name;
    }
}

// The device goes away (the peer of the pseudo-terminal closes) and the
// event loop has not noticed yet: the discard before the next request, or
// the write itself, finds it (EIO), closes the line, and the request is not
// reported as sent.
TEST(QtSerialLine, AVanishedDeviceFoundByDiscardOrWriteClosesTheLine)
{
    for (const bool discardFirst : {true, false}) {
        SCOPED_TRACE(discardFirst ? "discard" : "write");
        auto pty = std::make_unique<Pty>();
        QtSerialLine line;
        ASSERT_TRUE(line.open(pty->name, 115200));
        ::close(pty->master);
        pty->master = -1;
        if (discardFirst) {
            line.discardInput();
            EXPECT_FALSE(line.isOpen());
        }
        const std::vector<std::uint8_t> frame = {0x80, 0x03, 0x10, 0x00, 0x00, 0x24, 0x5F, 0x00};
        EXPECT_FALSE(line.write(frame));
        EXPECT_FALSE(line.isOpen());
        EXPECT_TRUE(line.lost());
    }
}

// A reply that reached the driver while the event loop was busy is handed
// over before the next request, not flushed; QSerialPort then finds nothing
// to read, and the line stays open and takes the next reply.
TEST(QtSerialLine, PendingBytesAreTakenFromTheDriverAndTheLineReadsOn)
{
    Pty pty;
    QtSerialLine line;
    ASSERT_TRUE(line.open(pty.name, 115200));
    int events = 0;
    line.onReceive = [&] { ++events; };
    line.setReceiveThreshold(5);
    pty.send({1, 2, 3, 4, 5});
    std::vector<std::uint8_t> got;
    for (int i = 0; i < 5000 && got.size() < 5; ++i) { // no event loop: straight from the driver
        auto b = line.takePending();
        got.insert(got.end(), b.begin(), b.end());
        if (got.size() < 5) ::usleep(1000);
    }
    EXPECT_EQ(got, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    line.discardInput();
    spin([&] { return false; }, 50);
    EXPECT_TRUE(line.isOpen());
    EXPECT_FALSE(line.lost());
    EXPECT_EQ(events, 0);
    pty.send({6, 7, 8, 9, 10});
    ASSERT_TRUE(spin([&] { return events > 0; })) << "the line stopped reading";
    EXPECT_EQ(line.takeAll(), (std::vector<std::uint8_t>{6, 7, 8, 9, 10}));
}

// QSerialPort reads with VMIN and VTIME 0, so a read that finds nothing
// returns 0 and leaves errno as it was; QSerialPort takes that errno for
// the read's error, and an EAGAIN left by any earlier non-blocking call of
// the thread becomes a ResourceError. That happens whenever the event loop
// saw a reply arrive and, in the same pass but before QSerialPort's read,
// the next request's discard dropped it. The device is still there: the
// line stays open and takes the next reply. Once the device has gone, the
// same error closes the line.
TEST(QtSerialLine, AReadThatFindsItsInputDiscardedKeepsTheLineOpen)
{
    struct Line : QtSerialLine {
        using QtSerialLine::serialPort;
    };
    auto pty = std::make_unique<Pty>();
    Line line;
    ASSERT_TRUE(line.open(pty->name, 115200));
    int events = 0;
    line.onReceive = [&] { ++events; };
    line.setReceiveThreshold(3);
    QSocketNotifier* reader = nullptr;
    for (QSocketNotifier* n : line.serialPort().findChildren<QSocketNotifier*>())
        if (n->type() == QSocketNotifier::Read) reader = n;
    ASSERT_NE(reader, nullptr);
    // The event loop has seen the descriptor readable; errno holds an EAGAIN.
    auto readerWakes = [&] {
        errno = EAGAIN;
        QEvent e(QEvent::SockAct);
        QCoreApplication::sendEvent(reader, &e);
    };

    pty->send({9, 9, 9});
    line.discardInput();
    readerWakes();
    EXPECT_TRUE(line.isOpen());
    EXPECT_FALSE(line.lost());
    pty->send({1, 2, 3});
    ASSERT_TRUE(spin([&] { return events > 0; })) << "the line stopped reading";
    EXPECT_EQ(line.takeAll(), (std::vector<std::uint8_t>{1, 2, 3}));

    ::close(pty->master);
    pty->master = -1;
    readerWakes();
    EXPECT_FALSE(line.isOpen());
    EXPECT_TRUE(line.lost());
}

// The line keeps one buffer from reply to reply: what each receive event
// takes must be exactly that reply, whether it is longer or shorter than
// the one before, and over several chunks.
TEST(QtSerialLine, EveryReplyIsTakenWholeAndAlone)
{
    Pty pty;
    QtSerialLine line;
    ASSERT_TRUE(line.open(pty.name, 115200));
    std::vector<std::uint8_t> got;
    int events = 0;
    line.onReceive = [&] {
        ++events;
        got = line.takeAll();
    };
    const std::size_t lengths[] = {77, 8, 300, 5, 77, 77, 1, 150};
    for (std::size_t i = 0; i < std::size(lengths); ++i) {
        std::vector<std::uint8_t> reply(lengths[i]);
        for (std::size_t k = 0; k < reply.size(); ++k) reply[k] = static_cast<std::uint8_t>(i * 31 + k);
        line.discardInput();
        line.setReceiveThreshold(static_cast<int>(reply.size()));
        const int before = events;
        // In two pieces, the second after the loop has run.
        const std::size_t half = reply.size() / 2;
        pty.send(std::vector<std::uint8_t>(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(half)));
        spin([&] { return false; }, 5);
        pty.send(std::vector<std::uint8_t>(reply.begin() + static_cast<std::ptrdiff_t>(half), reply.end()));
        ASSERT_TRUE(spin([&] { return events > before; })) << "reply " << i;
        EXPECT_EQ(got, reply) << "reply " << i;
    }
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
