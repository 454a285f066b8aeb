// The one persisted setting: the chosen port text, value "Comm" of the
// settings Comm/Registry in the user scope (HKEY_CURRENT_USER\Software\Comm\Registry
// on Windows, $XDG_CONFIG_HOME/Comm/Registry.conf elsewhere).
#pragma once

#include <string>
#include <string_view>

namespace vq {

// Text stored under the value name, up to its first NUL; empty when the value
// is missing or not a string.
std::string getRegString(std::string_view valueName);
// Stores the text; an empty text changes nothing. Empty when stored (or
// nothing to store); otherwise the settings file and why it could not be
// written ("/home/op/.config/Comm/Registry.conf：没有写入权限").
std::string putRegString(std::string_view valueName, std::string_view text);

} // namespace vq
