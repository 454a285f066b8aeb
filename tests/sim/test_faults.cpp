// The line as the slave sees it: line time, faults at their shares, seeded
// repeatability.
#include <gtest/gtest.h>

#include <cmath>
#include <string_view>
#include <utility>

#include "sim/modbus.h"
#include "sim/slave_link.h"
#include "sim_rig.h"

using namespace vq::sim;
using namespace vq::sim::test;

namespace {

// Fault settings by name, so each case states only what it switches on.
FaultSettings faults(std::initializer_list<std::pair<std::string_view, double>> values)
{
    FaultSettings f;
    for (const auto& [name, v] : values) {
        if (name == "dropShare") {
            f.dropShare = v;
        } else if (name == "corruptShare") {
            f.corruptShare = v;
        } else if (name == "truncateShare") {
            f.truncateShare = v;
        } else if (name == "strayShare") {
            f.strayShare = v;
        } else if (name == "exceptionShare") {
            f.exceptionShare = v;
        } else if (name == "delayMs") {
            f.delayMs = v;
        } else if (name == "delayShare") {
            f.delayShare = v;
        } else {
            ADD_FAILURE() << "no fault setting " << name;
        }
    }
    return f;
}

struct Outcome {
    std::vector<Bytes> bursts; // each due time's bytes, in order
    std::vector<double> due;
};

// Sends one request at time t and collects what comes back in the next
// 200 ms, burst by burst.
Outcome exchange(SlaveLink& link, const Bytes& request, double t)
{
    link.receive(request, t);
    Outcome o;
    while (auto due = link.nextDue()) {
        if (*due > t + 0.2) {
            break;
        }
        o.due.push_back(*due);
        o.bursts.push_back(link.takeDue(*due));
    }
    return o;
}

// Bounds for a binomial count: mean +- 5 standard deviations.
void expectShare(std::uint64_t count, int n, double share, const char* what)
{
    const double mean = n * share;
    const double sd = std::sqrt(n * share * (1 - share));
    EXPECT_GE(static_cast<double>(count), mean - 5 * sd - 1) << what;
    EXPECT_LE(static_cast<double>(count), mean + 5 * sd + 1) << what;
}

} // namespace

TEST(Line, ReplyTakesItsLineTime)
{
    Controller c;
    SlaveLink link(c, 115200);
    const Outcome o = exchange(link, readFrame(0x1000, 36), 1.0);
    ASSERT_EQ(o.bursts.size(), 1u);
    EXPECT_EQ(o.bursts[0].size(), 77u);
    EXPECT_NEAR(o.due[0] - 1.0, 77 * 10.0 / 115200, 1e-12); // 6.68 ms
    EXPECT_TRUE(crcMatches(o.bursts[0]));

    // Nothing is handed out before its time.
    link.receive(readFrame(0x1170, 36), 2.0);
    EXPECT_TRUE(link.takeDue(2.006).empty());
    EXPECT_EQ(link.takeDue(2.0067).size(), 77u);

    // Two requests at once: the second reply queues behind the first.
    link.receive(readFrame(0x1000, 36), 3.0);
    link.receive(writeFrame(0x1001, 1, wordBytes({1})), 3.0);
    ASSERT_TRUE(link.nextDue().has_value());
    EXPECT_EQ(link.takeDue(3.0 + 77 * 10.0 / 115200).size(), 77u);
    EXPECT_NEAR(*link.nextDue(), 3.0 + 85 * 10.0 / 115200, 1e-12);

    // Baud 0: no line time.
    SlaveLink fast(c, 0);
    EXPECT_NEAR(exchange(fast, readFrame(0x1000, 36), 5.0).due.at(0), 5.0, 1e-12);
}

TEST(Line, ControllerTimeFollowsTheLine)
{
    Controller c;
    SlaveLink link(c, 0);
    link.poll(10.0);
    link.receive(writeFrame(0x1010, 6, wordBytes({1, 1, 1, 1, 1, 1})), 10.0);
    link.receive(writeFrame(0x11B0, 6, floatBytes({90, 0, 0, 0, 90, 0})), 10.0);
    link.poll(10.5);
    EXPECT_NEAR(c.now(), 0.5, 1e-12);
    EXPECT_EQ(c.busyWord(), busy::kJointMove);
    link.poll(11.5);
    EXPECT_EQ(c.busyWord(), 0);
    EXPECT_EQ(c.joints()[0], 90.0);
}

TEST(Faults, EachFaultAtItsShare)
{
    struct Case {
        const char* what;
        FaultSettings faults;
    };
    const Case cases[] = {
        {"drop", faults({{"dropShare", 0.2}})},
        {"corrupt", faults({{"corruptShare", 0.3}})},
        {"truncate", faults({{"truncateShare", 0.1}})},
        {"stray", faults({{"strayShare", 0.25}})},
        {"exception", faults({{"exceptionShare", 0.15}})},
        {"delay", faults({{"delayMs", 50}, {"delayShare", 0.4}})},
        {"all at once", faults({{"dropShare", 0.1},
                                {"corruptShare", 0.1},
                                {"truncateShare", 0.1},
                                {"strayShare", 0.1},
                                {"exceptionShare", 0.1},
                                {"delayMs", 40},
                                {"delayShare", 0.1}})},
    };
    constexpr int n = 2000;
    for (const Case& c : cases) {
        Controller ctl;
        SlaveLink link(ctl, 115200, c.faults, 42);
        int silent = 0, badCrc = 0, shortReplies = 0, strayBursts = 0, exceptions = 0, late = 0;
        const Bytes request = readFrame(0x1000, 36);
        for (int i = 0; i < n; ++i) {
            const double t = 0.035 * i; // the console's poll rhythm
            const Outcome o = exchange(link, request, t);
            if (o.bursts.empty()) {
                ++silent;
                continue;
            }
            const Bytes& reply = o.bursts[0];
            const bool isException = reply.size() >= 2 && reply[1] == 0x83;
            const std::size_t fullLength = isException ? 5 : 77;
            if (reply.size() < fullLength) {
                ++shortReplies;
            } else if (!crcMatches(reply)) {
                ++badCrc;
            } else if (isException) {
                EXPECT_EQ(reply, exceptionReply(0x80, 0x03, ExceptionCode::DeviceFailure)) << c.what;
                ++exceptions;
            }
            if (o.due[0] - t > 0.035) {
                ++late; // beyond the console's window
            }
            if (o.bursts.size() > 1) {
                ++strayBursts;
                EXPECT_GE(o.bursts[1].size(), 1u);
                EXPECT_LE(o.bursts[1].size(), 8u);
                EXPECT_GE(o.due[1] - o.due[0], 0.002) << c.what << ": stray bytes come after a gap";
            }
        }
        const FaultSettings& f = c.faults;
        const LinkCounters& k = link.counters();
        EXPECT_EQ(k.requests, static_cast<std::uint64_t>(n));
        expectShare(static_cast<std::uint64_t>(silent), n, f.dropShare, c.what);
        EXPECT_EQ(k.dropped, static_cast<std::uint64_t>(silent)) << c.what;
        expectShare(k.corrupted, n, (1 - f.dropShare) * f.corruptShare, c.what);
        expectShare(k.truncated, n, (1 - f.dropShare) * f.truncateShare, c.what);
        EXPECT_EQ(static_cast<std::uint64_t>(shortReplies), k.truncated) << c.what;
        expectShare(static_cast<std::uint64_t>(strayBursts), n, (1 - f.dropShare) * f.strayShare, c.what);
        expectShare(k.injectedExceptions, n, f.exceptionShare, c.what);
        expectShare(static_cast<std::uint64_t>(late), n, f.delayMs > 0 ? (1 - f.dropShare) * f.delayShare : 0, c.what);
        // Every corrupted reply that was not also cut short fails its CRC.
        EXPECT_LE(static_cast<std::uint64_t>(badCrc), k.corrupted) << c.what;
        if (f.truncateShare == 0) {
            EXPECT_EQ(static_cast<std::uint64_t>(badCrc), k.corrupted) << c.what;
        }
        if (f.corruptShare == 0 && f.truncateShare == 0 && f.dropShare == 0) {
            EXPECT_EQ(static_cast<std::uint64_t>(exceptions), k.injectedExceptions) << c.what;
        }
    }
}

TEST(Faults, InjectedExceptionDoesNotServeTheRequest)
{
    Controller c;
    SlaveLink link(c, 0, faults({{"exceptionShare", 1.0}}));
    const Outcome o = exchange(link, writeFrame(0x1001, 1, wordBytes({1})), 0.0);
    ASSERT_EQ(o.bursts.size(), 1u);
    EXPECT_EQ(o.bursts[0], exceptionReply(0x80, 0x10, ExceptionCode::DeviceFailure));
    EXPECT_EQ(c.controlMode(), 0);
    // A dropped reply does serve it.
    link.setFaults(faults({{"dropShare", 1.0}}));
    EXPECT_TRUE(exchange(link, writeFrame(0x1001, 1, wordBytes({1})), 1.0).bursts.empty());
    EXPECT_EQ(c.controlMode(), 1);
}

TEST(Faults, SameSeedSameFaultsAndSwitchingMidRun)
{
    const FaultSettings f =
        faults({{"dropShare", 0.3}, {"corruptShare", 0.2}, {"truncateShare", 0.2}, {"strayShare", 0.2}});
    std::vector<std::vector<Bytes>> runs;
    for (std::uint64_t seed : {7ull, 7ull, 8ull}) {
        Controller c;
        SlaveLink link(c, 115200, f, seed);
        std::vector<Bytes> seen;
        for (int i = 0; i < 200; ++i) {
            for (const Bytes& b : exchange(link, readFrame(0x1000, 4), 0.035 * i).bursts) {
                seen.push_back(b);
            }
        }
        runs.push_back(seen);
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_NE(runs[0], runs[2]);

    // Faults switched off mid-run: every reply good from then on.
    Controller c;
    SlaveLink link(c, 115200, f, 3);
    for (int i = 0; i < 50; ++i) {
        exchange(link, readFrame(0x1000, 4), 0.035 * i);
    }
    link.setFaults({});
    for (int i = 50; i < 150; ++i) {
        const Outcome o = exchange(link, readFrame(0x1000, 4), 0.035 * i);
        ASSERT_EQ(o.bursts.size(), 1u);
        EXPECT_TRUE(crcMatches(o.bursts[0]));
        EXPECT_EQ(o.bursts[0].size(), 13u);
    }
}

TEST(Faults, DelayIsAddedBeforeTheLineTime)
{
    Controller c;
    SlaveLink link(c, 115200, faults({{"delayMs", 50}}));
    const Outcome o = exchange(link, readFrame(0x1000, 36), 1.0);
    ASSERT_EQ(o.due.size(), 1u);
    EXPECT_NEAR(o.due[0], 1.0 + 0.050 + 77 * 10.0 / 115200, 1e-12);
}

TEST(Faults, GarbageAndOtherSlavesOnTheLine)
{
    Controller c;
    SlaveLink link(c, 0);
    Bytes stream{0x13, 0x37, 0x80};
    const Bytes other = readFrame(0x1000, 36, 5);
    stream.insert(stream.end(), other.begin(), other.end());
    const Bytes mine = readFrame(0x1000, 2);
    stream.insert(stream.end(), mine.begin(), mine.end());
    link.receive(stream, 0.0);
    const Bytes out = link.takeDue(1.0);
    EXPECT_EQ(out.size(), 9u); // one reply, for us
    EXPECT_EQ(link.counters().otherAddress, 1u);
    EXPECT_EQ(link.counters().requests, 1u);
    EXPECT_EQ(link.counters().discardedBytes, 3u);
}
