#include "mailbox.h"

#include <cstring>

#include "hex.h"

namespace vq {

void Mailbox::post(Slot slot, std::span<const std::uint8_t> data)
{
    store(slotRow(slot).payload, data);
    raise(slot);
}

void Mailbox::store(Payload payload, std::span<const std::uint8_t> data)
{
    const auto i = static_cast<std::size_t>(payload);
    data_[i].assign(data.begin(), data.end());
    stored_[i] = true;
}

std::span<const std::uint8_t> Mailbox::payload(Payload payload) const { return data_[static_cast<std::size_t>(payload)]; }

int Mailbox::raisedCount() const
{
    int n = 0;
    for (bool r : raised_) n += r ? 1 : 0;
    return n;
}

std::vector<std::uint8_t> wordData(std::uint16_t word)
{
    return {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word & 0xFF)};
}

std::vector<std::uint8_t> sixWords(std::uint16_t word)
{
    std::vector<std::uint8_t> out;
    out.reserve(12);
    for (int axis = 0; axis < 6; ++axis) {
        out.push_back(static_cast<std::uint8_t>(word >> 8));
        out.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
    return out;
}

std::vector<std::uint8_t> floatData(std::span<const float> values)
{
    std::vector<std::uint8_t> out;
    out.reserve(values.size() * 4);
    for (float v : values) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits); // least significant byte first whatever the host's order
        for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
    }
    return out;
}

std::uint16_t wordFromText(std::string_view decimal)
{
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(decimalTextToInt32(decimal)) & 0xFFFFu);
}

} // namespace vq
