#include "signal_watch.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vq {
namespace {

constexpr std::array kSignals = {SIGTERM, SIGINT, SIGHUP};
int gPipe[2] = {-1, -1};
struct sigaction gOld[std::size(kSignals)];

extern "C" void onSignal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[0], &byte, 1); // async-signal-safe; a full pipe drops it
    errno = saved;
}

} // namespace

SignalWatch::SignalWatch(QObject* parent) : QObject(parent)
{
    if (gPipe[0] >= 0) return; // another watch has them
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPipe) != 0) {
        gPipe[0] = gPipe[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(gPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatch::readPipe);
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(kSignals[i], &sa, &gOld[i]);
    }
}

SignalWatch::~SignalWatch()
{
    if (!notifier_) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &gOld[i], nullptr);
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

void SignalWatch::readPipe()
{
    unsigned char byte = 0;
    while (::read(gPipe[1], &byte, 1) == 1) emit arrived(byte);
}

} // namespace vq
