// What the link reports of each request on the line, the health figures
// made of it, and the traffic log's entries, texts, ring and exports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/frames.h"
#include "link/hex.h"
#include "link/line_health.h"
#include "link/link.h"
#include "link/traffic_log.h"
#include "support/fake_board.h"
#include "telemetry/reply_frames.h"

namespace vq {
namespace {

using test::Bytes;
using test::RecordingPort;
using H = Link::Heard;

struct Watch {
    RecordingPort port;
    Link link{port};
    std::vector<std::string> seen; // "sent 1", "heard 1 Exception 80 83 04 .."

    Watch()
    {
        port.open("/dev/null", 115200);
        port.onReceive = [this] { link.receive(); };
        link.onRequestOnLine = [this](const Request& r, std::span<const std::uint8_t>) {
            seen.push_back("sent " + std::to_string(slotNumber(r.slot)));
        };
        link.onHeard = [this](const Request& r, H h, std::span<const std::uint8_t> b) {
            static const char* const kNames[] = {"Reply", "BadCrc", "OutOfStep", "Exception", "Cut", "Nothing", "Held"};
            seen.push_back("heard " + std::to_string(slotNumber(r.slot)) + " " + kNames[int(h)] +
                           (b.empty() ? "" : " " + bytesToHexText(b)));
        };
    }
};

Bytes statusReply() { return test::readReplyRegs(std::vector<std::uint16_t>(36, 1)); }

TEST(LineWatch, EveryRequestOnTheLineIsSettledOnceWithWhatCameBack)
{
    const Bytes exception = test::withCrc({0x80, 0x83, 0x04});
    Bytes badCrc = statusReply();
    badCrc.back() ^= 0xFF;
    const Bytes whole = statusReply();
    const Bytes cut(whole.begin(), whole.begin() + 20);
    struct Case {
        const char* what;
        std::vector<Bytes> delivered; // receive events (only those reaching the threshold fire)
        std::string heard;
    };
    const Case cases[] = {
        {"good reply", {statusReply()}, "heard 1 Reply " + bytesToHexText(statusReply())},
        {"bad CRC", {badCrc}, "heard 1 BadCrc " + bytesToHexText(badCrc)},
        {"exception reply, shorter than any threshold", {exception}, "heard 1 Exception " + bytesToHexText(exception)},
        {"cut reply", {cut}, "heard 1 Cut " + bytesToHexText(cut)},
        {"nothing", {}, "heard 1 Nothing"},
    };
    for (const Case& c : cases) {
        Watch w;
        w.link.send(slotRow(Slot::ReadStatus), {});
        for (const Bytes& b : c.delivered) w.port.deliver(b);
        w.link.endCycle(); // the wrap settles nothing: the buffer is looked at when the next request goes
        w.link.send(slotRow(Slot::ReadPose), {});
        ASSERT_EQ(w.seen.size(), 3u) << c.what;
        EXPECT_EQ(w.seen[0], "sent 1") << c.what;
        EXPECT_EQ(w.seen[1], c.heard) << c.what;
        EXPECT_EQ(w.seen[2], "sent 6") << c.what;
    }
}

TEST(LineWatch, AReplyTheGuardHoldsBackAfterALostOneIsStillAnAnswer)
{
    Watch w;
    LineHealth h;
    h.opened("x");
    w.link.onRequestOnLine = [&](const Request&, std::span<const std::uint8_t>) { h.sent(0); };
    w.link.onHeard = [&](const Request&, H heard, std::span<const std::uint8_t>) {
        w.seen.push_back(std::to_string(int(heard)));
        h.heard(heard, 5000);
    };
    w.link.send(slotRow(Slot::ReadStatus), {}); // its reply is lost
    w.link.send(slotRow(Slot::ReadPose), {});
    w.port.deliver(test::readReplyRegs(std::vector<std::uint16_t>(36, 2)));
    EXPECT_EQ(w.seen, (std::vector<std::string>{std::to_string(int(H::Nothing)), std::to_string(int(H::Held))}));
    EXPECT_DOUBLE_EQ(*h.figures(5000).lossPercent, 50.0) << "one lost of two: the held reply came";
}

TEST(LineWatch, ARequestOnAClosedPortIsNotOnTheLine)
{
    Watch w;
    w.port.close();
    w.link.send(slotRow(Slot::ReadStatus), {});
    w.link.send(slotRow(Slot::ReadPose), {});
    EXPECT_TRUE(w.seen.empty());
}

TEST(LineHealth, FiguresOverTheLastHundredRequestsAndReplies)
{
    LineHealth h;
    h.opened("/dev/ttyUSB0");
    std::int64_t t = 0;
    // 200 requests, 35 ms apart: every fifth gets no reply, every 50th an
    // exception, one CRC error; round trips 1..10 ms.
    for (int i = 0; i < 200; ++i) {
        h.sent(t);
        const std::int64_t rtt = 1000 * (1 + i % 10);
        if (i % 5 == 4) h.heard(H::Nothing, t + 35'000);
        else if (i % 50 == 0) h.heard(H::Exception, t + rtt);
        else if (i == 101) h.heard(H::BadCrc, t + rtt);
        else h.heard(H::Reply, t + rtt);
        t += 35'000;
    }
    const LineHealth::Figures f = h.figures(t);
    ASSERT_TRUE(f.lossPercent);
    EXPECT_DOUBLE_EQ(*f.lossPercent, 21.0); // 20 timeouts and the CRC error in the last 100; exceptions are answers
    EXPECT_EQ(f.crcErrors, 1u);
    EXPECT_EQ(f.exceptions, 4u);
    // Replies in the last second: of the 28 requests in it, not the 6 lost.
    EXPECT_NEAR(f.repliesPerSecond, 23, 2);
    ASSERT_TRUE(f.roundTripP50Ms && f.roundTripP99Ms);
    EXPECT_GE(*f.roundTripP50Ms, 4.0);
    EXPECT_LE(*f.roundTripP50Ms, 6.0);
    EXPECT_DOUBLE_EQ(*f.roundTripP99Ms, 9.0); // the 10 ms ones all fell on lost requests
    EXPECT_FALSE(h.quiet(t));
}

TEST(LineHealth, StatusTextAndGroundFollowThePortAndTheQuietLine)
{
    test::FakeBoard board;
    LineHealth h;
    h.show(board, false, 0);
    EXPECT_EQ(board.text(Ctl::LinkStatus), "未打开");
    EXPECT_EQ(board.backColour(Ctl::LinkStatus), Colour::windowBackground());

    h.opened("COM3");
    h.sent(0);
    h.heard(H::Reply, 7'000);
    h.show(board, true, 10'000);
    EXPECT_EQ(board.text(Ctl::LinkStatus).rfind("已连接 COM3 · 1 回复/秒 · 丢失 0% · CRC错误 0 · 异常 0 · 往返 p50 7.0 ms p99 7.0 ms", 0), 0u)
        << board.text(Ctl::LinkStatus);

    // Requests go unanswered: down once the first waited kQuietUs, not before.
    for (std::int64_t t = 35'000; t <= 1'000'000; t += 35'000) {
        h.sent(t);
        const bool wasQuiet = h.quiet(t);
        EXPECT_EQ(wasQuiet, t - 35'000 >= LineHealth::kQuietUs) << t;
        h.heard(H::Nothing, t + 34'000);
    }
    h.show(board, true, 1'000'000);
    EXPECT_EQ(board.text(Ctl::LinkStatus).rfind("通讯中断 COM3", 0), 0u);
    EXPECT_EQ(board.backColour(Ctl::LinkStatus), kLineDownGround);

    h.sent(1'035'000);
    h.heard(H::Reply, 1'040'000);
    h.show(board, true, 1'040'000);
    EXPECT_EQ(board.text(Ctl::LinkStatus).rfind("已连接 COM3", 0), 0u);
    h.show(board, false, 1'050'000); // the device went away
    EXPECT_EQ(board.text(Ctl::LinkStatus).rfind("通讯中断 COM3", 0), 0u);
}

Bytes jointTargetFrame()
{
    Bytes data;
    for (float f : {10.0f, -90.0f, 0.25f, 0.0f, 45.5f, 0.0f}) test::appendFloat(data, f);
    return writeRequest(0x80, 0x11B0, 6, data);
}

Request requestOf(Slot slot)
{
    const SlotRow& row = slotRow(slot);
    return {slot, row.function, row.start, row.amount, row.replyLength()};
}

TEST(TrafficLog, EntriesReadInTheOperatorsTerms)
{
    TrafficLog log;
    const Bytes status = readRequest(0x80, 0x1000, 36);
    log.addRequest(requestOf(Slot::ReadStatus), status, 0);
    log.addHeard(requestOf(Slot::ReadStatus), H::Reply, statusReply(), 1);
    log.addRequest(requestOf(Slot::JointTarget), jointTargetFrame(), 2);
    log.addHeard(requestOf(Slot::JointTarget), H::Reply, test::withCrc({0x80, 0x10, 0x11, 0xB0, 0x00, 0x06}), 3);
    log.addRequest(requestOf(Slot::AxisPower1), writeRequest(0x80, 0x1012, 1, Bytes{0x00, 0x02}), 3);
    log.addRequest(requestOf(Slot::AxisPowerAll), writeRequest(0x80, 0x1010, 6, Bytes{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}), 3);
    log.addHeard(requestOf(Slot::ReadPose), H::Exception, test::withCrc({0x80, 0x83, 0x04}), 4);
    log.addHeard(requestOf(Slot::ReadPose), H::BadCrc, {}, 5);
    log.addHeard(requestOf(Slot::ReadPose), H::Nothing, {}, 6);
    log.addHeard(requestOf(Slot::ReadPose), H::Cut, Bytes{0x80, 0x03}, 7);
    const std::vector<std::string> meanings = {
        "读 状态块",
        "回复 状态块",
        "写 关节目标 J1=10.0 J2=-90.0 J3=0.25 J4=0.0 J5=45.5 J6=0.0",
        "确认 写 关节目标",
        "写 伺服 1轴 关", // slot 81 is axis 1 whatever register the test frame names
        "写 全部伺服 1轴=开 2轴=开 3轴=开 4轴=开 5轴=开 6轴=开",
        "异常 04 从站设备故障",
        "回复 CRC 错误",
        "超时",
        "回复不完整",
    };
    ASSERT_EQ(log.endSeq() - log.firstSeq(), meanings.size());
    for (std::size_t i = 0; i < meanings.size(); ++i) EXPECT_EQ(trafficMeaning(*log.find(i)), meanings[i]) << i;
    EXPECT_EQ(trafficDirection(*log.find(0)), "发送");
    EXPECT_EQ(trafficDirection(*log.find(1)), "接收");
    EXPECT_EQ(trafficHex(*log.find(0)), bytesToHexText(status));
    EXPECT_EQ(trafficTime(*log.find(0)).size(), 12u); // HH:MM:SS.mmm
    EXPECT_EQ(exceptionMeaning(0x02), "非法数据地址");
    EXPECT_EQ(exceptionMeaning(0x42), "");
}

TEST(TrafficLog, RingKeepsTheLastTenThousandAndPauseFilterClearWork)
{
    TrafficLog log;
    const Bytes frame = readRequest(0x80, 0x1000, 36);
    for (std::int64_t i = 0; i < 10'050; ++i) log.addRequest(requestOf(Slot::ReadStatus), frame, i);
    EXPECT_EQ(log.endSeq() - log.firstSeq(), TrafficLog::kCapacity);
    EXPECT_EQ(log.firstSeq(), 50u);
    EXPECT_EQ(log.find(49), nullptr);
    EXPECT_EQ(log.find(50)->timeUs, 50);
    EXPECT_EQ(log.find(10'049)->timeUs, 10'049);

    log.paused = true;
    log.addRequest(requestOf(Slot::ReadStatus), frame, 0);
    EXPECT_EQ(log.endSeq(), 10'050u);
    log.paused = false;

    const auto version = log.version();
    log.clear();
    EXPECT_EQ(log.firstSeq(), log.endSeq());
    EXPECT_NE(log.version(), version);

    log.addRequest(requestOf(Slot::ReadStatus), frame, 0);
    log.addRequest(requestOf(Slot::JointTarget), jointTargetFrame(), 0);
    log.addHeard(requestOf(Slot::JointTarget), H::Nothing, {}, 0);
    struct Filter {
        bool reads, writes, errors;
        int lines;
    };
    for (const Filter f : {Filter{true, true, true, 3}, Filter{true, false, false, 1}, Filter{false, true, false, 1},
                           Filter{false, false, true, 1}, Filter{false, false, false, 0}}) {
        log.setShown(TrafficKind::Read, f.reads);
        log.setShown(TrafficKind::Write, f.writes);
        log.setShown(TrafficKind::Error, f.errors);
        const std::string text = log.exportText();
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), f.lines);
        const std::string csv = log.exportCsv();
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), f.lines + 1);
    }
}

TEST(TrafficLog, ExportsAreTabSeparatedLinesAndQuotedCsv)
{
    TrafficLog log;
    log.addRequest(requestOf(Slot::JointTarget), jointTargetFrame(), 1'700'000'000'123'000);
    const std::string text = log.exportText();
    EXPECT_NE(text.find(".123\t发送\t80 10 11 B0 00 06 18 00 00 20 41"), std::string::npos) << text;
    EXPECT_NE(text.find("\t写 关节目标 J1=10.0 J2=-90.0"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const std::string csv = log.exportCsv();
    EXPECT_EQ(csv.rfind("时间,方向,报文,解读\r\n", 0), 0u);
    EXPECT_NE(csv.find(",\"发送\",\"80 10 11 B0"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"写 关节目标 J1=10.0 J2=-90.0 J3=0.25 J4=0.0 J5=45.5 J6=0.0\"\r\n"), std::string::npos) << csv;
}

} // namespace
} // namespace vq
