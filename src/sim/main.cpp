// velquor-sim: the simulated robot controller on a pseudo-terminal.
//
//   velquor-sim --link /tmp/com1 [options]
//
// Prints the slave device (e.g. /dev/pts/7) on its first line, serves it
// until SIGTERM or SIGINT, then removes the link. SIGUSR1 prints one line
// of what has been served so far:
//   served <requests> requests, <replies> replies, <in> bytes in, <out> bytes out

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "sim/controller.h"
#include "sim/sim_host.h"
#include "sim/slave_link.h"
#include "version/version.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const int saved = errno;
    const char c = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
    errno = saved;
}

bool readShare(const QCommandLineParser& p, const QString& name, double& out, QString& error)
{
    if (!p.isSet(name)) {
        return true;
    }
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || !(v >= 0.0 && v <= 1.0)) {
        error = QStringLiteral("--%1 wants a share between 0 and 1").arg(name);
        return false;
    }
    out = v;
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velquor-sim"));
    QCoreApplication::setApplicationVersion(QString::fromStdString(vq::versionText()));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated robot controller: a Modbus RTU slave on a pseudo-terminal.\n"
                       "Prints the slave device on its first line and serves it until SIGTERM or SIGINT;\n"
                       "SIGUSR1 prints a line of what has been served so far."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QList<QCommandLineOption> options{
        {QStringLiteral("link"), QStringLiteral("Make <path> a symbolic link to the slave device (removed on exit)."),
         QStringLiteral("path")},
        {QStringLiteral("address"), QStringLiteral("Slave address, 1..255 (default 128)."), QStringLiteral("n"),
         QStringLiteral("128")},
        {QStringLiteral("state"), QStringLiteral("State file: parameters read at start, written by the save commands."),
         QStringLiteral("file")},
        {QStringLiteral("time-scale"), QStringLiteral("Run moves and jogs this many times faster (default 1)."),
         QStringLiteral("x"), QStringLiteral("1")},
        {QStringLiteral("baud"),
         QStringLiteral("Line speed for the line-time emulation, 10 bits a byte (default 115200; 0: no line time)."),
         QStringLiteral("n"), QStringLiteral("115200")},
        {QStringLiteral("drop"), QStringLiteral("Share of replies left out (0..1)."), QStringLiteral("share")},
        {QStringLiteral("corrupt"), QStringLiteral("Share of replies sent with a wrong CRC (0..1)."),
         QStringLiteral("share")},
        {QStringLiteral("truncate"), QStringLiteral("Share of replies cut short (0..1)."), QStringLiteral("share")},
        {QStringLiteral("stray"), QStringLiteral("Share of replies followed by stray bytes (0..1)."),
         QStringLiteral("share")},
        {QStringLiteral("exception"),
         QStringLiteral("Share of requests answered with exception 04 instead of being served (0..1)."),
         QStringLiteral("share")},
        {QStringLiteral("delay-ms"), QStringLiteral("Extra delay before a reply goes out, in ms."), QStringLiteral("ms")},
        {QStringLiteral("delay-share"), QStringLiteral("Share of replies that get the delay (0..1, default 1)."),
         QStringLiteral("share")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the fault decisions (default 1)."), QStringLiteral("n"),
         QStringLiteral("1")},
        {QStringLiteral("tick-ms"), QStringLiteral("Simulation step of the host in ms (default 5)."), QStringLiteral("ms"),
         QStringLiteral("5")},
        {QStringLiteral("teach"), QStringLiteral("Start in teach mode (default: run mode).")},
        {QStringLiteral("servos-on"), QStringLiteral("Start with all servos on (default: off).")},
    };
    parser.addOptions(options);
    parser.process(app);

    vq::sim::SimOptions opt;
    QString error;
    bool ok = true;
    const auto fail = [&](const QString& text) {
        std::fprintf(stderr, "velquor-sim: %s\n", qPrintable(text));
        return 2;
    };

    const uint address = parser.value(QStringLiteral("address")).toUInt(&ok);
    if (!ok || address < 1 || address > 255) {
        return fail(QStringLiteral("--address wants 1..255"));
    }
    opt.address = static_cast<std::uint8_t>(address);
    opt.timeScale = parser.value(QStringLiteral("time-scale")).toDouble(&ok);
    if (!ok || !(opt.timeScale > 0) || opt.timeScale > 1e6) {
        return fail(QStringLiteral("--time-scale wants a number above 0"));
    }
    opt.baud = parser.value(QStringLiteral("baud")).toInt(&ok);
    if (!ok || opt.baud < 0) {
        return fail(QStringLiteral("--baud wants 0 or a line speed"));
    }
    opt.seed = parser.value(QStringLiteral("seed")).toULongLong(&ok);
    if (!ok) {
        return fail(QStringLiteral("--seed wants a whole number"));
    }
    opt.tickMs = parser.value(QStringLiteral("tick-ms")).toInt(&ok);
    if (!ok || opt.tickMs < 1 || opt.tickMs > 1000) {
        return fail(QStringLiteral("--tick-ms wants 1..1000"));
    }
    if (parser.isSet(QStringLiteral("delay-ms"))) {
        opt.faults.delayMs = parser.value(QStringLiteral("delay-ms")).toDouble(&ok);
        if (!ok || !(opt.faults.delayMs >= 0) || opt.faults.delayMs > 60000) {
            return fail(QStringLiteral("--delay-ms wants 0..60000"));
        }
    }
    if (!readShare(parser, QStringLiteral("drop"), opt.faults.dropShare, error) ||
        !readShare(parser, QStringLiteral("corrupt"), opt.faults.corruptShare, error) ||
        !readShare(parser, QStringLiteral("truncate"), opt.faults.truncateShare, error) ||
        !readShare(parser, QStringLiteral("stray"), opt.faults.strayShare, error) ||
        !readShare(parser, QStringLiteral("exception"), opt.faults.exceptionShare, error) ||
        !readShare(parser, QStringLiteral("delay-share"), opt.faults.delayShare, error)) {
        return fail(error);
    }
    opt.linkPath = parser.value(QStringLiteral("link")).toStdString();
    opt.stateFile = parser.value(QStringLiteral("state")).toStdString();
    opt.controlMode = parser.isSet(QStringLiteral("teach")) ? 1 : 0;
    opt.servosOn = parser.isSet(QStringLiteral("servos-on"));

    // Signals reach the event loop through a pipe.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return fail(QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGUSR1, &sa, nullptr);
    vq::sim::SimHost host;
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char buf[16];
        ssize_t n;
        bool quit = false;
        while ((n = ::read(signalPipe[0], buf, sizeof buf)) > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] != SIGUSR1) {
                    quit = true;
                    continue;
                }
                const vq::sim::LinkCounters& c = host.counters();
                std::printf("served %llu requests, %llu replies, %llu bytes in, %llu bytes out\n",
                            static_cast<unsigned long long>(c.requests), static_cast<unsigned long long>(c.replies),
                            static_cast<unsigned long long>(c.bytesIn), static_cast<unsigned long long>(c.bytesOut));
                std::fflush(stdout);
            }
        }
        if (quit) QCoreApplication::quit();
    });

    if (!host.start(opt)) {
        std::fprintf(stderr, "velquor-sim: %s\n", qPrintable(host.errorString()));
        return 1;
    }
    std::printf("%s\n", qPrintable(host.slaveDevice()));
    std::fflush(stdout);
    for (const std::string& w : host.controller().stateFileWarnings()) {
        std::fprintf(stderr, "velquor-sim: state file %s\n", w.c_str());
    }

    const int rc = QCoreApplication::exec();
    host.stop();
    return rc;
}
