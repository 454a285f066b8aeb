#include <gtest/gtest.h>

#include <set>

#include "link/hex.h"
#include "link/scheduler.h"
#include "support/fake_board.h"

namespace vq {
namespace {

using test::FakeBoard;
using test::RecordingPort;

struct Rig {
    FakeBoard board;
    RecordingPort port;
    FormState state;
    RequestSender sender{port, board, state};
    PollScheduler scheduler{state, board, sender};

    Rig()
    {
        port.open("/dev/null", 115200);
        board.setText(Ctl::SlaveAddress, kNoIndex, "128");
    }
    // One timer event; returns the hex text sent, or "" for none.
    std::string event()
    {
        std::size_t before = port.writes.size();
        scheduler.pollTick();
        return port.writes.size() > before ? bytesToHexText(port.writes.back()) : std::string();
    }
    // Start address and function of what one event sent ("03 10 00").
    std::string eventHead()
    {
        std::string s = event();
        return s.empty() ? "-" : s.substr(3, 8);
    }
};

TEST(SlotTable, AscendingUniqueAndWellFormed)
{
    std::set<int> seen;
    int last = 0;
    for (const auto& row : slotTable()) {
        EXPECT_GT(row.slot, last);
        last = row.slot;
        EXPECT_TRUE(seen.insert(row.slot).second);
        EXPECT_EQ(hexTextToBytes(row.start).size(), 2u) << row.slot;
        if (row.kind == SlotRow::Kind::Write && row.source == SlotRow::Source::Payload) { EXPECT_NE(row.payload, nullptr); }
    }
    EXPECT_EQ(slotTable().size(), 57u);
}

TEST(Scheduler, IdleCycleReadsStatusThenPoseThenWraps)
{
    Rig r;
    r.board.setValue(Ctl::StatusReadSwitch, kNoIndex, 1);
    r.board.setValue(Ctl::PoseReadSwitch, kNoIndex, 1);
    for (int cycle = 0; cycle < 3; ++cycle) {
        EXPECT_EQ(r.event(), "80 03 10 00 00 24 5F 00");
        EXPECT_EQ(r.eventHead(), "03 11 70");
        EXPECT_EQ(r.event(), "");
        EXPECT_EQ(r.state.pollTick, 0);
    }
}

TEST(Scheduler, BothReadsOffEveryEventWrapsWithoutSending)
{
    Rig r;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(r.event(), "");
        EXPECT_EQ(r.state.pollTick, 0);
    }
}

TEST(Scheduler, FirstCycleAfterStartupOrder)
{
    Rig r;
    r.board.setValue(Ctl::StatusReadSwitch, kNoIndex, 1);
    r.board.setValue(Ctl::PoseReadSwitch, kNoIndex, 1);
    for (int s : {9, 10, 20, 30, 40, 50, 60, 89, 92}) r.state.raise(s);
    const char* expected[] = {"03 10 00", "03 11 70", "03 10 50", "03 11 10", "03 11 20", "03 11 30",
                              "03 11 40", "03 11 50", "03 11 60", "03 11 A6", "03 11 A0", "-",
                              "03 10 00", "03 11 70", "-"};
    for (const char* e : expected) EXPECT_EQ(r.eventHead(), e);
}

TEST(Scheduler, EveryWriteSlotSendsItsPayloadWithItsQuantity)
{
    for (const auto& row : slotTable()) {
        if (row.kind != SlotRow::Kind::Write) continue;
        Rig r;
        if (row.source == SlotRow::Source::BoxWord) {
            r.board.setText(Ctl::PidKp, row.boxIndex, "300");
            r.board.setText(Ctl::PidKi, row.boxIndex, "300");
            r.board.setText(Ctl::PidKd, row.boxIndex, "300");
        }
        std::string payload = "00 07";
        if (row.source == SlotRow::Source::Payload) r.state.*(row.payload) = payload;
        if (row.source == SlotRow::Source::BoxWord) payload = "01 2C";
        if (row.source == SlotRow::Source::Constant) payload = "00 01";
        r.state.raise(row.slot);
        std::string sent = r.event();
        std::string expectHead = std::string("80 10 ") + row.start + " " + wordToHex(std::string_view(row.amount)) + " 02 " + payload;
        EXPECT_EQ(sent.substr(0, expectHead.size()), expectHead) << "slot " << row.slot;
        EXPECT_EQ(r.state.pollTick, row.slot);
        EXPECT_EQ(r.state.slotPending[static_cast<std::size_t>(row.slot)], row.keepFlag ? 1 : 0) << row.slot;
        if (row.followUp) { EXPECT_EQ(r.state.slotPending[static_cast<std::size_t>(row.followUp)], 1); }
        EXPECT_EQ(r.port.threshold, 8);
    }
}

TEST(Scheduler, LowerSlotGoesFirst)
{
    Rig r;
    r.state.jointTargetData = "00 00 80 3F";
    r.state.arcTargetData = "00 00 00 40";
    r.state.raise(196);
    r.state.raise(193);
    EXPECT_EQ(r.eventHead(), "10 11 B0");
    EXPECT_EQ(r.eventHead(), "10 11 E0");
}

TEST(Scheduler, FlagBehindTheCounterIsServedNextCycle)
{
    Rig r;
    r.state.raise(50);
    EXPECT_EQ(r.eventHead(), "03 11 50");
    r.state.raise(20);
    r.state.raise(30);
    // Counter at 50: both wait for the wrap.
    EXPECT_EQ(r.eventHead(), "-");
    EXPECT_EQ(r.eventHead(), "03 11 20");
    EXPECT_EQ(r.eventHead(), "03 11 30");
}

TEST(Scheduler, TabTwoAtTick25ReadsSlot30NowAndSlot20NextCycle)
{
    Rig r;
    r.state.pollTick = 25;
    r.state.raise(20);
    r.state.raise(30);
    EXPECT_EQ(r.eventHead(), "03 11 30");
    EXPECT_EQ(r.eventHead(), "-");
    EXPECT_EQ(r.eventHead(), "03 11 20");
}

TEST(Scheduler, JogSlotIsNeverLowered)
{
    Rig r;
    r.state.jogWord = "00 28";
    r.state.raise(144);
    for (int cycle = 0; cycle < 4; ++cycle) {
        if (cycle == 2) r.state.jogWord = "00 00";
        std::string word = cycle < 2 ? "00 28" : "00 00";
        EXPECT_EQ(r.event().substr(0, 26), "80 10 10 04 00 01 02 " + word);
        EXPECT_EQ(r.state.slotPending[144], 1);
        EXPECT_EQ(r.event(), "");
    }
}

TEST(Scheduler, ParameterWriteIsReadBackNextCycle)
{
    Rig r;
    r.state.paramData1130 = "00 00 20 41 00 00 20 41 00 00 20 41 00 00 20 41 00 00 20 41 00 00 20 41";
    r.state.raise(130);
    EXPECT_EQ(r.eventHead(), "10 11 30");
    EXPECT_EQ(r.eventHead(), "-");
    EXPECT_EQ(r.eventHead(), "03 11 30");
    EXPECT_EQ(r.state.pollTick, 30);
}

TEST(Scheduler, OnlyTheValueOneIsDue)
{
    Rig r;
    for (std::int16_t v : {2, -1, 100}) {
        r.state.slotPending[9] = v;
        EXPECT_EQ(r.eventHead(), "-");
        EXPECT_EQ(r.state.slotPending[9], v);
    }
}

TEST(Scheduler, BoxWordIsReadAtSendTime)
{
    Rig r;
    r.board.setText(Ctl::PidKp, 2, "5");
    r.state.raise(52);
    r.board.setText(Ctl::PidKp, 2, "300");
    EXPECT_EQ(r.event().substr(0, 26), "80 10 10 51 00 01 02 01 2C");
}

} // namespace
} // namespace vq
