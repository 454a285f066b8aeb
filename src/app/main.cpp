// velquor: the console. With --simulate it runs against the built-in
// simulated arm on its own pseudo-terminal and leaves the saved port alone.
// --help, --version, --list-ports and --link-port need no display: they are
// done before the window's application object exists.
#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

#include "app/console.h"
#include "app/port_commands.h"
#include "app/window/main_window.h"
#include "version/version.h"

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName("velquor");
    QCoreApplication::setApplicationVersion(QString::fromStdString(vq::versionText()));

    QCommandLineParser parser;
    parser.setApplicationDescription("Velquor: teach, jog and run a six-axis arm over Modbus RTU.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption simulate("simulate", "Run against the built-in simulated controller.");
    QCommandLineOption screenshot("screenshot", "Start, poll for a moment, save the window as a PNG and exit.", "file");
    QCommandLineOption settle("settle-ms", "With --screenshot: how long to poll before the picture (default 1500).", "ms", "1500");
    QCommandLineOption timeScale("sim-time-scale", "With --simulate: run the arm's motions this many times faster.", "factor", "1");
    QCommandLineOption listPorts("list-ports", "Print the serial ports (path, description, manufacturer, serial number, "
                                               "VID:PID) and what port numbers 1-16 resolve to, then exit.");
    QCommandLineOption linkPort("link-port", "Make com<N> in the port folder a symbolic link to DEVICE, then exit. "
                                             "An existing link is replaced; anything else is left alone.", "N");
    parser.addOptions({simulate, screenshot, settle, timeScale, listPorts, linkPort});
    parser.addPositionalArgument("DEVICE", "With --link-port: the device, e.g. /dev/serial/by-id/usb-...", "[DEVICE]");

    // A first look at the arguments decides whether a window is wanted; Qt's
    // own window options (-platform, ...) are only known once QApplication
    // has taken them out, so errors are reported by the second parse.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    parser.parse(arguments);
    if (parser.isSet(help) || parser.isSet("help-all") || parser.isSet(version) || parser.isSet(listPorts) ||
        parser.isSet(linkPort)) {
        QCoreApplication core(argc, argv);
        parser.process(core); // prints help or version and exits; exits on a bad option
        if (parser.isSet(listPorts)) return vq::listPorts(stdout);
        const QStringList devices = parser.positionalArguments();
        if (devices.size() > 1) {
            std::fprintf(stderr, "velquor: --link-port takes one device\n");
            return 2;
        }
        return vq::linkPort(parser.value(linkPort), devices.value(0), stdout, stderr);
    }

    QApplication app(argc, argv);
    parser.process(app);

    // The window speaks Chinese; Qt's own texts (the buttons of a question,
    // the file dialogs) follow it whatever the desktop's language.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    vq::ConsoleOptions options;
    options.simulate = parser.isSet(simulate);
    options.sim.timeScale = parser.value(timeScale).toDouble() > 0 ? parser.value(timeScale).toDouble() : 1.0;
    // A simulated arm that can be jogged and moved straight away.
    options.sim.controlMode = 1;
    options.sim.servosOn = true;

    options.handleSignals = true;

    vq::Console console(options);
    // Qt ends the process with exit() when the display's connection breaks;
    // a held jog must not outlive it.
    static vq::Console* ending = nullptr;
    ending = &console;
    std::atexit([] {
        if (ending && ending->started()) ending->form().stopJogNow();
    });
    struct Forget {
        ~Forget() { ending = nullptr; }
    } forget;
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
