// A pseudo-terminal pair in raw mode for tests of the serial line: the
// console's line opens `name`, the test plays the far end on `master`
// (non-blocking).
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vq::test {

struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string name;
    PtyPair()
    {
        char buf[128];
        if (::openpty(&master, &slave, buf, nullptr, nullptr) != 0) return;
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        name = buf;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair()
    {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    void send(const std::vector<std::uint8_t>& b) { ASSERT_EQ(::write(master, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
    // What has arrived at the far end so far (up to 1 KiB).
    std::vector<std::uint8_t> receive()
    {
        std::vector<std::uint8_t> out(1024);
        ssize_t n = ::read(master, out.data(), out.size());
        out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return out;
    }
};

} // namespace vq::test
