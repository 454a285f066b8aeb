// The session's telemetry, kept for the history plots and the CSV export:
// one sample per pose reply (time, joints, pose) with the servo states and
// alarm codes of the last status reply. Bounded: once `capacity` samples
// are held the oldest is overwritten, and the memory is never grown past it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <ostream>
#include <vector>

#include "decoded.h"
#include "link/board.h"

namespace vq {

struct TelemetrySample {
    static constexpr std::int16_t kUnknown = std::numeric_limits<std::int16_t>::min();
    double time = 0;                 // seconds since the session began
    std::array<float, 6> joint{};    // degrees; NaN where the reply did not say
    std::array<float, 6> pose{};     // X Y Z (mm), A B C (degrees); NaN where unknown
    std::array<std::int16_t, 6> servo{}; // 1 on; kUnknown before the first status reply
    std::array<std::int16_t, 6> alarm{}; // 0 none, else the code; kUnknown likewise
};

class TelemetryRecorder {
public:
    // Eight hours at the 9.5 pose replies a second of an undisturbed poll
    // cycle: 273 600 samples of 80 bytes, about 22 MB.
    static constexpr std::size_t kSessionCapacity = 8u * 3600u * 19u / 2u;

    explicit TelemetryRecorder(std::size_t capacity = kSessionCapacity);

    void status(const StatusBlock& status);
    void pose(double now, const PoseBlock& pose);

    std::size_t size() const { return count_; }
    std::size_t capacity() const { return capacity_; }
    std::size_t overwritten() const { return overwritten_; } // samples lost to the bound
    // Sample i, oldest first.
    const TelemetrySample& at(std::size_t i) const { return ring_[(first_ + i) % capacity_]; }
    // Index of the first sample at or after the time (size() when none).
    std::size_t firstAtOrAfter(double time) const;

    // Header and one row per sample, oldest first, comma separated, LF line
    // ends; unknown values are empty fields.
    void writeCsv(std::ostream& out) const;

private:
    std::size_t capacity_;
    std::vector<TelemetrySample> ring_; // grows to capacity_, then wraps
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    std::size_t overwritten_ = 0;
    std::array<std::int16_t, 6> servo_;
    std::array<std::int16_t, 6> alarm_;
};

inline constexpr std::string_view kExportTitle = "导出记录";
inline constexpr std::string_view kExportFilter = "CSV 文件(*.csv)|*.csv|所有文件(*.*)|*.*";

// Menu 功能 → export: asks for a file name and writes the recording there
// as CSV; says on the status line how many rows went where, or that the
// file could not be written. False when nothing was written.
bool exportRecording(const TelemetryRecorder& recorder, Board& board, Prompts& prompts);

} // namespace vq
