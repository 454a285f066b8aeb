// Settings of the simulated controller and of the line it sits on. Plain
// values only, so that hosts can include it cheaply.
#pragma once

#include <cstdint>
#include <string>

namespace vq::sim {

// Faults put on the line on request. Each share is a probability in
// [0, 1], drawn independently for every request addressed to the slave.
struct FaultSettings {
    double dropShare = 0;      // the request is served but no reply is sent
    double corruptShare = 0;   // the reply goes out with a wrong CRC
    double truncateShare = 0;  // the reply is cut short (1 .. n-1 bytes)
    double strayShare = 0;     // 1..8 random bytes follow the reply a few ms later
    double exceptionShare = 0; // the request is not served: exception 04 instead
    double delayMs = 0;        // extra time before a reply goes out
    double delayShare = 1;     // share of replies that get the delay (when delayMs > 0)

    bool operator==(const FaultSettings&) const = default;
};

struct SimOptions {
    std::uint8_t address = 128;
    std::string stateFile;  // parameters: read at start, written by the save commands
    double timeScale = 1.0; // moves run this many times faster
    int baud = 115200;      // line time: each byte takes 10 bits at this speed; 0 = no line time
    FaultSettings faults;
    std::uint64_t seed = 1; // fault decisions repeat for the same seed
    std::string linkPath;   // made a symbolic link to the slave device (hosts only)
    int tickMs = 5;         // how often the host advances the simulation
    // Start state of the controller.
    std::uint16_t controlMode = 0; // 0 run, 1 teach, 2 external
    bool servosOn = false;
};

} // namespace vq::sim
