// Modbus RTU request frames, as the console sends them: function 03 (read
// holding registers) and 10 (write multiple registers). A request is built
// as hex text, given its CRC (low byte first), shown in Text18 and written
// as raw bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "board.h"
#include "form_state.h"
#include "port.h"

namespace vq {

struct RequestFrame {
    std::string text;                // complete frame with CRC, hex text
    std::vector<std::uint8_t> bytes; // what goes on the wire
    int expectedReplyLength = 0;     // receive threshold
};

// Read request: address, 03, start (2 bytes), count (2 bytes), CRC.
// start and count are hex text of one 16-bit value ("10 00", "00 24").
// The reply is 5 + 2 x count bytes.
RequestFrame buildReadRequest(std::string_view slaveText, std::string_view start, std::string_view count);

// Write request: address, 10, start, quantity, byte count, data, CRC. The
// quantity is the caller's decimal number, not derived from the data (six
// floats go with quantity 6 and 24 data bytes). The reply is 8 bytes.
RequestFrame buildWriteRequest(std::string_view slaveText, std::string_view start, std::string_view quantityDecimal,
                               std::string_view payload);

// The two senders. They read the slave address from Combo3 at every send,
// show the frame in Text18, discard unread input, set the receive threshold
// and write. A read also stores its start text in replyAddress. Failures
// (closed port) are silent.
class RequestSender {
public:
    RequestSender(Port& port, Board& board, FormState& state) : port_(port), board_(board), state_(state) {}

    void sendReadRequest(std::string_view start, std::string_view count);
    void sendWriteRequest(std::string_view start, std::string_view quantityDecimal, std::string_view payload);

private:
    void transmit(const RequestFrame& frame);

    Port& port_;
    Board& board_;
    FormState& state_;
};

} // namespace vq
