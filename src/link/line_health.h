// The health of the line as the status bar shows it: the port and its
// state, replies per second, the share of the last 100 requests that got no
// answer, CRC errors, exception replies, and the round trip of the last 100
// replies. Fed with what the link sent and heard and the time it happened
// (microseconds of any clock that does not go back); it reads no clock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/board.h"
#include "link/link.h"

namespace vq {

class LineHealth {
public:
    static constexpr std::size_t kWindow = 100;
    // A request unanswered this long (and no answer since): the line has
    // gone quiet. Two poll cycles and a half.
    static constexpr std::int64_t kQuietUs = 500'000;

    // The port opened under this name: figures start afresh.
    void opened(std::string name);
    // No port open: the operator's choice failed, or none was made.
    void closed();
    // A request went on the line.
    void sent(std::int64_t nowUs);
    // What came back for the request on the line.
    void heard(Link::Heard heard, std::int64_t nowUs);

    struct Figures {
        double repliesPerSecond = 0;      // replies accepted in the last second
        std::optional<double> lossPercent; // of the last (up to 100) requests settled; none before the first
        std::uint64_t crcErrors = 0;
        std::uint64_t exceptions = 0;
        std::optional<double> roundTripP50Ms, roundTripP99Ms; // over the last (up to 100) replies
    };
    Figures figures(std::int64_t nowUs) const;
    // Quiet: a request has waited kQuietUs, and not a byte came back since.
    bool quiet(std::int64_t nowUs) const;

    // The status bar's text and ground for a port that is open or not now.
    std::string text(bool portOpen, std::int64_t nowUs) const;
    bool down(bool portOpen, std::int64_t nowUs) const { return everOpened_ && (!portOpen || quiet(nowUs)); }
    void show(Board& board, bool portOpen, std::int64_t nowUs) const;

private:
    std::string name_;
    bool everOpened_ = false;
    bool pending_ = false;                 // the request on the line is not settled yet
    std::int64_t sentAt_ = 0;              // when it went out
    std::optional<std::int64_t> waitingSince_; // first request sent since the line last said anything

    std::array<bool, kWindow> answered_{}; // last requests: an answer came (reply or exception)
    std::size_t settled_ = 0;              // requests settled since opened (ring position)
    std::array<std::int64_t, kWindow> replyAt_{};  // last replies: when
    std::array<std::int64_t, kWindow> roundTrip_{}; // and their round trip
    std::size_t replies_ = 0;
    std::uint64_t crcErrors_ = 0;
    std::uint64_t exceptions_ = 0;
};

// Ground of the link status while the line is down.
inline constexpr Colour kLineDownGround = Colour::red();

} // namespace vq
