// The reply handler fed as the window feeds it: each reply answers the
// request a link has just sent for its slot.
#pragma once

#include <span>

#include "link/hex.h"
#include "link/link.h"
#include "link/slots.h"
#include "reply_frames.h"
#include "support/fake_board.h"
#include "telemetry/reply_handler.h"

namespace vq::test {

// Sends the request of `slot` on a fresh link (so no earlier reply can hold
// this one back), delivers `reply` as the port's receive event, shows an
// accepted reply in the ReceivedFrame box and hands a matched one to the
// handler. Returns whether the link accepted the reply.
inline bool answer(ReplyHandler& handler, Board& board, Slot slot, const Bytes& reply)
{
    RecordingPort port;
    port.open("sim", 115200);
    Link link(port);
    link.onFrameAccepted = [&board](std::span<const std::uint8_t> f) { board.setText(Ctl::ReceivedFrame, kNoIndex, bytesToHexText(f)); };
    link.onReply = [&handler](const Reply& r) { handler.handle(r); };
    link.send(slotRow(slot), {});
    port.input = reply;
    link.receive();
    return link.repliesAccepted() == 1;
}

} // namespace vq::test
