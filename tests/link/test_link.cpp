// The link on a recording port: what a request does to the port, which
// reply is matched to which request, and the late-reply guard.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "link/frames.h"
#include "link/hex.h"
#include "link/link.h"
#include "link/mailbox.h"
#include "support/fake_board.h"
#include "telemetry/reply_frames.h"

namespace vq {
namespace {

using test::Bytes;
using test::RecordingPort;

struct LinkRig {
    RecordingPort port;
    Link link{port};
    std::vector<std::string> sent;     // onFrameSent
    std::vector<std::string> accepted; // onFrameAccepted
    std::vector<std::string> replies;  // onReply: "slot block R|W data"

    LinkRig()
    {
        port.open("/dev/null", 115200);
        link.onFrameSent = [this](std::span<const std::uint8_t> f) { sent.push_back(bytesToHexText(f)); };
        link.onFrameAccepted = [this](std::span<const std::uint8_t> f) { accepted.push_back(bytesToHexText(f)); };
        link.onReply = [this](const Reply& r) {
            replies.push_back(std::to_string(slotNumber(r.request.slot)) + " " + wordToHex(r.block) + (r.isRead ? " R " : " W ") +
                              bytesToHexText(r.data));
        };
    }
    void send(Slot slot, const Bytes& data = {}) { link.send(slotRow(slot), data); }
    // One receive event with this buffer; whether the reply was decoded.
    bool arrive(const Bytes& bytes)
    {
        const std::size_t before = replies.size();
        port.input = bytes;
        link.receive();
        return replies.size() > before;
    }
};

Bytes statusReply() { return test::readReplyRegs(std::vector<std::uint16_t>(36, 1)); }
Bytes poseReply() { return test::readReplyRegs(std::vector<std::uint16_t>(36, 2)); }

TEST(Link, RequestShowsFrameDiscardsInputSetsThresholdAndWrites)
{
    LinkRig r;
    r.link.settings.slave = 128;
    r.port.input = {1, 2, 3};
    r.send(Slot::ReadStatus);
    EXPECT_TRUE(r.port.input.empty()) << "unread input is discarded before a send";
    ASSERT_EQ(r.port.writes.size(), 1u);
    EXPECT_EQ(bytesToHexText(r.port.writes[0]), "80 03 10 00 00 24 5F 00");
    EXPECT_EQ(r.sent, std::vector<std::string>{"80 03 10 00 00 24 5F 00"});
    EXPECT_EQ(r.port.threshold, 77);
    EXPECT_EQ(r.link.state(), Link::State::AwaitingReply);
    EXPECT_EQ(r.link.current().start, 0x1000);
    EXPECT_EQ(r.link.current().replyLength, 77);
}

TEST(Link, ClosedPortShowsTheFrameWritesNothingAndAwaitsNothing)
{
    LinkRig r;
    r.port.close();
    r.send(Slot::ControlMode, wordData(1));
    EXPECT_TRUE(r.port.writes.empty());
    EXPECT_EQ(r.sent, std::vector<std::string>{"80 10 10 01 00 01 02 00 01 1B D6"});
    EXPECT_EQ(r.port.threshold, 8);
    EXPECT_EQ(r.link.state(), Link::State::Idle);
    EXPECT_FALSE(r.arrive(test::writeAck(0x1001, 1)));
    r.link.sendNow(slotRow(Slot::Jog), wordData(0));
    EXPECT_EQ(r.sent.size(), 1u) << "sendNow on a closed port builds nothing";
}

TEST(Link, SendNowWritesWithoutAwaitingAReply)
{
    LinkRig r;
    r.send(Slot::ReadStatus);
    r.link.sendNow(slotRow(Slot::Jog), wordData(0));
    EXPECT_EQ(bytesToHexText(r.port.writes.back()).substr(0, 26), "80 10 10 04 00 01 02 00 00");
    EXPECT_EQ(r.link.current().slot, Slot::ReadStatus);
    EXPECT_EQ(r.link.state(), Link::State::AwaitingReply);
}

// Which reply is passed on for which request: every frame has the
// request's reply length and a good CRC.
TEST(Link, Matching)
{
    const Bytes six = test::floatBytes({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f});
    struct Case {
        const char* what;
        Slot slot;
        Bytes reply;
        bool shown;
        const char* decoded; // nullptr: not passed on
    };
    const Case cases[] = {
        {"read reply", Slot::ReadMotorEncoder, test::readReply(six), true,
         "30 11 30 R 00 00 80 3F 00 00 00 40 00 00 40 40 00 00 80 40 00 00 A0 40 00 00 C0 40"},
        {"byte count short of the data", Slot::ReadMotorEncoder, test::readReplyClaiming(5, six), true,
         "30 11 30 R 00 00 80 3F 00"},
        {"byte count past the data stops at the CRC", Slot::ReadMotorEncoder, test::readReplyClaiming(0xFF, six), true,
         "30 11 30 R 00 00 80 3F 00 00 00 40 00 00 40 40 00 00 80 40 00 00 A0 40 00 00 C0 40"},
        {"write acknowledgement", Slot::StorePidGains, test::writeAck(0x10B0, 6), true, "131 10 B0 W 00 06"},
        {"acknowledgement of another register", Slot::StorePidGains, test::writeAck(0x1100, 1), true, nullptr},
        {"read reply to a write", Slot::StorePidGains, test::readReply({0x00, 0x01, 0x02}), true, nullptr},
        {"exception function", Slot::StorePidGains, test::withCrc({0x80, 0x90, 0x02, 0x00, 0x00, 0x00}), true, nullptr},
        {"unknown function for a read", Slot::ReadMotorEncoder, test::withCrc(test::concat({0x80, 0x04, 0x18}, six)), true,
         nullptr},
        {"bad CRC", Slot::StorePidGains, {0x80, 0x10, 0x10, 0xB0, 0x00, 0x06, 0x00, 0x00}, false, nullptr},
        {"acknowledgement while a read waits", Slot::ReadMotorEncoder, test::writeAck(0x1130, 6), false, nullptr},
    };
    for (const auto& c : cases) {
        LinkRig r;
        r.send(c.slot);
        r.arrive(c.reply);
        EXPECT_EQ(r.accepted, c.shown ? std::vector<std::string>{bytesToHexText(c.reply)} : std::vector<std::string>{}) << c.what;
        EXPECT_EQ(r.replies, c.decoded ? std::vector<std::string>{c.decoded} : std::vector<std::string>{}) << c.what;
        EXPECT_EQ(r.link.repliesAccepted(), c.shown ? 1u : 0u) << c.what;
    }
}

// Modbus RTU replies carry no transaction number, so a reply that comes
// after the next poll event could be taken for the answer to the request
// that event sent. Each scenario is a run of poll events and receive
// events, with whether each reply is decoded.
TEST(Link, LateReplyGuard)
{
    enum class Op { Send, End, Reply, Close, Open };
    struct Step {
        Op op;
        Slot slot = Slot::ReadStatus; // Send
        Bytes reply = {};             // Reply
        bool decoded = false;
    };
    const Step status{Op::Send, Slot::ReadStatus};
    const Step pose{Op::Send, Slot::ReadPose};
    const Step pid{Op::Send, Slot::ReadPidGains};
    const Step end{Op::End};
    const Step close{Op::Close};
    const Step open{Op::Open};
    const auto reply = [](Bytes b, bool decoded) { return Step{Op::Reply, Slot::ReadStatus, std::move(b), decoded}; };

    struct Scenario { const char* what; std::vector<Step> steps; };
    const Scenario scenarios[] = {
        {"healthy line",
         {status, reply(statusReply(), true), pose, reply(poseReply(), true), end, status, reply(statusReply(), true)}},
        {"a status reply in the PID period; then two in the held pose period; trusted after one clean cycle",
         {status, pose, pid, reply(statusReply(), false), end, status, reply(statusReply(), false), pose,
          reply(statusReply(), false), reply(poseReply(), false), end, status, reply(statusReply(), false), pose,
          reply(poseReply(), false), end, status, reply(statusReply(), true), pose, reply(poseReply(), true)}},
        {"a reply of another length holds the rest of its cycle and the next",
         {status, pose, pid, reply(statusReply(), false), end, status, reply(statusReply(), false), pose,
          reply(poseReply(), false), end, status, reply(statusReply(), true)}},
        {"a second reply in one period",
         {end, status, reply(statusReply(), true), pose, reply(poseReply(), true), reply(poseReply(), false), end, status,
          reply(statusReply(), false), end, status, reply(statusReply(), true)}},
        {"the request before had no reply: this reply may be that one",
         {end, status, pose, reply(poseReply(), false), end, status, reply(statusReply(), true)}},
        {"on a line late lately, each reply of the next cycle may be one request late as well",
         {end, reply(statusReply(), false), status, reply(statusReply(), false), pose, reply(poseReply(), false), end,
          status, reply(statusReply(), false), pose, reply(poseReply(), false), end, status, reply(statusReply(), true),
          pose, reply(poseReply(), true), end, status, pose, reply(statusReply(), false), end, status,
          reply(poseReply(), false), pose, reply(statusReply(), false), end, status, reply(statusReply(), true)}},
        {"a reply in the event that sent nothing",
         {end, status, reply(statusReply(), true), end, reply(statusReply(), false), status, reply(statusReply(), false), end,
          status, reply(statusReply(), false), end, status, reply(statusReply(), true)}},
        {"a period on a closed port is no unanswered request",
         {status, reply(statusReply(), true), close, pose, open, status, reply(statusReply(), true)}},
        {"the status reply repeated 40 ms late while the pose reply is lost: not taken for the pose",
         {status, reply(statusReply(), true), pose, reply(statusReply(), false), end, status, reply(statusReply(), true), pose,
          reply(poseReply(), true)}},
        {"the same reply again for the same request is no repeat of another",
         {status, reply(statusReply(), true), pose, reply(poseReply(), true), end, status, reply(statusReply(), true)}},
        {"nor does it answer the one before",
         {status, close, pose, open, status, reply(statusReply(), false), pose, reply(poseReply(), true)}},
    };
    for (const auto& s : scenarios) {
        LinkRig r;
        for (std::size_t i = 0; i < s.steps.size(); ++i) {
            const Step& step = s.steps[i];
            if (step.op == Op::Send) r.send(step.slot);
            else if (step.op == Op::End) r.link.endCycle();
            else if (step.op == Op::Close) r.port.close();
            else if (step.op == Op::Open) r.port.open("/dev/null", 115200);
            else EXPECT_EQ(r.arrive(step.reply), step.decoded) << s.what << ", step " << i;
        }
    }
}

// Bytes that arrived while the event loop was busy, without their receive
// event, are the answer of the period they came in: taken before the next
// request, not discarded unseen.
TEST(Link, WhatArrivedUnreportedIsTakenBeforeTheNextRequest)
{
    struct Case {
        const char* what;
        Bytes waiting;
        bool statusDecoded;
        bool poseDecoded; // the pose reply after it
    };
    const Bytes status = statusReply(), pose = poseReply();
    const Case cases[] = {
        {"the whole reply", status, true, true},
        {"part of it, no receive event: dropped, and the pose reply may be its rest", Bytes(40, 0x11), false, false},
        {"a reply and stray bytes after it: no reply, no sign of lateness", test::concat(status, Bytes(6, 0x11)), false, true},
        {"a reply and 00 00, which the CRC over the buffer lets through", test::concat(status, Bytes(2, 0x00)), false, true},
        {"a reply and the start of another: the first may be a late one",
         test::concat(status, Bytes(pose.begin(), pose.begin() + 20)), false, false},
        {"a reply that fails its CRC and bytes after it", test::concat(Bytes(status.begin(), status.end() - 1), Bytes(7, 0x11)),
         false, false},
    };
    for (const Case& c : cases) {
        LinkRig r;
        r.send(Slot::ReadStatus);
        r.port.input = c.waiting; // no receive event yet
        r.send(Slot::ReadPose);
        EXPECT_EQ(!r.replies.empty() && r.replies[0].rfind("1 10 00 R", 0) == 0, c.statusDecoded) << c.what;
        const std::size_t before = r.replies.size();
        EXPECT_EQ(r.arrive(poseReply()), c.poseDecoded) << c.what;
        EXPECT_EQ(r.replies.size(), before + (c.poseDecoded ? 1 : 0)) << c.what;
    }
}

TEST(Link, UnwrittenRequestsAreCountedAndReported)
{
    LinkRig r;
    std::vector<int> unsent;
    r.link.onUnsent = [&](const Request& q) { unsent.push_back(slotNumber(q.slot)); };
    r.send(Slot::ReadStatus);
    r.port.close();
    r.send(Slot::AlarmClear, sixWords(kSwitchOn));
    r.send(axisSlot(Slot::AxisPower1, 3), wordData(kSwitchOff));
    r.link.sendNow(slotRow(Slot::Jog), wordData(0));
    r.port.open("/dev/null", 115200);
    r.send(Slot::ReadPose);
    EXPECT_EQ(unsent, (std::vector<int>{91, 83}));
    EXPECT_EQ(r.link.requestsUnsent(), 2u);
}

// A request and its reply hold the line for their bytes at ten bits each,
// then 3.5 characters of silence; no request is written before.
TEST(Link, NextRequestWaitsForTheLine)
{
    using namespace std::chrono;
    EXPECT_EQ(Link::lineTime(8, 77, 115200), nanoseconds(7'682'291)); // 6.7 ms reply + 0.7 request + 0.3 silence
    EXPECT_EQ(Link::lineTime(11, 8, 115200), nanoseconds(1'953'125));
    EXPECT_EQ(Link::lineTime(8, 77, 9600), nanoseconds(92'187'500));
    EXPECT_EQ(Link::lineTime(8, 77, 0), nanoseconds(0));

    LinkRig r;
    nanoseconds now{1'000'000'000};
    EXPECT_TRUE(r.link.clearToSend()) << "without a clock the line is always free";
    r.link.clock = [&] { return now; };
    EXPECT_TRUE(r.link.clearToSend());
    r.send(Slot::ReadStatus);
    now += nanoseconds(7'682'290);
    EXPECT_FALSE(r.link.clearToSend());
    EXPECT_TRUE(r.arrive(statusReply())) << "an early reply does not free the line before its time";
    EXPECT_FALSE(r.link.clearToSend());
    now += nanoseconds(1);
    EXPECT_TRUE(r.link.clearToSend());
    // A reply that has not come is waited for a while longer, then given up.
    r.send(Slot::ReadPose);
    now += nanoseconds(7'682'291) + r.link.settings.replyGrace - nanoseconds(1);
    EXPECT_FALSE(r.link.clearToSend()) << "the reply may still come";
    now += nanoseconds(1);
    EXPECT_TRUE(r.link.clearToSend()) << "given up";
    // A reply that came after the usual wait (not decoded here: the pose
    // request before had none): the next ones are waited for longer.
    r.send(Slot::ReadStatus);
    now += nanoseconds(7'682'291) + r.link.settings.replyGrace + milliseconds(10);
    r.arrive(statusReply());
    r.send(Slot::ReadPose);
    now += nanoseconds(7'682'291) + r.link.settings.slowReplyGrace - nanoseconds(1);
    EXPECT_FALSE(r.link.clearToSend()) << "a slow controller's reply may still come";
    now += nanoseconds(1);
    EXPECT_TRUE(r.link.clearToSend());
    r.port.close();
    r.send(Slot::AlarmClear, sixWords(kSwitchOn));
    EXPECT_TRUE(r.link.clearToSend()) << "a request that did not leave holds nothing";
}

// A reply whole sooner after its request than the line carries both is
// another request's late reply, once the line was late lately; before that
// it is a simulator on a pseudo-terminal answering at once.
TEST(Link, ReplySoonerThanTheLineAllowsIsLateOnALateLine)
{
    using namespace std::chrono;
    LinkRig r;
    nanoseconds now{1'000'000'000};
    r.link.clock = [&] { return now; };
    const auto cycle = [&](nanoseconds replyAfter) {
        r.link.endCycle();
        r.send(Slot::ReadStatus);
        now += replyAfter;
        const bool decoded = r.arrive(statusReply());
        now += milliseconds(35);
        return decoded;
    };
    EXPECT_TRUE(cycle(microseconds(100))) << "no lateness yet";
    r.link.endCycle();
    EXPECT_FALSE(r.arrive(statusReply())) << "a reply in an event that sent nothing is late";
    EXPECT_FALSE(cycle(milliseconds(8)));
    EXPECT_TRUE(cycle(milliseconds(8))) << "in step again";
    EXPECT_FALSE(cycle(milliseconds(1))) << "1 ms after the request: not its reply";
    EXPECT_FALSE(cycle(milliseconds(8))) << "and the next cycle is distrusted";
    EXPECT_TRUE(cycle(microseconds(6'500))) << "6.5 ms: within the slack of the 7.4 ms line time";
    // A reply not trusted does not free the line: the request's own may
    // still come, and then lands in its own period as a second reply.
    r.link.endCycle();
    r.send(Slot::ReadStatus);
    const nanoseconds sent = now;
    now += milliseconds(1);
    EXPECT_FALSE(r.arrive(statusReply()));
    now = sent + milliseconds(40);
    EXPECT_FALSE(r.link.clearToSend()) << "the request's own reply may still come";
    EXPECT_FALSE(r.arrive(statusReply())) << "a second reply in the period";
    now = sent + nanoseconds(7'682'291) + r.link.settings.slowReplyGrace;
    EXPECT_TRUE(r.link.clearToSend());
}

} // namespace
} // namespace vq
