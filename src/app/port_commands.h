// The console's port commands, run without a window: --list-ports shows
// the serial ports Qt sees and what port numbers 1 to 16 resolve to;
// --link-port N DEVICE makes <port folder>/com<N> a link to a device.
#pragma once

#include <cstdio>

#include <QString>

namespace vq {

// Prints to out; returns the exit status (0).
int listPorts(std::FILE* out);

// Returns 0 when the link was made, 1 when it could not be (a file that is
// not a link in the way, a folder that cannot be written), 2 for a port
// number outside 1..16 or a missing device.
int linkPort(const QString& number, const QString& device, std::FILE* out, std::FILE* err);

} // namespace vq
