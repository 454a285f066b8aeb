// Scaling of the teach program with its length: opening a program file,
// Run, and every runner tick, for programs of 1,000, 32,767 and 100,000
// lines; and a teach-in append to a 10,000-line program. Each is measured
// on a board of plain values (the core alone) and through the real
// window's QtBoard (offscreen, shown), where Text7 is a QPlainTextEdit.
#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/form_events.h"
#include "app/window/main_window.h"
#include "app/window/qt_board.h"
#include "link/form_state.h"
#include "program/program_files.h"
#include "program/runner.h"
#include "program/teach_in.h"
#include "support/no_events.h"
#include "support/memory_board.h"
#include "support/stats.h"

namespace {

using namespace vq;
using namespace vq::bench;

using NoEvents = vq::bench::NoEvents;

// A program of `lines` CR LF-terminated lines cycling through every
// instruction but END (a MOVC takes its continuation line with it).
std::string makeProgram(int lines)
{
    static const char* kCycle[] = {
        "PSPEED RPM=1000 ACC=500 DEC=500",
        "LSPEED MMS=100 ACC=10 DEC=10",
        "MOVJ J1=10.000 J2=-20.500 J3=30.250 J4=0.000 J5=90.000 J6=-45.125",
        "MOVP X1=350.00 Y1=-12.50 Z1=420.75 A1=180.00 B1=0.00 C1=90.00",
        "MOVL X1=360.00 Y1=-2.50 Z1=410.75 A1=180.00 B1=0.00 C1=90.00",
        "MOVC X2=370.00 Y2=7.50 Z2=400.75 A2=180.00 B2=0.00 C2=90.00",
        "     X3=380.00 Y3=17.50 Z3=390.75 A3=180.00 B3=0.00 C3=90.00 Ag=90.000",
        "DELAY MS=100",
    };
    constexpr int kCycleLength = sizeof kCycle / sizeof kCycle[0];
    std::string text;
    text.reserve(static_cast<std::size_t>(lines) * 64);
    for (int i = 0; i < lines; ++i) {
        int k = i % kCycleLength;
        // A MOVC as the last line would have no continuation: use a MOVJ.
        if (k == 5 && i == lines - 1) k = 2;
        text += kCycle[k];
        text += "\r\n";
    }
    return text;
}

struct Row {
    int lines = 0;
    double openMs = 0;
    double paintMs = -1; // window: the first repaint after opening
    double runMs = 0;
    Samples tickUs;
    std::size_t ticks = 0; // one line each, two for a MOVC and its continuation
};

Row measureProgram(Board& board, const std::string& path, int lines, bool window)
{
    Row row;
    row.lines = lines;
    FormState state;
    ProgramRunner runner(state, board);
    board.setValue(Ctl::LoopCheck, kNoIndex, 0);

    // The file read whole and put in the editor (the console reads it a
    // piece per tick of its file timer: the same decode, in slices).
    auto t0 = Clock::now();
    std::string text;
    if (const FileFault fault = readProgramFile(path, text); !fault.empty()) {
        std::fprintf(stderr, "could not open %s: %s\n", path.c_str(), fault.c_str());
        std::exit(1);
    }
    board.setText(Ctl::ProgramEditor, kNoIndex, text);
    row.openMs = msSince(t0);
    if (window) {
        t0 = Clock::now();
        QApplication::processEvents();
        row.paintMs = msSince(t0);
    }
    t0 = Clock::now();
    runner.run();
    row.runMs = msSince(t0);
    if (runner.lineCount() != static_cast<std::size_t>(lines)) {
        std::fprintf(stderr, "Run took %zu lines, %d expected\n", runner.lineCount(), lines);
        std::exit(1);
    }
    // Every tick finds the controller idle and executes the next line,
    // until the pass ends and Run is enabled again.
    row.tickUs.reserve(static_cast<std::size_t>(lines));
    while (board.timerEnabled(Ctl::RunnerTimer)) {
        if (row.ticks > static_cast<std::size_t>(lines)) {
            std::fprintf(stderr, "the pass of %d lines did not end after %zu ticks\n", lines, row.ticks);
            std::exit(1);
        }
        state.controllerBusy = 0;
        const auto a = Clock::now();
        runner.tick();
        const auto b = Clock::now();
        row.tickUs.add(usBetween(a, b));
        ++row.ticks;
    }
    return row;
}

struct AppendRow {
    double firstUs = 0;
    Samples us;
    std::size_t linesAfter = 0;
};

AppendRow measureAppend(Board& board, int lines, int appends, bool window)
{
    AppendRow row;
    board.setText(Ctl::ProgramEditor, kNoIndex, makeProgram(lines));
    if (window) QApplication::processEvents();
    const TeachInKind buttons[] = {TeachInKind::JointMove, TeachInKind::PointMove, TeachInKind::LineMove, TeachInKind::Delay};
    for (int i = 1; i <= 6; ++i) {
        board.setText(Ctl::JointAngle, i, std::to_string(10 * i) + ".125");
        board.setText(Ctl::PoseValue, i, std::to_string(100 * i) + ".25");
    }
    board.setText(Ctl::DelayMs, kNoIndex, "100");
    for (int i = 0; i < appends; ++i) {
        const auto t0 = Clock::now();
        teachIn(board, buttons[i % 4]);
        const double us = usBetween(t0, Clock::now());
        if (i == 0) row.firstUs = us;
        row.us.add(us);
        // The window lays out and paints between two clicks.
        if (window) QApplication::processEvents();
    }
    const std::string text = board.text(Ctl::ProgramEditor);
    if (text.size() < static_cast<std::size_t>(lines) * 10) {
        std::fprintf(stderr, "the program text lost the program\n");
        std::exit(1);
    }
    std::size_t n = 0;
    for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++n;
    row.linesAfter = n;
    return row;
}

std::vector<int> parseList(const std::string& text)
{
    std::vector<int> out;
    std::stringstream in(text);
    std::string piece;
    while (std::getline(in, piece, ','))
        if (!piece.empty()) out.push_back(std::stoi(piece));
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    Args args(argc, argv);
    if (args.help()) {
        std::printf("bench_program_scaling [--sizes 1000,32767,100000] [--append-lines 10000] [--appends 200]\n"
                    "                      [--no-window]\n");
        return 0;
    }
    const std::vector<int> sizes = parseList(args.text("sizes", "1000,32767,100000"));
    const int appendLines = static_cast<int>(args.number("append-lines", 10000));
    const int appends = static_cast<int>(args.number("appends", 200));
    const bool withWindow = !args.flag("no-window");

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;

    std::vector<std::string> paths;
    for (int lines : sizes) {
        const std::string path = dir.filePath(QString("program-%1.txt").arg(lines)).toStdString();
        if (!writeProgramFile(path, makeProgram(lines)).empty()) {
            std::fprintf(stderr, "could not write %s\n", path.c_str());
            return 1;
        }
        paths.push_back(path);
    }

    std::printf("Program scaling: open a program file (GBK), Run, then one Timer3 tick per line with the\n"
                "controller idle, until the pass ends; the program cycles through every instruction.\n");
    std::printf("machine: %s\n\n", machineLine().c_str());

    struct Board2 {
        const char* name;
        Board* board;
        bool window;
    };
    MemoryBoard memory;
    NoEvents noEvents;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<QtBoard> qtBoard;
    std::vector<Board2> boards{{"memory board", &memory, false}};
    if (withWindow) {
        mainWindow = std::make_unique<MainWindow>(noEvents);
        mainWindow->show();
        qtBoard = std::make_unique<QtBoard>(*mainWindow);
        QApplication::processEvents();
        boards.push_back({"window QtBoard", qtBoard.get(), true});
    }

    std::printf("%-15s %7s %9s %9s %9s %11s %9s %9s %9s %9s %9s\n", "board", "lines", "open", "paint", "Run",
                "open+Run", "tick p50", "tick p99", "tick max", "tick mean", "ticks");
    std::printf("%-15s %7s %9s %9s %9s %11s %9s %9s %9s %9s %9s\n", "", "", "ms", "ms", "ms", "ms", "us", "us", "us", "us",
                "");
    std::vector<std::vector<Row>> rows(boards.size());
    for (std::size_t b = 0; b < boards.size(); ++b) {
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            Row r = measureProgram(*boards[b].board, paths[i], sizes[i], boards[b].window);
            const double openRun = r.openMs + r.runMs;
            std::printf("%-15s %7d %9.2f %9s %9.2f %11.2f %9.2f %9.2f %9.1f %9.2f %9zu\n", boards[b].name, r.lines,
                        r.openMs, r.paintMs < 0 ? "-" : std::to_string(r.paintMs).substr(0, 7).c_str(), r.runMs, openRun,
                        r.tickUs.median(), r.tickUs.percentile(99), r.tickUs.max(), r.tickUs.mean(), r.ticks);
            rows[b].push_back(std::move(r));
        }
    }
    std::printf("\nGoal: open + Run of a 32,767-line program <= 100 ms; ticks O(1) in program length.\n");
    for (std::size_t b = 0; b < boards.size(); ++b) {
        const auto& rs = rows[b];
        for (const auto& r : rs)
            if (r.lines == 32767)
                std::printf("  %-15s 32,767 lines: open + Run = %.2f ms -> %s\n", boards[b].name, r.openMs + r.runMs,
                            r.openMs + r.runMs <= 100.0 ? "met" : "missed");
        if (rs.size() >= 2)
            std::printf("  %-15s tick p50 at %d lines / at %d lines = %.2f, mean ratio %.2f\n", boards[b].name,
                        rs.back().lines, rs.front().lines, rs.back().tickUs.median() / rs.front().tickUs.median(),
                        rs.back().tickUs.mean() / rs.front().tickUs.mean());
    }

    std::printf("\nTeach-in append to a %d-line program (%d appends of MOVJ, MOVP, MOVL, DELAY in turn)\n", appendLines,
                appends);
    std::printf("%-15s %9s %9s %9s %9s %11s\n", "board", "first us", "p50 us", "p99 us", "max us", "lines after");
    for (const auto& b : boards) {
        const AppendRow r = measureAppend(*b.board, appendLines, appends, b.window);
        if (r.linesAfter != static_cast<std::size_t>(appendLines + appends)) {
            std::fprintf(stderr, "%s: %zu lines after the appends, %d expected\n", b.name, r.linesAfter,
                         appendLines + appends);
            return 1;
        }
        std::printf("%-15s %9.1f %9.1f %9.1f %9.1f %11zu\n", b.name, r.firstUs, r.us.median(), r.us.percentile(99),
                    r.us.max(), r.linesAfter);
    }
    return 0;
}
