// The request mailbox. Operator actions and the program runner never touch
// the line: they store the data of a request and raise its slot, and the
// poll scheduler sends it when its tick reaches that slot. Everything runs on
// the window's one thread, so nothing here is locked.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "slots.h"

namespace vq {

class Mailbox {
public:
    // Asks the scheduler to send the slot once (a raised slot raised again
    // is still sent once; only raises() counts it).
    void raise(Slot slot)
    {
        raised_[index(slot)] = true;
        ++raises_[index(slot)];
    }
    void lower(Slot slot) { raised_[index(slot)] = false; }
    bool due(Slot slot) const { return raised_[index(slot)]; }

    // Stores the data that the slot's row sends and raises the slot. The
    // data is read when the slot is served, so the last one stored before
    // then is the one sent.
    void post(Slot slot, std::span<const std::uint8_t> data);
    void store(Payload payload, std::span<const std::uint8_t> data);
    std::span<const std::uint8_t> payload(Payload payload) const;
    // Whether anything was ever stored there.
    bool stored(Payload payload) const { return stored_[static_cast<std::size_t>(payload)]; }
    // Number of raised slots; lowers every slot (nothing left to send).
    int raisedCount() const;
    void lowerAll() { raised_.fill(false); }
    // How often the slot was raised so far, raises of a raised slot
    // included: tells whether anyone else asked for a slot raised earlier.
    std::uint64_t raises(Slot slot) const { return raises_[index(slot)]; }

    // The same requests and data; how often each slot was raised is history.
    friend bool operator==(const Mailbox& a, const Mailbox& b)
    {
        return a.raised_ == b.raised_ && a.data_ == b.data_ && a.stored_ == b.stored_;
    }

private:
    static std::size_t index(Slot slot) { return static_cast<std::size_t>(slotNumber(slot)); }

    std::array<bool, kSlotCount> raised_{};
    std::array<std::uint64_t, kSlotCount> raises_{};
    std::array<std::vector<std::uint8_t>, static_cast<std::size_t>(Payload::Count)> data_;
    std::array<bool, static_cast<std::size_t>(Payload::Count)> stored_{};
};

// Request data as the controller reads it: a 16-bit word high byte first, a
// 32-bit float as its four bytes least significant first (1.0 is 00 00 80 3F).
std::vector<std::uint8_t> wordData(std::uint16_t word);
// The same word for each of the six axes (switch words: 1 on, 2 off).
std::vector<std::uint8_t> sixWords(std::uint16_t word);
std::vector<std::uint8_t> floatData(std::span<const float> values);
// A word typed as decimal text: the low 16 bits of the number, 0 for text
// that is not a number.
std::uint16_t wordFromText(std::string_view decimal);

inline constexpr std::uint16_t kSwitchOn = 1;  // also the execute word of clear, origin and save
inline constexpr std::uint16_t kSwitchOff = 2;

} // namespace vq
