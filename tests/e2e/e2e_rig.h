// The whole console in the test process: the real window (offscreen or on
// an X server), the real core, QSerialPort on one side of a pseudo-terminal
// and the simulated controller on the other. Tests operate the window's
// widgets as an operator would and look at the simulated arm and at what
// the window shows.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWidget>

#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/console.h"
#include "app/window/main_window.h"
#include "app/window/qt_board.h"
#include "link/hex.h"
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
    explicit Rig(sim::SimOptions simOptions = testSimOptions(), bool handleSignals = false)
    {
        ConsoleOptions o;
        o.handleSignals = handleSignals;
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

    QtBoard& board() { return console->board(); }
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
        retype(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    // Types into a box without confirming it.
    void typeInto(std::string_view name, int index, const QString& text)
    {
        auto* edit = qobject_cast<QLineEdit*>(widget(name, index));
        ASSERT_NE(edit, nullptr);
        retype(edit, text);
    }
    // Clicks a tab of SSTab1 on its tab bar, as the operator does. The tab
    // must not be the one shown: a click on it would report nothing.
    void clickTab(int tab)
    {
        auto* tabs = qobject_cast<QTabWidget*>(widget("SSTab1"));
        ASSERT_NE(tabs, nullptr);
        ASSERT_NE(tabs->currentIndex(), tab) << "tab already selected: a click would report nothing";
        QTabBar* bar = tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
        ASSERT_EQ(tabs->currentIndex(), tab);
    }
    bool isEnabled(std::string_view name, int index = kNoIndex)
    {
        QWidget* w = widget(name, index);
        return w && w->isEnabled();
    }

    double label(std::string_view name, int index) { return std::stod(board().text(name, index)); }

    test::ScriptedPrompts prompts;
    MemorySettings settings;
    std::unique_ptr<Console> console;

private:
    static void retype(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
};

// A value as a read-out shows it: sent as a 32-bit float, then written with
// the read-out's number of decimals.
inline std::string shown(double value, int decimals)
{
    return formatFixed(static_cast<float>(value), decimals).value_or("?");
}

// Degrees apart, the short way round.
inline double angleDiff(double a, double b)
{
    double d = std::fmod(a - b, 360.0);
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return std::abs(d);
}

// True when boxes name(first..last) all show text.
inline bool allShow(Rig& r, std::string_view name, int first, int last, std::string_view text)
{
    for (int i = first; i <= last; ++i)
        if (r.board().text(name, i) != text) return false;
    return true;
}

// The read-outs show the arm's joints (three decimals) and pose (two).
inline bool readoutsMatchArm(Rig& r)
{
    const auto q = r.arm().joints();
    const auto p = r.arm().pose();
    const std::array<double, 6> pose{p.x, p.y, p.z, p.a, p.b, p.c};
    for (int i = 1; i <= 6; ++i) {
        const auto k = static_cast<std::size_t>(i - 1);
        if (r.board().text("Label2", i) != shown(q[k], 3)) return false;
        if (r.board().text("Label3", i) != shown(pose[k], 2)) return false;
    }
    return true;
}

// Holds a jog button for about ms, releases it and waits until the arm
// stands still again.
inline void jog(Rig& r, int index, int ms)
{
    ASSERT_TRUE(r.isEnabled("Command5", index)) << index;
    r.press("Command5", index);
    ASSERT_TRUE(r.waitFor([&] { return r.arm().jogCode() != 0; }, 3000)) << "jog " << index << " never started: " << r.arm().lastEvent();
    r.idle(ms);
    r.release("Command5", index);
    ASSERT_TRUE(r.waitFor([&] { return r.arm().jogCode() == 0 && !r.arm().moving(); }, 3000)) << r.arm().lastEvent();
}

// The whole file as bytes; false when it cannot be read.
inline bool fileBytes(const QString& path, std::string& out)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray b = f.readAll();
    out.assign(b.constData(), static_cast<std::size_t>(b.size()));
    return true;
}

} // namespace vq::e2e
