// velquor-soak: the whole console in one process (window offscreen, core,
// serial line, simulated controller on its pseudo-terminal) left polling
// for a given time. It reports what went over the line and the process's
// resident memory at start, after the warm-up and at the end.
//
// The console is not changed for this. The tool watches it from outside:
//  - a request went out when a Timer1 event wrote bytes on the line;
//  - each receive event of the line is one reply that reached the receive
//    threshold; it is counted as accepted when the link's count of accepted
//    replies went up during the event, else as rejected (a bad CRC, or a
//    reply out of step with the request on the line);
//  - a request with no receive event before the next request had no reply
//    in its window; a window with more than one receive event took a reply
//    that came late for an earlier request (or was filled up by stray
//    bytes);
//  - the simulator's own counters say what it received, answered, dropped
//    and spoiled on purpose.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "app/console.h"
#include "app/window/main_window.h"
#include "app/window/qt_board.h"
#include "link/period_timer.h"
#include "link/qt_serial_line.h"
#include "sim/controller.h"
#include "sim/sim_host.h"
#include "sim/slave_link.h"

namespace {

// Resident set size of this process in KiB (/proc/self/statm, second field).
long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    if (!(statm >> size >> resident)) return -1;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Bytes of the heap in use (allocated and not freed), all arenas.
long heapInUseKiB()
{
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long>((m.uordblks + m.hblkhd) / 1024);
}

class SilentPrompts : public vq::Prompts {
public:
    void warn(std::string_view text, std::string_view title) override
    {
        ++warnings;
        std::fprintf(stderr, "velquor-soak: warning shown: %.*s: %.*s\n", int(title.size()), title.data(), int(text.size()),
                     text.data());
    }
    bool askYesNo(std::string_view, std::string_view) override { return false; }
    std::string openFileName(std::string_view, std::string_view) override { return {}; }
    std::string saveFileName(std::string_view, std::string_view) override { return {}; }
    int warnings = 0;
};

class MemorySettings : public vq::SavedSettings {
public:
    std::string get(std::string_view name) override
    {
        auto it = values.find(std::string(name));
        return it == values.end() ? std::string() : it->second;
    }
    std::string put(std::string_view name, std::string_view text) override
    {
        values[std::string(name)] = std::string(text);
        return {};
    }
    std::map<std::string, std::string> values;
};

// A looping teach program: joint moves back and forth with pauses.
constexpr const char* kSoakProgram = "PSPEED RPM=1000 ACC=500 DEC=500\r\n"
                                     "MOVJ J1=20 J2=10 J3=-10 J4=0 J5=90 J6=0\r\n"
                                     "DELAY MS=200\r\n"
                                     "MOVJ J1=-20 J2=0 J3=0 J4=0 J5=90 J6=0\r\n"
                                     "DELAY MS=200\r\n";

struct Counts {
    std::uint64_t requests = 0;       // Timer1 events that wrote a request
    std::uint64_t receiveEvents = 0;  // replies that reached the threshold
    std::uint64_t accepted = 0;       // passed the link's checks
    std::uint64_t rejected = 0;       // failed the CRC check or came out of step
    std::uint64_t noReply = 0;        // requests with no receive event before the next request
    std::uint64_t extraEvents = 0;    // receive events beyond the first in one request's window
};

struct Sample {
    double seconds = 0;
    long rssKiB = 0;
    long heapKiB = 0;
    Counts counts;
    vq::sim::LinkCounters sim;
};

void printSample(const char* what, const Sample& s)
{
    const Counts& c = s.counts;
    std::printf("%-9s t=%7.1f s  rss=%7ld KiB heap=%7ld KiB  requests=%" PRIu64 " accepted=%" PRIu64 " rejected=%" PRIu64
                " no_reply=%" PRIu64 " extra_events=%" PRIu64 "  sim: requests=%" PRIu64 " replies=%" PRIu64 " dropped=%" PRIu64 " corrupted=%" PRIu64
                " truncated=%" PRIu64 " stray=%" PRIu64 " exceptions=%" PRIu64 " discarded_bytes=%" PRIu64 "\n",
                what, s.seconds, s.rssKiB, s.heapKiB, c.requests, c.accepted, c.rejected, c.noReply, c.extraEvents, s.sim.requests, s.sim.replies,
                s.sim.dropped, s.sim.corrupted, s.sim.truncated, s.sim.stray, s.sim.injectedExceptions, s.sim.discardedBytes);
    std::fflush(stdout);
}

bool readShare(const QCommandLineParser& p, const QCommandLineOption& o, double& out)
{
    bool ok = true;
    const double v = p.value(o).toDouble(&ok);
    if (!ok || !(v >= 0.0 && v <= 1.0)) {
        std::fprintf(stderr, "velquor-soak: --%s needs a share between 0 and 1\n", qPrintable(o.names().first()));
        return false;
    }
    out = v;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName("velquor-soak");
    const long rssAtStart = residentKiB();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Runs the whole console against the built-in simulated controller and polls for a while; reports requests, "
        "accepted replies, replies missing or failing the CRC check, and resident memory at start, after the warm-up "
        "and at the end.\n\n"
        "CI:       velquor-soak --seconds 20 --warmup 8 --drop 0.02 --corrupt 0.02 --max-growth-kib 2048\n"
        "One hour: velquor-soak --seconds 3600 --warmup 60 --report-every 300 --drop 0.01 --corrupt 0.01 --truncate 0.01 "
        "--stray 0.01 --program");
    parser.addHelpOption();
    const QCommandLineOption seconds("seconds", "How long to poll (default 60).", "N", "60");
    const QCommandLineOption warmup("warmup", "Seconds of warm-up before the memory baseline (default: a quarter of the "
                                              "run, at most 30).", "N");
    const QCommandLineOption every("report-every", "Print a line every N seconds (default 0: none).", "N", "0");
    const QCommandLineOption drop("drop", "Share of replies the simulator leaves out.", "share", "0");
    const QCommandLineOption corrupt("corrupt", "Share of replies sent with a wrong CRC.", "share", "0");
    const QCommandLineOption truncate("truncate", "Share of replies cut short.", "share", "0");
    const QCommandLineOption stray("stray", "Share of replies followed by stray bytes.", "share", "0");
    const QCommandLineOption exception("exception", "Share of requests answered with exception 04.", "share", "0");
    const QCommandLineOption delay("delay-ms", "Extra delay before every reply, ms.", "ms", "0");
    const QCommandLineOption seed("seed", "Seed of the simulator's fault decisions.", "n", "1");
    const QCommandLineOption timeScale("time-scale", "Run the arm's motions this many times faster.", "factor", "4");
    const QCommandLineOption program("program", "Also run a looping teach program of joint moves.");
    const QCommandLineOption maxGrowth("max-growth-kib", "Exit with status 3 when resident memory grew by more than this "
                                                         "after the warm-up.", "KiB");
    parser.addOptions({seconds, warmup, every, drop, corrupt, truncate, stray, exception, delay, seed, timeScale, program,
                       maxGrowth});
    parser.process(app);

    bool ok = true;
    const double runSeconds = parser.value(seconds).toDouble(&ok);
    if (!ok || !(runSeconds > 0)) {
        std::fprintf(stderr, "velquor-soak: --seconds needs a positive number\n");
        return 2;
    }
    double warmupSeconds = std::min(30.0, runSeconds / 4);
    if (parser.isSet(warmup)) {
        warmupSeconds = parser.value(warmup).toDouble(&ok);
        if (!ok || !(warmupSeconds >= 0 && warmupSeconds < runSeconds)) {
            std::fprintf(stderr, "velquor-soak: --warmup needs a number below --seconds\n");
            return 2;
        }
    }
    const double reportSeconds = parser.value(every).toDouble();

    vq::ConsoleOptions options;
    options.simulate = true;
    vq::sim::SimOptions& sim = options.sim;
    sim.controlMode = 1; // teach mode, servos on: ready to move
    sim.servosOn = true;
    sim.timeScale = parser.value(timeScale).toDouble() > 0 ? parser.value(timeScale).toDouble() : 1.0;
    sim.seed = parser.value(seed).toULongLong();
    if (!readShare(parser, drop, sim.faults.dropShare) || !readShare(parser, corrupt, sim.faults.corruptShare)
        || !readShare(parser, truncate, sim.faults.truncateShare) || !readShare(parser, stray, sim.faults.strayShare)
        || !readShare(parser, exception, sim.faults.exceptionShare))
        return 2;
    sim.faults.delayMs = std::max(0.0, parser.value(delay).toDouble());
    SilentPrompts prompts;
    MemorySettings settings;
    options.prompts = &prompts;
    options.settings = &settings;

    vq::Console console(options);
    if (!console.start()) {
        std::fprintf(stderr, "velquor-soak: the simulated controller did not start: %s\n", qPrintable(console.error()));
        return 1;
    }
    console.window().show();
    vq::QtSerialLine& line = console.line();
    const vq::Link& link = console.form().link();
    vq::sim::SimHost& host = *console.simulator();

    Counts counts;
    int eventsInWindow = 0; // receive events since the last request

    // Receive events: accepted or not, by the link's count of accepted replies.
    const std::function<void()> handler = line.onReceive;
    line.onReceive = [&] {
        ++counts.receiveEvents;
        if (++eventsInWindow > 1) ++counts.extraEvents;
        const std::uint64_t before = link.repliesAccepted();
        handler();
        if (link.repliesAccepted() > before) ++counts.accepted;
        else ++counts.rejected;
    };

    // Requests: a Timer1 event that wrote bytes. This slot is connected after
    // the window's own, so it runs after the poll tick.
    vq::PeriodTimer* timer1 = console.window().timer("Timer1");
    if (!timer1) {
        std::fprintf(stderr, "velquor-soak: the window has no Timer1\n");
        return 1;
    }
    quint64 written = line.bytesWritten();
    QObject::connect(timer1, &vq::PeriodTimer::timeout, &app, [&] {
        if (line.bytesWritten() == written) return;
        written = line.bytesWritten();
        if (counts.requests > 0 && eventsInWindow == 0) ++counts.noReply;
        ++counts.requests;
        eventsInWindow = 0;
    });

    if (parser.isSet(program)) {
        console.board().setText(vq::Ctl::ProgramEditor, vq::kNoIndex, kSoakProgram);
        console.board().setValue(vq::Ctl::LoopCheck, vq::kNoIndex, 1);
        console.form().click("Command14", vq::kNoIndex);
    }

    QElapsedTimer clock;
    clock.start();
    const auto sample = [&] {
        Sample s;
        s.seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        s.rssKiB = residentKiB();
        s.heapKiB = heapInUseKiB();
        s.counts = counts;
        s.sim = host.counters();
        return s;
    };

    std::printf("velquor-soak: %.0f s, warm-up %.0f s; faults drop=%g corrupt=%g truncate=%g stray=%g exception=%g "
                "delay=%g ms; program %s\n",
                runSeconds, warmupSeconds, sim.faults.dropShare, sim.faults.corruptShare, sim.faults.truncateShare,
                sim.faults.strayShare, sim.faults.exceptionShare, sim.faults.delayMs, parser.isSet(program) ? "on" : "off");
    std::printf("start     rss=%7ld KiB before the console, %ld KiB with it running\n", rssAtStart, residentKiB());
    std::fflush(stdout);

    Sample warm;
    long peakAfterWarmup = 0;
    QTimer::singleShot(static_cast<int>(warmupSeconds * 1000), &app, [&] {
        warm = sample();
        peakAfterWarmup = warm.rssKiB;
        printSample("warm-up", warm);
    });
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, &app, [&] {
        const Sample s = sample();
        peakAfterWarmup = std::max(peakAfterWarmup, s.rssKiB);
        printSample("progress", s);
    });
    if (reportSeconds > 0) report.start(static_cast<int>(reportSeconds * 1000));
    QTimer watch; // peak after the warm-up, sampled every second
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        if (clock.elapsed() >= static_cast<qint64>(warmupSeconds * 1000)) peakAfterWarmup = std::max(peakAfterWarmup, residentKiB());
    });
    watch.start(1000);

    Sample end;
    QTimer::singleShot(static_cast<int>(runSeconds * 1000), &app, [&] {
        end = sample();
        QApplication::quit();
    });
    app.exec();

    printSample("end", end);
    const Counts& c = end.counts;
    const long growth = end.rssKiB - warm.rssKiB;
    const long heapGrowth = end.heapKiB - warm.heapKiB;
    const double perMinute = end.seconds > warm.seconds ? growth / ((end.seconds - warm.seconds) / 60.0) : 0.0;
    std::printf("summary   requests %" PRIu64 ", replies accepted %" PRIu64 " (%.2f%%), no reply in the window %" PRIu64
                ", rejected %" PRIu64 ", extra receive events %" PRIu64 ", program moves %" PRIu64 ", warnings %d\n",
                c.requests, c.accepted, c.requests ? 100.0 * static_cast<double>(c.accepted) / static_cast<double>(c.requests) : 0.0,
                c.noReply, c.rejected, c.extraEvents, host.controller().counters().motions, prompts.warnings);
    std::printf("memory    start %ld KiB, after warm-up %ld KiB, end %ld KiB, peak after warm-up %ld KiB; growth after "
                "warm-up %+ld KiB (%+.1f KiB/min); heap in use after warm-up %ld KiB, end %ld KiB, growth %+ld KiB\n",
                rssAtStart, warm.rssKiB, end.rssKiB, peakAfterWarmup, growth, perMinute, warm.heapKiB, end.heapKiB, heapGrowth);
    std::fflush(stdout);

    line.onReceive = handler;
    if (c.accepted == 0) {
        std::fprintf(stderr, "velquor-soak: no reply was accepted\n");
        return 1;
    }
    if (parser.isSet(maxGrowth) && growth > parser.value(maxGrowth).toLong()) {
        std::fprintf(stderr, "velquor-soak: resident memory grew by %ld KiB after the warm-up (limit %ld KiB)\n", growth,
                     parser.value(maxGrowth).toLong());
        return 3;
    }
    return 0;
}
