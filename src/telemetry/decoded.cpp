#include "decoded.h"

#include <cstring>

namespace vq {
namespace {

// Register offsets in the status block (register number - 1000 hex).
constexpr int kRegControllerState = 0;
constexpr int kRegControlMode = 1;
constexpr int kRegTeachSpeed = 2;
constexpr int kRegMotionMode = 3;
constexpr int kRegBusy = 5;
constexpr int kRegServo = 6;    // axis k at 6 + (k - 1)
constexpr int kRegEncoder = 18; // axis k at 18 + 2(k - 1)
constexpr int kRegAlarm = 30;   // axis k at 30 + (k - 1)

// Pose block: joints from 0, pose from 12, monitor values from 24 (two
// registers a float).
constexpr int kRegJoint = 0;
constexpr int kRegPose = 12;
constexpr int kRegMonitor = 24;

bool covers(std::span<const std::uint8_t> data, int reg, int regs)
{
    return reg >= 0 && data.size() >= static_cast<std::size_t>(2 * (reg + regs));
}

std::uint16_t raw(std::span<const std::uint8_t> data, int reg)
{
    const auto i = static_cast<std::size_t>(2 * reg);
    return static_cast<std::uint16_t>((data[i] << 8) | data[i + 1]);
}

template <class T, class Read>
Axes<T> axes(std::span<const std::uint8_t> data, int firstReg, int regsEach, Read read)
{
    Axes<T> out;
    for (int k = 0; k < kAxes; ++k) out[static_cast<std::size_t>(k)] = read(data, firstReg + k * regsEach);
    return out;
}

} // namespace

std::optional<std::int16_t> wordAt(std::span<const std::uint8_t> data, int reg)
{
    if (!covers(data, reg, 1)) return std::nullopt;
    return static_cast<std::int16_t>(raw(data, reg));
}

std::optional<std::int32_t> longAt(std::span<const std::uint8_t> data, int reg)
{
    if (!covers(data, reg, 2)) return std::nullopt;
    const std::uint32_t v = (std::uint32_t{raw(data, reg + 1)} << 16) | raw(data, reg);
    return static_cast<std::int32_t>(v);
}

std::optional<float> floatAt(std::span<const std::uint8_t> data, int reg)
{
    if (!covers(data, reg, 2)) return std::nullopt;
    const auto i = static_cast<std::size_t>(2 * reg);
    const std::uint32_t bits = std::uint32_t{data[i]} | (std::uint32_t{data[i + 1]} << 8) |
                               (std::uint32_t{data[i + 2]} << 16) | (std::uint32_t{data[i + 3]} << 24);
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

StatusBlock decodeStatus(std::span<const std::uint8_t> data)
{
    StatusBlock s;
    s.controllerState = wordAt(data, kRegControllerState);
    s.controlMode = wordAt(data, kRegControlMode);
    s.teachSpeed = wordAt(data, kRegTeachSpeed);
    s.motionMode = wordAt(data, kRegMotionMode);
    s.busy = wordAt(data, kRegBusy);
    s.servo = axes<std::int16_t>(data, kRegServo, 1, wordAt);
    s.encoder = axes<std::int32_t>(data, kRegEncoder, 2, longAt);
    s.alarm = axes<std::int16_t>(data, kRegAlarm, 1, wordAt);
    return s;
}

PoseBlock decodePose(std::span<const std::uint8_t> data)
{
    return {axes<float>(data, kRegJoint, 2, floatAt), axes<float>(data, kRegPose, 2, floatAt),
            axes<float>(data, kRegMonitor, 2, floatAt)};
}

PidGains decodePidGains(std::span<const std::uint8_t> data)
{
    return {axes<std::int16_t>(data, 0, 1, wordAt), axes<std::int16_t>(data, 6, 1, wordAt),
            axes<std::int16_t>(data, 12, 1, wordAt)};
}

FloatBlock decodeFloats(std::span<const std::uint8_t> data) { return {axes<float>(data, 0, 2, floatAt)}; }

} // namespace vq
