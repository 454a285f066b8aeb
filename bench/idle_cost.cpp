// The cost of being idle, on the real executables: CPU share of one core
// and resident memory of `velquor` polling with nobody at the window
// (offscreen), measured from outside through /proc.
//   builtin   velquor --simulate: console and simulator in one process,
//             one thread, as a user would start it without an arm;
//   separate  velquor-sim --link <dir>/com1 in its own process and velquor
//             opening <dir>/com1 as its saved port (XDG_CONFIG_HOME=<dir>),
//             so that the console's own share stands alone.
//   pictures  velquor --simulate of the build in --old-bin (before the
//             picture window), of this build with the picture window hidden,
//             and of this build with it shown (--views), taking turns round
//             by round (--rounds), so that the machine's load falls on all
//             three alike; prints each and the ratios to the old build.
// In the separate run the simulator's count of requests served (printed on
// SIGUSR1 at the start and the end of the window) shows that the console
// really polled: two requests every 105 ms.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "support/stats.h"

namespace {

using namespace vq::bench;

struct Sample {
    double cpuS = 0;
    double wallS = 0;
    double rssMb = 0, hwmMb = 0;
    double wakes = 0;  // times the main thread slept and woke again
    double faults = 0; // minor page faults
};

// Voluntary context switches of a process's main thread so far: each is
// one sleep of its event loop, so their rate is its rate of wake-ups. It
// does not depend on how much a wake-up costs on a given machine.
double mainThreadWakes(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::atof(line.c_str() + 24);
    return NAN;
}

class Child {
public:
    bool start(const QString& program, const QStringList& arguments, const QProcessEnvironment& env)
    {
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(program, arguments);
        if (!process_.waitForStarted(5000)) {
            std::fprintf(stderr, "could not start %s: %s\n", qPrintable(program), qPrintable(process_.errorString()));
            return false;
        }
        return true;
    }
    qint64 pid() const { return process_.processId(); }
    QByteArray readLine(int ms)
    {
        if (!process_.canReadLine()) process_.waitForReadyRead(ms);
        return process_.readLine().trimmed();
    }
    bool running() const { return process_.state() == QProcess::Running; }
    // Ends the child by its own id: SIGTERM, then SIGKILL after 3 s.
    void stop()
    {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    ~Child() { stop(); }

private:
    QProcess process_;
};

// CPU, memory and I/O of the processes over `seconds` after `warmup`;
// mark(true) and mark(false) run at the start and the end of the window.
void measure(const std::vector<qint64>& pids, double warmup, double seconds, std::vector<Sample>& out,
             const std::function<void(bool)>& mark = {})
{
    QThread::msleep(static_cast<unsigned long>(warmup * 1000));
    out.assign(pids.size(), {});
    std::vector<double> cpu0, wakes0, faults0;
    for (std::size_t i = 0; i < pids.size(); ++i) {
        cpu0.push_back(processCpuSeconds(pids[i]));
        wakes0.push_back(mainThreadWakes(pids[i]));
        faults0.push_back(minorFaults(pids[i]));
    }
    if (mark) mark(true);
    const auto t0 = Clock::now();
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
    const double wall = msSince(t0) / 1000.0;
    if (mark) mark(false);
    for (std::size_t i = 0; i < pids.size(); ++i) {
        out[i].cpuS = processCpuSeconds(pids[i]) - cpu0[i];
        out[i].wakes = mainThreadWakes(pids[i]) - wakes0[i];
        out[i].faults = minorFaults(pids[i]) - faults0[i];
        out[i].wallS = wall;
        const auto mem = residentMb(pids[i]);
        out[i].rssMb = mem.first;
        out[i].hwmMb = mem.second;
    }
}

void printRow(const char* what, const Sample& s)
{
    std::printf("  %-34s %7.3f s CPU in %5.1f s = %6.2f %% of one core, RSS %6.1f MB (peak %6.1f MB), %5.1f wake-ups/s,"
                " %5.1f page faults/s\n",
                what, s.cpuS, s.wallS, 100.0 * s.cpuS / s.wallS, s.rssMb, s.hwmMb, s.wakes / s.wallS,
                s.faults / s.wallS);
}

} // namespace

int main(int argc, char** argv)
{
    Args args(argc, argv);
    if (args.help()) {
        std::printf("bench_idle_cost [--seconds 60] [--warmup 3] [--modes builtin,separate,pictures] [--bin DIR]\n"
                    "                [--old-bin DIR] [--rounds 3] [--console-args \"--traffic-log\"]\n");
        return 0;
    }
    const double seconds = args.number("seconds", 60);
    const double warmup = args.number("warmup", 3);
    const std::string modes = args.text("modes", "builtin,separate");
    // Extra arguments for velquor, blank-separated (e.g. a page to show).
    const QStringList consoleArgs = QString::fromStdString(args.text("console-args", "")).split(u' ', Qt::SkipEmptyParts);
    QCoreApplication app(argc, argv);
    const QString bin = QString::fromStdString(args.text("bin", QCoreApplication::applicationDirPath().toStdString()));
    const QString velquor = bin + "/velquor";
    const QString velquorSim = bin + "/velquor-sim";

    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", dir.path()); // the saved port lives here, not in the user's settings

    std::printf("Cost of being idle: the real executables polling, offscreen, nobody at the window;\n"
                "%.0f s measured after %.0f s warm-up (CPU from /proc/<pid>/stat, memory VmRSS/VmHWM).\n", seconds,
                warmup);
    std::printf("machine: %s\n\n", machineLine().c_str());

    bool ok = true;
    if (modes.find("builtin") != std::string::npos) {
        Child console;
        if (!console.start(velquor, QStringList{"--simulate"} + consoleArgs, env)) return 1;
        std::vector<Sample> s;
        measure({console.pid()}, warmup, seconds, s);
        ok = ok && console.running();
        std::printf("velquor --simulate (console and simulator in one process)\n");
        printRow("velquor", s[0]);
        std::printf("\n");
        console.stop();
    }
    if (modes.find("separate") != std::string::npos) {
        const QString link = dir.path() + "/com1";
        QDir().mkpath(dir.path() + "/Comm");
        QFile conf(dir.path() + "/Comm/Registry.conf");
        if (!conf.open(QIODevice::WriteOnly)) return 1;
        conf.write(("[General]\nComm=" + link + "\n").toUtf8());
        conf.close();

        Child simulator;
        if (!simulator.start(velquorSim, {"--link", link, "--teach", "--servos-on"}, env)) return 1;
        const QByteArray device = simulator.readLine(5000);
        if (device.isEmpty()) {
            std::fprintf(stderr, "velquor-sim printed no device\n");
            return 1;
        }
        Child console;
        if (!console.start(velquor, consoleArgs, env)) return 1;
        std::vector<Sample> s;
        // The simulator says what it has served on SIGUSR1.
        long long served[2] = {-1, -1};
        measure({console.pid(), simulator.pid()}, warmup, seconds, s, [&](bool start) {
            // Never kill(0, ...): that would signal this whole process group.
            const qint64 pid = simulator.pid();
            if (pid <= 0 || ::kill(static_cast<pid_t>(pid), SIGUSR1) != 0) return;
            long long n = -1;
            if (std::sscanf(simulator.readLine(2000).constData(), "served %lld requests", &n) == 1) served[start ? 0 : 1] = n;
        });
        ok = ok && console.running() && simulator.running();
        std::printf("velquor on its saved port %s -> velquor-sim in its own process (%s)\n", qPrintable(link),
                    device.constData());
        printRow("velquor (the console alone)", s[0]);
        printRow("velquor-sim", s[1]);
        const double requests = served[0] >= 0 && served[1] >= 0 ? static_cast<double>(served[1] - served[0]) : 0;
        ok = ok && requests > 0;
        std::printf("  %-34s %.0f requests served by the simulator = %.2f/s (19.05 expected)\n\n", "line traffic",
                    requests, requests / s[1].wallS);
        console.stop();
        simulator.stop();
    }
    if (modes.find("pictures") != std::string::npos) {
        const QString oldVelquor = QString::fromStdString(args.text("old-bin", "")) + "/velquor";
        const int rounds = static_cast<int>(args.number("rounds", 3));
        struct Variant {
            const char* name;
            QString program;
            QStringList arguments;
            double cpu = 0, wall = 0, rss = 0;
        };
        Variant variants[] = {{"old build", oldVelquor, {"--simulate"}},
                              {"pictures hidden", velquor, {"--simulate"}},
                              {"pictures shown (--views)", velquor, {"--simulate", "--views"}}};
        std::printf("velquor --simulate, old build / this build with the picture window hidden / shown, %d rounds\n",
                    rounds);
        for (int round = 0; round < rounds; ++round) {
            for (Variant& v : variants) {
                Child console;
                if (!console.start(v.program, v.arguments, env)) return 1;
                std::vector<Sample> s;
                measure({console.pid()}, warmup, seconds, s);
                ok = ok && console.running();
                const std::string row = "round " + std::to_string(round + 1) + ": " + v.name;
                printRow(row.c_str(), s[0]);
                v.cpu += s[0].cpuS;
                v.wall += s[0].wallS;
                v.rss = std::max(v.rss, s[0].rssMb);
                console.stop();
            }
        }
        const double base = variants[0].cpu / variants[0].wall;
        for (const Variant& v : variants)
            std::printf("  %-34s %6.2f %% of one core over all rounds = %.2fx the old build, RSS up to %.1f MB\n", v.name,
                        100.0 * v.cpu / v.wall, (v.cpu / v.wall) / base, v.rss);
        std::printf("goal: shown <= 3x, hidden <= 1.1x the old build\n\n");
    }
    std::printf("goal: console <= 1 %% of one core and <= 60 MB resident\n");
    if (!ok) {
        std::fprintf(stderr, "a process ended during the measurement, or the console did not poll\n");
        return 1;
    }
    return 0;
}
