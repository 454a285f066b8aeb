// The simulated robot controller: a Modbus RTU slave holding the register
// map of the arm, and the arm itself (modes, servos, jogging, moves,
// alarms, parameters). Time is injected: advance() moves the simulation;
// nothing here reads a clock. See src/sim/README.md for the register map,
// the units and the state file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/parameters.h"

namespace vq::sim {

using JointArray = std::array<double, 6>;

struct PoseValues {
    double x = 0, y = 0, z = 0; // mm
    double a = 0, b = 0, c = 0; // degrees, Rtool = Rz(C) Ry(B) Rx(A)
};

// Alarm codes per axis (status registers 101E-1023).
namespace alarm {
inline constexpr std::uint16_t kNone = 0;
inline constexpr std::uint16_t kUndervoltage = 1;
inline constexpr std::uint16_t kOverTemperature = 2;
inline constexpr std::uint16_t kOverload = 3;
inline constexpr std::uint16_t kAngleLimit = 4; // target or path beyond the axis' angle limits
inline constexpr std::uint16_t kOutOfReach = 5; // target or path out of reach, through a singularity, or no arc
} // namespace alarm

// Busy word (register 1005): what the arm is doing; 0 when it stands still.
namespace busy {
inline constexpr std::uint16_t kIdle = 0;
inline constexpr std::uint16_t kJointMove = 1; // joint target, point move, return to origin
inline constexpr std::uint16_t kLinearMove = 2;
inline constexpr std::uint16_t kArcMove = 3;
inline constexpr std::uint16_t kJog = 4;
} // namespace busy

struct ControllerOptions {
    std::uint8_t address = 128;
    // Parameters are read from this file at construction when it exists
    // and written to it by the save commands. Empty: saves stay in memory.
    std::string stateFile;
    // Moves and jogs run this many times faster than the time given to
    // advance(); the hold-to-run watchdog runs on unscaled time.
    double timeScale = 1.0;
    // Start state.
    JointArray startJoints{0.0, 0.0, 0.0, 0.0, 90.0, 0.0};
    std::uint16_t controlMode = 0; // run
    std::uint16_t teachSpeed = 1;
    std::uint16_t motionMode = 1; // joint
    bool servosOn = false;
};

struct ControllerCounters {
    std::uint64_t requests = 0;    // frames for this slave with a good CRC
    std::uint64_t exceptions = 0;  // exception replies (genuine)
    std::uint64_t motions = 0;     // moves started
    std::uint64_t refused = 0;     // moves and jogs refused (see lastEvent)
    std::uint64_t saves = 0;       // saves done
};

class Controller {
public:
    explicit Controller(const ControllerOptions& options = {});
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // One request frame, address to CRC. Returns the reply, or nothing when
    // the frame is for another slave, too short or has a bad CRC.
    std::optional<std::vector<std::uint8_t>> handle(std::span<const std::uint8_t> frame);

    // Moves time on by the given seconds (negative or non-finite: ignored).
    void advance(double seconds);
    // Seconds advanced since construction (unscaled).
    double now() const;

    // Register image: the value of one holding register, nothing where no
    // register is readable.
    std::optional<std::uint16_t> readRegister(std::uint16_t address) const;
    // A whole read (function 03) as registers; nothing when any register of
    // the range is not readable.
    std::optional<std::vector<std::uint16_t>> readRegisters(std::uint16_t start, std::uint16_t count) const;

    // State.
    std::uint16_t controllerState() const; // 1 ready, 2 an axis has an alarm
    std::uint16_t controlMode() const;
    std::uint16_t teachSpeed() const;
    std::uint16_t motionMode() const;
    std::uint16_t jogCode() const; // the jog being executed, 0 when none
    std::uint16_t busyWord() const;
    bool servoOn(int axis) const;            // axis 1..6
    std::uint16_t alarmCode(int axis) const; // axis 1..6
    std::int32_t encoderPosition(int axis) const;
    JointArray joints() const;
    PoseValues pose() const;
    JointArray monitorValues() const; // motor speed of each axis, rpm
    bool moving() const;
    const Parameters& parameters() const;
    const Parameters& savedParameters() const;
    std::uint8_t address() const;
    double timeScale() const;
    const ControllerCounters& counters() const;
    // Why the last move or jog was refused or stopped, or what the last
    // notable event was; empty when there was none.
    const std::string& lastEvent() const;
    // Warnings from reading the state file at construction.
    const std::vector<std::string>& stateFileWarnings() const;

    // Hooks for hosts, demos and tests.
    void setAddress(std::uint8_t address);
    void setTimeScale(double scale);
    void setParameters(const Parameters& p);
    // Raises an alarm on an axis (1 undervoltage, 2 over-temperature, 3
    // overload, ...); a running move stops.
    void raiseAlarm(int axis, std::uint16_t code);
    // Puts the arm at the given joints at once, motion stopped.
    void setJoints(const JointArray& q);
    // Moves one joint by hand: only in drag mode with that axis' servo off;
    // stops at the angle limits. False when refused.
    bool dragBy(int axis, double degrees);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace vq::sim
