// Small helpers shared by the timing runs: samples with percentiles, plain
// table output and "--name value" arguments.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace vq::bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }
inline double usBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::micro>(b - a).count();
}

// A set of measurements (any unit).
class Samples {
public:
    void add(double v) { values_.push_back(v); sorted_ = false; }
    void reserve(std::size_t n) { values_.reserve(n); }
    std::size_t size() const { return values_.size(); }
    bool empty() const { return values_.empty(); }
    const std::vector<double>& values() const { return values_; }

    // Nearest-rank percentile, p in [0, 100].
    double percentile(double p) const
    {
        if (values_.empty()) return NAN;
        sort();
        const double rank = std::ceil(p / 100.0 * static_cast<double>(values_.size()));
        const std::size_t i = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
        return values_[std::min(i, values_.size() - 1)];
    }
    double median() const { return percentile(50); }
    double min() const { return values_.empty() ? NAN : (sort(), values_.front()); }
    double max() const { return values_.empty() ? NAN : (sort(), values_.back()); }
    double mean() const
    {
        if (values_.empty()) return NAN;
        return std::accumulate(values_.begin(), values_.end(), 0.0) / static_cast<double>(values_.size());
    }
    double sum() const { return std::accumulate(values_.begin(), values_.end(), 0.0); }

private:
    void sort() const
    {
        if (!sorted_) std::sort(values_.begin(), values_.end());
        sorted_ = true;
    }
    mutable std::vector<double> values_;
    mutable bool sorted_ = true;
};

// "--name value" and "--flag" arguments.
class Args {
public:
    Args(int argc, char** argv) : args_(argv + 1, argv + argc) {}

    bool flag(std::string_view name) const
    {
        return std::find(args_.begin(), args_.end(), "--" + std::string(name)) != args_.end();
    }
    std::string text(std::string_view name, std::string fallback) const
    {
        const std::string key = "--" + std::string(name);
        for (std::size_t i = 0; i + 1 < args_.size(); ++i)
            if (args_[i] == key) return args_[i + 1];
        return fallback;
    }
    double number(std::string_view name, double fallback) const
    {
        const std::string t = text(name, "");
        if (t.empty()) return fallback;
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        if (end == t.c_str() || *end) {
            std::fprintf(stderr, "--%s wants a number, not %s\n", std::string(name).c_str(), t.c_str());
            std::exit(2);
        }
        return v;
    }
    bool help() const { return flag("help") || flag("h"); }

private:
    std::vector<std::string> args_;
};

// Resident and peak resident memory of this process in MB (from
// /proc/self/status), or of another process when pid > 0.
inline std::pair<double, double> residentMb(long pid = 0)
{
    std::ifstream in(pid > 0 ? "/proc/" + std::to_string(pid) + "/status" : std::string("/proc/self/status"));
    std::string line;
    double rss = NAN, hwm = NAN;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::atof(line.c_str() + 6) / 1024.0;
        if (line.rfind("VmHWM:", 0) == 0) hwm = std::atof(line.c_str() + 6) / 1024.0;
    }
    return {rss, hwm};
}

// The fields of /proc/<pid>/stat after the command name, starting at
// "state" (field 3); empty when the process is gone.
inline std::vector<std::string> procStatFields(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = all.rfind(')');
    if (close == std::string::npos) return {};
    std::vector<std::string> fields;
    std::string field;
    for (std::size_t i = close + 2; i < all.size(); ++i) {
        if (all[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field.push_back(all[i]);
        }
    }
    return fields;
}

// CPU seconds (user + system) used so far by a process (0: this one), from
// /proc/<pid>/stat.
inline double processCpuSeconds(long pid = 0)
{
    if (pid <= 0) {
        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
               + static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    }
    // utime is field 14, stime field 15.
    const std::vector<std::string> fields = procStatFields(pid);
    if (fields.size() < 13) return NAN;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) / ticks;
}

// Minor page faults of a process so far (field 10 of /proc/<pid>/stat):
// memory touched for the first time, for example after the heap was given
// back to the system and taken again.
inline double minorFaults(long pid)
{
    const std::vector<std::string> fields = procStatFields(pid);
    return fields.size() < 8 ? NAN : std::atof(fields[7].c_str());
}

inline std::string machineLine()
{
    std::ifstream cpu("/proc/cpuinfo");
    std::string line, model = "?";
    while (std::getline(cpu, line))
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    std::ifstream mem("/proc/meminfo");
    double memGb = NAN;
    while (std::getline(mem, line))
        if (line.rfind("MemTotal:", 0) == 0) memGb = std::atof(line.c_str() + 9) / 1024.0 / 1024.0;
    std::ifstream load("/proc/loadavg");
    std::string l1;
    load >> l1;
    char buf[512];
    std::snprintf(buf, sizeof buf, "%ld cores, %s, %.1f GB, load %s", sysconf(_SC_NPROCESSORS_ONLN), model.c_str(), memGb,
                  l1.c_str());
    return buf;
}

} // namespace vq::bench
