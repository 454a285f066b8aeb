// The poll scheduler: the only sender on the line. Each Timer1 event (35 ms)
// advances pollTick to the next slot that is due and sends exactly that one
// request; the event that reaches 200 wraps to 0 and sends nothing. Operator
// actions and the program runner only fill a payload and raise a slot.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "board.h"
#include "form_state.h"
#include "frames.h"

namespace vq {

// One row of the slot table.
struct SlotRow {
    enum class When : std::uint8_t { Check2, Check3, Flag };
    enum class Kind : std::uint8_t { Read, Write };
    enum class Source : std::uint8_t { None, Payload, BoxWord, Constant };

    std::int16_t slot;
    When when;
    Kind kind;
    const char* start;    // "10 00"
    const char* amount;   // read: register count as hex text ("00 24"); write: quantity as decimal text ("6")
    Source source;
    std::string FormState::*payload; // Source::Payload
    const char* box;      // Source::BoxWord: text box array whose element's text is sent with wordToHex
    int boxIndex;         // element of that array
    const char* constant; // Source::Constant
    std::int16_t followUp; // slot raised after the write went out, 0 for none
    bool keepFlag;         // the flag stays raised after sending (jog word)
};

// The table, in ascending slot order.
std::span<const SlotRow> slotTable();
// The row of a slot, or nullptr.
const SlotRow* slotRow(int slot);

class PollScheduler {
public:
    PollScheduler(FormState& state, Board& board, RequestSender& sender) : state_(state), board_(board), sender_(sender) {}

    // One Timer1 event.
    void pollTick();

private:
    bool rowDue(const SlotRow& row) const;
    void carryOut(const SlotRow& row);

    FormState& state_;
    Board& board_;
    RequestSender& sender_;
};

} // namespace vq
