// The simulated controller's side of the line: the request framer and the
// controller behind it. The input, less its last eight bytes, is the byte
// stream the master sends; the last eight bytes seed how it is cut into
// chunks and how much time passes between chunks (sometimes more than the
// silence that ends a frame). The controller's time moves on with the
// chunks, so moves and jogs started by the requests run.
//
// Checked: every request the framer delivers has a good CRC and the length
// its function gives; the framer never holds more than its buffer; every
// reply has a good CRC, comes from the controller's address, and is either
// an exception for the request's function or the reply the console relies
// on (a read: 5 + 2 x count bytes; a write: the echo of start and quantity).
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "link/hex.h"
#include "sim/controller.h"
#include "sim/modbus.h"

namespace {

constexpr std::uint8_t kAddress = 128;

std::string hex(std::span<const std::uint8_t> bytes) { return vq::fuzz::quoted(vq::bytesToHexText(bytes)); }

void checkReply(std::span<const std::uint8_t> request, const std::vector<std::uint8_t>& reply)
{
    const auto context = [&] { return "request " + hex(request) + " reply " + hex(reply); };
    VQ_FUZZ_CHECK(vq::sim::crcMatches(reply), context());
    VQ_FUZZ_CHECK(reply[0] == kAddress, context());
    const std::uint8_t fn = request[1];
    if (reply[1] == (fn | 0x80)) {
        VQ_FUZZ_CHECK(reply.size() == 5 && reply[2] >= 1 && reply[2] <= 4, context());
        return;
    }
    VQ_FUZZ_CHECK(reply[1] == fn, context());
    if (fn == vq::sim::kFnReadHolding) {
        const std::size_t count = (std::size_t{request[4]} << 8) | request[5];
        VQ_FUZZ_CHECK(request.size() == 8 && reply.size() == 5 + 2 * count && reply[2] == 2 * count, context());
    } else if (fn == vq::sim::kFnWriteMultiple) {
        VQ_FUZZ_CHECK(reply.size() == 8 && std::memcmp(reply.data(), request.data(), 6) == 0, context());
    } else {
        VQ_FUZZ_CHECK(false, context() + ": a function the controller does not serve was answered");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t seed = 0;
    if (size >= sizeof seed) {
        std::memcpy(&seed, data + size - sizeof seed, sizeof seed);
        size -= sizeof seed;
    }
    vq::fuzz::Choices choose(seed);

    vq::sim::ControllerOptions options;
    options.address = kAddress;
    options.controlMode = static_cast<std::uint16_t>(choose.below(3));
    options.servosOn = choose.chance(70);
    options.timeScale = choose.chance(50) ? 1.0 : 50.0;
    vq::sim::Controller controller(options);
    // The silence that ends a partial frame at 115200 baud (2 ms at least).
    constexpr double kSilence = 0.002;
    vq::sim::RequestFramer framer(kAddress, kSilence);

    double now = 0;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t chunk = std::min<std::size_t>(1 + choose.below(choose.chance(20) ? 64 : 12), size - at);
        // Mostly bytes back to back, sometimes a pause that ends a frame.
        const double gap = choose.chance(85) ? 0.0001 * static_cast<double>(choose.below(10)) : 0.001 * static_cast<double>(1 + choose.below(600));
        now += gap;
        controller.advance(gap);

        const auto frames = framer.feed(std::span<const std::uint8_t>(data + at, chunk), now);
        at += chunk;
        VQ_FUZZ_CHECK(framer.buffered() <= vq::sim::RequestFramer::kMaxBuffer, std::to_string(framer.buffered()));

        for (const auto& f : frames) {
            const std::span<const std::uint8_t> request(f.bytes);
            VQ_FUZZ_CHECK(request.size() >= 4 && vq::sim::crcMatches(request), "framed " + hex(request));
            VQ_FUZZ_CHECK(f.forUs == (request[0] == kAddress), "framed " + hex(request));
            if (request[1] == vq::sim::kFnReadHolding) VQ_FUZZ_CHECK(request.size() == 8, "framed " + hex(request));
            if (request[1] == vq::sim::kFnWriteMultiple)
                VQ_FUZZ_CHECK(request.size() == 9 + std::size_t{request[6]}, "framed " + hex(request));

            const auto reply = controller.handle(request);
            VQ_FUZZ_CHECK(reply.has_value() == f.forUs, "framed " + hex(request));
            if (reply) checkReply(request, *reply);
        }
    }

    // Whatever the stream did, the arm's state stays readable: the two
    // blocks the console polls are always answered in full.
    controller.advance(0.05);
    for (const std::uint16_t start : {std::uint16_t{0x1000}, std::uint16_t{0x1170}}) {
        const auto regs = controller.readRegisters(start, 0x24);
        VQ_FUZZ_CHECK(regs && regs->size() == 0x24, "block " + std::to_string(start));
    }
    // The whole input as one frame, as a slave that got it in one piece.
    const std::span<const std::uint8_t> whole(data, size);
    if (const auto reply = controller.handle(whole)) {
        VQ_FUZZ_CHECK(size >= 4 && data[0] == kAddress, "whole " + hex(whole));
        checkReply(whole, *reply);
    }
    return 0;
}
