// Shared pieces of the window tests: a FormEvents that records every call,
// and a fixture holding a shown window with its board.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/form_events.h"
#include "app/window/main_window.h"
#include "app/window/qt_board.h"

namespace vq::test {

// Records each event as one line: "mouseUp Command5 3", "keyDown Text4 2 13".
class RecordingEvents : public FormEvents {
public:
    std::vector<std::string> calls;
    // Runs inside the matching event, before it is recorded as done.
    std::function<void(const std::string&)> during;

    void load() override { note("load"); }
    void click(std::string_view n, int i) override { note("click " + std::string(n) + " " + std::to_string(i)); }
    void mouseDown(std::string_view n, int i) override { note("mouseDown " + std::string(n) + " " + std::to_string(i)); }
    void mouseUp(std::string_view n, int i) override { note("mouseUp " + std::string(n) + " " + std::to_string(i)); }
    void keyDown(std::string_view n, int i, int k) override
    {
        note("keyDown " + std::string(n) + " " + std::to_string(i) + " " + std::to_string(k));
    }
    void tabClick(std::string_view n, int t) override { note("tabClick " + std::string(n) + " " + std::to_string(t)); }
    void comboDropDown(std::string_view n) override { note("comboDropDown " + std::string(n)); }
    void comboClick(std::string_view n) override { note("comboClick " + std::string(n)); }
    void menu(std::string_view n) override { note("menu " + std::string(n)); }
    void timer(std::string_view n) override { note("timer " + std::string(n)); }
    void change(std::string_view n) override { note("change " + std::string(n)); }
    void unload() override { note("unload"); }

    int count(const std::string& call) const
    {
        int n = 0;
        for (const auto& c : calls) n += c == call ? 1 : 0;
        return n;
    }
    int countPrefix(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& c : calls) n += c.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

private:
    void note(const std::string& call)
    {
        calls.push_back(call);
        if (during) during(call);
    }
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<MainWindow>(events);
        board = std::make_unique<QtBoard>(*window);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override
    {
        board.reset();
        window.reset();
        QCoreApplication::processEvents();
    }

    QWidget* w(std::string_view name, int index = kNoIndex) const
    {
        QWidget* widget = window->widget(name, index);
        EXPECT_NE(widget, nullptr) << name << " " << index;
        return widget;
    }

    RecordingEvents events;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QtBoard> board;
};

} // namespace vq::test
