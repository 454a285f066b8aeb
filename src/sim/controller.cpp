#include "sim/controller.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "kinematics/arm.h"
#include "sim/modbus.h"
#include "sim/motion.h"

namespace vq::sim {

namespace {

// Register map.
constexpr std::uint16_t kStatusBlock = 0x1000;
constexpr std::uint16_t kStatusCount = 36;
constexpr std::uint16_t kPidBlock = 0x1050;
constexpr std::uint16_t kPidCount = 18;
constexpr std::uint16_t kParamFirst = 0x1110; // 1110 .. 116B: six parameter blocks, 16 registers apart
constexpr std::uint16_t kParamLast = 0x116B;
constexpr std::uint16_t kPoseBlock = 0x1170;
constexpr std::uint16_t kPoseCount = 36;
constexpr std::uint16_t kMotionFirst = 0x11A0; // speeds and the last targets
constexpr std::uint16_t kMotionLast = 0x11F9;
constexpr std::uint16_t kPointSpeedReg = 0x11A0;
constexpr std::uint16_t kLineSpeedReg = 0x11A6;
constexpr std::uint16_t kJointTargetReg = 0x11B0;
constexpr std::uint16_t kPointTargetReg = 0x11C0;
constexpr std::uint16_t kLineTargetReg = 0x11D0;
constexpr std::uint16_t kArcTargetReg = 0x11E0;

constexpr int kMaxReadCount = 125;
constexpr double kWatchdog = 0.5;         // s without a jog word before a jog stops
constexpr double kJogJointSpeed = 6.0;    // deg/s per teach-speed level
constexpr double kJogLinearSpeed = 10.0;  // mm/s per level
constexpr double kJogRotationSpeed = 6.0; // deg/s per level
constexpr double kMaxRampMs = 60000.0;

enum class Block {
    ModeWords,
    ServoWords,
    AlarmClear,
    Kp,
    Ki,
    Kd,
    SetOrigin,
    ReturnOrigin,
    SavePid,
    SaveParams,
    Mechanical,
    Reduction,
    Encoder,
    LimitPositive,
    LimitNegative,
    Tool,
    PointSpeed,
    LineSpeed,
    JointTarget,
    PointTarget,
    LineTarget,
    ArcTarget,
};

struct WordRegion {
    std::uint16_t first;
    std::uint16_t count;
    Block block;
};

constexpr WordRegion kWordRegions[] = {
    {0x1001, 4, Block::ModeWords},   {0x1010, 6, Block::ServoWords}, {0x1040, 6, Block::AlarmClear},
    {0x1050, 6, Block::Kp},          {0x1060, 6, Block::Ki},         {0x1070, 6, Block::Kd},
    {0x1080, 6, Block::SetOrigin},   {0x1090, 6, Block::ReturnOrigin}, {0x10B0, 6, Block::SavePid},
    {0x1100, 1, Block::SaveParams},
};

struct FloatBlock {
    std::uint16_t start;
    std::uint16_t floats;
    Block block;
};

constexpr FloatBlock kFloatBlocks[] = {
    {0x1110, 6, Block::Mechanical},    {0x1120, 6, Block::Reduction},     {0x1130, 6, Block::Encoder},
    {0x1140, 6, Block::LimitPositive}, {0x1150, 6, Block::LimitNegative}, {0x1160, 3, Block::Tool},
    {kPointSpeedReg, 3, Block::PointSpeed}, {kLineSpeedReg, 3, Block::LineSpeed},
    {kJointTargetReg, 6, Block::JointTarget}, {kPointTargetReg, 6, Block::PointTarget},
    {kLineTargetReg, 6, Block::LineTarget},   {kArcTargetReg, 13, Block::ArcTarget},
};

bool validJogCode(std::uint16_t code)
{
    return code == 0 || (code >= 10 && code <= 61 && code % 10 <= 1);
}

// A float as the two registers it occupies: its four bytes in little-endian
// order, two per register, the first byte high.
std::uint16_t floatRegister(float f, int half)
{
    const auto bits = std::bit_cast<std::uint32_t>(f);
    const std::uint8_t b0 = bits & 0xFF;
    const std::uint8_t b1 = (bits >> 8) & 0xFF;
    const std::uint8_t b2 = (bits >> 16) & 0xFF;
    const std::uint8_t b3 = (bits >> 24) & 0xFF;
    return half == 0 ? static_cast<std::uint16_t>((b0 << 8) | b1) : static_cast<std::uint16_t>((b2 << 8) | b3);
}

float floatFromBytes(const std::uint8_t* p)
{
    const std::uint32_t bits = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return std::bit_cast<float>(bits);
}

template <std::size_t N>
std::optional<std::uint16_t> floatArrayRegister(const std::array<float, N>& a, int offset)
{
    if (offset < 0 || offset >= static_cast<int>(2 * N)) {
        return std::uint16_t{0};
    }
    return floatRegister(a[static_cast<std::size_t>(offset / 2)], offset % 2);
}

} // namespace

struct Controller::Impl {
    struct Motion {
        std::uint16_t kind = busy::kIdle;
        double t = 0;
        Trapezoid profile;
        // Joint moves: q0 + s (q1 - q0).
        Joints q0{};
        Joints q1{};
        // Cartesian moves: the path and its joint samples.
        CartesianPath path;
        std::vector<Joints> samples;
        ArmGeometry geom;
        JointLimits limits;
    };

    ControllerOptions opt;
    Parameters params;
    Parameters saved;
    std::vector<std::string> warnings;
    std::uint8_t address = 128;
    double timeScale = 1.0;
    double wallNow = 0;

    std::uint16_t controlMode = 0;
    std::uint16_t teachSpeed = 1;
    std::uint16_t motionMode = 1;
    std::array<bool, 6> servo{};
    std::array<std::uint16_t, 6> alarms{};
    Joints q{};
    JointArray rpm{};

    std::array<float, 6> jointTarget{};
    std::array<float, 6> pointTarget{};
    std::array<float, 6> lineTarget{};
    std::array<float, 13> arcTarget{};

    Motion motion;
    std::uint16_t jogCode = 0;
    double lastJogWordAt = -1e9;
    bool jogStalled = false;

    ControllerCounters counters;
    std::string lastEvent;

    // ---- parameters as the arm sees them ------------------------------

    ArmGeometry geometry() const { return ArmGeometry::fromMechanical(params.mechanical, params.tool); }

    JointLimits limits() const
    {
        JointLimits l;
        for (int i = 0; i < 6; ++i) {
            l.lower[static_cast<std::size_t>(i)] = params.lowerLimit(i);
            l.upper[static_cast<std::size_t>(i)] = params.upperLimit(i);
        }
        return l;
    }

    bool anyAlarm() const
    {
        return std::any_of(alarms.begin(), alarms.end(), [](std::uint16_t a) { return a != 0; });
    }

    bool allServosOn() const { return std::all_of(servo.begin(), servo.end(), [](bool b) { return b; }); }

    std::int32_t encoder(std::size_t axis) const
    {
        const double v = q[axis] * params.reduction[axis] * params.encoder[axis] / 360.0;
        if (!std::isfinite(v)) {
            return 0;
        }
        const double c = std::clamp(std::round(v), static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                                    static_cast<double>(std::numeric_limits<std::int32_t>::max()));
        return static_cast<std::int32_t>(c);
    }

    PoseValues pose() const
    {
        const Pose p = forwardPose(geometry(), q);
        return PoseValues{p.x, p.y, p.z, p.a, p.b, p.c};
    }

    // ---- register image ----------------------------------------------

    std::uint16_t busyWord() const { return motion.kind; }

    std::uint16_t statusRegister(int offset) const
    {
        switch (offset) {
        case 0:
            return anyAlarm() ? 2 : 1;
        case 1:
            return controlMode;
        case 2:
            return teachSpeed;
        case 3:
            return motionMode;
        case 4:
            return jogCode;
        case 5:
            return busyWord();
        default:
            break;
        }
        if (offset >= 6 && offset <= 11) {
            return servo[static_cast<std::size_t>(offset - 6)] ? 1 : 0;
        }
        if (offset >= 18 && offset <= 29) {
            const auto pos = static_cast<std::uint32_t>(encoder(static_cast<std::size_t>((offset - 18) / 2)));
            return (offset - 18) % 2 == 0 ? static_cast<std::uint16_t>(pos & 0xFFFF)
                                          : static_cast<std::uint16_t>(pos >> 16);
        }
        if (offset >= 30 && offset <= 35) {
            return alarms[static_cast<std::size_t>(offset - 30)];
        }
        return 0;
    }

    std::uint16_t poseRegister(int offset, std::optional<PoseValues>& cache) const
    {
        const int index = offset / 2;
        float value = 0;
        if (index < 6) {
            value = static_cast<float>(q[static_cast<std::size_t>(index)]);
        } else if (index < 12) {
            if (!cache) {
                cache = pose();
            }
            const double v[6] = {cache->x, cache->y, cache->z, cache->a, cache->b, cache->c};
            value = static_cast<float>(v[index - 6]);
        } else {
            value = static_cast<float>(rpm[static_cast<std::size_t>(index - 12)]);
        }
        return floatRegister(value, offset % 2);
    }

    std::optional<std::uint16_t> registerAt(std::uint16_t a, std::optional<PoseValues>& cache) const
    {
        if (a >= kStatusBlock && a < kStatusBlock + kStatusCount) {
            return statusRegister(a - kStatusBlock);
        }
        if (a >= kPidBlock && a < kPidBlock + kPidCount) {
            const int o = a - kPidBlock;
            const auto i = static_cast<std::size_t>(o % 6);
            return o < 6 ? params.kp[i] : o < 12 ? params.ki[i] : params.kd[i];
        }
        if (a >= kParamFirst && a <= kParamLast) {
            const int block = (a - kParamFirst) / 16;
            const int o = (a - kParamFirst) % 16;
            if (o >= 12) {
                return std::uint16_t{0};
            }
            switch (block) {
            case 0:
                return floatArrayRegister(params.mechanical, o);
            case 1:
                return floatArrayRegister(params.reduction, o);
            case 2:
                return floatArrayRegister(params.encoder, o);
            case 3:
                return floatArrayRegister(params.limitPositive, o);
            case 4:
                return floatArrayRegister(params.limitNegative, o);
            default:
                return floatArrayRegister(params.tool, o);
            }
        }
        if (a >= kPoseBlock && a < kPoseBlock + kPoseCount) {
            return poseRegister(a - kPoseBlock, cache);
        }
        if (a >= kMotionFirst && a <= kMotionLast) {
            if (a < kLineSpeedReg) {
                return floatArrayRegister(params.pointSpeed, a - kPointSpeedReg);
            }
            if (a < kJointTargetReg) {
                return floatArrayRegister(params.lineSpeed, a - kLineSpeedReg);
            }
            if (a < kPointTargetReg) {
                return floatArrayRegister(jointTarget, a - kJointTargetReg);
            }
            if (a < kLineTargetReg) {
                return floatArrayRegister(pointTarget, a - kPointTargetReg);
            }
            if (a < kArcTargetReg) {
                return floatArrayRegister(lineTarget, a - kLineTargetReg);
            }
            return floatArrayRegister(arcTarget, a - kArcTargetReg);
        }
        return std::nullopt;
    }

    // ---- motion ------------------------------------------------------

    void event(std::string text) { lastEvent = std::move(text); }

    void refuse(std::string why)
    {
        ++counters.refused;
        event("refused: " + why);
    }

    void stopMotion(const std::string& why)
    {
        if (motion.kind != busy::kIdle && !why.empty()) {
            event("stopped: " + why);
        }
        motion = Motion{};
        jogCode = 0;
        jogStalled = false;
        rpm = {};
    }

    void setAlarms(const std::array<bool, 6>& axes, std::uint16_t code, const std::string& why)
    {
        for (std::size_t i = 0; i < 6; ++i) {
            if (axes[i]) {
                alarms[i] = code;
            }
        }
        refuse(why + " (alarm " + std::to_string(code) + ")");
    }

    // Common conditions for a commanded move; false (with the reason
    // recorded) when the arm may not start one now.
    bool mayMove(const std::string& what)
    {
        if (controlMode == 2) {
            refuse(what + ": external control mode");
            return false;
        }
        if (motionMode == 4) {
            refuse(what + ": drag mode");
            return false;
        }
        if (anyAlarm()) {
            refuse(what + ": an axis has an alarm");
            return false;
        }
        if (motion.kind != busy::kIdle) {
            refuse(what + ": the arm is busy");
            return false;
        }
        return true;
    }

    void startJointMove(const Joints& target, const std::string& what)
    {
        const JointLimits lim = limits();
        std::array<bool, 6> outside{};
        bool anyOutside = false;
        for (std::size_t i = 0; i < 6; ++i) {
            if (target[i] < lim.lower[i] - 1e-6 || target[i] > lim.upper[i] + 1e-6) {
                outside[i] = true;
                anyOutside = true;
            }
        }
        if (anyOutside) {
            setAlarms(outside, alarm::kAngleLimit, what + ": beyond the angle limits");
            return;
        }
        for (std::size_t i = 0; i < 6; ++i) {
            if (target[i] != q[i] && !servo[i]) {
                refuse(what + ": servo of axis " + std::to_string(i + 1) + " is off");
                return;
            }
        }
        // The axis that needs longest at its own speed leads; the others
        // follow the same profile scaled down, so all arrive together.
        const double rpmSetting = params.pointSpeed[0];
        double leadTime = -1;
        double leadDistance = 0;
        double leadSpeed = 1;
        for (std::size_t i = 0; i < 6; ++i) {
            const double speed = rpmSetting * 6.0 / params.reduction[i]; // joint deg/s
            const double dist = std::abs(target[i] - q[i]);
            if (dist / speed > leadTime) {
                leadTime = dist / speed;
                leadDistance = dist;
                leadSpeed = speed;
            }
        }
        Motion m;
        m.kind = busy::kJointMove;
        m.q0 = q;
        m.q1 = target;
        m.profile = Trapezoid(leadDistance, leadSpeed, params.pointSpeed[1] / 1000.0, params.pointSpeed[2] / 1000.0);
        motion = m;
        ++counters.motions;
        event("started: " + what);
    }

    void startCartesianMove(std::uint16_t kind, const CartesianPath& path, const std::string& what)
    {
        if (!allServosOn()) {
            refuse(what + ": a servo is off");
            return;
        }
        const ArmGeometry g = geometry();
        const JointLimits lim = limits();
        PathCheck check = checkPath(path, q, g, lim);
        if (!check.ok) {
            setAlarms(check.axes, check.alarm,
                      what + (check.alarm == alarm::kAngleLimit ? ": path beyond the angle limits"
                                                                : ": path out of reach or through a singularity"));
            return;
        }
        Motion m;
        m.kind = kind;
        m.path = path;
        m.samples = std::move(check.samples);
        m.geom = g;
        m.limits = lim;
        // Translation at the set mm/s; a turn of the tool that takes longer
        // is carried at the same number of degrees per second.
        m.profile = Trapezoid(std::max(path.length, path.rotation), params.lineSpeed[0], params.lineSpeed[1] / 1000.0,
                              params.lineSpeed[2] / 1000.0);
        motion = std::move(m);
        ++counters.motions;
        event("started: " + what);
    }

    Joints cartesianJointsAt(double s) const
    {
        const auto& samples = motion.samples;
        const std::size_t n = samples.size() - 1;
        if (s >= 1.0 || n == 0) {
            return samples.back();
        }
        const double x = s * static_cast<double>(n);
        const auto i = std::min(static_cast<std::size_t>(x), n - 1);
        const double f = x - static_cast<double>(i);
        Joints seed{};
        for (std::size_t j = 0; j < 6; ++j) {
            seed[j] = samples[i][j] + f * (samples[i + 1][j] - samples[i][j]);
        }
        const IkResult r = inverseNearest(motion.geom, motion.path.at(s), seed, motion.limits);
        return r.status == IkStatus::Unreachable ? seed : r.joints;
    }

    void stepMotion(double dt)
    {
        motion.t += dt;
        const double T = motion.profile.duration();
        const bool done = motion.t >= T;
        const double dist = motion.profile.distance();
        const double s = done || dist <= 0 ? 1.0 : motion.profile.position(motion.t) / dist;
        if (motion.kind == busy::kJointMove) {
            for (std::size_t i = 0; i < 6; ++i) {
                q[i] = done ? motion.q1[i] : motion.q0[i] + s * (motion.q1[i] - motion.q0[i]);
            }
        } else {
            q = cartesianJointsAt(s);
        }
        if (done) {
            motion = Motion{};
            event("move done");
        }
    }

    // ---- jogging -----------------------------------------------------

    void jogWord(std::uint16_t code)
    {
        lastJogWordAt = wallNow;
        if (code == 0) {
            if (jogCode != 0) {
                stopMotion("");
                event("jog stopped");
            }
            return;
        }
        if (jogCode == code) {
            return; // refreshed
        }
        if (controlMode != 1) {
            refuse("jog: not in teach mode");
            return;
        }
        if (motionMode < 1 || motionMode > 3) {
            refuse("jog: drag mode");
            return;
        }
        if (anyAlarm()) {
            refuse("jog: an axis has an alarm");
            return;
        }
        if (motion.kind != busy::kIdle && motion.kind != busy::kJog) {
            refuse("jog: the arm is busy");
            return;
        }
        const auto axis = static_cast<std::size_t>(code / 10 - 1);
        if (motionMode == 1 ? !servo[axis] : !allServosOn()) {
            refuse("jog: servo off");
            return;
        }
        motion = Motion{};
        motion.kind = busy::kJog;
        jogCode = code;
        jogStalled = false;
        event("jogging " + std::to_string(code));
    }

    void stepJog(double dt)
    {
        if (dt <= 0 || jogCode == 0) {
            return;
        }
        const auto axis = static_cast<std::size_t>(jogCode / 10 - 1);
        const double dir = jogCode % 10 == 0 ? 1.0 : -1.0;
        const double level = teachSpeed;
        const JointLimits lim = limits();
        if (motionMode == 1) {
            const double next = q[axis] + dir * kJogJointSpeed * level * dt;
            const double clamped = std::clamp(next, lim.lower[axis], lim.upper[axis]);
            if (clamped != next && !jogStalled) {
                jogStalled = true;
                event("jog held at the angle limit of axis " + std::to_string(axis + 1));
            }
            q[axis] = clamped;
            return;
        }
        // Cartesian (base axes) or tool (tool axes): move the TCP in small
        // steps and follow with the inverse kinematics.
        const bool rotation = axis >= 3;
        const double total = (rotation ? kJogRotationSpeed : kJogLinearSpeed) * level * dt;
        const int steps = std::max(1, static_cast<int>(std::ceil(total / 0.5)));
        const double delta = dir * total / steps;
        const ArmGeometry g = geometry();
        Eigen::Vector3d unit = Eigen::Vector3d::Zero();
        unit[static_cast<Eigen::Index>(axis % 3)] = 1.0;
        for (int k = 0; k < steps; ++k) {
            Eigen::Isometry3d f = forward(g, q);
            if (!rotation) {
                f.translation() += (motionMode == 2 ? unit : Eigen::Vector3d(f.linear() * unit)) * delta;
            } else {
                const Eigen::Matrix3d r = Eigen::AngleAxisd(degToRad(delta), unit).toRotationMatrix();
                f.linear() = motionMode == 2 ? Eigen::Matrix3d(r * f.linear()) : Eigen::Matrix3d(f.linear() * r);
            }
            const IkResult ik = inverseNearest(g, f, q, lim);
            bool ok = ik.status == IkStatus::Ok;
            for (std::size_t j = 0; ok && j < 6; ++j) {
                ok = std::abs(ik.joints[j] - q[j]) <= 5.0;
            }
            if (!ok) {
                if (!jogStalled) {
                    jogStalled = true;
                    event("jog held: limit, reach or singularity");
                }
                return;
            }
            q = ik.joints;
        }
    }

    // ---- write execution ---------------------------------------------

    // Checks the words of a word-region write; nothing changes when a value
    // is not allowed.
    static bool wordsValid(Block block, std::size_t firstIndex, const std::vector<std::uint16_t>& words)
    {
        for (std::size_t k = 0; k < words.size(); ++k) {
            const std::uint16_t w = words[k];
            const std::size_t index = firstIndex + k;
            switch (block) {
            case Block::ModeWords:
                if ((index == 0 && w > 2) || (index == 1 && (w < 1 || w > 5)) || (index == 2 && (w < 1 || w > 4)) ||
                    (index == 3 && !validJogCode(w))) {
                    return false;
                }
                break;
            case Block::ServoWords:
                if (w != 1 && w != 2) {
                    return false;
                }
                break;
            case Block::AlarmClear:
            case Block::SetOrigin:
            case Block::ReturnOrigin:
            case Block::SavePid:
            case Block::SaveParams:
                if (w > 1) {
                    return false;
                }
                break;
            default:
                break;
            }
        }
        return true;
    }

    std::optional<ExceptionCode> save(bool pid)
    {
        Parameters next = saved;
        if (pid) {
            next.kp = params.kp;
            next.ki = params.ki;
            next.kd = params.kd;
        } else {
            const auto kp = next.kp;
            const auto ki = next.ki;
            const auto kd = next.kd;
            next = params;
            next.kp = kp;
            next.ki = ki;
            next.kd = kd;
        }
        if (!opt.stateFile.empty()) {
            std::string error;
            if (!saveStateFile(opt.stateFile, next, &error)) {
                event("save failed: " + error);
                return ExceptionCode::DeviceFailure;
            }
        }
        saved = next;
        ++counters.saves;
        event(pid ? "PID gains saved" : "parameters saved");
        return std::nullopt;
    }

    std::optional<ExceptionCode> writeWords(Block block, std::size_t firstIndex, const std::vector<std::uint16_t>& words)
    {
        if (!wordsValid(block, firstIndex, words)) {
            return ExceptionCode::IllegalDataValue;
        }
        switch (block) {
        case Block::ModeWords:
            for (std::size_t k = 0; k < words.size(); ++k) {
                modeWord(firstIndex + k, words[k]);
            }
            return std::nullopt;
        case Block::ServoWords:
            for (std::size_t k = 0; k < words.size(); ++k) {
                const std::size_t axis = firstIndex + k;
                const bool on = words[k] == 1;
                if (!on && servo[axis] && motion.kind != busy::kIdle) {
                    stopMotion("servo of axis " + std::to_string(axis + 1) + " switched off");
                }
                servo[axis] = on;
            }
            return std::nullopt;
        case Block::AlarmClear:
            for (std::size_t k = 0; k < words.size(); ++k) {
                if (words[k] == 1) {
                    alarms[firstIndex + k] = alarm::kNone;
                }
            }
            return std::nullopt;
        case Block::Kp:
        case Block::Ki:
        case Block::Kd: {
            auto& gains = block == Block::Kp ? params.kp : block == Block::Ki ? params.ki : params.kd;
            for (std::size_t k = 0; k < words.size(); ++k) {
                gains[firstIndex + k] = words[k];
            }
            return std::nullopt;
        }
        case Block::SetOrigin: {
            if (std::none_of(words.begin(), words.end(), [](std::uint16_t w) { return w == 1; })) {
                return std::nullopt;
            }
            if (motion.kind != busy::kIdle) {
                refuse("set origin: the arm is busy");
                return std::nullopt;
            }
            for (std::size_t k = 0; k < words.size(); ++k) {
                if (words[k] == 1) {
                    q[firstIndex + k] = 0.0; // the present angle becomes the zero of the axis
                }
            }
            event("origin set");
            return std::nullopt;
        }
        case Block::ReturnOrigin: {
            if (std::none_of(words.begin(), words.end(), [](std::uint16_t w) { return w == 1; })) {
                return std::nullopt;
            }
            if (!mayMove("return to origin")) {
                return std::nullopt;
            }
            Joints target = q;
            for (std::size_t k = 0; k < words.size(); ++k) {
                if (words[k] == 1) {
                    target[firstIndex + k] = 0.0;
                }
            }
            startJointMove(target, "return to origin");
            return std::nullopt;
        }
        case Block::SavePid:
            if (std::any_of(words.begin(), words.end(), [](std::uint16_t w) { return w == 1; })) {
                return save(true);
            }
            return std::nullopt;
        case Block::SaveParams:
            if (words[0] == 1) {
                return save(false);
            }
            return std::nullopt;
        default:
            return ExceptionCode::IllegalDataAddress;
        }
    }

    void modeWord(std::size_t index, std::uint16_t w)
    {
        switch (index) {
        case 0:
            if (w != controlMode) {
                stopMotion("control mode changed");
                controlMode = w;
            }
            break;
        case 1:
            teachSpeed = w;
            break;
        case 2:
            if (w != motionMode) {
                if (jogCode != 0) {
                    stopMotion("motion mode changed");
                }
                motionMode = w;
                if (w == 4) {
                    // Drag: the drives let go so the arm can be led by hand.
                    if (motion.kind != busy::kIdle) {
                        stopMotion("drag mode");
                    }
                    servo = {};
                    event("drag mode: servos off");
                }
            }
            break;
        case 3:
            jogWord(w);
            break;
        default:
            break;
        }
    }

    std::optional<ExceptionCode> writeFloats(Block block, const std::vector<float>& v)
    {
        if (std::any_of(v.begin(), v.end(), [](float f) { return !std::isfinite(f); })) {
            return ExceptionCode::IllegalDataValue;
        }
        const auto copy = [&](auto& dest) {
            for (std::size_t i = 0; i < dest.size(); ++i) {
                dest[i] = v[i];
            }
        };
        switch (block) {
        case Block::Mechanical: {
            Parameters next = params;
            copy(next.mechanical);
            ArmGeometry g;
            g.a2 = next.mechanical[2];
            g.a3 = next.mechanical[3];
            g.d4 = next.mechanical[4];
            if (!g.valid()) {
                return ExceptionCode::IllegalDataValue;
            }
            params.mechanical = next.mechanical;
            return std::nullopt;
        }
        case Block::Reduction:
        case Block::Encoder:
            if (std::any_of(v.begin(), v.end(), [](float f) { return !(f > 0); })) {
                return ExceptionCode::IllegalDataValue;
            }
            copy(block == Block::Reduction ? params.reduction : params.encoder);
            return std::nullopt;
        case Block::LimitPositive:
            copy(params.limitPositive);
            return std::nullopt;
        case Block::LimitNegative:
            copy(params.limitNegative);
            return std::nullopt;
        case Block::Tool:
            copy(params.tool);
            return std::nullopt;
        case Block::PointSpeed:
        case Block::LineSpeed:
            if (!(v[0] > 0) || v[1] < 0 || v[2] < 0 || v[1] > kMaxRampMs || v[2] > kMaxRampMs) {
                return ExceptionCode::IllegalDataValue;
            }
            copy(block == Block::PointSpeed ? params.pointSpeed : params.lineSpeed);
            return std::nullopt;
        case Block::JointTarget: {
            copy(jointTarget);
            if (mayMove("joint move")) {
                Joints t{};
                for (std::size_t i = 0; i < 6; ++i) {
                    t[i] = v[i];
                }
                startJointMove(t, "joint move");
            }
            return std::nullopt;
        }
        case Block::PointTarget: {
            copy(pointTarget);
            if (!mayMove("point move")) {
                return std::nullopt;
            }
            const Pose p{v[0], v[1], v[2], v[3], v[4], v[5]};
            const IkResult r = inverseNearest(geometry(), poseToFrame(p), q, limits());
            if (r.status == IkStatus::Unreachable) {
                std::array<bool, 6> axes{};
                axes[2] = true;
                setAlarms(axes, alarm::kOutOfReach, "point move: out of reach");
            } else if (r.status == IkStatus::OutOfLimits) {
                setAlarms(r.outside, alarm::kAngleLimit, "point move: beyond the angle limits");
            } else {
                startJointMove(r.joints, "point move");
            }
            return std::nullopt;
        }
        case Block::LineTarget: {
            copy(lineTarget);
            if (!mayMove("linear move")) {
                return std::nullopt;
            }
            const Pose p{v[0], v[1], v[2], v[3], v[4], v[5]};
            startCartesianMove(busy::kLinearMove, linePath(forward(geometry(), q), poseToFrame(p)), "linear move");
            return std::nullopt;
        }
        case Block::ArcTarget: {
            copy(arcTarget);
            if (!mayMove("circular move")) {
                return std::nullopt;
            }
            const Eigen::Vector3d via(v[0], v[1], v[2]);
            const Pose end{v[6], v[7], v[8], v[9], v[10], v[11]};
            const auto path = arcPath(forward(geometry(), q), via, poseToFrame(end), v[12]);
            if (!path) {
                std::array<bool, 6> axes{};
                axes[2] = true;
                setAlarms(axes, alarm::kOutOfReach, "circular move: the points make no arc");
                return std::nullopt;
            }
            startCartesianMove(busy::kArcMove, *path, "circular move");
            return std::nullopt;
        }
        default:
            return ExceptionCode::IllegalDataAddress;
        }
    }

    std::optional<ExceptionCode> write(std::uint16_t start, std::uint16_t quantity, std::span<const std::uint8_t> data)
    {
        if (quantity == 0 || quantity > 123) {
            return ExceptionCode::IllegalDataValue;
        }
        for (const FloatBlock& b : kFloatBlocks) {
            if (b.start != start) {
                continue;
            }
            // The quantity may count floats (4 bytes each, as the console
            // sends it) or registers (2 bytes each, as Modbus libraries do).
            std::size_t floats = 0;
            if (data.size() == 4u * quantity) {
                floats = quantity;
            } else if (data.size() == 2u * quantity && quantity % 2 == 0) {
                floats = quantity / 2u;
            } else {
                return ExceptionCode::IllegalDataValue;
            }
            if (floats != b.floats) {
                return ExceptionCode::IllegalDataValue;
            }
            std::vector<float> v(floats);
            for (std::size_t i = 0; i < floats; ++i) {
                v[i] = floatFromBytes(data.data() + 4 * i);
            }
            return writeFloats(b.block, v);
        }
        for (const WordRegion& r : kWordRegions) {
            if (start < r.first || start >= r.first + r.count) {
                continue;
            }
            if (start + quantity > r.first + r.count) {
                return ExceptionCode::IllegalDataAddress;
            }
            if (data.size() != 2u * quantity) {
                return ExceptionCode::IllegalDataValue;
            }
            std::vector<std::uint16_t> words(quantity);
            for (std::size_t i = 0; i < quantity; ++i) {
                words[i] = static_cast<std::uint16_t>((data[2 * i] << 8) | data[2 * i + 1]);
            }
            return writeWords(r.block, static_cast<std::size_t>(start - r.first), words);
        }
        return ExceptionCode::IllegalDataAddress;
    }

    std::vector<std::uint8_t> exception(std::uint8_t fn, ExceptionCode code)
    {
        ++counters.exceptions;
        return exceptionReply(address, fn, code);
    }
};

Controller::Controller(const ControllerOptions& options) : d_(std::make_unique<Impl>())
{
    d_->opt = options;
    d_->address = options.address;
    d_->timeScale = options.timeScale > 0 && std::isfinite(options.timeScale) ? options.timeScale : 1.0;
    d_->controlMode = options.controlMode <= 2 ? options.controlMode : 0;
    d_->teachSpeed = std::clamp<std::uint16_t>(options.teachSpeed, 1, 5);
    d_->motionMode = options.motionMode >= 1 && options.motionMode <= 4 ? options.motionMode : 1;
    d_->servo.fill(options.servosOn && d_->motionMode != 4);
    d_->q = options.startJoints;
    if (!options.stateFile.empty()) {
        loadStateFile(options.stateFile, d_->params, &d_->warnings);
    }
    d_->saved = d_->params;
}

Controller::~Controller() = default;

std::optional<std::vector<std::uint8_t>> Controller::handle(std::span<const std::uint8_t> frame)
{
    Impl& d = *d_;
    if (!crcMatches(frame) || frame[0] != d.address) {
        return std::nullopt;
    }
    ++d.counters.requests;
    const std::uint8_t fn = frame[1];
    if (fn == kFnReadHolding) {
        if (frame.size() != 8) {
            return d.exception(fn, ExceptionCode::IllegalDataValue);
        }
        const auto start = static_cast<std::uint16_t>((frame[2] << 8) | frame[3]);
        const auto count = static_cast<std::uint16_t>((frame[4] << 8) | frame[5]);
        if (count == 0 || count > kMaxReadCount) {
            return d.exception(fn, ExceptionCode::IllegalDataValue);
        }
        const auto regs = readRegisters(start, count);
        if (!regs) {
            return d.exception(fn, ExceptionCode::IllegalDataAddress);
        }
        std::vector<std::uint8_t> reply{d.address, fn, static_cast<std::uint8_t>(2 * count)};
        reply.reserve(5 + 2u * count);
        for (std::uint16_t r : *regs) {
            reply.push_back(static_cast<std::uint8_t>(r >> 8));
            reply.push_back(static_cast<std::uint8_t>(r & 0xFF));
        }
        appendCrc(reply);
        return reply;
    }
    if (fn == kFnWriteMultiple) {
        if (frame.size() < 9 || frame[6] != frame.size() - 9) {
            return d.exception(fn, ExceptionCode::IllegalDataValue);
        }
        const auto start = static_cast<std::uint16_t>((frame[2] << 8) | frame[3]);
        const auto quantity = static_cast<std::uint16_t>((frame[4] << 8) | frame[5]);
        if (const auto error = d.write(start, quantity, frame.subspan(7, frame[6]))) {
            return d.exception(fn, *error);
        }
        // The acknowledgement echoes start and quantity as received.
        std::vector<std::uint8_t> reply(frame.begin(), frame.begin() + 6);
        appendCrc(reply);
        return reply;
    }
    return d.exception(fn, ExceptionCode::IllegalFunction);
}

void Controller::advance(double seconds)
{
    Impl& d = *d_;
    if (!(seconds > 0) || !std::isfinite(seconds)) {
        return;
    }
    const double start = d.wallNow;
    d.wallNow += seconds;
    const Joints before = d.q;
    const double dt = seconds * d.timeScale;
    if (d.motion.kind == busy::kJog) {
        // The jog runs until the watchdog runs out, then stops there.
        const double deadline = d.lastJogWordAt + kWatchdog;
        const double run = std::clamp(deadline - start, 0.0, seconds);
        d.stepJog(run * d.timeScale);
        if (d.wallNow >= deadline - 1e-12) {
            d.stopMotion("");
            d.event("jog stopped: no jog word for 0.5 s");
        }
    } else if (d.motion.kind != busy::kIdle) {
        d.stepMotion(dt);
    }
    for (std::size_t i = 0; i < 6; ++i) {
        const double jointSpeed = (d.q[i] - before[i]) / dt;            // deg/s
        d.rpm[i] = jointSpeed * d.params.reduction[i] / 6.0;           // motor rpm
    }
}

double Controller::now() const { return d_->wallNow; }

std::optional<std::uint16_t> Controller::readRegister(std::uint16_t address) const
{
    std::optional<PoseValues> cache;
    return d_->registerAt(address, cache);
}

std::optional<std::vector<std::uint16_t>> Controller::readRegisters(std::uint16_t start, std::uint16_t count) const
{
    if (count == 0 || static_cast<std::uint32_t>(start) + count > 0x10000u) {
        return std::nullopt;
    }
    std::optional<PoseValues> cache;
    std::vector<std::uint16_t> out;
    out.reserve(count);
    for (std::uint32_t a = start; a < static_cast<std::uint32_t>(start) + count; ++a) {
        const auto r = d_->registerAt(static_cast<std::uint16_t>(a), cache);
        if (!r) {
            return std::nullopt;
        }
        out.push_back(*r);
    }
    return out;
}

std::uint16_t Controller::controllerState() const { return d_->statusRegister(0); }
std::uint16_t Controller::controlMode() const { return d_->controlMode; }
std::uint16_t Controller::teachSpeed() const { return d_->teachSpeed; }
std::uint16_t Controller::motionMode() const { return d_->motionMode; }
std::uint16_t Controller::jogCode() const { return d_->jogCode; }
std::uint16_t Controller::busyWord() const { return d_->busyWord(); }
bool Controller::servoOn(int axis) const { return d_->servo.at(static_cast<std::size_t>(axis - 1)); }
std::uint16_t Controller::alarmCode(int axis) const { return d_->alarms.at(static_cast<std::size_t>(axis - 1)); }
std::int32_t Controller::encoderPosition(int axis) const
{
    return d_->encoder(static_cast<std::size_t>(std::clamp(axis, 1, 6) - 1));
}
JointArray Controller::joints() const { return d_->q; }
PoseValues Controller::pose() const { return d_->pose(); }
JointArray Controller::monitorValues() const { return d_->rpm; }
bool Controller::moving() const { return d_->motion.kind != busy::kIdle; }
const Parameters& Controller::parameters() const { return d_->params; }
const Parameters& Controller::savedParameters() const { return d_->saved; }
std::uint8_t Controller::address() const { return d_->address; }
double Controller::timeScale() const { return d_->timeScale; }
const ControllerCounters& Controller::counters() const { return d_->counters; }
const std::string& Controller::lastEvent() const { return d_->lastEvent; }
const std::vector<std::string>& Controller::stateFileWarnings() const { return d_->warnings; }

void Controller::setAddress(std::uint8_t address) { d_->address = address; }

void Controller::setTimeScale(double scale)
{
    if (scale > 0 && std::isfinite(scale)) {
        d_->timeScale = scale;
    }
}

void Controller::setParameters(const Parameters& p) { d_->params = p; }

void Controller::raiseAlarm(int axis, std::uint16_t code)
{
    if (axis < 1 || axis > 6) {
        return;
    }
    d_->alarms[static_cast<std::size_t>(axis - 1)] = code;
    if (code != 0 && d_->motion.kind != busy::kIdle) {
        d_->stopMotion("alarm on axis " + std::to_string(axis));
    }
}

void Controller::setJoints(const JointArray& q)
{
    d_->stopMotion("");
    d_->q = q;
}

bool Controller::dragBy(int axis, double degrees)
{
    Impl& d = *d_;
    if (axis < 1 || axis > 6 || !std::isfinite(degrees) || d.motionMode != 4 ||
        d.servo[static_cast<std::size_t>(axis - 1)]) {
        return false;
    }
    const auto i = static_cast<std::size_t>(axis - 1);
    d.q[i] = std::clamp(d.q[i] + degrees, d.params.lowerLimit(axis - 1), d.params.upperLimit(axis - 1));
    return true;
}

} // namespace vq::sim
