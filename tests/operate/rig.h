// The operate core wired to a real poll scheduler and a recording port, so
// the tests check the frames that actually go out.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "link/crc.h"
#include "link/form_state.h"
#include "link/frames.h"
#include "link/hex.h"
#include "link/link.h"
#include "link/mailbox.h"
#include "link/scheduler.h"
#include "operate/operate.h"
#include "support/fake_board.h"

namespace vq::test {

// One request as it left the port, with its CRC checked.
struct Sent {
    std::uint8_t address = 0;
    std::uint8_t function = 0;
    std::uint16_t start = 0;
    std::uint16_t amount = 0; // read: register count; write: quantity
    int byteCount = -1;       // write only
    std::vector<std::uint8_t> data;
    bool crcOk = false;
    bool lengthOk = false;
};

inline Sent decode(const std::vector<std::uint8_t>& b)
{
    Sent s;
    if (b.size() < 8) return s;
    const std::size_t n = b.size();
    const std::uint16_t crc = crc16(std::span(b.data(), n - 2));
    s.crcOk = b[n - 2] == (crc & 0xFF) && b[n - 1] == (crc >> 8);
    s.address = b[0];
    s.function = b[1];
    s.start = static_cast<std::uint16_t>(b[2] << 8 | b[3]);
    s.amount = static_cast<std::uint16_t>(b[4] << 8 | b[5]);
    if (s.function == 0x10) {
        s.byteCount = b[6];
        s.data.assign(b.begin() + 7, b.end() - 2);
        s.lengthOk = static_cast<int>(s.data.size()) == s.byteCount;
    } else {
        s.lengthOk = n == 8;
    }
    return s;
}

inline std::vector<std::uint8_t> hexBytes(std::string_view text) { return hexTextToBytes(text); }

// Floats of a write's data, four bytes each, little-endian.
inline std::vector<float> floatsOf(const Sent& s)
{
    std::vector<float> out;
    for (std::size_t i = 0; i + 4 <= s.data.size(); i += 4) out.push_back(StrToFloat(bytesToHexDigits(std::span(s.data).subspan(i, 4))));
    return out;
}

// Everything in FormState, for comparing a whole state.
inline auto tieState(const FormState& s) { return std::tie(s.mailbox, s.controllerBusy, s.servoState, s.alarmCode); }
inline bool sameState(const FormState& a, const FormState& b) { return tieState(a) == tieState(b); }

// A payload in the mailbox as hex text ("" when nothing was stored).
inline std::string payloadText(const FormState& s, Payload p) { return bytesToHexText(s.mailbox.payload(p)); }

struct Rig {
    FormState state;
    FakeBoard board;
    ScriptedPrompts prompts;
    RecordingPort port;
    Link link{port};
    PollScheduler scheduler{state.mailbox, link};
    Operate op{state, board, prompts};

    Rig()
    {
        link.settings.slave = 128;
        port.open("ttyTEST", 115200);
        // As the window wires it: a single gain is read from its box at send time.
        scheduler.gainAtSend = [this](PidTerm term, int axis) {
            static constexpr Ctl kBoxes[] = {Ctl::PidKp, Ctl::PidKi, Ctl::PidKd};
            return wordFromText(board.text(kBoxes[static_cast<int>(term)], axis));
        };
    }

    // Timer1 events until the tick wraps to 0: one full cycle from wherever
    // the tick stands. Returns the requests sent, in order.
    std::vector<Sent> cycle()
    {
        std::vector<Sent> out;
        for (int guard = 0; guard < 400; ++guard) {
            const std::size_t before = port.writes.size();
            const bool sent = scheduler.pollTick().has_value();
            for (std::size_t i = before; i < port.writes.size(); ++i) out.push_back(decode(port.writes[i]));
            if (!sent) break;
        }
        for (const auto& s : out) {
            EXPECT_TRUE(s.crcOk);
            EXPECT_TRUE(s.lengthOk);
            EXPECT_EQ(s.address, 0x80);
        }
        return out;
    }
};

inline std::vector<Sent> writesTo(const std::vector<Sent>& sent, std::uint16_t start)
{
    std::vector<Sent> out;
    for (const auto& s : sent)
        if (s.function == 0x10 && s.start == start) out.push_back(s);
    return out;
}
inline std::vector<Sent> readsOf(const std::vector<Sent>& sent, std::uint16_t start)
{
    std::vector<Sent> out;
    for (const auto& s : sent)
        if (s.function == 0x03 && s.start == start) out.push_back(s);
    return out;
}

} // namespace vq::test
