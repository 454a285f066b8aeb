// Per-call cost of the conversions, the CRC, the frame builder and the
// reply path (CRC check, dispatch, decode) on the two replies the console
// receives ten times a second each: the 77-byte status reply (10 00) and
// the 77-byte pose reply (11 70). The replies come from the simulated
// controller. The reply path is measured into a board of plain values and
// into the real window's QtBoard (offscreen), with the same reply every
// time (an idle arm: the labels keep their text) and with two replies in
// turn (a moving arm: every label changes).
#include <benchmark/benchmark.h>

#include <QApplication>

#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/form_events.h"
#include "app/window/main_window.h"
#include "app/window/qt_board.h"
#include "link/crc.h"
#include "link/form_state.h"
#include "link/frames.h"
#include "link/hex.h"
#include "sim/controller.h"
#include "support/no_events.h"
#include "support/memory_board.h"
#include "telemetry/reply_handler.h"

namespace {

using namespace vq;

// Status and pose replies of the simulated arm standing at two poses.
struct Replies {
    std::array<std::vector<std::uint8_t>, 2> status, pose;
};

const Replies& replies()
{
    static const Replies r = [] {
        Replies out;
        sim::ControllerOptions o;
        o.controlMode = 1;
        o.servosOn = true;
        sim::Controller arm(o);
        const std::array<sim::JointArray, 2> poses{sim::JointArray{10.5, -20.25, 30.125, 5.0, 80.0, -45.0},
                                                   sim::JointArray{11.5, -21.25, 31.125, 6.0, 81.0, -44.0}};
        const auto statusRequest = readRequest(128, 0x1000, 36);
        const auto poseRequest = readRequest(128, 0x1170, 36);
        for (std::size_t i = 0; i < 2; ++i) {
            arm.setJoints(poses[i]);
            arm.advance(0.01);
            out.status[i] = arm.handle(statusRequest).value();
            out.pose[i] = arm.handle(poseRequest).value();
            if (out.status[i].size() != 77 || out.pose[i].size() != 77) std::abort();
        }
        return out;
    }();
    return r;
}

void BM_crc16_request(benchmark::State& state)
{
    const auto frame = readRequest(128, 0x1000, 36);
    const std::span<const std::uint8_t> body(frame.data(), frame.size() - 2);
    for (auto _ : state) benchmark::DoNotOptimize(crc16(body));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(body.size()));
}
BENCHMARK(BM_crc16_request);

void BM_crc16_reply75(benchmark::State& state)
{
    const auto& reply = replies().status[0];
    const std::span<const std::uint8_t> body(reply.data(), reply.size() - 2);
    for (auto _ : state) benchmark::DoNotOptimize(crc16(body));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(body.size()));
}
BENCHMARK(BM_crc16_reply75);

void BM_bytesToCrcHex_reply75(benchmark::State& state)
{
    const auto& reply = replies().status[0];
    const std::span<const std::uint8_t> body(reply.data(), reply.size() - 2);
    for (auto _ : state) benchmark::DoNotOptimize(bytesToCrcHex(body));
}
BENCHMARK(BM_bytesToCrcHex_reply75);

void BM_wordToHex_decimalText(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(wordToHex(std::string_view("-90")));
}
BENCHMARK(BM_wordToHex_decimalText);

void BM_wordToHex_value(benchmark::State& state)
{
    std::uint16_t v = 0x1234;
    for (auto _ : state) benchmark::DoNotOptimize(wordToHex(v));
}
BENCHMARK(BM_wordToHex_value);

void BM_floatArrayToHex_6(benchmark::State& state)
{
    const std::array<float, 6> v{350.0f, -12.5f, 420.75f, 180.0f, 0.0f, 90.0f};
    for (auto _ : state) benchmark::DoNotOptimize(floatArrayToHex(v));
}
BENCHMARK(BM_floatArrayToHex_6);

void BM_floatArrayToHex_13(benchmark::State& state)
{
    std::array<float, 13> v{};
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = 10.25f * static_cast<float>(i) - 33.0f;
    for (auto _ : state) benchmark::DoNotOptimize(floatArrayToHex(v));
}
BENCHMARK(BM_floatArrayToHex_13);

void BM_tryStrToFloat(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(tryStrToFloat("0000803F"));
}
BENCHMARK(BM_tryStrToFloat);

void BM_formatFixed_3(benchmark::State& state)
{
    double v = -123.456789;
    for (auto _ : state) benchmark::DoNotOptimize(formatFixed(v, 3));
}
BENCHMARK(BM_formatFixed_3);

void BM_formatFixed_0(benchmark::State& state)
{
    double v = 2999.5;
    for (auto _ : state) benchmark::DoNotOptimize(formatFixed(v, 0));
}
BENCHMARK(BM_formatFixed_0);

void BM_hexTextToBytes_request(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(hexTextToBytes("80 03 10 00 00 24 49 C8"));
}
BENCHMARK(BM_hexTextToBytes_request);

void BM_readRequest(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(readRequest(128, 0x1000, 36));
}
BENCHMARK(BM_readRequest);


// What the console does with a reply once the link matched it to its
// request: the CRC check, the frame shown as hex in the received-frame box
// (as the window does for every accepted reply), then the block's decoder.
bool acceptAndDecode(ReplyHandler& handler, Board& board, const Request& request, std::span<const std::uint8_t> frame)
{
    if (!crcMatches(frame)) return false;
    board.setText(Ctl::ReceivedFrame, kNoIndex, bytesToHexText(frame));
    handler.handle(Reply{request, request.start, true, frame.subspan(3, frame[2])});
    return true;
}

// The reply path on a board. `turn` = 1 alternates the two poses.
template <class MakeBoard>
void replyPath(benchmark::State& state, const std::array<std::vector<std::uint8_t>, 2>& pair, Slot slot,
               MakeBoard makeBoard)
{
    Board& board = makeBoard();
    FormState form;
    ReplyHandler handler(form, board);
    const SlotRow& row = slotRow(slot);
    const Request request{row.slot, row.function, row.start, row.amount, row.replyLength()};
    const bool alternate = state.range(0) != 0;
    std::size_t i = 0;
    bool accepted = true;
    for (auto _ : state) accepted &= acceptAndDecode(handler, board, request, pair[alternate ? (i++ & 1) : 0]);
    if (!accepted) state.SkipWithError("the reply was not accepted");
}

Board& memoryBoard()
{
    static bench::MemoryBoard board;
    return board;
}

using NoEvents = vq::bench::NoEvents;

// Made on first use, destroyed by main() before the application.
struct Window {
    NoEvents events;
    MainWindow window{events};
    QtBoard board{window};
};
std::unique_ptr<Window> gWindow;

Board& windowBoard()
{
    if (!gWindow) {
        gWindow = std::make_unique<Window>();
        gWindow->window.show();
        QApplication::processEvents();
    }
    return gWindow->board;
}

void BM_ReplyHandler_status_memory(benchmark::State& s) { replyPath(s, replies().status, Slot::ReadStatus, memoryBoard); }
void BM_ReplyHandler_pose_memory(benchmark::State& s) { replyPath(s, replies().pose, Slot::ReadPose, memoryBoard); }
void BM_ReplyHandler_status_window(benchmark::State& s) { replyPath(s, replies().status, Slot::ReadStatus, windowBoard); }
void BM_ReplyHandler_pose_window(benchmark::State& s) { replyPath(s, replies().pose, Slot::ReadPose, windowBoard); }
// Arg 0: the same reply every time (idle arm); 1: two replies in turn (moving arm).
BENCHMARK(BM_ReplyHandler_status_memory)->ArgName("moving")->Arg(0)->Arg(1);
BENCHMARK(BM_ReplyHandler_pose_memory)->ArgName("moving")->Arg(0)->Arg(1);
BENCHMARK(BM_ReplyHandler_status_window)->ArgName("moving")->Arg(0)->Arg(1);
BENCHMARK(BM_ReplyHandler_pose_window)->ArgName("moving")->Arg(0)->Arg(1);

// Single window updates the poll makes on every request and reply: the
// request frame into Text18 (a multi-line box; the two polled frames take
// turns), and one pose label with a changing value.
void BM_QtBoard_setText_Text18(benchmark::State& state)
{
    Board& board = windowBoard();
    const std::array<std::string, 2> frames{bytesToHexText(readRequest(128, 0x1000, 36)),
                                            bytesToHexText(readRequest(128, 0x1170, 36))};
    std::size_t i = 0;
    for (auto _ : state) board.setText(Ctl::SentFrame, kNoIndex, frames[i++ & 1]);
}
BENCHMARK(BM_QtBoard_setText_Text18);

void BM_QtBoard_setText_Label2(benchmark::State& state)
{
    Board& board = windowBoard();
    const std::array<std::string, 2> values{"12.345", "12.346"};
    std::size_t i = 0;
    for (auto _ : state) board.setText(Ctl::JointAngle, 1, values[i++ & 1]);
}
BENCHMARK(BM_QtBoard_setText_Label2);

void BM_QtBoard_setBackColour_same(benchmark::State& state)
{
    Board& board = windowBoard();
    for (auto _ : state) board.setBackColour(Ctl::ServoButton, 1, Colour::green());
}
BENCHMARK(BM_QtBoard_setBackColour_same);

// A reply that fails the CRC check: what a corrupt frame costs.
void BM_ReplyHandler_badCrc(benchmark::State& state)
{
    auto reply = replies().status[0];
    reply.back() ^= 0xFF;
    FormState form;
    ReplyHandler handler(form, memoryBoard());
    const SlotRow& row = slotRow(Slot::ReadStatus);
    const Request request{row.slot, row.function, row.start, row.amount, row.replyLength()};
    for (auto _ : state) benchmark::DoNotOptimize(acceptAndDecode(handler, memoryBoard(), request, reply));
}
BENCHMARK(BM_ReplyHandler_badCrc);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gWindow.reset();
    return 0;
}
