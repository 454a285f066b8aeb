// The controller's register blocks as typed values, decoded from the data
// bytes of a read reply. Each field is optional: a reply whose data ends
// before a field leaves that field unknown (nullopt), and whoever shows it
// keeps what it showed before.
//
// Register k of a block is data bytes 2k (high) and 2k + 1 (low). A 32-bit
// integer (encoder position) is two registers, low word first; a float is
// two registers whose four bytes are the float least significant byte
// first (00 00 80 3F is 1.0).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace vq {

inline constexpr int kAxes = 6;

template <class T>
using Axes = std::array<std::optional<T>, kAxes>; // axis 1 at [0]

// Status block at 1000, 36 registers.
struct StatusBlock {
    std::optional<std::int16_t> controllerState; // 1: ready
    std::optional<std::int16_t> controlMode;     // 0 run, 1 teach, 2 external control
    std::optional<std::int16_t> teachSpeed;      // 1..5
    std::optional<std::int16_t> motionMode;      // 1 joint, 2 Cartesian, 3 tool, 4 drag
    std::optional<std::int16_t> busy;            // 0 when the controller is idle
    Axes<std::int16_t> servo;                    // 1 on
    Axes<std::int32_t> encoder;                  // motor encoder positions
    Axes<std::int16_t> alarm;                    // 0 normal, else the alarm code
};

// Pose block at 1170: eighteen floats.
struct PoseBlock {
    Axes<float> joint;   // joint angles J1..J6, degrees
    Axes<float> pose;    // X, Y, Z (mm), A, B, C (degrees)
    Axes<float> monitor; // monitor values of axes 1..6
};

// Kp, Ki, Kd of the six axes at 1050: eighteen words.
struct PidGains {
    Axes<std::int16_t> kp, ki, kd;
};

// A parameter block of up to six floats (mechanical parameters, reduction
// ratios, encoder parameters, angle limits, tool, point and linear speed).
struct FloatBlock {
    Axes<float> value;
};

StatusBlock decodeStatus(std::span<const std::uint8_t> data);
PoseBlock decodePose(std::span<const std::uint8_t> data);
PidGains decodePidGains(std::span<const std::uint8_t> data);
FloatBlock decodeFloats(std::span<const std::uint8_t> data);

// Single fields by register offset; nullopt when the data ends before them.
std::optional<std::int16_t> wordAt(std::span<const std::uint8_t> data, int reg);
std::optional<std::int32_t> longAt(std::span<const std::uint8_t> data, int reg);
std::optional<float> floatAt(std::span<const std::uint8_t> data, int reg);

} // namespace vq
