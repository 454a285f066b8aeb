// The slave-side request framer: arbitrary chunks, garbage, silence.
#include <gtest/gtest.h>

#include "sim/modbus.h"
#include "sim_rig.h"

using namespace vq::sim;
using namespace vq::sim::test;

namespace {

constexpr double kSilence = 0.002;

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

std::vector<Bytes> feedAll(RequestFramer& f, const Bytes& bytes, double at = 0.0)
{
    std::vector<Bytes> out;
    for (auto& fr : f.feed(bytes, at)) {
        out.push_back(fr.bytes);
    }
    return out;
}

} // namespace

TEST(Framer, OneByteAtATimeCompletesOnTheLastByte)
{
    const Bytes read = readFrame(0x1000, 36);
    const Bytes write = writeFrame(0x11E0, 13, floatBytes({250, 0, 150, 180, 0, 0, 200, -50, 150, 180, 0, 0, 0}));
    ASSERT_EQ(write.size(), 9u + 52u);
    for (const Bytes& frame : {read, write}) {
        RequestFramer f(128, kSilence);
        double t = 0;
        for (std::size_t i = 0; i < frame.size(); ++i) {
            const auto got = f.feed(std::span(&frame[i], 1), t);
            t += 0.0001; // 0.1 ms between bytes: well inside the silence time
            if (i + 1 < frame.size()) {
                EXPECT_TRUE(got.empty()) << "frame emitted early at byte " << i;
            } else {
                ASSERT_EQ(got.size(), 1u);
                EXPECT_EQ(got[0].bytes, frame);
                EXPECT_TRUE(got[0].forUs);
            }
        }
        EXPECT_EQ(f.buffered(), 0u);
        EXPECT_EQ(f.discardedBytes(), 0u);
    }
}

TEST(Framer, GarbageInFrontIsSkipped)
{
    const Bytes frame = readFrame(0x1170, 36);
    // Garbage that looks like the start of requests: our address with a
    // read header, a write header with a huge byte count, an unknown
    // function, and noise.
    const std::vector<Bytes> garbage{
        {0x00},
        {0xFF, 0x13, 0x80},
        {0x80, 0x03, 0x10, 0x00},                         // cut-off read
        {0x80, 0x10, 0x11, 0xB0, 0x00, 0x06, 0xF0, 0x01}, // write announcing 240 bytes
        {0x80, 0x03, 0x10, 0x00, 0x00, 0x24, 0x00, 0x00}, // full read length, bad CRC
        {0x55, 0xAA, 0x80, 0x80, 0x03},
    };
    for (const Bytes& g : garbage) {
        RequestFramer f(128, kSilence);
        const auto got = feedAll(f, concat({g, frame}));
        ASSERT_EQ(got.size(), 1u) << "garbage of " << g.size() << " bytes";
        EXPECT_EQ(got[0], frame);
        EXPECT_EQ(f.discardedBytes(), g.size());
        EXPECT_EQ(f.buffered(), 0u);

        // The same, one byte at a time.
        RequestFramer slow(128, kSilence);
        std::vector<Bytes> frames;
        const Bytes all = concat({g, frame});
        for (std::size_t i = 0; i < all.size(); ++i) {
            for (auto& fr : slow.feed(std::span(&all[i], 1), 0.00005 * static_cast<double>(i))) {
                frames.push_back(fr.bytes);
            }
        }
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0], frame);
    }
}

TEST(Framer, SilenceDropsAPartialFrame)
{
    const Bytes frame = readFrame(0x1000, 36);
    RequestFramer f(128, kSilence);
    EXPECT_TRUE(f.feed(std::span(frame).first(5), 0.000).empty());
    // The rest of the first frame comes too late: it is garbage now, and
    // the next whole frame is still taken.
    EXPECT_TRUE(f.feed(std::span(frame).subspan(5), 0.010).empty());
    const auto got = feedAll(f, frame, 0.0101);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], frame);
    EXPECT_EQ(f.discardedBytes(), frame.size());

    // Within the silence time the pieces belong together.
    RequestFramer g(128, kSilence);
    EXPECT_TRUE(g.feed(std::span(frame).first(5), 0.000).empty());
    EXPECT_EQ(g.feed(std::span(frame).subspan(5), 0.0015).size(), 1u);
}

TEST(Framer, BadCrcIsIgnoredAndTheNextFrameTaken)
{
    Bytes bad = readFrame(0x1000, 36);
    bad[6] ^= 0x01;
    const Bytes good = writeFrame(0x1001, 1, wordBytes({1}));
    RequestFramer f(128, kSilence);
    EXPECT_TRUE(f.feed(bad, 0.0).empty());
    const auto got = feedAll(f, good, 0.001);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], good);
}

TEST(Framer, BackToBackFramesAndOtherSlaves)
{
    const Bytes a = readFrame(0x1000, 36);
    const Bytes other = readFrame(0x1000, 36, 7);
    const Bytes b = writeFrame(0x1004, 1, wordBytes({10}));
    RequestFramer f(128, kSilence);
    const auto got = f.feed(concat({a, other, b}), 0.0);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].bytes, a);
    EXPECT_TRUE(got[0].forUs);
    EXPECT_EQ(got[1].bytes, other);
    EXPECT_FALSE(got[1].forUs);
    EXPECT_EQ(got[2].bytes, b);
    EXPECT_EQ(f.discardedBytes(), 0u);
}

TEST(Framer, UnknownFunctionForUsEndsAtItsCrc)
{
    // Function 06 (write single register), 8 bytes: the slave must see it
    // whole to answer with an exception.
    const Bytes fn6 = withCrc({0x80, 0x06, 0x10, 0x01, 0x00, 0x01});
    const Bytes next = readFrame(0x1000, 1);
    RequestFramer f(128, kSilence);
    const auto got = feedAll(f, concat({fn6, next}));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], fn6);
    EXPECT_EQ(got[1], next);
}

TEST(Framer, EndlessGarbageStaysBounded)
{
    RequestFramer f(128, 10.0);
    Bytes noise(3000);
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<std::uint8_t>((i * 7919u) >> 3);
    }
    for (std::size_t i = 0; i < noise.size(); i += 100) {
        f.feed(std::span(noise).subspan(i, 100), 0.0);
        EXPECT_LE(f.buffered(), RequestFramer::kMaxBuffer);
    }
    // A good frame after all that still gets through.
    const Bytes frame = readFrame(0x1000, 36);
    const auto got = feedAll(f, frame, 0.0);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), frame);
}

TEST(Framer, ExceptionReplyLayout)
{
    EXPECT_EQ(exceptionReply(0x80, 0x03, ExceptionCode::IllegalDataAddress), (Bytes{0x80, 0x83, 0x02, 0x90, 0xD9}));
    EXPECT_EQ(exceptionReply(0x80, 0x10, ExceptionCode::IllegalDataValue), (Bytes{0x80, 0x90, 0x03, 0x5C, 0x29}));
}
