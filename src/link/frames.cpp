#include "frames.h"

#include "crc.h"
#include "hex.h"

namespace vq {
namespace {

void putWord(std::vector<std::uint8_t>& f, std::uint16_t word)
{
    f.push_back(static_cast<std::uint8_t>(word >> 8));
    f.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

// The low byte of the CRC comes first in the RTU message.
void appendCrc(std::vector<std::uint8_t>& f)
{
    const std::uint16_t crc = crc16(f);
    f.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    f.push_back(static_cast<std::uint8_t>(crc >> 8));
}

} // namespace

std::vector<std::uint8_t> readRequest(std::uint8_t slave, std::uint16_t start, std::uint16_t count)
{
    std::vector<std::uint8_t> f;
    f.reserve(8);
    f.push_back(slave);
    f.push_back(kReadHolding);
    putWord(f, start);
    putWord(f, count);
    appendCrc(f);
    return f;
}

std::vector<std::uint8_t> writeRequest(std::uint8_t slave, std::uint16_t start, std::uint16_t quantity,
                                       std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> f;
    f.reserve(9 + data.size());
    f.push_back(slave);
    f.push_back(kWriteMultiple);
    putWord(f, start);
    putWord(f, quantity);
    f.push_back(static_cast<std::uint8_t>(data.size() & 0xFF));
    f.insert(f.end(), data.begin(), data.end());
    appendCrc(f);
    return f;
}

bool crcMatches(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 3) return false;
    const std::size_t n = frame.size() - 2;
    const std::uint16_t received = static_cast<std::uint16_t>(frame[n] | (frame[n + 1] << 8));
    return crc16(frame.first(n)) == received;
}

std::uint8_t slaveFromText(std::string_view decimal)
{
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(decimalTextToInt32(decimal)) & 0xFFu);
}

} // namespace vq
