// Watches the simulated arm while the event loop runs: every change of the
// controller's last event ("started: point move", "move done", "refused:
// ...") is logged with the time it was seen and the arm as it was then. The
// arm is sampled every few milliseconds; the moves the tests make last far
// longer than that, so no start or end is missed (motions() cross-checks
// the count).
#pragma once

#include <QElapsedTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "e2e_rig.h"

namespace vq::e2e {

class ArmLog {
public:
    // One change of the controller's last event, as seen by polling it.
    struct Entry {
        std::string event;
        qint64 ms = 0;            // when it was first seen
        qint64 lastMovingMs = -1; // the last sample before it at which the arm was still moving
        sim::JointArray joints{}; // the arm when it was seen
        sim::PoseValues pose{};
    };

    explicit ArmLog(Rig& r) : r_(r), last_(r.arm().lastEvent()), motions0_(r.arm().counters().motions)
    {
        clock_.start();
    }

    void sample()
    {
        sim::Controller& a = r_.arm();
        const qint64 now = clock_.elapsed();
        if (a.lastEvent() != last_) {
            last_ = a.lastEvent();
            entries.push_back({last_, now, lastMovingMs_, a.joints(), a.pose()});
        }
        if (a.moving()) lastMovingMs_ = now;
    }

    // Runs the event loop, sampling the arm, until pred holds or ms have passed.
    bool waitFor(const std::function<bool()>& pred, int ms)
    {
        return r_.waitFor([&] {
            sample();
            return pred();
        }, ms);
    }
    void idle(int ms) { waitFor([] { return false; }, ms); }

    // Moves started since the log began: the "started: ..." texts without
    // the prefix, in order.
    std::vector<std::string> starts() const
    {
        std::vector<std::string> out;
        for (const Entry& e : entries)
            if (isStart(e)) out.push_back(e.event.substr(kStarted.size()));
        return out;
    }
    std::size_t startCount() const { return starts().size(); }
    // Moves the controller counted since the log began.
    std::uint64_t motions() const { return r_.arm().counters().motions - motions0_; }

    // Index in the log of the n-th (0-based) start, or npos.
    std::size_t startIndex(std::size_t n) const
    {
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (isStart(entries[i]) && n-- == 0) return i;
        return std::string::npos;
    }
    // The end of the move started at log index i: the next "move done"
    // before any other start, or null.
    const Entry* doneAfter(std::size_t i) const
    {
        for (std::size_t k = i + 1; k < entries.size(); ++k) {
            if (entries[k].event == "move done") return &entries[k];
            if (isStart(entries[k])) return nullptr;
        }
        return nullptr;
    }

    std::string dump() const
    {
        std::string s;
        for (const Entry& e : entries) s += std::to_string(e.ms) + " ms: " + e.event + "\n";
        return s;
    }

    std::vector<Entry> entries;

private:
    static constexpr std::string_view kStarted = "started: ";
    static bool isStart(const Entry& e) { return e.event.rfind(kStarted, 0) == 0; }

    Rig& r_;
    QElapsedTimer clock_;
    std::string last_;
    std::uint64_t motions0_;
    qint64 lastMovingMs_ = -1;
};

} // namespace vq::e2e
