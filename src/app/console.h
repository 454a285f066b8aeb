// The whole console put together: the window, the core behind it, the
// serial line, the saved port, and (for --simulate) the built-in simulated
// controller on its own pseudo-terminal. main() and the end-to-end tests
// build it the same way.
#pragma once

#include <memory>
#include <optional>

#include <QString>

#include "app/form1.h"
#include "sim/sim_options.h"

namespace vq {

class MainWindow;
class QtBoard;
class QtSerialLine;
class SignalWatch;
namespace sim {
class SimHost;
}

struct ConsoleOptions {
    bool simulate = false;      // start the simulated controller in-process and use it
    sim::SimOptions sim;        // its settings
    Prompts* prompts = nullptr; // default: Qt message boxes and file dialogs
    SavedSettings* settings = nullptr; // default: the Comm/Registry settings
    // SIGTERM, SIGINT and SIGHUP close the window the ordinary way (a held
    // jog's stop word first) instead of ending the process where it stands.
    bool handleSignals = false;
};

class Console {
public:
    explicit Console(ConsoleOptions options = {});
    ~Console();

    // Starts the simulator when asked, then runs the window's load
    // sequence. False when the simulator could not start.
    bool start();

    MainWindow& window();
    QtBoard& board(); // by id for the core, by designer name for tests
    Form1& form();
    bool started() const { return form_ != nullptr; }
    QtSerialLine& line();
    sim::SimHost* simulator(); // nullptr without --simulate
    QString error() const { return error_; }

private:
    class Relay;
    class RegistrySettings;

    ConsoleOptions options_;
    std::unique_ptr<Relay> relay_;
    std::unique_ptr<RegistrySettings> registry_;
    std::unique_ptr<QtSerialLine> line_;
    std::unique_ptr<sim::SimHost> sim_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QtBoard> board_;
    std::unique_ptr<Prompts> qtPrompts_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<SignalWatch> signals_;
    QString error_;
};

} // namespace vq
