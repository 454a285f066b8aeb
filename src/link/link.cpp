#include "link.h"

#include <algorithm>

#include "frames.h"

namespace vq {

std::vector<std::uint8_t> Link::frameOf(const SlotRow& row, std::span<const std::uint8_t> data) const
{
    return row.isRead() ? readRequest(settings.slave, row.start, row.amount)
                        : writeRequest(settings.slave, row.start, row.amount, data);
}

std::chrono::nanoseconds Link::lineTime(std::size_t requestBytes, int replyBytes, std::int32_t baud)
{
    if (baud <= 0) return {};
    // Ten bits a character (start, 8 data, stop); 3.5 characters are 35 bits.
    const auto bits = static_cast<std::int64_t>(10 * (requestBytes + static_cast<std::size_t>(std::max(replyBytes, 0))) + 35);
    return std::chrono::nanoseconds(bits * 1'000'000'000 / baud);
}

bool Link::clearToSend() const
{
    if (!clock) return true;
    const std::chrono::nanoseconds now = clock();
    return now >= lineFreeAt_ && ((state_ != State::AwaitingReply && !waitOutReply_) || now >= replyGivenUpAt_);
}

bool Link::write(const std::vector<std::uint8_t>& frame, int replyLength)
{
    if (onFrameSent) onFrameSent(frame);
    port_.discardInput();
    port_.setReceiveThreshold(replyLength);
    waitOutReply_ = false;
    if (!port_.write(frame)) return false;
    if (clock) {
        const std::chrono::nanoseconds onLine = lineTime(frame.size(), replyLength, settings.baud);
        sentAt_ = clock();
        minReplyAfter_ = onLine - lineTime(0, 0, settings.baud) - kEarlySlack;
        lineFreeAt_ = sentAt_ + onLine;
        replyGivenUpAt_ = lineFreeAt_ + (lateLately() ? settings.slowReplyGrace : settings.replyGrace);
    }
    return true;
}

// What arrived since the last receive event and was not taken. As many
// bytes as the receive threshold asked for are a reply that the event loop
// had no time to report before this poll event: it is the receive event of
// the period it came in. Fewer (stray bytes after a reply, a reply cut
// short) would have raised no receive event and are dropped, as the
// discard before a request always did.
void Link::takeArrived()
{
    std::vector<std::uint8_t> arrived = port_.takePending();
    if (arrived.empty() || static_cast<int>(arrived.size()) < current_.replyLength) {
        settleUnanswered(arrived);
        return;
    }
    received_.swap(arrived);
    consume(false);
}

void Link::startPeriod(bool sending)
{
    ++period_;
    if (state_ == State::AwaitingReply) previousAnswered_ = false;
    else if (state_ == State::Replied) previousAnswered_ = true;
    if (!sending) { // the event that wraps ends a cycle
        ++cycle_;
        lateHold_ = lateThisCycle_;
        lateThisCycle_ = false;
    }
}

// A request that had no receive event by the next poll event: what
// arrived short of its reply's length (an exception reply is shorter than
// any threshold, a cut reply too) is what came back for it.
void Link::settleUnanswered(std::span<const std::uint8_t> left)
{
    if (!unanswered_) return;
    unanswered_ = false;
    if (!onHeard) return;
    Heard heard = Heard::Nothing;
    if (left.size() == 5 && (left[1] & 0x80) != 0 && crcMatches(left)) heard = Heard::Exception;
    else if (!left.empty()) heard = Heard::Cut;
    onHeard(current_, heard, left);
}

void Link::send(const SlotRow& row, std::span<const std::uint8_t> data)
{
    takeArrived();
    startPeriod(true);
    current_ = {row.slot, row.function, row.start, row.amount, row.replyLength()};
    const std::vector<std::uint8_t> frame = frameOf(row, data);
    const bool written = write(frame, current_.replyLength);
    // A request written on a closed port (or one that closed it) is not
    // on the line: nothing comes back for it.
    state_ = written && port_.isOpen() ? State::AwaitingReply : State::Idle;
    if (!written) {
        ++requestsUnsent_;
        if (onUnsent) onUnsent(current_);
    }
    unanswered_ = state_ == State::AwaitingReply;
    if (unanswered_ && onRequestOnLine) onRequestOnLine(current_, frame);
}

void Link::endCycle()
{
    takeArrived();
    startPeriod(false);
    state_ = State::Idle;
}

void Link::sendNow(const SlotRow& row, std::span<const std::uint8_t> data)
{
    if (port_.isOpen() && !write(frameOf(row, data), row.replyLength())) ++requestsUnsent_;
}

bool Link::inStep(std::size_t received, bool tooSoon)
{
    const bool late = state_ != State::AwaitingReply || static_cast<int>(received) != current_.replyLength || tooSoon;
    if (state_ == State::AwaitingReply) state_ = State::Replied;
    if (late) {
        lateThisCycle_ = lateHold_ = true;
        lastLateCycle_ = cycle_;
    } else if (!previousAnswered_ && lateLately()) {
        // A reply after a request that had none, on a line that was late
        // lately: it may be that request's reply, and as the delays grow
        // past a period the next cycle's replies can each be one request
        // late while looking in step. That cycle is distrusted too. (On a
        // line that only loses replies, this is the request's own reply.)
        lateThisCycle_ = lateHold_ = true;
    }
    return !late && !lateHold_ && previousAnswered_;
}

bool Link::repeatsAnotherReply() const
{
    return lastAcceptedPeriod_ + 1 == period_ && lastAcceptedSlot_ != current_.slot && lastAccepted_ == received_;
}

void Link::receive()
{
    received_ = port_.takeAll();
    consume(true);
}

// `justNow`: the bytes came with their receive event, so they arrived
// about now (not at some time since the last poll event).
void Link::consume(bool justNow)
{
    // A whole reply sooner after the request than request and reply take
    // on the line cannot answer it: on a line late lately it is the last
    // request's late reply. (Without recent lateness the rule stays out of
    // the way of a simulator on a pseudo-terminal, which answers at once.)
    const bool awaited = state_ == State::AwaitingReply;
    const bool timed = justNow && clock && awaited;
    const std::chrono::nanoseconds now = timed ? clock() : std::chrono::nanoseconds{};
    const bool tooSoon = timed && lateLately() && now - sentAt_ < minReplyAfter_;
    // A reply that came only after the usual wait: the controller has
    // grown slow, and the next requests wait longer for their replies.
    if (timed && now > lineFreeAt_ + settings.replyGrace) lastLateCycle_ = cycle_;
    if (awaited) unanswered_ = false;
    // A buffer of another length than the expected reply is not the reply
    // to the request on the line: typically a reply that came too late for
    // the previous request, complete and with a good CRC. Taken as this
    // request's answer it would put one block's values into another
    // block's boxes.
    // A whole reply with a few bytes after it (noise on the line after the
    // reply, read together because the event loop came late) is not of the
    // reply's length and is not decoded, but it is no sign of a late
    // reply: it does not make the guard distrust the replies after it. It
    // does when the rest begins with the slave's address: that may be the
    // start of this request's reply, and the whole one before it the last
    // request's late reply.
    const auto replyLength = static_cast<std::size_t>(std::max(current_.replyLength, 0));
    const bool replyAndNoise = awaited && replyLength > 0 && received_.size() > replyLength &&
                               received_[replyLength] != settings.slave &&
                               crcMatches(std::span<const std::uint8_t>(received_).first(replyLength));
    if (!inStep(replyAndNoise ? replyLength : received_.size(), tooSoon)) {
        const bool held = awaited && static_cast<int>(received_.size()) == current_.replyLength && crcMatches(received_);
        if (onHeard) {
            onHeard(current_, held ? Heard::Held : Heard::OutOfStep, received_);
        }
        if (held && lateLately()) waitOutReply_ = true;
        return;
    }
    if (replyAndNoise) { // never decoded: a reply is exactly its length
        if (onHeard) onHeard(current_, Heard::OutOfStep, received_);
        return;
    }
    if (!crcMatches(received_)) {
        if (onHeard) onHeard(current_, Heard::BadCrc, received_);
        return;
    }
    if (repeatsAnotherReply()) {
        if (onHeard) onHeard(current_, Heard::OutOfStep, received_);
        return;
    }
    lastAcceptedPeriod_ = period_;
    lastAcceptedSlot_ = current_.slot;
    lastAccepted_.assign(received_.begin(), received_.end()); // keeps its memory
    ++repliesAccepted_;
    if (onFrameAccepted) onFrameAccepted(received_);
    if (onHeard) onHeard(current_, Heard::Reply, received_);

    const std::span<const std::uint8_t> frame = received_;
    const std::size_t crcAt = frame.size() - 2;
    const std::uint8_t function = frame[1];
    if (function == kReadHolding && current_.function == kReadHolding) {
        // The byte count is taken as sent, but data never runs into the CRC.
        const std::size_t count = crcAt > 2 ? frame[2] : 0;
        const std::size_t from = std::min<std::size_t>(3, crcAt);
        const Reply reply{current_, current_.start, true, frame.subspan(from, std::min(count, crcAt - from))};
        if (onReply) onReply(reply);
    } else if (function == kWriteMultiple && current_.function == kWriteMultiple && crcAt >= 6) {
        // The acknowledgement echoes start and quantity; an echo of another
        // register than the one written answers nothing.
        const std::uint16_t echoed = static_cast<std::uint16_t>((frame[2] << 8) | frame[3]);
        if (echoed != current_.start) return;
        const Reply reply{current_, echoed, false, frame.subspan(4, 2)};
        if (onReply) onReply(reply);
    }
    // Any other function (an exception reply) is shown and decoded nowhere.
}

} // namespace vq
