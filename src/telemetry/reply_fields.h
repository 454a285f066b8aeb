// Decimal text of the integers the read-outs show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vq {

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
