// The register map as seen on the wire: block reads, write echoes,
// exceptions.
#include <gtest/gtest.h>

#include "link/crc.h"
#include "sim/modbus.h"
#include "sim_rig.h"

using namespace vq::sim;
using namespace vq::sim::test;

namespace {

bool goodCrc(const Bytes& b) { return crcMatches(b); }

} // namespace

TEST(Registers, EveryBlockReadHasTheRightLengthAndCrc)
{
    struct Case {
        std::uint16_t start;
        std::uint16_t count;
    };
    const Case cases[] = {{0x1000, 36}, {0x1050, 18}, {0x1110, 12}, {0x1120, 12}, {0x1130, 12}, {0x1140, 12},
                          {0x1150, 12}, {0x1160, 12}, {0x1170, 36}, {0x11A0, 12}, {0x11A6, 12}};
    Rig rig;
    for (const Case& c : cases) {
        const Bytes r = rig.read(c.start, c.count);
        ASSERT_EQ(r.size(), 5u + 2u * c.count) << std::hex << c.start;
        EXPECT_EQ(r[0], 0x80);
        EXPECT_EQ(r[1], 0x03);
        EXPECT_EQ(r[2], 2 * c.count);
        EXPECT_TRUE(goodCrc(r)) << std::hex << c.start;
    }
    // The console's status poll, byte for byte on the way in.
    EXPECT_EQ(readFrame(0x1000, 36), (Bytes{0x80, 0x03, 0x10, 0x00, 0x00, 0x24, 0x5F, 0x00}));
}

TEST(Registers, StatusBlockAtStart)
{
    Rig rig;
    const Bytes r = rig.read(0x1000, 36);
    EXPECT_EQ(replyWord(r, 0), 1);  // ready
    EXPECT_EQ(replyWord(r, 1), 0);  // run mode
    EXPECT_EQ(replyWord(r, 2), 1);  // teach speed
    EXPECT_EQ(replyWord(r, 3), 1);  // joint mode
    EXPECT_EQ(replyWord(r, 4), 0);  // no jog
    EXPECT_EQ(replyWord(r, 5), 0);  // idle
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(replyWord(r, 6 + k), 0) << "servo " << k + 1;
        EXPECT_EQ(replyWord(r, 30 + k), 0) << "alarm " << k + 1;
    }
    // Joint 5 at 90 degrees, ratio 50, 10000 counts: 125000 = 0001E848,
    // low word first.
    EXPECT_EQ(replyWord(r, 18 + 8), 0xE848);
    EXPECT_EQ(replyWord(r, 19 + 8), 0x0001);
    EXPECT_EQ(replyWord(r, 18), 0); // joint 1 at 0
}

TEST(Registers, NegativeEncoderPositionIsTwosComplementLowWordFirst)
{
    Rig rig;
    rig.c.setJoints({-0.00045, 0, 0, 0, 90, 0}); // -0.00045 * 80 * 10000 / 360 = -1
    const Bytes r = rig.read(0x1012, 2);
    EXPECT_EQ(replyWord(r, 0), 0xFFFF);
    EXPECT_EQ(replyWord(r, 1), 0xFFFF);
    EXPECT_EQ(rig.c.encoderPosition(1), -1);
}

TEST(Registers, PoseBlockFloatsAreLittleEndian)
{
    Rig rig;
    const Bytes r = rig.read(0x1170, 36);
    // Joint 5 = 90.0f: 00 00 B4 42.
    EXPECT_EQ((Bytes{r[3 + 16], r[4 + 16], r[5 + 16], r[6 + 16]}), (Bytes{0x00, 0x00, 0xB4, 0x42}));
    // Start pose: tool straight down at (200, 0, 310), A 180 B 0 C 0.
    const float expected[] = {0, 0, 0, 0, 90, 0, 200, 0, 310, 180, 0, 0};
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_NEAR(replyFloat(r, i), expected[i], 1e-3) << "float " << i;
    }
    for (std::size_t i = 12; i < 18; ++i) {
        EXPECT_EQ(replyFloat(r, i), 0.0f) << "monitor " << i - 11;
    }
}

TEST(Registers, ParameterBlocksHoldTheParameters)
{
    Rig rig;
    const Parameters& p = rig.c.parameters();
    struct Case {
        std::uint16_t start;
        std::vector<float> values;
    };
    const std::vector<Case> cases{
        {0x1110, {p.mechanical.begin(), p.mechanical.end()}},
        {0x1120, {p.reduction.begin(), p.reduction.end()}},
        {0x1130, {p.encoder.begin(), p.encoder.end()}},
        {0x1140, {p.limitPositive.begin(), p.limitPositive.end()}},
        {0x1150, {p.limitNegative.begin(), p.limitNegative.end()}},
        {0x1160, {p.tool[0], p.tool[1], p.tool[2], 0, 0, 0}},
        {0x11A0, {p.pointSpeed[0], p.pointSpeed[1], p.pointSpeed[2], p.lineSpeed[0], p.lineSpeed[1], p.lineSpeed[2]}},
    };
    for (const Case& c : cases) {
        const Bytes r = rig.read(c.start, 12);
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(replyFloat(r, i), c.values[i]) << std::hex << c.start << " float " << i;
        }
    }
    // 10000.0f on the wire: 00 40 1C 46.
    const Bytes enc = rig.read(0x1130, 2);
    EXPECT_EQ((Bytes{enc[3], enc[4], enc[5], enc[6]}), (Bytes{0x00, 0x40, 0x1C, 0x46}));
}

TEST(Registers, WrittenParametersReadBack)
{
    Rig rig;
    rig.floats(0x1120, {101, 102, 103, 104, 105, 106.5f});
    rig.floats(0x1160, {1.5f, -2.25f, 30});
    rig.floats(0x11A6, {55, 10, 20});
    const Bytes ratios = rig.read(0x1120, 12);
    EXPECT_EQ(replyFloat(ratios, 5), 106.5f);
    const Bytes tool = rig.read(0x1160, 12);
    EXPECT_EQ(replyFloat(tool, 0), 1.5f);
    EXPECT_EQ(replyFloat(tool, 1), -2.25f);
    EXPECT_EQ(replyFloat(tool, 2), 30.0f);
    EXPECT_EQ(replyFloat(tool, 3), 0.0f);
    const Bytes line = rig.read(0x11A6, 12);
    EXPECT_EQ(replyFloat(line, 0), 55.0f);
    EXPECT_EQ(replyFloat(line, 2), 20.0f);
}

TEST(Registers, PidTableReadsContiguouslyAndWritesByGain)
{
    Rig rig;
    rig.words(0x1051, {300});   // Kp axis 2
    rig.words(0x1062, {7});     // Ki axis 3
    rig.words(0x1075, {65535}); // Kd axis 6
    const Bytes r = rig.read(0x1050, 18);
    ASSERT_EQ(r.size(), 41u);
    EXPECT_EQ(replyWord(r, 1), 300);
    EXPECT_EQ((Bytes{r[5], r[6]}), (Bytes{0x01, 0x2C}));
    EXPECT_EQ(replyWord(r, 6 + 2), 7);
    EXPECT_EQ(replyWord(r, 12 + 5), 65535);
    EXPECT_EQ(replyWord(r, 0), rig.c.parameters().kp[0]);
}

TEST(Registers, WriteAcknowledgementsEchoStartAndQuantity)
{
    struct Case {
        const char* what;
        Bytes request;
        Bytes ack;
    };
    const std::vector<Case> cases{
        {"joint target, 6 floats in 24 bytes", writeFrame(0x11B0, 6, floatBytes({0, 0, 0, 0, 90, 0})),
         {0x80, 0x10, 0x11, 0xB0, 0x00, 0x06, 0x5A, 0xC1}},
        {"arc, 13 floats in 52 bytes",
         writeFrame(0x11E0, 13, floatBytes({250, 0, 150, 180, 0, 0, 200, -50, 150, 180, 0, 0, 0})),
         {0x80, 0x10, 0x11, 0xE0, 0x00, 0x0D, 0x1B, 0x17}},
        {"point move counted in registers", writeFrame(0x11C0, 12, floatBytes({200, 150, 150, 180, 0, 0})),
         {0x80, 0x10, 0x11, 0xC0, 0x00, 0x0C, 0xDB, 0x1D}},
        {"six servo words", writeFrame(0x1010, 6, wordBytes({2, 2, 2, 2, 2, 2})),
         {0x80, 0x10, 0x10, 0x10, 0x00, 0x06, 0x5B, 0x1F}},
        {"jog word", writeFrame(0x1004, 1, wordBytes({0})), {0x80, 0x10, 0x10, 0x04, 0x00, 0x01, 0x5A, 0xD9}},
    };
    for (const Case& c : cases) {
        Rig rig;
        EXPECT_EQ(rig.request(c.request), c.ack) << c.what;
    }
    // The console's control-mode write, byte for byte.
    EXPECT_EQ(writeFrame(0x1001, 1, wordBytes({1})), (Bytes{0x80, 0x10, 0x10, 0x01, 0x00, 0x01, 0x02, 0x00, 0x01, 0x1B, 0xD6}));
}

TEST(Registers, EveryAcceptedWriteSlotIsAcknowledged)
{
    // The write slots the console uses, with the quantities it sends.
    struct Case {
        std::uint16_t start;
        std::uint16_t quantity;
        Bytes data;
    };
    const Bytes six = floatBytes({1, 2, 3, 4, 5, 6});
    const std::vector<Case> cases{
        {0x1001, 1, wordBytes({0})},   {0x1002, 1, wordBytes({3})},   {0x1003, 1, wordBytes({2})},
        {0x1004, 1, wordBytes({0})},   {0x1010, 1, wordBytes({1})},   {0x1015, 1, wordBytes({2})},
        {0x1040, 6, wordBytes({1, 1, 1, 1, 1, 1})},                  {0x1050, 1, wordBytes({9})},
        {0x1065, 1, wordBytes({9})},   {0x1070, 1, wordBytes({9})},   {0x1080, 6, wordBytes({0, 0, 0, 0, 0, 0})},
        {0x1090, 6, wordBytes({0, 0, 0, 0, 0, 0})},                  {0x10B0, 6, wordBytes({1, 1, 1, 1, 1, 1})},
        {0x1100, 1, wordBytes({1})},   {0x1110, 6, floatBytes({180, 30, 170, 20, 170, 60})},
        {0x1120, 6, six},              {0x1130, 6, six},              {0x1140, 6, floatBytes({170, 110, 150, 180, 130, 360})},
        {0x1150, 6, floatBytes({-170, -110, -150, -180, -130, -360})}, {0x1160, 3, floatBytes({0, 0, 10})},
        {0x11A0, 3, floatBytes({1000, 500, 500})},                   {0x11A6, 3, floatBytes({100, 10, 10})},
    };
    Rig rig;
    for (const Case& c : cases) {
        const Bytes frame = writeFrame(c.start, c.quantity, c.data);
        const Bytes ack = rig.request(frame);
        ASSERT_EQ(ack.size(), 8u) << std::hex << c.start;
        EXPECT_TRUE(std::equal(ack.begin(), ack.begin() + 6, frame.begin())) << std::hex << c.start;
        EXPECT_TRUE(goodCrc(ack));
    }
}

TEST(Registers, BadRequestsGetExceptions)
{
    struct Case {
        const char* what;
        Bytes request;
        std::uint8_t function;
        ExceptionCode code;
    };
    Bytes nan = floatBytes({0, 0, 0, 0, 0, 0});
    nan[3] = 0x7F;
    nan[2] = 0xC0; // quiet NaN in the first float
    const std::vector<Case> cases{
        {"unknown register", readFrame(0x2000, 1), 0x03, ExceptionCode::IllegalDataAddress},
        {"read past the status block", readFrame(0x1000, 37), 0x03, ExceptionCode::IllegalDataAddress},
        {"read between blocks", readFrame(0x1030, 4), 0x03, ExceptionCode::IllegalDataAddress},
        {"read count 0", readFrame(0x1000, 0), 0x03, ExceptionCode::IllegalDataValue},
        {"read count 126", readFrame(0x1110, 126), 0x03, ExceptionCode::IllegalDataValue},
        {"write to the busy word", writeFrame(0x1005, 1, wordBytes({1})), 0x10, ExceptionCode::IllegalDataAddress},
        {"write to the status block start", writeFrame(0x1000, 1, wordBytes({1})), 0x10,
         ExceptionCode::IllegalDataAddress},
        {"seven servo words", writeFrame(0x1010, 7, wordBytes({1, 1, 1, 1, 1, 1, 1})), 0x10,
         ExceptionCode::IllegalDataAddress},
        {"write to the pose block", writeFrame(0x1170, 6, floatBytes({1, 2, 3, 4, 5, 6})), 0x10,
         ExceptionCode::IllegalDataAddress},
        {"float block with a short payload", writeFrame(0x11B0, 6, Bytes(20, 0)), 0x10,
         ExceptionCode::IllegalDataValue},
        {"five floats for a joint target", writeFrame(0x11B0, 5, floatBytes({1, 2, 3, 4, 5})), 0x10,
         ExceptionCode::IllegalDataValue},
        {"word block with float-sized payload", writeFrame(0x1040, 6, Bytes(24, 0)), 0x10,
         ExceptionCode::IllegalDataValue},
        {"quantity 0", writeFrame(0x1001, 0, Bytes{}), 0x10, ExceptionCode::IllegalDataValue},
        {"servo word 3", writeFrame(0x1010, 1, wordBytes({3})), 0x10, ExceptionCode::IllegalDataValue},
        {"control mode 3", writeFrame(0x1001, 1, wordBytes({3})), 0x10, ExceptionCode::IllegalDataValue},
        {"teach speed 6", writeFrame(0x1002, 1, wordBytes({6})), 0x10, ExceptionCode::IllegalDataValue},
        {"teach speed 0", writeFrame(0x1002, 1, wordBytes({0})), 0x10, ExceptionCode::IllegalDataValue},
        {"motion mode 5", writeFrame(0x1003, 1, wordBytes({5})), 0x10, ExceptionCode::IllegalDataValue},
        {"jog code 12", writeFrame(0x1004, 1, wordBytes({12})), 0x10, ExceptionCode::IllegalDataValue},
        {"jog code 70", writeFrame(0x1004, 1, wordBytes({70})), 0x10, ExceptionCode::IllegalDataValue},
        {"alarm clear word 2", writeFrame(0x1040, 6, wordBytes({2, 0, 0, 0, 0, 0})), 0x10,
         ExceptionCode::IllegalDataValue},
        {"NaN target", writeFrame(0x11B0, 6, nan), 0x10, ExceptionCode::IllegalDataValue},
        {"reduction ratio 0", writeFrame(0x1120, 6, floatBytes({0, 1, 1, 1, 1, 1})), 0x10,
         ExceptionCode::IllegalDataValue},
        {"upper arm of length 0", writeFrame(0x1110, 6, floatBytes({180, 30, 0, 20, 170, 60})), 0x10,
         ExceptionCode::IllegalDataValue},
        {"point speed 0", writeFrame(0x11A0, 3, floatBytes({0, 100, 100})), 0x10, ExceptionCode::IllegalDataValue},
        {"negative ramp", writeFrame(0x11A6, 3, floatBytes({100, -1, 100})), 0x10, ExceptionCode::IllegalDataValue},
        {"function 06", withCrc({0x80, 0x06, 0x10, 0x01, 0x00, 0x01}), 0x06, ExceptionCode::IllegalFunction},
        {"function 04", withCrc({0x80, 0x04, 0x10, 0x00, 0x00, 0x24}), 0x04, ExceptionCode::IllegalFunction},
        {"byte count beyond the frame", withCrc({0x80, 0x10, 0x10, 0x01, 0x00, 0x01, 0x04, 0x00, 0x01}), 0x10,
         ExceptionCode::IllegalDataValue},
    };
    for (const Case& c : cases) {
        Rig rig;
        const Parameters before = rig.c.parameters();
        const Bytes r = rig.request(c.request);
        EXPECT_EQ(r, exceptionReply(0x80, c.function, c.code)) << c.what;
        EXPECT_EQ(rig.c.parameters(), before) << c.what << " changed a parameter";
        EXPECT_EQ(rig.c.controlMode(), 0) << c.what;
        EXPECT_EQ(rig.c.busyWord(), 0) << c.what;
    }
}

TEST(Registers, SilenceForOtherSlavesAndBadCrc)
{
    Rig rig;
    EXPECT_FALSE(rig.c.handle(readFrame(0x1000, 36, 1)).has_value());
    EXPECT_FALSE(rig.c.handle(writeFrame(0x1001, 1, wordBytes({1}), 127)).has_value());
    Bytes bad = readFrame(0x1000, 36);
    bad[7] ^= 0x80;
    EXPECT_FALSE(rig.c.handle(bad).has_value());
    EXPECT_FALSE(rig.c.handle(Bytes{0x80, 0x03}).has_value());
    EXPECT_EQ(rig.c.controlMode(), 0); // the write for slave 127 did nothing
    EXPECT_EQ(rig.c.counters().requests, 0u);

    ControllerOptions o;
    o.address = 1;
    Rig other(o);
    EXPECT_TRUE(other.c.handle(readFrame(0x1000, 36, 1)).has_value());
    EXPECT_FALSE(other.c.handle(readFrame(0x1000, 36, 128)).has_value());
}

TEST(Registers, ModeWordsReachTheStatusBlock)
{
    Rig rig;
    rig.words(0x1001, {1});
    rig.words(0x1002, {4});
    rig.words(0x1003, {3});
    rig.words(0x1010, {1, 2, 1, 2, 1, 2});
    const Bytes r = rig.read(0x1000, 12);
    EXPECT_EQ(replyWord(r, 1), 1);
    EXPECT_EQ(replyWord(r, 2), 4);
    EXPECT_EQ(replyWord(r, 3), 3);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(replyWord(r, 6 + k), k % 2 == 0 ? 1 : 0) << "axis " << k + 1;
    }
    rig.words(0x1013, {1}); // single word, axis 4
    EXPECT_TRUE(rig.c.servoOn(4));
    // The four mode words in one write.
    rig.words(0x1001, {0, 2, 1, 0});
    EXPECT_EQ(rig.c.controlMode(), 0);
    EXPECT_EQ(rig.c.teachSpeed(), 2);
    EXPECT_EQ(rig.c.motionMode(), 1);
}
