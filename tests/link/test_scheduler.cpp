#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "link/frames.h"
#include "link/hex.h"
#include "link/scheduler.h"
#include "support/fake_board.h"

namespace vq {
namespace {

using test::RecordingPort;

struct Rig {
    RecordingPort port;
    Mailbox mailbox;
    Link link{port};
    PollScheduler scheduler{mailbox, link};

    Rig() { port.open("/dev/null", 115200); }
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
    void readBoth() { link.settings.readStatus = link.settings.readPose = true; }
};

TEST(SlotTable, AscendingUniqueAndWellFormed)
{
    std::set<int> seen;
    int last = 0;
    for (const auto& row : slotTable()) {
        EXPECT_GT(slotNumber(row.slot), last);
        last = slotNumber(row.slot);
        EXPECT_TRUE(seen.insert(last).second);
        EXPECT_EQ(slotRow(last), &row);
        EXPECT_TRUE(row.function == 0x03 || row.function == 0x10) << last;
        EXPECT_EQ(row.source == SlotRow::Source::None, row.isRead()) << last;
        if (row.source == SlotRow::Source::Mailbox) { EXPECT_NE(row.payload, Payload::None) << last; }
        if (row.followUp) { EXPECT_TRUE(slotRow(*row.followUp).isRead()) << last; }
    }
    EXPECT_EQ(slotTable().size(), 57u);
    EXPECT_EQ(slotRow(0), nullptr);
    EXPECT_EQ(slotRow(200), nullptr);
    EXPECT_EQ(slotRow(kSlotCount), nullptr);
}

TEST(Scheduler, IdleCycleReadsStatusThenPoseThenWraps)
{
    Rig r;
    r.readBoth();
    for (int cycle = 0; cycle < 3; ++cycle) {
        EXPECT_EQ(r.event(), "80 03 10 00 00 24 5F 00");
        EXPECT_EQ(r.eventHead(), "03 11 70");
        EXPECT_EQ(r.event(), "");
        EXPECT_EQ(r.scheduler.tick(), 0);
    }
}

TEST(Scheduler, BothReadsOffEveryEventWrapsWithoutSending)
{
    Rig r;
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(r.scheduler.pollTick().has_value());
        EXPECT_EQ(r.scheduler.tick(), 0);
    }
    EXPECT_TRUE(r.port.writes.empty());
}

TEST(Scheduler, FirstCycleAfterStartupOrder)
{
    Rig r;
    r.readBoth();
    for (Slot s : {Slot::ReadPidGains, Slot::ReadMechanical, Slot::ReadReduction, Slot::ReadMotorEncoder, Slot::ReadMaxPositive,
                   Slot::ReadMaxNegative, Slot::ReadTool, Slot::ReadLineSpeed, Slot::ReadPointSpeed})
        r.mailbox.raise(s);
    const char* expected[] = {"03 10 00", "03 11 70", "03 10 50", "03 11 10", "03 11 20", "03 11 30",
                              "03 11 40", "03 11 50", "03 11 60", "03 11 A6", "03 11 A0", "-",
                              "03 10 00", "03 11 70", "-"};
    for (const char* e : expected) EXPECT_EQ(r.eventHead(), e);
}

TEST(Scheduler, EveryWriteSlotSendsItsPayloadWithItsQuantity)
{
    for (const auto& row : slotTable()) {
        if (row.isRead()) continue;
        Rig r;
        r.link.settings.slave = 0x21;
        std::vector<std::uint8_t> payload = {0x00, 0x07, 0xA5};
        std::vector<std::pair<PidTerm, int>> asked;
        r.scheduler.gainAtSend = [&](PidTerm term, int axis) {
            asked.emplace_back(term, axis);
            return std::uint16_t{300};
        };
        if (row.source == SlotRow::Source::Mailbox) r.mailbox.store(row.payload, payload);
        if (row.source == SlotRow::Source::GainBox) payload = {0x01, 0x2C};
        if (row.source == SlotRow::Source::Constant) payload = {0x00, 0x01};
        r.mailbox.raise(row.slot);
        EXPECT_EQ(r.scheduler.pollTick(), row.slot);
        ASSERT_EQ(r.port.writes.size(), 1u) << slotNumber(row.slot);
        std::vector<std::uint8_t> expected = writeRequest(0x21, row.start, row.amount, payload);
        EXPECT_EQ(bytesToHexText(r.port.writes[0]), bytesToHexText(expected)) << "slot " << slotNumber(row.slot);
        if (row.source == SlotRow::Source::GainBox) {
            EXPECT_EQ(asked, (std::vector<std::pair<PidTerm, int>>{{row.term, row.axis}})) << slotNumber(row.slot);
        }
        EXPECT_EQ(r.scheduler.tick(), slotNumber(row.slot));
        EXPECT_EQ(r.mailbox.due(row.slot), row.keepRaised) << slotNumber(row.slot);
        if (row.followUp) { EXPECT_TRUE(r.mailbox.due(*row.followUp)); }
        EXPECT_EQ(r.mailbox.raisedCount(), (row.keepRaised ? 1 : 0) + (row.followUp ? 1 : 0)) << slotNumber(row.slot);
        EXPECT_EQ(r.port.threshold, 8);
    }
}

TEST(Scheduler, LowerSlotGoesFirst)
{
    Rig r;
    r.mailbox.post(Slot::ArcMove, hexTextToBytes("00 00 00 40"));
    r.mailbox.post(Slot::JointTarget, hexTextToBytes("00 00 80 3F"));
    EXPECT_EQ(r.eventHead(), "10 11 B0");
    EXPECT_EQ(r.eventHead(), "10 11 E0");
}

TEST(Scheduler, OnePayloadFeedsTwoSlotsAndTheLastStoredIsSent)
{
    Rig r;
    r.mailbox.post(Slot::PointMove, hexTextToBytes("00 00 80 3F"));
    r.mailbox.post(Slot::LinearMove, hexTextToBytes("00 00 00 40"));
    EXPECT_EQ(r.event().substr(0, 32), "80 10 11 C0 00 06 04 00 00 00 40");
    EXPECT_EQ(r.event().substr(0, 32), "80 10 11 D0 00 06 04 00 00 00 40");
}

TEST(Scheduler, FlagBehindTheCounterIsServedNextCycle)
{
    Rig r;
    r.mailbox.raise(Slot::ReadMaxNegative);
    EXPECT_EQ(r.eventHead(), "03 11 50");
    r.mailbox.raise(Slot::ReadReduction);
    r.mailbox.raise(Slot::ReadMotorEncoder);
    // Counter at 50: both wait for the wrap.
    EXPECT_EQ(r.eventHead(), "-");
    EXPECT_EQ(r.eventHead(), "03 11 20");
    EXPECT_EQ(r.eventHead(), "03 11 30");
}

TEST(Scheduler, TabTwoBetweenItsSlotsReadsSlot30NowAndSlot20NextCycle)
{
    Rig r;
    r.mailbox.raise(Slot::ReadReduction);
    EXPECT_EQ(r.eventHead(), "03 11 20");
    ASSERT_EQ(r.scheduler.tick(), 20);
    r.mailbox.raise(Slot::ReadReduction);
    r.mailbox.raise(Slot::ReadMotorEncoder);
    EXPECT_EQ(r.eventHead(), "03 11 30");
    EXPECT_EQ(r.eventHead(), "-");
    EXPECT_EQ(r.eventHead(), "03 11 20");
}

TEST(Scheduler, JogSlotIsNeverLowered)
{
    Rig r;
    r.mailbox.post(Slot::Jog, wordData(0x28));
    for (int cycle = 0; cycle < 4; ++cycle) {
        if (cycle == 2) r.mailbox.store(Payload::JogWord, wordData(0));
        std::string word = cycle < 2 ? "00 28" : "00 00";
        EXPECT_EQ(r.event().substr(0, 26), "80 10 10 04 00 01 02 " + word);
        EXPECT_TRUE(r.mailbox.due(Slot::Jog));
        EXPECT_EQ(r.event(), "");
    }
}

TEST(Scheduler, ParameterWriteIsReadBackNextCycle)
{
    Rig r;
    r.mailbox.post(Slot::WriteMotorEncoder,
                   hexTextToBytes("00 00 20 41 00 00 20 41 00 00 20 41 00 00 20 41 00 00 20 41 00 00 20 41"));
    EXPECT_EQ(r.eventHead(), "10 11 30");
    EXPECT_EQ(r.eventHead(), "-");
    EXPECT_EQ(r.eventHead(), "03 11 30");
    EXPECT_EQ(r.scheduler.tick(), 30);
}

TEST(Scheduler, SlaveAndReadSwitchesAreTakenAtEachEvent)
{
    Rig r;
    r.link.settings.readStatus = true;
    EXPECT_EQ(r.event(), "80 03 10 00 00 24 5F 00");
    r.link.settings.slave = 1;
    r.link.settings.readStatus = false;
    r.link.settings.readPose = true;
    EXPECT_EQ(r.event().substr(0, 11), "01 03 11 70");
}

// Poll events bunched after a stall of the event loop: an event that comes
// before the line is free is skipped whole (the tick does not move), so no
// two requests are closer than a request and its reply take on the line.
TEST(Scheduler, EventsBeforeTheLineIsFreeAreSkipped)
{
    using namespace std::chrono;
    Rig r;
    r.readBoth();
    nanoseconds now{};
    r.link.clock = [&] { return now; };
    r.link.settings.replyGrace = {}; // no replies here: only the line time holds a request
    // Event times in microseconds and what each sends: the 35 ms period,
    // then a stall of 64.4 ms whose late event is followed 5.6 ms later by
    // the next one on the period's phase.
    struct Event {
        int atUs;
        const char* sent;
    };
    const Event events[] = {
        {0, "03 10 00"},     {35'000, "03 11 70"}, {99'400, "-"},        // wraps
        {105'000, "03 10 00"}, {110'600, "-"},     {112'682, "-"},       // skipped, skipped (1 µs short)
        {112'683, "03 11 70"}, {140'000, "-"},     {175'000, "03 10 00"},
    };
    std::vector<int> ticks;
    for (const Event& e : events) {
        now = microseconds(e.atUs);
        EXPECT_EQ(r.eventHead(), e.sent) << "event at " << e.atUs << " us";
        ticks.push_back(r.scheduler.tick());
    }
    EXPECT_EQ(ticks, (std::vector<int>{1, 6, 0, 1, 1, 1, 6, 0, 1}));
    EXPECT_EQ(r.scheduler.eventsSkipped(), 2u);
}

} // namespace
} // namespace vq
