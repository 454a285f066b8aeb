// The console's version: the project version of CMakeLists.txt, and the git
// commit the executable was built from when it was built from a checkout.
#pragma once

#include <string>
#include <string_view>

namespace vq {

std::string_view versionNumber(); // "0.1"
std::string_view commitId();      // "8bf2279abcde", "8bf2279abcde-dirty", or empty outside a checkout

// "0.1 (commit 8bf2279abcde)", or "0.1" without a commit.
std::string versionText();

} // namespace vq
