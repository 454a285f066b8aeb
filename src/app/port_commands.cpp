#include "port_commands.h"

#include <QFile>
#include <QSerialPortInfo>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "link/ports.h"

namespace vq {

namespace {

namespace fs = std::filesystem;

constexpr int kFirstNumber = 1;
constexpr int kLastNumber = 16;

std::string local(const QString& s) { return QFile::encodeName(s).toStdString(); }

std::string orDash(const QString& s) { return s.isEmpty() ? "-" : s.toStdString(); }

// The device a path finally names, or empty when it names nothing now.
std::string realDevice(const std::string& path)
{
    std::error_code ec;
    fs::path real = fs::canonical(path, ec);
    return ec ? std::string() : real.string();
}

// What port number n resolves to and in what state, in one line.
std::string describeNumber(int n)
{
    const std::string path = devicePathForNumber(n);
    const std::string named = portLinkPath(n);
    std::error_code ec;
    const bool present = fs::exists(path, ec);
    if (path != named)
        return path + "  (no com" + std::to_string(n) + " link; " + (present ? "present" : "not present") + ")";
    if (!fs::is_symlink(fs::symlink_status(named, ec)))
        return named + "  (not a symbolic link; opened as it stands)";
    const fs::path target = fs::read_symlink(named, ec);
    return named + " -> " + target.string() + "  (" + (present ? "present" : "not present") + ")";
}

} // namespace

int listPorts(std::FILE* out)
{
    std::map<int, std::string> numberDevice; // port number -> the device it reaches now
    for (int n = kFirstNumber; n <= kLastNumber; ++n)
        if (std::string real = realDevice(devicePathForNumber(n)); !real.empty()) numberDevice[n] = real;

    // Names that stay the same when an adapter is plugged in elsewhere.
    std::multimap<std::string, std::string> byId;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator("/dev/serial/by-id", ec))
        if (std::string real = realDevice(e.path().string()); !real.empty()) byId.emplace(real, e.path().string());

    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    std::fprintf(out, "Serial ports: %d\n", static_cast<int>(ports.size()));
    for (const QSerialPortInfo& p : ports) {
        const std::string location = local(p.systemLocation());
        const std::string real = realDevice(location);
        std::fprintf(out, "%s\n", location.c_str());
        std::fprintf(out, "  description:   %s\n", orDash(p.description()).c_str());
        std::fprintf(out, "  manufacturer:  %s\n", orDash(p.manufacturer()).c_str());
        std::fprintf(out, "  serial number: %s\n", orDash(p.serialNumber()).c_str());
        if (p.hasVendorIdentifier() && p.hasProductIdentifier())
            std::fprintf(out, "  VID:PID:       %04x:%04x\n", p.vendorIdentifier(), p.productIdentifier());
        else
            std::fprintf(out, "  VID:PID:       -\n");
        auto [from, to] = byId.equal_range(real);
        for (auto it = from; it != to; ++it) std::fprintf(out, "  by-id:         %s\n", it->second.c_str());
        std::string numbers;
        for (const auto& [n, device] : numberDevice)
            if (!real.empty() && device == real) numbers += (numbers.empty() ? "" : ", ") + std::to_string(n);
        std::fprintf(out, "  port number:   %s\n", numbers.empty() ? "none" : numbers.c_str());
    }

    std::fprintf(out, "\nPort numbers (port folder %s):\n", portFolder().c_str());
    for (int n = kFirstNumber; n <= kLastNumber; ++n) std::fprintf(out, "%3d  %s\n", n, describeNumber(n).c_str());
    return 0;
}

int linkPort(const QString& number, const QString& device, std::FILE* out, std::FILE* err)
{
    bool ok = false;
    const int n = number.toInt(&ok);
    if (!ok || n < kFirstNumber || n > kLastNumber) {
        std::fprintf(err, "velquor: --link-port wants a port number from %d to %d, not \"%s\"\n", kFirstNumber,
                     kLastNumber, local(number).c_str());
        return 2;
    }
    if (device.isEmpty()) {
        std::fprintf(err, "velquor: --link-port %d wants a device, e.g. /dev/serial/by-id/...\n", n);
        return 2;
    }
    // Kept as given (a /dev/serial/by-id name stays one), only made absolute:
    // the link lives in another folder.
    std::error_code ec;
    const fs::path target = fs::absolute(local(device), ec);
    if (ec) {
        std::fprintf(err, "velquor: %s: %s\n", local(device).c_str(), ec.message().c_str());
        return 2;
    }
    if (std::string why = linkPortNumber(n, target.string()); !why.empty()) {
        std::fprintf(err, "velquor: %s\n", why.c_str());
        return 1;
    }
    std::fprintf(out, "%s -> %s\n", portLinkPath(n).c_str(), target.c_str());
    if (!fs::exists(target, ec))
        std::fprintf(err, "velquor: note: %s is not present now; port %d reaches it once it is\n", target.c_str(), n);
    return 0;
}

} // namespace vq
