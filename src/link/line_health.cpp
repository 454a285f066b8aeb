#include "line_health.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vq {

void LineHealth::opened(std::string name)
{
    *this = LineHealth{};
    name_ = std::move(name);
    everOpened_ = true;
}

void LineHealth::closed() { *this = LineHealth{}; }

void LineHealth::sent(std::int64_t nowUs)
{
    pending_ = true;
    sentAt_ = nowUs;
    if (!waitingSince_) waitingSince_ = nowUs;
}

void LineHealth::heard(Link::Heard heard, std::int64_t nowUs)
{
    using H = Link::Heard;
    if (heard == H::BadCrc) ++crcErrors_;
    if (heard == H::Exception) ++exceptions_;
    // A reply the link held back after a lost one was still the
    // controller's answer: the line's figures count it.
    const bool reply = heard == H::Reply || heard == H::Held;
    const bool answer = reply || heard == H::Exception;
    if (heard != H::Nothing) waitingSince_.reset(); // bytes came back: the line is not quiet
    if (!pending_) return; // a second event for a request already settled
    pending_ = false;
    answered_[settled_++ % kWindow] = answer;
    if (reply) {
        const std::size_t at = replies_++ % kWindow;
        replyAt_[at] = nowUs;
        roundTrip_[at] = nowUs - sentAt_;
    }
}

bool LineHealth::quiet(std::int64_t nowUs) const { return waitingSince_ && nowUs - *waitingSince_ >= kQuietUs; }

LineHealth::Figures LineHealth::figures(std::int64_t nowUs) const
{
    Figures f;
    f.crcErrors = crcErrors_;
    f.exceptions = exceptions_;
    const std::size_t requests = std::min(settled_, kWindow);
    if (requests > 0) {
        const auto lost = std::count(answered_.begin(), answered_.begin() + static_cast<std::ptrdiff_t>(requests), false);
        f.lossPercent = 100.0 * static_cast<double>(lost) / static_cast<double>(requests);
    }
    const std::size_t n = std::min(replies_, kWindow);
    if (n == 0) return f;
    int lastSecond = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (nowUs - replyAt_[i] < 1'000'000) ++lastSecond;
    f.repliesPerSecond = lastSecond;
    std::vector<std::int64_t> sorted(roundTrip_.begin(), roundTrip_.begin() + static_cast<std::ptrdiff_t>(n));
    std::sort(sorted.begin(), sorted.end());
    // Nearest rank.
    auto rank = [&](double p) {
        const auto k = static_cast<std::size_t>(p * static_cast<double>(n) + 0.999999);
        return static_cast<double>(sorted[std::clamp<std::size_t>(k, 1, n) - 1]) / 1000.0;
    };
    f.roundTripP50Ms = rank(0.50);
    f.roundTripP99Ms = rank(0.99);
    return f;
}

std::string LineHealth::text(bool portOpen, std::int64_t nowUs) const
{
    if (!everOpened_) return "未打开";
    std::string s = (portOpen && !quiet(nowUs) ? "已连接 " : "通讯中断 ") + name_;
    const Figures f = figures(nowUs);
    char buf[160];
    std::snprintf(buf, sizeof buf, " · %.0f 回复/秒 · 丢失 ", f.repliesPerSecond);
    s += buf;
    if (f.lossPercent) {
        std::snprintf(buf, sizeof buf, "%.0f%%", *f.lossPercent);
        s += buf;
    } else {
        s += "-";
    }
    std::snprintf(buf, sizeof buf, " · CRC错误 %llu · 异常 %llu · 往返 ", static_cast<unsigned long long>(f.crcErrors),
                  static_cast<unsigned long long>(f.exceptions));
    s += buf;
    if (f.roundTripP50Ms) {
        std::snprintf(buf, sizeof buf, "p50 %.1f ms p99 %.1f ms", *f.roundTripP50Ms, *f.roundTripP99Ms);
        s += buf;
    } else {
        s += "-";
    }
    return s;
}

void LineHealth::show(Board& board, bool portOpen, std::int64_t nowUs) const
{
    board.setText(Ctl::LinkStatus, kNoIndex, text(portOpen, nowUs));
    board.setBackColour(Ctl::LinkStatus, kNoIndex, down(portOpen, nowUs) ? kLineDownGround : Colour::windowBackground());
}

} // namespace vq
