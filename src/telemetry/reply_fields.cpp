#include "reply_fields.h"

#include <charconv>

namespace vq {

DecimalText::DecimalText(std::int32_t value)
{
    // Eleven characters hold every 32-bit value ("-2147483648").
    auto [end, ec] = std::to_chars(digits_, digits_ + sizeof digits_, value);
    length_ = ec == std::errc{} ? static_cast<std::size_t>(end - digits_) : 0;
}

} // namespace vq
