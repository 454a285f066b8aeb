#include "traffic_log.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>

#include "link/frames.h"
#include "link/hex.h"
#include "link/slot_words.h"

namespace vq {
namespace {

using H = Link::Heard;

// How the data of a write reads after its name: the values by their labels.
// A write not listed shows its name alone.
enum class Data : std::uint8_t { Floats, Words, Switch };
struct WriteText {
    Slot slot;
    Data data;
    std::array<std::string_view, 13> labels;
};

constexpr std::array<std::string_view, 13> kJoints = {"J1", "J2", "J3", "J4", "J5", "J6"};
constexpr std::array<std::string_view, 13> kPose = {"X", "Y", "Z", "A", "B", "C"};
constexpr std::array<std::string_view, 13> kArc = {"X2", "Y2", "Z2", "A2", "B2", "C2", "X3",
                                                   "Y3", "Z3", "A3", "B3", "C3", "Ag"};
constexpr std::array<std::string_view, 13> kAxes = {"1轴", "2轴", "3轴", "4轴", "5轴", "6轴"};
constexpr std::array<std::string_view, 13> kTool = {"Tx", "Ty", "Tz"};
constexpr std::array<std::string_view, 13> kPointSpeed = {"RPM", "ACC", "DEC"};
constexpr std::array<std::string_view, 13> kLineSpeed = {"MMS", "ACC", "DEC"};
constexpr std::array<std::string_view, 13> kNone = {};

constexpr std::array kWrites = {
    WriteText{Slot::JointTarget, Data::Floats, kJoints},
    WriteText{Slot::PointMove, Data::Floats, kPose},
    WriteText{Slot::LinearMove, Data::Floats, kPose},
    WriteText{Slot::ArcMove, Data::Floats, kArc},
    WriteText{Slot::WriteMechanical, Data::Floats, kAxes},
    WriteText{Slot::WriteReduction, Data::Floats, kAxes},
    WriteText{Slot::WriteMotorEncoder, Data::Floats, kAxes},
    WriteText{Slot::WriteMaxPositive, Data::Floats, kAxes},
    WriteText{Slot::WriteMaxNegative, Data::Floats, kAxes},
    WriteText{Slot::WriteTool, Data::Floats, kTool},
    WriteText{Slot::WritePointSpeed, Data::Floats, kPointSpeed},
    WriteText{Slot::WriteLineSpeed, Data::Floats, kLineSpeed},
    WriteText{Slot::AxisPowerAll, Data::Switch, kAxes},
    WriteText{Slot::AlarmClear, Data::Words, kAxes},
    WriteText{Slot::ControlMode, Data::Words, kNone},
    WriteText{Slot::TeachSpeed, Data::Words, kNone},
    WriteText{Slot::MotionMode, Data::Words, kNone},
    WriteText{Slot::Jog, Data::Words, kNone},
};

// The value with as many decimals as it needs, at least one, at most three.
std::string number(double v)
{
    std::optional<std::string> s = formatFixed(v, 3);
    if (!s) return v != v ? "NaN" : v > 0 ? "+inf" : "-inf";
    while (s->size() > 2 && s->back() == '0' && (*s)[s->size() - 2] != '.') s->pop_back();
    return *s;
}

// The data bytes of a write request (after the byte count, before the CRC).
std::span<const std::uint8_t> writeData(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 9) return {};
    return frame.subspan(7, frame.size() - 9);
}

std::uint16_t word(std::span<const std::uint8_t> d, std::size_t i)
{
    return static_cast<std::uint16_t>((d[2 * i] << 8) | d[2 * i + 1]);
}

// Per-axis gains and switches: a slot per axis, one word each.
bool isGain(int n) { return (n >= 51 && n <= 56) || (n >= 61 && n <= 66) || (n >= 71 && n <= 76); }
bool isAxisSwitch(int n) { return n >= 81 && n <= 86; }

std::string switchWord(std::uint16_t w) { return w == 1 ? "开" : w == 2 ? "关" : std::to_string(w); }

std::string writeRequestText(const TrafficEntry& e)
{
    const auto data = writeData(e.bytes);
    const int n = slotNumber(e.slot);
    std::string s = slotWords(e.slot);
    if (isGain(n) || isAxisSwitch(n)) {
        if (data.size() < 2) return s;
        const std::uint16_t w = word(data, 0);
        return s + (isAxisSwitch(n) ? " " + switchWord(w) : " = " + std::to_string(w));
    }
    for (const WriteText& t : kWrites) {
        if (t.slot != e.slot) continue;
        if (t.data == Data::Floats) {
            for (std::size_t i = 0; i < 13 && 4 * i + 4 <= data.size(); ++i) {
                float f;
                std::memcpy(&f, data.data() + 4 * i, 4); // little-endian on the wire and in memory
                s += ' ';
                s += t.labels[i].empty() ? std::to_string(i + 1) : std::string(t.labels[i]);
                s += '=';
                s += number(f);
            }
        } else if (t.data == Data::Words || t.data == Data::Switch) {
            for (std::size_t i = 0; 2 * i + 2 <= data.size(); ++i) {
                const std::uint16_t w = word(data, i);
                s += ' ';
                if (!t.labels[i].empty()) s += std::string(t.labels[i]) + '=';
                s += t.data == Data::Switch ? switchWord(w) : std::to_string(w);
            }
        }
        break;
    }
    return s;
}

std::string timeText(std::int64_t us, bool withDate)
{
    const std::time_t s = static_cast<std::time_t>(us / 1'000'000);
    std::tm tm{};
    localtime_r(&s, &tm);
    char buf[40];
    const std::size_t n = std::strftime(buf, sizeof buf, withDate ? "%Y-%m-%d %H:%M:%S" : "%H:%M:%S", &tm);
    std::snprintf(buf + n, sizeof buf - n, ".%03d", static_cast<int>((us / 1000) % 1000));
    return buf;
}

std::string csvField(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

} // namespace

TrafficKind TrafficEntry::kind() const
{
    if (!sent && heard != H::Reply) return TrafficKind::Error;
    return function == kReadHolding ? TrafficKind::Read : TrafficKind::Write;
}

TrafficEntry& TrafficLog::push(std::int64_t timeUs, const Request& request)
{
    TrafficEntry& e = ring_[next_ % kCapacity];
    e.seq = next_++;
    if (count_ < kCapacity) ++count_;
    e.timeUs = timeUs;
    e.slot = request.slot;
    e.function = request.function;
    return e;
}

void TrafficLog::addRequest(const Request& request, std::span<const std::uint8_t> frame, std::int64_t timeUs)
{
    if (paused) return;
    TrafficEntry& e = push(timeUs, request);
    e.sent = true;
    e.heard = H::Reply;
    e.bytes.assign(frame.begin(), frame.end()); // keeps its memory when the ring comes round
}

void TrafficLog::addHeard(const Request& request, Link::Heard heard, std::span<const std::uint8_t> bytes, std::int64_t timeUs)
{
    if (paused) return;
    TrafficEntry& e = push(timeUs, request);
    e.sent = false;
    e.heard = heard;
    e.bytes.assign(bytes.begin(), bytes.end());
}

void TrafficLog::clear()
{
    count_ = 0;
    ++version_;
}

void TrafficLog::setShown(TrafficKind kind, bool shown)
{
    bool& s = shown_[static_cast<std::size_t>(kind)];
    if (s == shown) return;
    s = shown;
    ++version_;
}

const TrafficEntry* TrafficLog::find(std::uint64_t seq) const
{
    if (seq < firstSeq() || seq >= next_) return nullptr;
    return &ring_[seq % kCapacity];
}

std::string TrafficLog::exportText() const
{
    std::string out;
    for (std::uint64_t s = firstSeq(); s < next_; ++s) {
        const TrafficEntry& e = *find(s);
        if (!shown(e)) continue;
        out += trafficDateTime(e) + '\t' + trafficDirection(e) + '\t' + trafficHex(e) + '\t' + trafficMeaning(e) + "\r\n";
    }
    return out;
}

std::string TrafficLog::exportCsv() const
{
    std::string out = "时间,方向,报文,解读\r\n";
    for (std::uint64_t s = firstSeq(); s < next_; ++s) {
        const TrafficEntry& e = *find(s);
        if (!shown(e)) continue;
        out += csvField(trafficDateTime(e)) + ',' + csvField(trafficDirection(e)) + ',' + csvField(trafficHex(e)) + ',' +
               csvField(trafficMeaning(e)) + "\r\n";
    }
    return out;
}

std::string trafficTime(const TrafficEntry& e) { return timeText(e.timeUs, false); }
std::string trafficDateTime(const TrafficEntry& e) { return timeText(e.timeUs, true); }
std::string trafficDirection(const TrafficEntry& e) { return e.sent ? "发送" : "接收"; }
std::string trafficHex(const TrafficEntry& e) { return bytesToHexText(e.bytes); }

std::string trafficMeaning(const TrafficEntry& e)
{
    const bool read = e.function == kReadHolding;
    if (e.sent) return read ? "读 " + slotWords(e.slot) : "写 " + writeRequestText(e);
    switch (e.heard) {
    case H::Reply: return read ? "回复 " + slotWords(e.slot) : "确认 写 " + slotWords(e.slot);
    case H::BadCrc: return "回复 CRC 错误";
    case H::OutOfStep: return "迟到或多余的回复，未采用";
    case H::Held: return "回复 " + (read ? slotWords(e.slot) : "写 " + slotWords(e.slot)) + "，前一请求无回复，未采用";
    case H::Cut: return "回复不完整";
    case H::Nothing: return "超时";
    case H::Exception: {
        const std::uint8_t code = e.bytes.size() > 2 ? e.bytes[2] : 0;
        char buf[16];
        std::snprintf(buf, sizeof buf, "异常 %02X", code);
        const std::string meaning = exceptionMeaning(code);
        return meaning.empty() ? buf : std::string(buf) + ' ' + meaning;
    }
    }
    return {};
}

std::string exceptionMeaning(std::uint8_t code)
{
    switch (code) {
    case 0x01: return "非法功能";
    case 0x02: return "非法数据地址";
    case 0x03: return "非法数据值";
    case 0x04: return "从站设备故障";
    case 0x05: return "已确认，处理中";
    case 0x06: return "从站设备忙";
    case 0x08: return "存储奇偶校验错误";
    case 0x0A: return "网关路径不可用";
    case 0x0B: return "网关目标设备无响应";
    default: return {};
    }
}

} // namespace vq
