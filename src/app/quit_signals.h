// SIGTERM, SIGINT and SIGHUP end the console the way closing its window
// does (the jog stop word, the recovery copy of an unsaved program, the
// port closed), from the event loop: the handler itself only writes a byte
// to a pipe that the loop watches.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vq {

class QuitSignals {
public:
    // onSignal runs on the event loop's thread, once per signal received.
    explicit QuitSignals(std::function<void()> onSignal);
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    bool active() const { return notifier_ != nullptr; }

private:
    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace vq
