#include "recorder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "link/status_line.h"

namespace vq {

namespace {

template <class T, class U>
void take(std::array<U, 6>& into, const Axes<T>& from, U unknown)
{
    for (std::size_t i = 0; i < 6; ++i) into[i] = from[i] ? static_cast<U>(*from[i]) : unknown;
}

void number(std::ostream& out, float v)
{
    out << ',';
    if (!std::isfinite(v)) return;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", static_cast<double>(v));
    out << buf;
}

void word(std::ostream& out, std::int16_t v)
{
    out << ',';
    if (v != TelemetrySample::kUnknown) out << v;
}

} // namespace

TelemetryRecorder::TelemetryRecorder(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1))
{
    servo_.fill(TelemetrySample::kUnknown);
    alarm_.fill(TelemetrySample::kUnknown);
}

void TelemetryRecorder::status(const StatusBlock& status)
{
    for (std::size_t i = 0; i < 6; ++i) {
        if (status.servo[i]) servo_[i] = *status.servo[i];
        if (status.alarm[i]) alarm_[i] = *status.alarm[i];
    }
}

void TelemetryRecorder::pose(double now, const PoseBlock& pose)
{
    TelemetrySample s;
    s.time = now;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    take(s.joint, pose.joint, nan);
    take(s.pose, pose.pose, nan);
    s.servo = servo_;
    s.alarm = alarm_;
    if (ring_.size() < capacity_) {
        ring_.push_back(s);
        ++count_;
        return;
    }
    ring_[first_] = s;
    first_ = (first_ + 1) % capacity_;
    ++overwritten_;
}

std::size_t TelemetryRecorder::firstAtOrAfter(double time) const
{
    std::size_t lo = 0;
    std::size_t hi = count_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (at(mid).time < time)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void TelemetryRecorder::writeCsv(std::ostream& out) const
{
    out << "time_s,J1,J2,J3,J4,J5,J6,X,Y,Z,A,B,C,servo1,servo2,servo3,servo4,servo5,servo6,"
           "alarm1,alarm2,alarm3,alarm4,alarm5,alarm6\n";
    char buf[32];
    for (std::size_t i = 0; i < count_; ++i) {
        const TelemetrySample& s = at(i);
        std::snprintf(buf, sizeof buf, "%.3f", s.time);
        out << buf;
        for (float v : s.joint) number(out, v);
        for (float v : s.pose) number(out, v);
        for (std::int16_t v : s.servo) word(out, v);
        for (std::int16_t v : s.alarm) word(out, v);
        out << '\n';
    }
}

bool exportRecording(const TelemetryRecorder& recorder, Board& board, Prompts& prompts)
{
    const std::string name = prompts.saveFileName(kExportTitle, kExportFilter);
    if (name.empty()) return false;
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    if (out) recorder.writeCsv(out);
    out.close();
    if (!out) {
        tell(board, "记录未能写入 " + name, Notice::Problem);
        return false;
    }
    tell(board, "已导出 " + std::to_string(recorder.size()) + " 行记录到 " + name, Notice::Info);
    return true;
}

} // namespace vq
