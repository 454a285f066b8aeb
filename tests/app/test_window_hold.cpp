// Hold-to-run: a jog lasts exactly as long as the operator holds the button.
// Every way a press can end reports exactly one mouseUp.
#include "test_window_support.h"

#include <QPushButton>

namespace vq::test {
namespace {

class HoldToRun : public WindowTest {
protected:
    void press(int index, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(w("Command5", index), button);
    }
    void release(int index, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseRelease(w("Command5", index), button);
    }
    std::vector<std::string> jog(int index)
    {
        return {"mouseDown Command5 " + std::to_string(index), "mouseUp Command5 " + std::to_string(index)};
    }
};

TEST_F(HoldToRun, ReleaseOfTheMouse)
{
    press(3);
    EXPECT_EQ(events.calls, std::vector<std::string>{"mouseDown Command5 3"});
    ASSERT_TRUE(window->heldJogButton());
    EXPECT_EQ(window->heldJogButton()->second, 3);
    release(3);
    EXPECT_EQ(events.calls, jog(3));
    EXPECT_FALSE(window->heldJogButton());
}

TEST_F(HoldToRun, AnyMouseButtonJogs)
{
    press(4, Qt::RightButton);
    release(4, Qt::RightButton);
    EXPECT_EQ(events.calls, jog(4));
}

// Each way the hold can end without a release on the button, then the late
// release of the mouse, which must add nothing.
TEST_F(HoldToRun, EveryOtherEndReportsOneRelease)
{
    struct Case {
        const char* how;
        std::function<void(MainWindow&, QtBoard&, QWidget*)> end;
    };
    const Case cases[] = {
        {"disabled through the board", [](MainWindow&, QtBoard& b, QWidget*) { b.setEnabled("Command5", 5, false); }},
        {"disabled directly", [](MainWindow&, QtBoard&, QWidget* button) { button->setEnabled(false); }},
        {"frame disabled", [](MainWindow& win, QtBoard&, QWidget*) { win.widget("Frame10")->setEnabled(false); }},
        {"window deactivated",
         [](MainWindow& win, QtBoard&, QWidget*) {
             QEvent e(QEvent::WindowDeactivate);
             QCoreApplication::sendEvent(&win, &e);
         }},
        {"mouse grab lost",
         [](MainWindow&, QtBoard&, QWidget* button) {
             QEvent e(QEvent::UngrabMouse);
             QCoreApplication::sendEvent(button, &e);
         }},
        {"focus left the window",
         [](MainWindow& win, QtBoard&, QWidget*) { emit qApp->focusChanged(win.widget("Text2"), nullptr); }},
        {"application quitting",
         [](MainWindow&, QtBoard&, QWidget*) {
             ASSERT_TRUE(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
         }},
        {"button hidden", [](MainWindow&, QtBoard&, QWidget* button) { button->hide(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        events.calls.clear();
        QWidget* button = w("Command5", 5);
        press(5);
        c.end(*window, *board, button);
        QCoreApplication::processEvents();
        EXPECT_EQ(events.calls, jog(5));
        EXPECT_FALSE(window->heldJogButton());
        release(5);
        QCoreApplication::processEvents();
        EXPECT_EQ(events.calls, jog(5));
        // Back to normal for the next case.
        window->widget("Frame10")->setEnabled(true);
        board->setEnabled("Command5", 5, true);
        button->show();
    }
}

TEST_F(HoldToRun, SecondJogButtonReleasesTheFirst)
{
    press(1);
    press(6); // another button while the first is held
    EXPECT_EQ(events.calls, (std::vector<std::string>{"mouseDown Command5 1", "mouseUp Command5 1", "mouseDown Command5 6"}));
    release(6);
    release(1);
    EXPECT_EQ(events.count("mouseUp Command5 1"), 1);
    EXPECT_EQ(events.count("mouseUp Command5 6"), 1);
}

TEST_F(HoldToRun, SecondMouseButtonOnTheSameJogButton)
{
    press(2);
    press(2, Qt::RightButton);
    release(2, Qt::RightButton);
    release(2);
    EXPECT_EQ(events.calls, jog(2));
}

TEST_F(HoldToRun, DoubleClickIsTwoJogs)
{
    // The second press of a double click arrives as a double-click event.
    press(9);
    release(9);
    QTest::mouseDClick(w("Command5", 9), Qt::LeftButton);
    EXPECT_TRUE(window->heldJogButton());
    release(9);
    std::vector<std::string> twice = jog(9);
    const std::vector<std::string> once = jog(9);
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(events.calls, twice);
}

TEST_F(HoldToRun, DisabledWhileTheCoreRunsIsReportedAfterItReturns)
{
    // A status update inside a core event disables the held button: the
    // release reaches the core after that event, not in the middle of it.
    std::vector<std::string> order;
    events.during = [&](const std::string& call) {
        if (call == "timer Timer1" && order.empty()) {
            board->setEnabled("Command5", 7, false);
            order.push_back("timer done");
        } else if (call == "mouseUp Command5 7") {
            order.push_back("mouseUp");
        }
    };
    board->setTimerInterval("Timer1", 1);
    press(7);
    board->setTimerEnabled("Timer1", true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.count("mouseUp Command5 7") == 1; }, 1000));
    board->setTimerEnabled("Timer1", false);
    ASSERT_GE(events.calls.size(), 3u); // the timer may have fired more than once
    EXPECT_EQ(events.calls[0], "mouseDown Command5 7");
    EXPECT_EQ(events.calls[1], "timer Timer1");
    EXPECT_EQ(events.calls[2], "mouseUp Command5 7");
    EXPECT_EQ(order, (std::vector<std::string>{"timer done", "mouseUp"}));
    QTest::qWait(5);
    release(7);
    EXPECT_EQ(events.count("mouseUp Command5 7"), 1);
}

TEST_F(HoldToRun, ClosingWhileHeldReleasesBeforeUnload)
{
    press(11);
    window->close();
    EXPECT_EQ(events.calls, (std::vector<std::string>{"mouseDown Command5 11", "mouseUp Command5 11", "unload"}));
}

TEST_F(HoldToRun, DestroyingTheWindowReportsNothing)
{
    press(12);
    events.calls.clear();
    board.reset();
    window.reset(); // after the program ended; the core may be gone already
    QCoreApplication::processEvents();
    EXPECT_TRUE(events.calls.empty());
}

TEST_F(HoldToRun, DisabledButtonsDoNotJog)
{
    board->setEnabled("Command5", 8, false);
    press(8);
    release(8);
    EXPECT_TRUE(events.calls.empty());
    EXPECT_FALSE(window->heldJogButton());
}

} // namespace
} // namespace vq::test
