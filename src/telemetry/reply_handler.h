// The receive event of the serial control: every reply from the controller
// ends up here. The handler checks the reply's CRC, shows it (ReceivedFrame),
// splits it into function and data, and hands the data to the decoder of
// the block the reply belongs to, chosen by replyAddress.
//
// The line is strictly request/reply and the senders set the receive
// threshold to the exact length of the expected reply, so one event carries
// one whole reply. Nothing is accumulated between events: a reply that fails
// the check is dropped and the next request starts afresh.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/board.h"
#include "link/form_state.h"

namespace vq {

class ReplyHandler {
public:
    ReplyHandler(FormState& state, Board& board);

    // One receive event with the whole content of the receive buffer.
    //
    // Fewer than three bytes, or a CRC (over all bytes but the last two)
    // that differs from the last two bytes: dropped, nothing shown, and
    // replyAddress kept. Otherwise the reply is shown (ReceivedFrame), then:
    //  - function 03: the data bytes (as many as the byte count says, but
    //    never past the CRC) go to the decoder;
    //  - function 10: replyAddress becomes the echoed start register and
    //    the echoed quantity is the data;
    //  - any other function: no data, replyAddress as it was;
    // the decoder is the first row of the dispatch table matching
    // replyAddress (and the function, where the row requires 03), and
    // replyAddress is emptied afterwards.
    void MSComm1_OnComm(std::span<const std::uint8_t> received);

private:
    void dispatch(std::string_view function, std::string_view dataHex);

    FormState& state_;
    Board& board_;
    // Working texts of one event; kept only so that their storage is reused.
    std::string replyHex_;
    std::string replyText_;
};

} // namespace vq
