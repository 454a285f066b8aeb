// velquor: the console. With --simulate it runs against the built-in
// simulated arm on its own pseudo-terminal and leaves the saved port alone.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

#include "app/console.h"
#include "app/window/main_window.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("velquor");

    QCommandLineParser parser;
    parser.setApplicationDescription("Velquor: teach, jog and run a six-axis arm over Modbus RTU.");
    parser.addHelpOption();
    QCommandLineOption simulate("simulate", "Run against the built-in simulated controller.");
    QCommandLineOption screenshot("screenshot", "Start, poll for a moment, save the window as a PNG and exit.", "file");
    QCommandLineOption settle("settle-ms", "With --screenshot: how long to poll before the picture (default 1500).", "ms", "1500");
    QCommandLineOption timeScale("sim-time-scale", "With --simulate: run the arm's motions this many times faster.", "factor", "1");
    parser.addOptions({simulate, screenshot, settle, timeScale});
    parser.process(app);

    vq::ConsoleOptions options;
    options.simulate = parser.isSet(simulate);
    options.sim.timeScale = parser.value(timeScale).toDouble() > 0 ? parser.value(timeScale).toDouble() : 1.0;
    // A simulated arm that can be jogged and moved straight away.
    options.sim.controlMode = 1;
    options.sim.servosOn = true;

    vq::Console console(options);
    // Show the window and let its first paint (fonts, layout) happen before
    // the load sequence starts the 35 ms poll timer, so that the first
    // polls are not bunched behind it.
    console.window().show();
    QApplication::processEvents();
    if (!console.start()) {
        std::fprintf(stderr, "velquor: the simulated controller did not start: %s\n", qPrintable(console.error()));
        return 1;
    }

    if (parser.isSet(screenshot)) {
        QString path = parser.value(screenshot);
        int ms = parser.value(settle).toInt();
        QTimer::singleShot(ms > 0 ? ms : 1500, [&] {
            bool ok = vq::saveWindowScreenshot(console.window(), path);
            if (!ok) std::fprintf(stderr, "velquor: could not write %s\n", qPrintable(path));
            console.form().unload();
            QApplication::exit(ok ? 0 : 1);
        });
    }
    return app.exec();
}
