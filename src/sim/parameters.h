// The simulated controller's parameters: what the parameter blocks and the
// PID table hold, their defaults, and the state file they are saved to.
//
// State file: plain text, one "key = values" line per parameter, values
// separated by blanks, '#' starts a comment line. Unknown keys are ignored;
// a line whose values cannot be read (wrong count, not a number, out of
// range) leaves that parameter at its default and is reported as a warning.
//
//   mechanical     = d1 a1 a2 a3 d4 d6        (mm, block 11 10)
//   reduction      = r1 .. r6                 (gear ratio, block 11 20)
//   encoder        = e1 .. e6                 (counts per motor turn, 11 30)
//   limit_positive = p1 .. p6                 (highest angle, deg, 11 40)
//   limit_negative = n1 .. n6                 (lowest angle, deg, 11 50)
//   tool           = tx ty tz                 (mm, block 11 60)
//   point_speed    = rpm acc_ms dec_ms        (block 11 A0)
//   line_speed     = mm_s acc_ms dec_ms       (block 11 A6)
//   pid_kp / pid_ki / pid_kd = six whole numbers 0..65535 (10 50 table)
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vq::sim {

struct Parameters {
    std::array<float, 6> mechanical{180.0f, 30.0f, 170.0f, 20.0f, 170.0f, 60.0f};
    std::array<float, 6> reduction{80.0f, 80.0f, 60.0f, 50.0f, 50.0f, 30.0f};
    std::array<float, 6> encoder{10000.0f, 10000.0f, 10000.0f, 10000.0f, 10000.0f, 10000.0f};
    std::array<float, 6> limitPositive{170.0f, 110.0f, 150.0f, 180.0f, 130.0f, 360.0f};
    std::array<float, 6> limitNegative{-170.0f, -110.0f, -150.0f, -180.0f, -130.0f, -360.0f};
    std::array<float, 3> tool{0.0f, 0.0f, 0.0f};
    std::array<float, 3> pointSpeed{1000.0f, 200.0f, 200.0f};
    std::array<float, 3> lineSpeed{100.0f, 200.0f, 200.0f};
    std::array<std::uint16_t, 6> kp{100, 100, 100, 80, 80, 60};
    std::array<std::uint16_t, 6> ki{10, 10, 10, 8, 8, 6};
    std::array<std::uint16_t, 6> kd{5, 5, 5, 4, 4, 3};

    // Lowest and highest allowed angle of an axis. The negative limit is
    // the lowest angle as a signed value; a positive number written there
    // is taken as its negative, so 170 and -170 are the same limit.
    double lowerLimit(int axis) const;
    double upperLimit(int axis) const;

    bool operator==(const Parameters&) const = default;
};

// The text of a state file holding these parameters.
std::string formatStateFile(const Parameters& p);
// Reads state-file text over the given parameters (which keep their value
// for every key that is missing or unreadable). Warnings name the lines
// that were not taken.
void parseStateFile(const std::string& text, Parameters& p, std::vector<std::string>* warnings = nullptr);

// File access: load returns false when the file cannot be read (missing
// included); save writes a temporary file beside it and renames it over
// the old one, so a failed save leaves the previous file whole.
bool loadStateFile(const std::string& path, Parameters& p, std::vector<std::string>* warnings = nullptr);
bool saveStateFile(const std::string& path, const Parameters& p, std::string* error = nullptr);

} // namespace vq::sim
