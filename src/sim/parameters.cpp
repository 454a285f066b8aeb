#include "sim/parameters.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace vq::sim {

namespace {

std::string trim(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(first, last - first + 1));
}

// Floats print with enough digits to come back bit for bit.
std::string floatText(float v)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

template <std::size_t N>
std::string floatList(const std::array<float, N>& a)
{
    std::string s;
    for (std::size_t i = 0; i < N; ++i) {
        if (i) {
            s += ' ';
        }
        s += floatText(a[i]);
    }
    return s;
}

std::string wordList(const std::array<std::uint16_t, 6>& a)
{
    std::string s;
    for (std::size_t i = 0; i < 6; ++i) {
        if (i) {
            s += ' ';
        }
        s += std::to_string(a[i]);
    }
    return s;
}

std::vector<double> numbers(const std::string& text, bool& ok)
{
    std::vector<double> out;
    std::istringstream in(text);
    std::string piece;
    ok = true;
    while (in >> piece) {
        char* end = nullptr;
        errno = 0;
        const double v = std::strtod(piece.c_str(), &end);
        if (end == piece.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(v)) {
            ok = false;
            return out;
        }
        out.push_back(v);
    }
    return out;
}

enum class Check { Any, Positive, NonNegative };

template <std::size_t N>
bool takeFloats(const std::string& text, std::array<float, N>& dest, Check check)
{
    bool ok = false;
    const std::vector<double> v = numbers(text, ok);
    if (!ok || v.size() != N) {
        return false;
    }
    std::array<float, N> tmp{};
    for (std::size_t i = 0; i < N; ++i) {
        const float f = static_cast<float>(v[i]);
        if (!std::isfinite(f) || (check == Check::Positive && !(f > 0)) || (check == Check::NonNegative && f < 0)) {
            return false;
        }
        tmp[i] = f;
    }
    dest = tmp;
    return true;
}

bool takeWords(const std::string& text, std::array<std::uint16_t, 6>& dest)
{
    bool ok = false;
    const std::vector<double> v = numbers(text, ok);
    if (!ok || v.size() != 6) {
        return false;
    }
    std::array<std::uint16_t, 6> tmp{};
    for (std::size_t i = 0; i < 6; ++i) {
        if (v[i] < 0 || v[i] > 65535 || v[i] != std::floor(v[i])) {
            return false;
        }
        tmp[i] = static_cast<std::uint16_t>(v[i]);
    }
    dest = tmp;
    return true;
}

} // namespace

double Parameters::lowerLimit(int axis) const { return -std::abs(static_cast<double>(limitNegative.at(axis))); }
double Parameters::upperLimit(int axis) const { return static_cast<double>(limitPositive.at(axis)); }

std::string formatStateFile(const Parameters& p)
{
    std::string s;
    s += "# velquor-sim controller parameters\n";
    s += "mechanical = " + floatList(p.mechanical) + "\n";
    s += "reduction = " + floatList(p.reduction) + "\n";
    s += "encoder = " + floatList(p.encoder) + "\n";
    s += "limit_positive = " + floatList(p.limitPositive) + "\n";
    s += "limit_negative = " + floatList(p.limitNegative) + "\n";
    s += "tool = " + floatList(p.tool) + "\n";
    s += "point_speed = " + floatList(p.pointSpeed) + "\n";
    s += "line_speed = " + floatList(p.lineSpeed) + "\n";
    s += "pid_kp = " + wordList(p.kp) + "\n";
    s += "pid_ki = " + wordList(p.ki) + "\n";
    s += "pid_kd = " + wordList(p.kd) + "\n";
    return s;
}

void parseStateFile(const std::string& text, Parameters& p, std::vector<std::string>* warnings)
{
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    const auto warn = [&](const std::string& what) {
        if (warnings) {
            warnings->push_back("line " + std::to_string(lineNo) + ": " + what);
        }
    };
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#') {
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos) {
            warn("no '=' in \"" + t + "\"");
            continue;
        }
        const std::string key = trim(std::string_view(t).substr(0, eq));
        const std::string value = trim(std::string_view(t).substr(eq + 1));
        bool ok = true;
        bool known = true;
        if (key == "mechanical") {
            // The upper arm and the forearm must have a length.
            std::array<float, 6> m{};
            ok = takeFloats(value, m, Check::Any) && m[2] > 0 && std::hypot(m[4], m[3]) > 0;
            if (ok) {
                p.mechanical = m;
            }
        } else if (key == "reduction") {
            ok = takeFloats(value, p.reduction, Check::Positive);
        } else if (key == "encoder") {
            ok = takeFloats(value, p.encoder, Check::Positive);
        } else if (key == "limit_positive") {
            ok = takeFloats(value, p.limitPositive, Check::Any);
        } else if (key == "limit_negative") {
            ok = takeFloats(value, p.limitNegative, Check::Any);
        } else if (key == "tool") {
            ok = takeFloats(value, p.tool, Check::Any);
        } else if (key == "point_speed" || key == "line_speed") {
            // The speed itself must be above 0; the ramps may be 0.
            std::array<float, 3> s{};
            ok = takeFloats(value, s, Check::NonNegative) && s[0] > 0;
            if (ok) {
                (key == "point_speed" ? p.pointSpeed : p.lineSpeed) = s;
            }
        } else if (key == "pid_kp") {
            ok = takeWords(value, p.kp);
        } else if (key == "pid_ki") {
            ok = takeWords(value, p.ki);
        } else if (key == "pid_kd") {
            ok = takeWords(value, p.kd);
        } else {
            known = false;
        }
        if (!known) {
            warn("unknown key \"" + key + "\" ignored");
        } else if (!ok) {
            warn("value of \"" + key + "\" not taken: \"" + value + "\"");
        }
    }
}

bool loadStateFile(const std::string& path, Parameters& p, std::vector<std::string>* warnings)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad()) {
        return false;
    }
    parseStateFile(buf.str(), p, warnings);
    return true;
}

bool saveStateFile(const std::string& path, const Parameters& p, std::string* error)
{
    const std::string tmp = path + ".tmp";
    const std::string text = formatStateFile(p);
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        if (error) {
            *error = tmp + ": " + std::strerror(errno);
        }
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool flushed = std::fflush(f) == 0;
    const bool closed = std::fclose(f) == 0;
    if (!written || !flushed || !closed) {
        if (error) {
            *error = tmp + ": write failed";
        }
        std::remove(tmp.c_str());
        return false;
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        if (error) {
            *error = path + ": " + std::strerror(errno);
        }
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace vq::sim
