// Text forms of one reply and the field conversions every block decoder
// uses. A reply is looked at as hex digits: replyHex (two upper-case digits
// per byte, no separator), replyText (the same pairs with single blanks,
// as the received frame is shown) and dataHex (the data part of replyHex:
// four digits per register, register order as received, high byte first
// within a register).
//
// A field is addressed by its register offset in the block (0 for the first
// register). A field whose digits are not all present, or are not hex, gives
// nullopt; the decoder then leaves that field's display and stored value as
// they were and goes on with the next field.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vq {

// replyHex of the bytes, written into out (its capacity is reused).
void makeReplyHex(std::span<const std::uint8_t> bytes, std::string& out);
// replyText of the bytes: pairs separated by single blanks, none at the end.
void makeReplyText(std::span<const std::uint8_t> bytes, std::string& out);

// 16-bit integer field: the register's four digits read as a signed two's
// complement value. Every 16-bit field of every block (state, mode, speed
// and busy words, servo states, alarm codes, PID gains) goes through this
// one function, so FFFF shows -1 everywhere and 8000 shows -32768.
std::optional<std::int16_t> wordField(std::string_view dataHex, int reg);

// 32-bit integer field over registers reg (low word) and reg + 1 (high
// word): the controller sends the low word first. Signed two's complement.
std::optional<std::int32_t> longField(std::string_view dataHex, int reg);

// Float field over registers reg and reg + 1: the eight digits in received
// order are the float's four bytes, least significant first (0000803F is
// 1.0).
std::optional<float> floatField(std::string_view dataHex, int reg);

// The float field formatted with the given number of decimals ("0.000" is
// 3, "0" is 0). A NaN or infinity cannot be shown and fails like a missing
// field.
std::optional<std::string> floatFieldText(std::string_view dataHex, int reg, int decimals);

// Decimal text of an integer without leading zeros ("-1", "65536"), held
// in place so that showing a number costs no allocation.
class DecimalText {
public:
    explicit DecimalText(std::int32_t value);
    std::string_view view() const { return {digits_, length_}; }

private:
    char digits_[12];
    std::size_t length_ = 0;
};

} // namespace vq
