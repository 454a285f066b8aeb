#include "ports.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>


namespace vq {

std::string portFolder()
{
    if (const char* dir = std::getenv("VELQUOR_PORT_DIR"); dir && *dir) return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/Comm/ports";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/Comm/ports";
    return ".config/Comm/ports";
}

std::string devicePathForNumber(int n)
{
#ifdef _WIN32
    return "COM" + std::to_string(n);
#else
    std::string named = portFolder() + "/com" + std::to_string(n);
    std::error_code ec;
    // A dangling link still names the port the operator chose; the open then
    // fails and says so.
    if (std::filesystem::exists(std::filesystem::symlink_status(named, ec))) return named;
    return "/dev/ttyUSB" + std::to_string(n - 1);
#endif
}

std::optional<std::string> deviceForPortText(std::string_view text)
{
    std::string t(text);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.erase(t.begin());
#ifdef _WIN32
    if (t.size() > 3 && (t.rfind("COM", 0) == 0 || t.rfind("\\\\.\\", 0) == 0)) return t;
#else
    if (!t.empty() && t.front() == '/') return t;
#endif
    if (t.empty()) return std::nullopt;
    for (char c : t)
        if (c < '0' || c > '9') return std::nullopt;
    if (t.size() > 9) return std::nullopt;
    return devicePathForNumber(std::stoi(t));
}

std::optional<std::int32_t> baudFromSpeedText(std::string_view speedText)
{
    std::string t(speedText);
    if (t.empty() || t.size() > 9) return std::nullopt;
    for (char c : t)
        if (c < '0' || c > '9') return std::nullopt;
    int v = std::stoi(t);
    if (v <= 0) return std::nullopt;
    return v;
}

void PortOpener::openPort(const std::string& device, std::string_view speedText)
{
    if (port_.isOpen()) port_.close();
    board_.setTimerEnabled(Ctl::PollTimer, true);
    auto baud = baudFromSpeedText(speedText);
    bool ok = baud && port_.open(device, *baud);
    if (!ok) {
        port_.close();
        prompts_.warn(kPortWarning, kPortWarningTitle);
    }
}

std::vector<std::string> PortOpener::probePorts()
{
    std::vector<std::string> found;
    for (int n = 1; n <= 16; ++n) {
        if (port_.isOpen()) port_.close();
        if (port_.open(devicePathForNumber(n), 115200)) {
            char two[3];
            std::snprintf(two, sizeof two, "%02d", n);
            found.emplace_back(two);
        } else {
            port_.close();
        }
    }
    // Do not leave the last port that opened (port 16 when it exists) held.
    if (port_.isOpen()) port_.close();
    return found;
}

} // namespace vq
