// Thousands of broken, cut, mutated and hostile replies, each to a request
// the link has just sent: the link must pass on only frames of the
// request's reply length with a good CRC, the handler must neither crash nor
// read outside the reply, and one round of good replies must bring every
// display and stored value back to what those replies say.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "answer.h"
#include "link/frames.h"
#include "link/hex.h"
#include "reply_frames.h"
#include "support/fake_board.h"
#include "telemetry/reply_handler.h"

namespace vq {
namespace {

using test::Bytes;

// A FakeBoard that remembers which controls were written.
class RecordingBoard : public test::FakeBoard {
public:
    void setText(Ctl id, int index, std::string_view t) override
    {
        note(id, index);
        FakeBoard::setText(id, index, t);
    }
    void setEnabled(Ctl id, int index, bool on) override
    {
        note(id, index);
        FakeBoard::setEnabled(id, index, on);
    }
    void setBackColour(Ctl id, int index, Colour c) override
    {
        note(id, index);
        FakeBoard::setBackColour(id, index, c);
    }
    std::set<std::pair<Ctl, int>> written;

private:
    void note(Ctl id, int index) { written.emplace(id, index); }
};

struct Good {
    Slot slot; // the request the reply answers
    Bytes reply;
};

// One good reply for every block, every register set, and both save
// acknowledgements. Status: ready, teach mode, Cartesian motion, a mix of
// servo and alarm states.
std::vector<Good> goodRound()
{
    std::vector<Good> round;
    std::vector<std::uint16_t> status(36, 0);
    status[0] = 1;
    status[1] = 1;
    status[2] = 25;
    status[3] = 2;
    status[5] = 3;
    for (int k = 0; k < 6; ++k) {
        status[static_cast<std::size_t>(6 + k)] = static_cast<std::uint16_t>(k % 2);
        status[static_cast<std::size_t>(18 + 2 * k)] = static_cast<std::uint16_t>(1000 * k + 7);
        status[static_cast<std::size_t>(19 + 2 * k)] = static_cast<std::uint16_t>(k == 3 ? 0xFFFF : 0);
        status[static_cast<std::size_t>(30 + k)] = static_cast<std::uint16_t>(k == 4 ? 2 : 0);
    }
    round.push_back({Slot::ReadStatus, test::readReplyRegs(status)});

    Bytes pose;
    for (int i = 0; i < 18; ++i) test::appendFloat(pose, -45.125f + 7.5f * static_cast<float>(i));
    round.push_back({Slot::ReadPose, test::readReply(pose)});

    std::vector<std::uint16_t> pid(18);
    for (int j = 0; j < 18; ++j) pid[static_cast<std::size_t>(j)] = static_cast<std::uint16_t>(50 + j);
    round.push_back({Slot::ReadPidGains, test::readReplyRegs(pid)});

    const Bytes six = test::floatBytes({1.5f, 2.25f, 3.0f, 4.75f, 5.5f, 6.0f});
    for (Slot s : {Slot::ReadMechanical, Slot::ReadReduction, Slot::ReadMotorEncoder, Slot::ReadMaxPositive,
                   Slot::ReadMaxNegative, Slot::ReadTool, Slot::ReadPointSpeed, Slot::ReadLineSpeed})
        round.push_back({s, test::readReply(six)});
    round.push_back({Slot::StorePidGains, test::writeAck(0x10B0, 1)});
    round.push_back({Slot::StoreParameters, test::writeAck(0x1100, 1)});
    return round;
}

void feed(ReplyHandler& handler, Board& board, const std::vector<Good>& round)
{
    for (const auto& g : round) ASSERT_TRUE(test::answer(handler, board, g.slot, g.reply));
}

class Junk {
public:
    explicit Junk(std::uint32_t seed, std::vector<Good> good) : rng_(seed), good_(std::move(good)) {}

    // A request and the junk that comes back for it: mostly the request
    // the junk's base reply answers, else any of the table.
    Good next()
    {
        const Good& g = good_[pick(good_.size())];
        const auto table = slotTable();
        const SlotRow& row = pick(4) ? slotRow(g.slot) : table[pick(table.size())];
        return {row.slot, junk(g.reply, static_cast<std::size_t>(row.replyLength()), row.start)};
    }

private:
    // `expected`: the request's reply length; `start`: its first register.
    Bytes junk(const Bytes& base, std::size_t expected, std::uint16_t start)
    {
        switch (pick(7)) {
        case 0: { // noise
            Bytes b(pick(2) ? expected : pick(90));
            for (auto& x : b) x = byte();
            return b;
        }
        case 1: { // cut short
            return Bytes(base.begin(), base.begin() + static_cast<std::ptrdiff_t>(pick(base.size())));
        }
        case 2: { // corrupted on the line
            Bytes b = base;
            for (std::size_t n = 1 + pick(3); n > 0; --n) b[pick(b.size())] = byte();
            return b;
        }
        case 3: { // corrupted before the CRC was computed: passes the check
            Bytes b(base.begin(), base.end() - 2);
            for (std::size_t n = 1 + pick(4); n > 0; --n) b[pick(b.size())] = byte();
            if (pick(3) == 0) b.resize(expected - 2); // cut or padded to the reply length
            return test::withCrc(b);
        }
        case 4: { // read reply with any byte count, mostly of the expected length
            Bytes data(pick(4) && expected >= 5 ? expected - 5 : pick(80));
            for (auto& x : data) x = byte();
            return test::readReplyClaiming(byte(), data);
        }
        case 5: { // any acknowledgement, or a cut one
            const std::uint16_t echo =
                static_cast<std::uint16_t>(pick(3) == 0 ? start : pick(2) ? 0x1000 + pick(0x200) : pick(0x10000));
            Bytes b = test::writeAck(echo, static_cast<std::uint16_t>(pick(0x10000)));
            if (pick(4) == 0) {
                b.resize(2 + pick(4));
                b = test::withCrc(b);
            }
            return b;
        }
        default: // two replies in one buffer
            return test::concat(base, good_[pick(good_.size())].reply);
        }
    }

    std::size_t pick(std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(pick(256)); }

    std::mt19937 rng_;
    std::vector<Good> good_;
};

TEST(ReplyFuzz, GarbageNeverSurvivesAGoodRound)
{
    const auto round = goodRound();

    // What one good round shows on a fresh window.
    RecordingBoard reference;
    FormState referenceState;
    {
        ReplyHandler h(referenceState, reference);
        feed(h, reference, round);
    }
    ASSERT_GT(reference.written.size(), 100u);

    RecordingBoard board;
    FormState state;
    ReplyHandler handler(state, board);
    Junk junk(20240611u, round);

    int accepted = 0;
    int disturbed = 0;
    for (int rep = 0; rep < 8; ++rep) {
        for (int i = 0; i < 500; ++i) {
            board.setText(Ctl::ReceivedFrame, kNoIndex, "-");
            const auto [slot, bytes] = junk.next();
            const bool taken = test::answer(handler, board, slot, bytes);
            ASSERT_EQ(board.text(Ctl::ReceivedFrame) != "-", taken) << bytesToHexText(bytes);
            if (taken) {
                ++accepted;
                ASSERT_EQ(static_cast<int>(bytes.size()), slotRow(slot).replyLength()) << bytesToHexText(bytes);
                ASSERT_TRUE(crcMatches(bytes)) << bytesToHexText(bytes);
                ASSERT_EQ(board.text(Ctl::ReceivedFrame), bytesToHexText(bytes));
            }
        }
        for (const auto& key : reference.written)
            if (board.text(key.first, key.second) != reference.text(key.first, key.second)) {
                ++disturbed;
                break;
            }

        feed(handler, board, round);
        for (const auto& [id, index] : reference.written) {
            ASSERT_EQ(board.text(id, index), reference.text(id, index)) << describe(id, index) << " rep " << rep;
            ASSERT_EQ(board.enabled(id, index), reference.enabled(id, index)) << describe(id, index);
            ASSERT_EQ(board.backColour(id, index), reference.backColour(id, index)) << describe(id, index);
        }
        ASSERT_EQ(state.controllerBusy, referenceState.controllerBusy);
        ASSERT_EQ(state.servoState, referenceState.servoState);
        ASSERT_EQ(state.alarmCode, referenceState.alarmCode);
    }
    // The junk must have reached the decoders, or the repair proves nothing.
    EXPECT_GT(accepted, 1000);
    EXPECT_EQ(disturbed, 8);
}

} // namespace
} // namespace vq
