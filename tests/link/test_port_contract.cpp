// What every Port must do, held against the real line (QtSerialLine on a
// pseudo-terminal) and the recording port the core tests drive. Each is
// reached through a peer: the far end of the line, which delivers replies
// and reads what was written, and which returns from a delivery only once
// the port has been handed the bytes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <unistd.h>

#include <string>
#include <type_traits>
#include <vector>

#include "link/qt_serial_line.h"
#include "support/fake_board.h"
#include "support/pty_pair.h"

namespace vq {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <class P> bool until(P pred, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return pred();
}

struct RecordingPeer {
    test::RecordingPort port;
    RecordingPeer() { port.openable = {device()}; }
    static std::string device() { return "/dev/ttyVQ0"; }
    void deliver(const Bytes& b) { port.deliver(b); }
    Bytes written(std::size_t) // all that was written so far
    {
        Bytes out;
        for (const Bytes& w : port.writes) out.insert(out.end(), w.begin(), w.end());
        port.writes.clear();
        return out;
    }
};

struct SerialLinePeer {
    struct Line : QtSerialLine {
        using QtSerialLine::serialPort;
    };
    test::PtyPair pty; // outlives the port, which is destroyed first
    Line port;
    int reads = 0; // readyRead signals, counted after the line has handled each

    SerialLinePeer()
    {
        QObject::connect(&port.serialPort(), &QSerialPort::readyRead, [this] { ++reads; });
    }
    ~SerialLinePeer() { port.close(); }
    std::string device() const { return pty.name; }
    void deliver(const Bytes& b)
    {
        const int before = reads;
        ASSERT_EQ(::write(pty.master, b.data(), b.size()), static_cast<ssize_t>(b.size()));
        ASSERT_TRUE(until([&] { return reads > before; })) << "the line never read " << b.size() << " bytes";
    }
    Bytes written(std::size_t atLeast) // waits for that many bytes, then takes what has come
    {
        Bytes out;
        until([&] {
            std::uint8_t buf[1024];
            for (ssize_t n; (n = ::read(pty.master, buf, sizeof buf)) > 0;) out.insert(out.end(), buf, buf + n);
            return out.size() >= atLeast;
        });
        return out;
    }
};

template <class Peer> class PortContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(peer.device().empty());
        ASSERT_TRUE(port.open(peer.device(), 115200));
        port.onReceive = [this] { ++events; };
    }
    Peer peer;
    Port& port = peer.port;
    int events = 0;
};

struct PeerNames {
    template <class T> static std::string GetName(int)
    {
        return std::is_same_v<T, RecordingPeer> ? "RecordingPort" : "QtSerialLine";
    }
};
using Peers = ::testing::Types<RecordingPeer, SerialLinePeer>;
TYPED_TEST_SUITE(PortContract, Peers, PeerNames);

TYPED_TEST(PortContract, OpensClosesAndStaysClosedOnADeviceThatCannotOpen)
{
    Port& port = this->port;
    const Bytes frame = {0x80, 0x03, 0x10, 0x00};
    EXPECT_TRUE(port.isOpen());
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.write(frame)) << "a closed port writes";
    EXPECT_TRUE(this->peer.written(0).empty());
    ASSERT_TRUE(port.open(this->peer.device(), 115200));
    EXPECT_TRUE(port.isOpen());
    ASSERT_TRUE(port.write(frame));
    EXPECT_EQ(this->peer.written(frame.size()), frame) << "the reopened port does not reach the peer";
    EXPECT_FALSE(port.open("/nonexistent/ttyVQ9", 115200));
    EXPECT_FALSE(port.isOpen()) << "a failed open leaves the port open";
    EXPECT_FALSE(port.write(frame));
    EXPECT_TRUE(this->peer.written(0).empty());
}

TYPED_TEST(PortContract, PeerReceivesExactlyWhatIsWritten)
{
    Bytes every(256);
    for (std::size_t i = 0; i < every.size(); ++i) every[i] = static_cast<std::uint8_t>(255 - i);
    const Bytes cases[] = {{0x00}, {0xFF}, {0x00, 0xFF, 0x00, 0x0A, 0x0D}, {0x80, 0x03, 0x10, 0x00, 0x00, 0x24, 0x5F, 0x00}, every};
    for (const Bytes& c : cases) {
        ASSERT_TRUE(this->port.write(c)) << c.size() << " bytes";
        EXPECT_EQ(this->peer.written(c.size()), c) << c.size() << " bytes";
    }
}

// The receive event fires when the threshold is reached, however the reply
// is chunked, and not before; takeAll then hands the reply over once.
TYPED_TEST(PortContract, ReceiveFiresAtTheThresholdAndTakeAllHandsOverOnce)
{
    struct Case {
        int threshold;
        std::vector<std::size_t> chunks;
    };
    const Case cases[] = {{1, {1}}, {8, {8}}, {8, {1, 1, 1, 1, 1, 1, 1, 1}}, {12, {5, 7}}, {77, {76, 1}}};
    for (const Case& c : cases) {
        this->port.discardInput();
        this->port.setReceiveThreshold(c.threshold);
        const int before = this->events;
        Bytes reply;
        std::size_t sent = 0;
        for (std::size_t n : c.chunks) {
            EXPECT_EQ(this->events, before) << "fired at " << sent << " of " << c.threshold << " bytes";
            Bytes chunk(n);
            for (auto& b : chunk) { // 00, FF, 4A, FF, ...
                b = static_cast<std::uint8_t>(sent % 2 ? 0xFF : sent * 37);
                ++sent;
            }
            reply.insert(reply.end(), chunk.begin(), chunk.end());
            this->peer.deliver(chunk);
        }
        ASSERT_TRUE(until([&] { return this->events > before; })) << "threshold " << c.threshold;
        const Bytes taken = this->port.takeAll();
        const Bytes second = this->port.takeAll();
        EXPECT_EQ(this->events, before + 1) << "threshold " << c.threshold;
        EXPECT_EQ(taken, reply) << "threshold " << c.threshold;
        EXPECT_TRUE(second.empty()) << "threshold " << c.threshold;
    }
}

// Stale bytes, whether they reached the threshold of their own (and the
// owner left them) or not, are gone after discardInput.
TYPED_TEST(PortContract, DiscardDropsWhatWasReceivedAndNotTaken)
{
    struct Case {
        int staleThreshold;
        std::size_t stale;
    };
    for (const Case c : {Case{40, 3}, Case{4, 6}, Case{1, 1}}) {
        this->port.setReceiveThreshold(c.staleThreshold);
        this->peer.deliver(Bytes(c.stale, 0x99));
        this->port.discardInput();
        this->port.setReceiveThreshold(3);
        const int before = this->events;
        this->peer.deliver({0x01, 0x00, 0xFF});
        ASSERT_TRUE(until([&] { return this->events > before; })) << c.stale << " stale bytes";
        EXPECT_EQ(this->port.takeAll(), (Bytes{0x01, 0x00, 0xFF})) << c.stale << " stale bytes";
    }
}

// Each request sets the threshold for its own reply: a longer reply must
// not fire at the last one's length, a shorter one must fire at its own.
TYPED_TEST(PortContract, ThresholdSetBetweenRequestsAppliesToTheNextReply)
{
    for (int n : {8, 3, 12, 1, 5}) {
        this->port.discardInput();
        this->port.setReceiveThreshold(n);
        ASSERT_TRUE(this->port.write(Bytes{0x80, 0x03, static_cast<std::uint8_t>(n)}));
        const int before = this->events;
        const Bytes reply(static_cast<std::size_t>(n), static_cast<std::uint8_t>(n));
        if (n > 1) this->peer.deliver(Bytes(reply.begin(), reply.end() - 1));
        EXPECT_EQ(this->events, before) << "threshold " << n << " fired one byte short";
        this->peer.deliver({reply.back()});
        ASSERT_TRUE(until([&] { return this->events > before; })) << "threshold " << n;
        EXPECT_EQ(this->port.takeAll(), reply) << "threshold " << n;
    }
}

} // namespace
} // namespace vq
