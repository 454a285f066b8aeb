// The traffic log: every request that went on the line and whatever came
// back for it, kept as bytes with the time, in a ring of the last 10,000
// entries. Nothing is formatted when an entry is added: the text of an
// entry (time, direction, hex, what it means in the operator's terms) is
// made only when a view or an export asks for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/link.h"

namespace vq {

enum class TrafficKind : std::uint8_t { Read, Write, Error };

struct TrafficEntry {
    std::uint64_t seq = 0;   // numbered from 0 since start, never reused
    std::int64_t timeUs = 0; // wall clock, microseconds since 1970
    bool sent = false;       // a request; else what was heard for one
    Link::Heard heard = Link::Heard::Reply;
    Slot slot = Slot::ReadStatus;
    std::uint8_t function = 0; // of the request
    std::vector<std::uint8_t> bytes;

    TrafficKind kind() const;
};

class TrafficLog {
public:
    static constexpr std::size_t kCapacity = 10'000;

    TrafficLog() { ring_.resize(kCapacity); }

    void addRequest(const Request& request, std::span<const std::uint8_t> frame, std::int64_t timeUs);
    void addHeard(const Request& request, Link::Heard heard, std::span<const std::uint8_t> bytes, std::int64_t timeUs);

    // While paused nothing is added.
    bool paused = false;
    void clear();

    // Which kinds are shown and exported.
    void setShown(TrafficKind kind, bool shown);
    bool shown(TrafficKind kind) const { return shown_[static_cast<std::size_t>(kind)]; }
    bool shown(const TrafficEntry& e) const { return shown(e.kind()); }

    // Entries held: seq firstSeq() .. endSeq() - 1.
    std::uint64_t firstSeq() const { return next_ - count_; }
    std::uint64_t endSeq() const { return next_; }
    const TrafficEntry* find(std::uint64_t seq) const;
    // Changes with every clear and filter change (a view then starts over).
    std::uint64_t version() const { return version_; }

    // The shown entries as text lines (time, direction, hex, meaning,
    // separated by tabs) or as CSV with a heading row; both UTF-8.
    std::string exportText() const;
    std::string exportCsv() const;

private:
    TrafficEntry& push(std::int64_t timeUs, const Request& request);

    std::vector<TrafficEntry> ring_;
    std::uint64_t next_ = 0;
    std::size_t count_ = 0;
    std::uint64_t version_ = 0;
    bool shown_[3] = {true, true, true};
};

// The parts of an entry as the log shows them.
std::string trafficTime(const TrafficEntry& e);     // "22:31:05.123", local time
std::string trafficDateTime(const TrafficEntry& e); // "2026-12-08 22:31:05.123"
std::string trafficDirection(const TrafficEntry& e); // "发送" or "接收"
std::string trafficHex(const TrafficEntry& e);
std::string trafficMeaning(const TrafficEntry& e);  // "写 关节目标 J1=10.0 ... J6=0.0", "超时", ...

// Meaning of a Modbus exception code ("非法数据地址"); empty when the
// standard gives it none.
std::string exceptionMeaning(std::uint8_t code);

} // namespace vq
