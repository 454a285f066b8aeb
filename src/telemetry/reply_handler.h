// Decodes every reply the link accepted: the block the reply speaks of (the
// request's start register for a read, the echoed one for a write
// acknowledgement) picks the decoder from one table.
#pragma once

#include <string>

#include "link/board.h"
#include "link/form_state.h"
#include "link/link.h"

namespace vq {

class ReplyHandler {
public:
    ReplyHandler(FormState& state, Board& board);

    // Runs the decoder of the reply's block, if the table has one. Save
    // acknowledgements set their buttons' captions; a read reply goes to its
    // block's decoder field by field (a field the data does not cover is
    // left as it was).
    void handle(const Reply& reply);

private:
    FormState& state_;
    Board& board_;
};

} // namespace vq
