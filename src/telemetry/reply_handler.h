// Decodes every reply the link accepted: the block the reply speaks of (the
// request's start register for a read, the echoed one for a write
// acknowledgement) picks the decoder from one table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "decoded.h"
#include "link/board.h"
#include "link/form_state.h"
#include "link/link.h"

namespace vq {

// Whoever else follows the arm (the pictures, the session's recording):
// each block as decoded, after the window has shown it. Unset members are
// not called.
struct BlockListener {
    std::function<void(const StatusBlock&)> status;
    std::function<void(const PoseBlock&)> pose;
    std::function<void(std::uint16_t block, const FloatBlock&)> floats; // parameter blocks by start register
};

class ReplyHandler {
public:
    ReplyHandler(FormState& state, Board& board);

    void listen(BlockListener listener) { listener_ = std::move(listener); }

    // Runs the decoder of the reply's block, if the table has one. Save
    // acknowledgements set their buttons' captions; a read reply goes to its
    // block's decoder field by field (a field the data does not cover is
    // left as it was).
    void handle(const Reply& reply);

private:
    FormState& state_;
    Board& board_;
    BlockListener listener_;
};

} // namespace vq
