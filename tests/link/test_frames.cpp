#include <gtest/gtest.h>

#include "link/crc.h"
#include "link/frames.h"
#include "link/hex.h"
#include "link/mailbox.h"
#include "link/slots.h"

namespace vq {
namespace {

TEST(ReadRequest, StatusBlockAtSlave128)
{
    EXPECT_EQ(bytesToHexText(readRequest(128, 0x1000, 36)), "80 03 10 00 00 24 5F 00");
}

TEST(ReadRequest, ReplyLengthFollowsTheCount)
{
    struct Case { Slot slot; int length; };
    const Case cases[] = {{Slot::ReadStatus, 77}, {Slot::ReadPose, 77}, {Slot::ReadPidGains, 41},
                          {Slot::ReadMechanical, 29}, {Slot::ReadPointSpeed, 29}, {Slot::JointTarget, 8},
                          {Slot::ArcMove, 8}, {Slot::StoreParameters, 8}};
    for (const auto& c : cases) EXPECT_EQ(slotRow(c.slot).replyLength(), c.length) << slotNumber(c.slot);
}

TEST(ReadRequest, SlaveAddressText)
{
    struct Case { const char* slave; std::uint8_t address; };
    const Case cases[] = {{"128", 0x80}, {"1", 0x01}, {"300", 0x2C}, {"x", 0x00}, {"", 0x00}};
    for (const auto& c : cases) {
        EXPECT_EQ(slaveFromText(c.slave), c.address) << c.slave;
        EXPECT_EQ(readRequest(slaveFromText(c.slave), 0x1000, 36).front(), c.address) << c.slave;
    }
}

TEST(WriteRequest, OneWordToModeRegister)
{
    EXPECT_EQ(bytesToHexText(writeRequest(128, 0x1001, 1, wordData(1))), "80 10 10 01 00 01 02 00 01 1B D6");
}

TEST(WriteRequest, QuantityIsPassedThroughNotDerived)
{
    const float six[] = {0, 0, -90, 0, -90, 0};
    auto f = writeRequest(128, 0x11B0, 6, floatData(six));
    ASSERT_EQ(f.size(), 9u + 24u);
    EXPECT_EQ(bytesToHexText(std::span(f).subspan(0, 7)), "80 10 11 B0 00 06 18");
    EXPECT_EQ(bytesToHexText(std::span(f).subspan(15, 4)), "00 00 B4 C2");
    const float thirteen[13] = {};
    auto arc = writeRequest(128, 0x11E0, 13, floatData(thirteen));
    EXPECT_EQ(bytesToHexText(std::span(arc).subspan(0, 7)), "80 10 11 E0 00 0D 34");
    EXPECT_EQ(arc.size(), 9u + 52u);
    // The CRC covers everything before it.
    EXPECT_EQ(crc16(f), 0);
    EXPECT_EQ(crc16(arc), 0);
}

TEST(CrcMatches, LastTwoBytesLowFirst)
{
    const auto good = readRequest(128, 0x1000, 36);
    auto swapped = good;
    std::swap(swapped[6], swapped[7]);
    auto flipped = good;
    flipped[3] ^= 0x40;
    struct Case { const char* what; std::vector<std::uint8_t> frame; bool matches; };
    const Case cases[] = {
        {"request", good, true},
        {"CRC bytes swapped", swapped, false},
        {"one bit flipped", flipped, false},
        {"three bytes, reference CRC", {0x0A, 0x3F, 0x47}, true},
        {"exception reply, reference CRC", {0x80, 0x83, 0x02, 0x90, 0xD9}, true},
        {"two bytes", {0x80, 0x03}, false},
        {"nothing", {}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(crcMatches(c.frame), c.matches) << c.what;
}

TEST(RequestData, WordsHighByteFirstFloatsLeastSignificantFirst)
{
    EXPECT_EQ(bytesToHexText(wordData(0xFFA6)), "FF A6");
    EXPECT_EQ(bytesToHexText(sixWords(kSwitchOff)), "00 02 00 02 00 02 00 02 00 02 00 02");
    const float values[] = {1.0f, -0.5f};
    EXPECT_EQ(bytesToHexText(floatData(values)), "00 00 80 3F 00 00 00 BF");
    struct Case { const char* text; std::uint16_t word; };
    const Case cases[] = {{"300", 0x012C}, {"-90", 0xFFA6}, {"65537", 0x0001}, {"x", 0}, {"", 0}};
    for (const auto& c : cases) EXPECT_EQ(wordFromText(c.text), c.word) << c.text;
}

} // namespace
} // namespace vq
