// The whole console in the test process: the real window (offscreen or on
// an X server), the real core, QSerialPort on one side of a pseudo-terminal
// and the simulated controller on the other. Tests operate the window's
// widgets as an operator would and look at the simulated arm and at what
// the window shows.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/console.h"
#include "app/window/main_window.h"
#include "sim/controller.h"
#include "sim/sim_host.h"
#include "support/fake_board.h"

namespace vq::e2e {

class MemorySettings : public SavedSettings {
public:
    std::string get(std::string_view name) override
    {
        auto it = values.find(std::string(name));
        return it == values.end() ? std::string() : it->second;
    }
    void put(std::string_view name, std::string_view text) override
    {
        if (!text.empty()) values[std::string(name)] = std::string(text);
    }
    std::map<std::string, std::string> values;
};

// Default simulator for these tests: teach mode, servos on, motions four
// times faster than real time.
inline sim::SimOptions testSimOptions()
{
    sim::SimOptions o;
    o.controlMode = 1;
    o.servosOn = true;
    o.timeScale = 4.0;
    return o;
}

class Rig {
public:
    explicit Rig(sim::SimOptions simOptions = testSimOptions())
    {
        ConsoleOptions o;
        o.simulate = true;
        o.sim = std::move(simOptions);
        o.prompts = &prompts;
        o.settings = &settings;
        console = std::make_unique<Console>(o);
    }

    // Starts and waits until the first status and pose replies are shown.
    bool start()
    {
        // As main() does: the window's first showing before the load
        // sequence starts the poll timer.
        console->window().show();
        QApplication::processEvents();
        if (!console->start()) return false;
        return waitFor([&] { return board().text("Label8", 1) != "1轴:" && board().text("Label2", 1) != "0.0001"; }, 5000);
    }

    Board& board() { return console->board(); }
    MainWindow& window() { return console->window(); }
    sim::SimHost& host() { return *console->simulator(); }
    sim::Controller& arm() { return console->simulator()->controller(); }
    Form1& form() { return console->form(); }

    QWidget* widget(std::string_view name, int index = kNoIndex)
    {
        QWidget* w = window().widget(name, index);
        if (!w) ADD_FAILURE() << "no widget " << name << " " << index;
        return w;
    }

    // Runs the event loop (timers, the line, the simulator) until pred
    // holds or ms have passed.
    bool waitFor(const std::function<bool()>& pred, int ms = 3000)
    {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > ms) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            QTest::qWait(2);
        }
        return true;
    }
    void idle(int ms) { waitFor([] { return false; }, ms); }

    // Operator actions on the real widgets.
    void click(std::string_view name, int index = kNoIndex)
    {
        if (QWidget* w = widget(name, index)) QTest::mouseClick(w, Qt::LeftButton);
    }
    void press(std::string_view name, int index)
    {
        if (QWidget* w = widget(name, index)) QTest::mousePress(w, Qt::LeftButton);
    }
    void release(std::string_view name, int index)
    {
        if (QWidget* w = widget(name, index)) QTest::mouseRelease(w, Qt::LeftButton);
    }
    // Replaces a box's text by typing it, then presses Enter.
    void typeAndEnter(std::string_view name, int index, const QString& text)
    {
        auto* edit = qobject_cast<QLineEdit*>(widget(name, index));
        if (!edit) return;
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    double label(std::string_view name, int index) { return std::stod(board().text(name, index)); }

    test::ScriptedPrompts prompts;
    MemorySettings settings;
    std::unique_ptr<Console> console;
};

} // namespace vq::e2e
