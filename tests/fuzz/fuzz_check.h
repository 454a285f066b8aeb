// What the fuzz targets share: a check that stops the run with a message
// (libFuzzer then keeps the input as a crash reproducer), the field keys of
// the teach program, and a small generator for choices that are not worth
// spending input bytes on.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "link/numtext.h"

namespace vq::fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* what, const std::string& detail)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", file, line, what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

#define VQ_FUZZ_CHECK(cond, detail)                                                                                  \
    do {                                                                                                             \
        if (!(cond)) ::vq::fuzz::fail(__FILE__, __LINE__, #cond, (detail));                                          \
    } while (0)

// Printable form of a text for failure messages (bytes outside ASCII as \xHH).
inline std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out + "\"";
}

inline std::string number(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// True when the text is what generalFormat writes for some value: a finite
// value written with at most 15 significant digits that reads back to the
// same text, or the forms of the two infinities. The largest doubles
// (above 1.797693134862315E+308) round up to a 15-digit text beyond the
// double range, which reads back as infinity; that text is accepted too.
inline bool isGeneralFormat(std::string_view text)
{
    static const std::string inf = generalFormat(HUGE_VAL);
    static const std::string negInf = generalFormat(-HUGE_VAL);
    static const std::string top = generalFormat(std::numeric_limits<double>::max());
    static const std::string negTop = generalFormat(-std::numeric_limits<double>::max());
    if (text == inf || text == negInf || text == top || text == negTop) return true;
    const auto v = readStrictNumber(text);
    if (!v || !std::isfinite(*v)) return false;
    // Significant digits: those of the mantissa from the first non-zero one.
    std::size_t digits = 0;
    bool leading = true;
    for (char c : text) {
        if (c == 'E') break;
        if (c < '0' || c > '9') continue;
        if (leading && c == '0') continue;
        leading = false;
        ++digits;
    }
    return digits <= 15 && generalFormat(*v) == text;
}

// splitmix64: choices derived from one seed taken from the input.
class Choices {
public:
    explicit Choices(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return n <= 1 ? 0 : static_cast<std::size_t>(next() % n); }
    bool chance(unsigned percent) { return next() % 100 < percent; }

private:
    std::uint64_t state_;
};

} // namespace vq::fuzz
