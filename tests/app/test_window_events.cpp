// Operator events reaching the core: clicks, keys (before the box takes
// them), tab clicks, the port list, menus and shortcuts, closing.
#include "test_window_support.h"

#include <QAction>
#include <QComboBox>
#include <QAbstractItemView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

namespace vq::test {
namespace {

TEST_F(WindowTest, ClicksReachTheCore)
{
    struct Case {
        const char* name;
        int index;
        const char* call;
    };
    const Case cases[] = {
        {"Command14", kNoIndex, "click Command14 -1"}, {"Command2", 1, "click Command2 1"},
        {"Command31", kNoIndex, "click Command31 -1"}, {"Command1", 9, "click Command1 9"},
        {"Command16", 0, "click Command16 0"},         {"Command19", 2, "click Command19 2"},
        {"Command22", 3, "click Command22 3"},         {"Command25", kNoIndex, "click Command25 -1"},
        {"Check1", kNoIndex, "click Check1 -1"},       {"Command8", 1, "click Command8 1"},
    };
    for (const Case& c : cases) {
        events.calls.clear();
        QTest::mouseClick(w(c.name, c.index), Qt::LeftButton);
        EXPECT_EQ(events.calls, std::vector<std::string>{c.call}) << c.name;
    }
    EXPECT_EQ(board->value("Check1"), 1);

    // A disabled button reports nothing; the keyboard clicks ordinary buttons.
    events.calls.clear();
    board->setEnabled("Command13", kNoIndex, false);
    QTest::mouseClick(w("Command13"), Qt::LeftButton);
    QTest::keyClick(w("Command12"), Qt::Key_Space);
    EXPECT_EQ(events.calls, std::vector<std::string>{"click Command12 -1"});
}

TEST_F(WindowTest, JogButtonsHaveNoClickAndIgnoreTheKeyboard)
{
    QTest::mouseClick(w("Command5", 1), Qt::LeftButton);
    EXPECT_EQ(events.calls, (std::vector<std::string>{"mouseDown Command5 1", "mouseUp Command5 1"}));
    events.calls.clear();
    w("Command5", 2)->setFocus();
    QTest::keyClick(w("Command5", 2), Qt::Key_Space);
    QTest::keyClick(w("Command5", 2), Qt::Key_Return);
    EXPECT_TRUE(events.calls.empty());
    // The seventh-axis jog buttons report nothing at all.
    QTest::mouseClick(w("Command5", 13), Qt::LeftButton);
    EXPECT_TRUE(events.calls.empty());
}

TEST_F(WindowTest, KeysReachTheCoreBeforeTheBoxTakesThem)
{
    std::vector<std::string> textAtKey;
    events.during = [&](const std::string& call) {
        if (call.rfind("keyDown Text2", 0) == 0) textAtKey.push_back(board->text("Text2"));
    };
    auto* speed = qobject_cast<QLineEdit*>(w("Text2"));
    speed->setCursorPosition(1);
    QTest::keyClick(speed, Qt::Key_7);
    QTest::keyClick(speed, Qt::Key_Return);
    QTest::keyClick(speed, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(speed, Qt::Key_Backspace);
    QTest::keyClick(speed, Qt::Key_Tab);
    EXPECT_EQ(events.calls, (std::vector<std::string>{"keyDown Text2 -1 " + std::to_string(Qt::Key_7), "keyDown Text2 -1 13",
                                                      "keyDown Text2 -1 13",
                                                      "keyDown Text2 -1 " + std::to_string(Qt::Key_Backspace)}));
    EXPECT_EQ(textAtKey, (std::vector<std::string>{"1", "17", "17", "17"}));
    EXPECT_EQ(board->text("Text2"), "1");

    // Array boxes report their index, also on a tab that is not showing.
    events.calls.clear();
    events.during = nullptr;
    QTest::keyClick(w("Text11", 37), Qt::Key_A);
    QTest::keyClick(w("Text4", 2), Qt::Key_Return);
    QTest::keyClick(w("Text10", 0), Qt::Key_0);
    EXPECT_EQ(events.calls, (std::vector<std::string>{"keyDown Text11 37 " + std::to_string(Qt::Key_A), "keyDown Text4 2 13",
                                                      "keyDown Text10 0 " + std::to_string(Qt::Key_0)}));
}

TEST_F(WindowTest, TabClicksByTheOperator)
{
    auto* tabs1 = qobject_cast<QTabWidget*>(w("SSTab1"));
    QTabBar* bar = tabs1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    EXPECT_EQ(board->value("SSTab1"), 2);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    auto* tabs2 = qobject_cast<QTabWidget*>(w("SSTab2"));
    QTest::mouseClick(tabs2->tabBar(), Qt::LeftButton, {}, tabs2->tabBar()->tabRect(1).center());
    board->setValue("SSTab1", kNoIndex, 4); // the core's own switch is no click
    EXPECT_EQ(events.calls, (std::vector<std::string>{"tabClick SSTab1 2", "tabClick SSTab1 0", "tabClick SSTab2 1"}));
    // The six tabs share the width: all are in view.
    for (int i = 0; i < bar->count(); ++i) EXPECT_TRUE(bar->rect().contains(bar->tabRect(i))) << i;
}

TEST_F(WindowTest, PortListIsFilledWhenItOpens)
{
    auto* combo = qobject_cast<QComboBox*>(w("Combo1"));
    events.during = [&](const std::string& call) {
        if (call == "comboDropDown Combo1") board->setItems("Combo1", {"01", "03", "05"});
    };
    combo->showPopup();
    EXPECT_EQ(events.calls, std::vector<std::string>{"comboDropDown Combo1"});
    EXPECT_EQ(combo->count(), 3);
    EXPECT_TRUE(combo->view()->isVisible());
    combo->hidePopup();

    // The list opens at the item of the edit text; leaving the edit field
    // chooses nothing.
    EXPECT_EQ(combo->currentIndex(), 0);
    combo->lineEdit()->setText("05");
    w("Text2")->setFocus();
    combo->lineEdit()->setFocus();
    w("Command14")->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(events.calls, std::vector<std::string>{"comboDropDown Combo1"});

    // Choosing an item, and Enter in the edit field, report the choice once each.
    events.calls.clear();
    events.during = nullptr;
    combo->lineEdit()->setText("01");
    combo->setCurrentIndex(0);
    QTest::keyClick(combo, Qt::Key_Down); // next item of the closed list
    EXPECT_EQ(events.calls, std::vector<std::string>{"comboClick Combo1"});
    EXPECT_EQ(board->text("Combo1"), "03");
    events.calls.clear();
    combo->lineEdit()->setText("05");
    QTest::keyClick(combo, Qt::Key_Return); // the combo box has the focus, not its edit field
    EXPECT_EQ(events.calls, std::vector<std::string>{"comboClick Combo1"});
    EXPECT_EQ(combo->count(), 3); // nothing inserted
    EXPECT_EQ(board->text("Combo1"), "05");
    events.calls.clear();
    combo->lineEdit()->setText("07"); // a port not in the list
    QTest::keyClick(combo, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(events.calls, std::vector<std::string>{"comboClick Combo1"});
    EXPECT_EQ(board->text("Combo1"), "07");
}

TEST_F(WindowTest, PortNumberIsTakenAsTyped)
{
    // No completion from the list: "1" must not become "16".
    auto* combo = qobject_cast<QComboBox*>(w("Combo1"));
    board->setItems("Combo1", {"01", "16"});
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    combo->lineEdit()->clear();
    combo->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), combo);
    QTest::keyClick(combo, Qt::Key_1);
    EXPECT_EQ(board->text("Combo1"), "1");
}

TEST_F(WindowTest, MenusAndShortcuts)
{
    struct Case {
        const char* name;
        Qt::Key key;
    };
    const Case items[] = {{"NewFile", Qt::Key_N}, {"OpenFile", Qt::Key_O}, {"SaveFile", Qt::Key_S}, {"AsSaveFile", Qt::Key_A}};
    for (const Case& c : items) {
        QAction* a = window->action(c.name);
        ASSERT_NE(a, nullptr) << c.name;
        EXPECT_EQ(a->shortcut(), QKeySequence(Qt::CTRL | c.key)) << c.name;
        a->trigger();
    }
    EXPECT_EQ(window->action("singleStep")->shortcut(), QKeySequence(Qt::Key_F10));
    for (const char* name : {"singleStep", "showViews", "exportRecording", "Help", "aboutVelquor"}) window->action(name)->trigger();
    EXPECT_EQ(events.calls, (std::vector<std::string>{"menu NewFile", "menu OpenFile", "menu SaveFile", "menu AsSaveFile",
                                                      "menu singleStep", "menu showViews", "menu exportRecording",
                                                      "menu Help", "menu aboutVelquor"}));
    EXPECT_EQ(window->action("Exit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));

    // The shortcuts work from the keyboard, also while a box has the focus.
    events.calls.clear();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    w("Command14")->setFocus();
    QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
    w("Text11", 1)->setFocus();
    QTest::keyClick(w("Text11", 1), Qt::Key_S, Qt::ControlModifier);
    w("Text7")->setFocus();
    QTest::keyClick(w("Text7"), Qt::Key_F10); // single step from the program box
    // The box reports the Ctrl key itself, as any key typed into it.
    EXPECT_EQ(events.calls, (std::vector<std::string>{"menu NewFile", "keyDown Text11 1 " + std::to_string(Qt::Key_Control),
                                                      "menu SaveFile", "menu singleStep"}));
}

TEST_F(WindowTest, ExitAndCloseReportUnloadOnce)
{
    window->action("Exit")->trigger();
    EXPECT_EQ(events.calls, std::vector<std::string>{"unload"});
    EXPECT_FALSE(window->isVisible());
    window->show();
    window->close();
    EXPECT_EQ(events.count("unload"), 1);
}

TEST_F(WindowTest, ClosingTheWindowReportsUnloadAndTheCoreEndsTheProgram)
{
    events.during = [&](const std::string& call) {
        if (call == "unload") board->endProgram(); // what the core does after closing the port
    };
    window->close();
    EXPECT_EQ(events.calls, std::vector<std::string>{"unload"});
    EXPECT_TRUE(window->programEnded());
    EXPECT_FALSE(window->isVisible());
}

} // namespace
} // namespace vq::test
