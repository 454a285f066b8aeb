// The link: one request on the line at a time, and the reply matched to it.
//
// The poll scheduler hands the link one request per poll event (or tells it
// that the event sent nothing). The link builds the frame from the settings
// and the request's data, empties the receive buffer, sets the receive
// threshold to the length of the expected reply and writes. When the port
// reports the threshold reached, the link takes the buffer, checks that it
// belongs to the request on the line and that its CRC holds, and passes the
// accepted reply on. Nothing blocks: a lost or bad reply is dropped, and a
// poll event that comes while the line is not free is skipped.
//
// Before each request the link takes whatever has arrived and not been
// seen (a stalled event loop may not have raised the receive event yet) and
// treats it as the receive event of the request before: nothing that came
// back is thrown away unseen. A request that cannot be written is counted
// and reported. And a request is never written before the line is free: the
// previous request and its reply take their time on the line, plus 3.5
// character times of silence (at 115200 baud, 8 + 77 bytes and the silence
// take 7.7 ms); nor while a reply that has not come may still come
// (LinkSettings::replyGrace past that time, longer on a line late lately).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "port.h"
#include "slots.h"

namespace vq {

// What the window's connection bar and read switches decide about the line.
// The window updates it; the link reads nothing else.
struct LinkSettings {
    std::uint8_t slave = 128;
    std::int32_t baud = 115200;
    bool readStatus = false; // continuous status read (slot 1)
    bool readPose = false;   // continuous pose read (slot 6)
    // How much longer than its time on the line a reply is waited for
    // before the next request goes out: a slow controller's reply then
    // answers its own request instead of meeting the next one on the
    // half-duplex line. A reply later than that is left to the late-reply
    // guard.
    std::chrono::nanoseconds replyGrace = std::chrono::milliseconds(35);
    // The same wait on a line late lately (a reply came after replyGrace,
    // or a late one was seen in the last few cycles): a controller grown
    // slow is polled more slowly instead of being answered out of turn.
    std::chrono::nanoseconds slowReplyGrace = std::chrono::milliseconds(105);
};

// The request on the line, as the reply must match it.
struct Request {
    Slot slot = Slot::ReadStatus;
    std::uint8_t function = 0;
    std::uint16_t start = 0;  // first register
    std::uint16_t amount = 0; // register count (read) or quantity (write)
    int replyLength = 0;      // bytes the reply has
};

// A reply accepted for the request on the line.
struct Reply {
    const Request& request;
    // The register block the reply speaks of: the request's start for a read
    // reply, the echoed start for a write acknowledgement.
    std::uint16_t block;
    bool isRead;                         // a read reply (function 03), else a write acknowledgement
    std::span<const std::uint8_t> data;  // read: the data bytes; write: the echoed quantity
};

class Link {
public:
    enum class State : std::uint8_t {
        Idle,          // this poll event sent nothing (cycle end, or the port is closed)
        AwaitingReply, // a request is on the line and nothing has come back yet
        Replied,       // this poll event's receive event has come; any further one is late
    };

    explicit Link(Port& port) : port_(port) {}

    LinkSettings settings;

    // The time now (monotonic). Without a clock the line is taken to be
    // free for every request: tests that drive poll events back to back.
    using Clock = std::function<std::chrono::nanoseconds()>;
    Clock clock;
    // Whether a request may be written now: the previous one's reply has
    // had its time on the line, and the silence after it; and it has come,
    // or replyGrace (slowReplyGrace on a line late lately) more has passed.
    bool clearToSend() const;
    // Time a request of `requestBytes` and its reply of `replyBytes` hold
    // the line at `baud` (10 bits a character), with 3.5 characters of
    // silence after the reply.
    static std::chrono::nanoseconds lineTime(std::size_t requestBytes, int replyBytes, std::int32_t baud);

    // One poll event that sends a request: `row` with its data (writes).
    void send(const SlotRow& row, std::span<const std::uint8_t> data);
    // One poll event that sends nothing: the event that wraps the cycle.
    void endCycle();
    // Writes a request outside the poll (the jog stop at shutdown); no
    // reply is awaited.
    void sendNow(const SlotRow& row, std::span<const std::uint8_t> data);
    // The port's receive notification.
    void receive();

    State state() const { return state_; }
    const Request& current() const { return current_; }
    // Replies that passed the checks since start.
    std::uint64_t repliesAccepted() const { return repliesAccepted_; }
    // Requests that could not be written (port closed, device gone, write
    // failed) since start.
    std::uint64_t requestsUnsent() const { return requestsUnsent_; }
    // A reply came late in the last few cycles: requests are then waited
    // for longer (slowReplyGrace) and replies trusted less.
    bool lateLately() const { return lastLateCycle_ + kLateMemoryCycles >= cycle_; }

    // Every request frame built (also when the port is closed and it
    // cannot leave); every reply that passed the checks; every accepted
    // reply matched to the request on the line.
    std::function<void(std::span<const std::uint8_t>)> onFrameSent;
    std::function<void(std::span<const std::uint8_t>)> onFrameAccepted;
    std::function<void(const Reply&)> onReply;
    // Every request of a poll event that could not be written.
    std::function<void(const Request&)> onUnsent;

    // What came back for a request, for the line's statistics and the
    // traffic log; the link's own work depends on none of it.
    enum class Heard : std::uint8_t {
        Reply,     // the reply, in step and with a good CRC (also passed to onFrameAccepted)
        BadCrc,    // a buffer of the reply's length whose CRC does not hold
        OutOfStep, // a receive event the late-reply guard set aside: late, or of another length
        Exception, // an exception reply (function + 80 hex) with a good CRC
        Cut,       // bytes that are no whole reply, found when the next request went out
        Nothing,   // not a byte before the next request went out
        Held,      // the reply, in step and with a good CRC, that the late-reply guard still held back
    };
    // A request went out on an open line and a reply is awaited.
    std::function<void(const Request&, std::span<const std::uint8_t> frame)> onRequestOnLine;
    // What was heard for `request` (the request on the line, or for
    // Heard::OutOfStep the one whose event it was).
    std::function<void(const Request& request, Heard, std::span<const std::uint8_t> bytes)> onHeard;

private:
    std::vector<std::uint8_t> frameOf(const SlotRow& row, std::span<const std::uint8_t> data) const;
    bool write(const std::vector<std::uint8_t>& frame, int replyLength);
    void takeArrived();
    void consume(bool justNow);
    void startPeriod(bool sending);
    bool inStep(std::size_t received, bool tooSoon);
    void settleUnanswered(std::span<const std::uint8_t> left);
    bool repeatsAnotherReply() const;

    Port& port_;
    State state_ = State::Idle;
    Request current_;
    std::vector<std::uint8_t> received_;
    std::uint64_t repliesAccepted_ = 0;
    bool unanswered_ = false; // the last request on the line has had no receive event yet
    std::uint64_t requestsUnsent_ = 0;
    std::chrono::nanoseconds lineFreeAt_{std::chrono::nanoseconds::min()};
    std::chrono::nanoseconds replyGivenUpAt_{std::chrono::nanoseconds::min()};
    // When the last request was written, and how soon after that its whole
    // reply can be here: request and reply bytes on the line, less a slack
    // for when the clock was read.
    static constexpr std::chrono::nanoseconds kEarlySlack = std::chrono::milliseconds(1);
    std::chrono::nanoseconds sentAt_{};
    std::chrono::nanoseconds minReplyAfter_{};
    // On a line late lately, a reply that could be the request's own but
    // was not trusted does not end the wait: the own reply may still come,
    // and it must land in this request's period, where it shows as a second
    // reply, not on the next request as if it answered that one.
    bool waitOutReply_ = false;

    // Late-reply guard. Modbus RTU replies carry no transaction number and
    // the scheduler does not wait, so a reply that comes after the next poll
    // event could be taken for the answer to the request that event sent
    // (status and pose replies have the same length). A reply is decoded
    // only while the line is in step: it is the first receive event of an
    // event that sent a request and has that request's reply length; the
    // request before it had its receive event (else that reply may still be
    // on its way, and this may be it); and no late reply was seen in this
    // cycle or the one before (nor, on a line late in the last few cycles,
    // a reply after an unanswered request, or one that came sooner after
    // its request than the line can carry both).
    bool previousAnswered_ = true;
    bool lateThisCycle_ = false;
    bool lateHold_ = false;
    static constexpr std::uint64_t kLateMemoryCycles = 8;
    std::uint64_t cycle_ = kLateMemoryCycles + 1;
    std::uint64_t lastLateCycle_ = 0;
    // A controller may also send a reply twice. A copy landing in the next
    // period, whose own reply is lost, has the right length and a good CRC;
    // it is known by being byte for byte the reply accepted in the period
    // before, for another request. It is not decoded. (Two blocks that
    // really hold the same bytes, read one after the other, lose the second
    // read once; it is read again.)
    std::uint64_t period_ = 0;
    std::uint64_t lastAcceptedPeriod_ = 0;
    Slot lastAcceptedSlot_ = Slot::ReadStatus;
    std::vector<std::uint8_t> lastAccepted_;
};

} // namespace vq
