// Which device a port number means, opening the port with the console's line
// settings, and probing ports 1 to 16 for the port list.
//
// Port N is COM<N> on Windows. Elsewhere it is <port folder>/com<N> when
// that name exists, the port folder being $VELQUOR_PORT_DIR when set and
// $XDG_CONFIG_HOME/Comm/ports (default ~/.config/Comm/ports) otherwise; if
// it does not exist, /dev/ttyUSB<N-1>. A port text that starts with "/" (or
// "COM" on Windows) names a device path and is used as it stands.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board.h"
#include "port.h"

namespace vq {

inline constexpr std::string_view kPortWarning = "没有当前串口,检查设置是否正确！";
inline constexpr std::string_view kPortWarningTitle = "警告!";

std::string portFolder();
std::string devicePathForNumber(int n);

// <port folder>/com<N>: the name that, when it exists, is port N.
std::string portLinkPath(int n);

// Makes <port folder>/com<N> a symbolic link to device (the folder is made
// when missing). A symbolic link already there is replaced; anything else
// of that name is left alone and the call fails. Empty on success, else
// why it failed.
std::string linkPortNumber(int n, const std::string& device);

// The device a PortNumber text stands for: a device path as it stands, else the
// text read as a whole number. nullopt when it is neither (empty on a first
// start).
std::optional<std::string> deviceForPortText(std::string_view text);

// "115200" -> 115200; nullopt when the speed text is not a positive number.
std::optional<std::int32_t> baudFromSpeedText(std::string_view speedText);

class PortOpener {
public:
    PortOpener(Port& port, Board& board, Prompts& prompts) : port_(port), board_(board), prompts_(prompts) {}

    // Closes an open port, enables PollTimer (whether or not the port then
    // opens), opens the device at speedText,n,8,1. On failure the port stays
    // closed and the warning box is shown once.
    void openPort(const std::string& device, std::string_view speedText);

    // Tries ports 1 to 16 in turn and returns those that opened, as two
    // digits ("01".."16"). The port that is open now (openDevice, empty
    // when none) is listed with openMark after its number and not tried.
    // The others are tried on the probe port when there is one; without
    // it, on the console's port only while that is closed (and it is
    // closed again afterwards).
    std::vector<std::string> probePorts(const std::string& openDevice = {}, std::string_view openMark = {});
    void setProbe(Port* probe) { probe_ = probe; }

private:
    Port& port_;
    Board& board_;
    Prompts& prompts_;
    Port* probe_ = nullptr;
};

} // namespace vq
