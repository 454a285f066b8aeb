#include "frames.h"

#include "crc.h"
#include "hex.h"

namespace vq {
namespace {

RequestFrame finish(std::string text)
{
    RequestFrame f;
    auto body = hexTextToBytes(text);
    text += ' ';
    text += bytesToCrcHexSep(body, " ");
    f.bytes = hexTextToBytes(text);
    f.text = std::move(text);
    return f;
}

// "00 24" read as one hexadecimal number with the blank ignored.
int countFromText(std::string_view count)
{
    std::string digits;
    for (char c : count)
        if (c != ' ') digits.push_back(c);
    auto v = parseHexDigits(digits);
    return v ? static_cast<int>(*v & 0xFFFF) : 0;
}

} // namespace

RequestFrame buildReadRequest(std::string_view slaveText, std::string_view start, std::string_view count)
{
    std::string text = byteToHex(slaveText);
    text += " 03 ";
    text += start;
    text += ' ';
    text += count;
    RequestFrame f = finish(std::move(text));
    f.expectedReplyLength = 2 * countFromText(count) + 5;
    return f;
}

RequestFrame buildWriteRequest(std::string_view slaveText, std::string_view start, std::string_view quantityDecimal,
                               std::string_view payload)
{
    // Byte count: the number of blank-separated pieces of the payload.
    std::size_t pieces = payload.empty() ? 0 : 1;
    for (char c : payload)
        if (c == ' ') ++pieces;
    std::string text = byteToHex(slaveText);
    text += " 10 ";
    text += start;
    text += ' ';
    text += wordToHex(quantityDecimal);
    text += ' ';
    text += byteToHex(static_cast<std::uint8_t>(pieces & 0xFF));
    if (!payload.empty()) {
        text += ' ';
        text += payload;
    }
    RequestFrame f = finish(std::move(text));
    f.expectedReplyLength = 8;
    return f;
}

void RequestSender::sendReadRequest(std::string_view start, std::string_view count)
{
    std::string slave = board_.text(Ctl::SlaveAddress);
    state_.replyAddress = std::string(start);
    transmit(buildReadRequest(slave, start, count));
}

void RequestSender::sendWriteRequest(std::string_view start, std::string_view quantityDecimal, std::string_view payload)
{
    std::string slave = board_.text(Ctl::SlaveAddress);
    transmit(buildWriteRequest(slave, start, quantityDecimal, payload));
}

void RequestSender::transmit(const RequestFrame& frame)
{
    board_.setText(Ctl::SentFrame, kNoIndex, frame.text);
    state_.expectedReplyLength = frame.expectedReplyLength;
    port_.discardInput();
    port_.setReceiveThreshold(frame.expectedReplyLength);
    port_.write(frame.bytes);
}

} // namespace vq
