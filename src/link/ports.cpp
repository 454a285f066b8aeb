#include "ports.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace vq {

std::string portFolder()
{
    if (const char* dir = std::getenv("VELQUOR_PORT_DIR"); dir && *dir) return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/Comm/ports";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/Comm/ports";
    return ".config/Comm/ports";
}

std::string portLinkPath(int n)
{
    return portFolder() + "/com" + std::to_string(n);
}

std::string devicePathForNumber(int n)
{
#ifdef _WIN32
    return "COM" + std::to_string(n);
#else
    std::string named = portLinkPath(n);
    std::error_code ec;
    // A dangling link still names the port the operator chose; the open then
    // fails and says so.
    if (std::filesystem::exists(std::filesystem::symlink_status(named, ec))) return named;
    return "/dev/ttyUSB" + std::to_string(n - 1);
#endif
}

std::string linkPortNumber(int n, const std::string& device)
{
#ifdef _WIN32
    (void)n;
    (void)device;
    return "port numbers are COM<N> on Windows; there is no port folder";
#else
    namespace fs = std::filesystem;
    const fs::path link = portLinkPath(n);
    std::error_code ec;
    fs::create_directories(link.parent_path(), ec);
    if (ec) return "cannot make the port folder " + link.parent_path().string() + ": " + ec.message();
    const fs::file_status st = fs::symlink_status(link, ec);
    if (fs::exists(st) && !fs::is_symlink(st))
        return link.string() + " exists and is not a symbolic link; it is left as it is";
    // The new link is made beside the old one and renamed over it, so that
    // the name never goes missing in between.
    fs::path fresh = link;
    fresh += ".new-" + std::to_string(::getpid());
    fs::remove(fresh, ec);
    fs::create_symlink(device, fresh, ec);
    if (ec) return "cannot make " + fresh.string() + ": " + ec.message();
    fs::rename(fresh, link, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(fresh, ignored);
        return "cannot rename " + fresh.string() + " to " + link.string() + ": " + ec.message();
    }
    return {};
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

std::vector<std::string> PortOpener::probePorts(const std::string& openDevice, std::string_view openMark)
{
    std::vector<std::string> found;
    const bool busy = port_.isOpen();
    Port* tryOn = probe_ ? probe_ : busy ? nullptr : &port_;
    for (int n = 1; n <= 16; ++n) {
        char two[3];
        std::snprintf(two, sizeof two, "%02d", n);
        const std::string device = devicePathForNumber(n);
        if (busy && !openDevice.empty() && device == openDevice) {
            found.push_back(two + std::string(openMark));
            continue;
        }
        if (!tryOn) continue;
        if (tryOn->isOpen()) tryOn->close();
        if (tryOn->open(device, 115200)) found.emplace_back(two);
        tryOn->close();
    }
    return found;
}

} // namespace vq
