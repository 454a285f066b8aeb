// How long the calling thread has been starved: the tests share the
// machine, and a listener that was not running cannot say when a byte came.
#pragma once

#include <cstdio>

namespace vq {

// Milliseconds this thread has spent runnable but waiting for a processor
// (while other work holds every core, no timer can run however well the
// code behaves). -1 when not known.
inline double runQueueWaitMs()
{
    std::FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (!f) return -1;
    unsigned long long onCpu = 0;
    unsigned long long waiting = 0;
    const int n = std::fscanf(f, "%llu %llu", &onCpu, &waiting);
    std::fclose(f);
    return n == 2 ? static_cast<double>(waiting) / 1e6 : -1;
}

} // namespace vq
