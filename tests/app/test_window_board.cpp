// The window built from the table, seen through QtBoard: every control,
// design texts, enabled states, start tabs, geometry, tab order, the program
// editor's line ends, colours, values, timers, lists and the end.
#include "test_window_support.h"

#include <optional>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QHelpEvent>
#include <QToolTip>

#include <functional>
#include <map>

#include "app/window/control_look.h"
#include "link/period_timer.h"
#include "app/window/program_text.h"
#include "app/window/traffic_view.h"
#include "app/window/widgets.h"
#include "link/frames.h"
#include "link/traffic_log.h"

namespace vq::test {
namespace {

using layout::Control;
using layout::Kind;

std::string id(const Control& c)
{
    return layout::objectName(c);
}

QColor pixel(QWidget* widget, QPoint at)
{
    return widget->grab().toImage().pixelColor(at);
}

TEST_F(WindowTest, EveryTableRowHasItsObject)
{
    int widgets = 0;
    for (const Control& c : layout::controls()) {
        const QString name = QString::fromStdString(id(c));
        QObject* o = window->object(c.name, c.index);
        ASSERT_NE(o, nullptr) << id(c);
        EXPECT_EQ(o->objectName(), name);
        EXPECT_EQ(window->object(id(c)), o) << "by its Qt object name: " << id(c);
        EXPECT_EQ(window->controlOf(o), &c) << id(c);
        for (const auto& [n, i] : {std::pair{std::string(c.name), c.index}, std::pair{id(c), kNoIndex}}) {
            const MainWindow::Shown shown = window->find(n, i);
            EXPECT_EQ(shown.object, o) << n;
            EXPECT_EQ(shown.control, &c) << n;
        }
        if (!layout::isWidget(c.kind)) continue;
        auto* widget = qobject_cast<QWidget*>(o);
        ASSERT_NE(widget, nullptr) << id(c);
        EXPECT_EQ(widget->accessibleDescription(), name);
        if (c.kind != Kind::Form) {
            EXPECT_EQ(window->findChild<QWidget*>(name), widget) << id(c);
            ++widgets;
        }
        bool kindOk = false;
        switch (c.kind) {
        case Kind::Form: kindOk = widget == window.get(); break;
        case Kind::Frame: kindOk = qobject_cast<QGroupBox*>(widget); break;
        case Kind::Button: kindOk = qobject_cast<QPushButton*>(widget); break;
        case Kind::TextBox: kindOk = qobject_cast<QLineEdit*>(widget); break;
        case Kind::MultiLineText: kindOk = qobject_cast<QPlainTextEdit*>(widget); break;
        case Kind::Label: kindOk = qobject_cast<QLabel*>(widget); break;
        case Kind::CheckBox: kindOk = qobject_cast<QCheckBox*>(widget); break;
        case Kind::Combo: kindOk = qobject_cast<QComboBox*>(widget) && static_cast<QComboBox*>(widget)->isEditable(); break;
        case Kind::Shape: kindOk = qobject_cast<Lamp*>(widget); break;
        case Kind::Picture: kindOk = qobject_cast<QLabel*>(widget) && !static_cast<QLabel*>(widget)->pixmap().isNull(); break;
        case Kind::TabControl: kindOk = qobject_cast<QTabWidget*>(widget); break;
        case Kind::TabPage: kindOk = true; break;
        case Kind::List: kindOk = qobject_cast<QListWidget*>(widget); break;
        case Kind::StatusField: kindOk = qobject_cast<QLabel*>(widget) && window->statusBar()->isAncestorOf(widget); break;
        case Kind::LogView: kindOk = qobject_cast<TrafficView*>(widget); break;
        default: break;
        }
        EXPECT_TRUE(kindOk) << id(c) << " is not shown as a " << layout::kindName(c.kind);
    }
    EXPECT_GT(widgets, 300);

    // Names that are not in the table find nothing, also when they look
    // like a Qt object name.
    const std::pair<const char*, int> unknown[] = {
        {"", kNoIndex},          {"NoSuchControl", kNoIndex}, {"Command5", kNoIndex}, {"Command5", 99},
        {"Command5_99", kNoIndex}, {"Command5_", kNoIndex},   {"Command5_3x", kNoIndex}, {"Command5_-1", kNoIndex},
        {"_3", kNoIndex},        {"Command5_3", 3},           {"command5_3", kNoIndex}, {"Timer1", 0},
        {"Timer1_-1", kNoIndex}, {"Command5_+3", kNoIndex},
    };
    for (const auto& [name, index] : unknown) {
        EXPECT_EQ(window->object(name, index), nullptr) << name << " " << index;
        EXPECT_EQ(window->find(name, index).control, nullptr) << name << " " << index;
    }
    EXPECT_EQ(window->windowTitle(), "Velquor");
    EXPECT_EQ(board->text("Form1"), "Velquor");
    EXPECT_NE(window->timer("Timer1"), nullptr);
    EXPECT_NE(window->action("Exit"), nullptr);
}

TEST_F(WindowTest, DesignTextsReadBackThroughTheBoard)
{
    for (const Control& c : layout::controls()) {
        switch (c.kind) {
        case Kind::Frame:
        case Kind::Button:
        case Kind::TextBox:
        case Kind::MultiLineText:
        case Kind::Label:
        case Kind::CheckBox:
        case Kind::Combo:
        case Kind::TabPage:
        case Kind::Menu:
        case Kind::MenuItem:
            EXPECT_EQ(board->text(c.name, c.index), std::string(c.caption)) << id(c);
            break;
        default:
            break;
        }
    }
    EXPECT_EQ(board->text("Nothing", 3), "");
}

TEST_F(WindowTest, SeventhAxisStaysInactive)
{
    for (const Control& c : layout::controls()) {
        if (!layout::isWidget(c.kind) || c.kind == Kind::Form) continue;
        EXPECT_EQ(board->enabled(c.name, c.index), !c.has(layout::kInactive)) << id(c);
    }
    board->setEnabled("Command5", 13, true);
    board->setEnabled("Command1", 7, true);
    board->setEnabled("Text1", 7, true);
    EXPECT_FALSE(board->enabled("Command5", 13));
    EXPECT_FALSE(w("Command5", 13)->isEnabled());
    EXPECT_FALSE(board->enabled("Command1", 7));
    EXPECT_FALSE(w("Text1", 7)->isEnabled());

    // The seventh target angle cannot be typed into.
    auto* box = qobject_cast<QLineEdit*>(w("Text1", 7));
    box->setFocus();
    QTest::keyClicks(box, "12");
    EXPECT_EQ(board->text("Text1", 7), "0");
    EXPECT_TRUE(box->isReadOnly());

    // Other controls follow the core.
    board->setEnabled("Command5", 3, false);
    EXPECT_FALSE(board->enabled("Command5", 3));
    board->setEnabled("Command5", 3, true);
    EXPECT_TRUE(board->enabled("Command5", 3));
}

TEST_F(WindowTest, StartTabs)
{
    auto* tabs1 = qobject_cast<QTabWidget*>(w("SSTab1"));
    auto* tabs2 = qobject_cast<QTabWidget*>(w("SSTab2"));
    EXPECT_EQ(tabs1->count(), 6);
    EXPECT_EQ(tabs2->count(), 5); // the design's three, the traffic log and the program check
    EXPECT_EQ(board->value("SSTab1"), 5);
    EXPECT_EQ(tabs1->tabText(tabs1->currentIndex()), QString::fromUtf8("运行测试"));
    EXPECT_EQ(board->value("SSTab2"), 0);
    EXPECT_EQ(tabs2->tabText(tabs2->currentIndex()), QString::fromUtf8("运行文件"));
    EXPECT_TRUE(w("Text11", 1)->isVisible());
    EXPECT_TRUE(w("Text7")->isVisible());
    EXPECT_FALSE(w("Text4", 1)->isVisible());
    EXPECT_TRUE(events.calls.empty()); // building the window reports nothing
}

TEST_F(WindowTest, GeometryInPixels)
{
    struct Case {
        const char* name;
        int index;
        QRect inClient; // relative to the window's client area
    };
    // twips / 15; tab page children are placed from the tab control's corner.
    const Case cases[] = {
        {"Frame6", kNoIndex, {560, 0, 617, 57}},
        {"Shape1", kNoIndex, {8 + 368, 24, 20, 20}},
        {"Command5", 1, {424 + 8, 392 + 272, 57, 33}},
        {"Command5", 13, {424 + 8, 392 + 80, 57, 33}},
        {"SSTab1", kNoIndex, {8, 256, 409, 313}},
        {"Frame18", 0, {8 + 8, 256 + 24, 393, 73}},
        {"Text11", 37, {8 + 8 + 312, 256 + 184 + 92, 57, 21}},
        {"Text7", kNoIndex, {560 + 8, 64 + 32, 599, 545}},
        {"Command12", kNoIndex, {560 + 544, 656 + 16, 65, 33}},
    };
    for (const Case& c : cases) {
        QWidget* widget = w(c.name, c.index);
        const QRect r(widget->mapTo(window->centralWidget(), QPoint(0, 0)), widget->size());
        EXPECT_EQ(r, c.inClient) << c.name << " " << c.index;
    }
    EXPECT_EQ(window->centralWidget()->size(), QSize(1181, 716));
    // Pages on hidden tabs line up the same way.
    auto* tabs = qobject_cast<TabControl*>(w("SSTab1"));
    tabs->setCurrentIndex(0);
    EXPECT_EQ(w("Frame3")->mapTo(tabs, QPoint(0, 0)), QPoint(8, 24));
    EXPECT_EQ(w("Text4", 1)->mapTo(tabs, QPoint(0, 0)), QPoint(8 + 80, 24 + 192));
    EXPECT_EQ(w("Frame3")->parentWidget()->mapTo(tabs, QPoint(0, 0)), tabs->pageOrigin());
}

TEST_F(WindowTest, TabOrderFollowsTheTable)
{
    auto chainFrom = [](QWidget* start, int n) {
        std::vector<std::string> names;
        for (QWidget* next = start->nextInFocusChain(); next && next != start && int(names.size()) < n;
             next = next->nextInFocusChain()) {
            if ((next->focusPolicy() & Qt::TabFocus) && !next->objectName().isEmpty())
                names.push_back(next->objectName().toStdString());
        }
        return names;
    };
    EXPECT_EQ(chainFrom(w("Text11", 1), 6),
              (std::vector<std::string>{"Text11_2", "Text11_3", "Text11_4", "Text11_5", "Text11_6", "Command25"}));
    EXPECT_EQ(chainFrom(w("Text4", 1), 4), (std::vector<std::string>{"Text5_1", "Text6_1", "Text4_2", "Text5_2"}));
    EXPECT_EQ(chainFrom(w("Command14"), 2), (std::vector<std::string>{"Command13", "Command12"}));
}

TEST_F(WindowTest, ProgramEditorKeepsLineEndsThroughTheBoard)
{
    const std::string cases[] = {
        "PSPEED RPM=1000 ACC=500 DEC=500\r\nLSPEED MMS=100 ACC=10 DEC=10\r\n",
        "MOVJ J1=0\nEND\n",
        "MOVJ J1=0\rEND",
        "MOVP X1=1\r\nEND",
        "程序\r\n第二行\r\n",
        "",
    };
    auto* editor = qobject_cast<QPlainTextEdit*>(w("Text7"));
    for (const std::string& raw : cases) {
        board->setText("Text7", kNoIndex, raw);
        EXPECT_EQ(board->text("Text7"), raw);
    }
    board->setText("Text7", kNoIndex, "A\nB\r\nC");
    EXPECT_EQ(editor->document()->blockCount(), 2);
    EXPECT_EQ(editor->document()->firstBlock().text(), QString("A") + QChar(kLoneLineFeedSymbol) + "B");

    // The operator types a line break and a word at the end.
    board->setText("Text7", kNoIndex, "MOVJ J1=0\nX\r\nEND");
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClicks(editor, "DELAY");
    EXPECT_EQ(board->text("Text7"), "MOVJ J1=0\nX\r\nEND\r\nDELAY");
    EXPECT_TRUE(events.calls.empty()); // the editor reports no keys
}

// Whatever key or paste breaks a line in the program box, the runner and
// the file see CR LF there; lone CR and LF already in the text keep their
// marks.
TEST_F(WindowTest, EveryLineBreakInTheProgramBoxIsCrLf)
{
    auto* editor = qobject_cast<QPlainTextEdit*>(w("Text7"));
    editor->setFocus();
    struct Key {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    };
    const Key keys[] = {{Qt::Key_Return, Qt::NoModifier},      {Qt::Key_Return, Qt::ShiftModifier},
                        {Qt::Key_Return, Qt::ControlModifier}, {Qt::Key_Enter, Qt::KeypadModifier},
                        {Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier}};
    for (const Key& k : keys) {
        board->setText("Text7", kNoIndex, "MOVJ J1=0\nX");
        editor->moveCursor(QTextCursor::End);
        QTest::keyClick(editor, k.key, k.modifiers);
        QTest::keyClicks(editor, "END");
        EXPECT_EQ(board->text("Text7"), "MOVJ J1=0\nX\r\nEND") << k.key << " " << k.modifiers;
        EXPECT_EQ(editor->document()->blockCount(), 2);
    }

    const std::pair<QString, std::string> pastes[] = {
        {"A\r\nB", "A\r\nB"},
        {"A\nB\rC", "A\r\nB\r\nC"},
        {QString("A") + QChar(0x2028) + "B" + QChar(0x2029) + "C", "A\r\nB\r\nC"},
        {"A\vB\fC", "A\r\nB\r\nC"},
        {QString("A") + QChar(0x85) + "B", "A\r\nB"},
    };
    for (const auto& [pasted, raw] : pastes) {
        board->setText("Text7", kNoIndex, "");
        QApplication::clipboard()->setText(pasted);
        editor->paste();
        EXPECT_EQ(board->text("Text7"), raw) << pasted.toStdString();
    }
}

// The program box as the run and the check show it: numbered lines, the
// run's line highlighted and in view, problems underlined with their note
// on the mouse, and the list of problems; an edit is reported once.
TEST_F(WindowTest, ProgramBoxShowsTheRunLineAndTheProblems)
{
    auto* editor = qobject_cast<ProgramEditor*>(w("Text7"));
    ASSERT_NE(editor, nullptr);
    std::string program = "MOVJ J1=2O\r\n延迟 X\r\n";
    for (int i = 3; i <= 200; ++i) program += "DELAY MS=" + std::to_string(i) + "\r\n";
    board->setText(Ctl::ProgramEditor, kNoIndex, program);
    EXPECT_GT(editor->lineNumberWidth(), 0);
    EXPECT_GE(editor->viewport()->x(), editor->lineNumberWidth()) << "the numbers have a margin of their own";
    EXPECT_EQ(qobject_cast<ProgramEditor*>(w("Text18"))->lineNumberWidth(), 0) << "frame boxes have no numbers";

    auto backgroundAt = [&](int line) -> std::optional<QColor> {
        for (const auto& s : editor->extraSelections())
            if (s.cursor.blockNumber() == line && s.format.hasProperty(QTextFormat::BackgroundBrush))
                return s.format.background().color();
        return std::nullopt;
    };
    struct RunLine {
        int value;
        int line;
        QColor colour;
    };
    for (const RunLine& r : {RunLine{150, 149, ProgramEditor::runningLineColour()},
                             RunLine{-150, 149, ProgramEditor::pausedLineColour()},
                             RunLine{2, 1, ProgramEditor::runningLineColour()}}) {
        board->setValue(Ctl::ProgramEditor, kNoIndex, r.value);
        EXPECT_EQ(board->value(Ctl::ProgramEditor), r.value);
        EXPECT_EQ(backgroundAt(r.line), r.colour) << r.value;
        const QRect shown = editor->cursorRect(QTextCursor(editor->document()->findBlockByNumber(r.line)));
        EXPECT_TRUE(editor->viewport()->rect().contains(shown)) << r.value << " is not in view";
    }
    board->setValue(Ctl::ProgramEditor, kNoIndex, 0);
    EXPECT_FALSE(backgroundAt(1).has_value());

    // Columns are bytes of the line's UTF-8 text: "延迟 " is seven.
    board->setMarks(Ctl::ProgramEditor, {{0, 8, 10, "不是数字"}, {1, 7, 8, "多余"}, {500, 0, 1, "gone"}});
    std::vector<std::pair<int, int>> underlined;
    for (const auto& s : editor->extraSelections())
        if (s.format.underlineStyle() == QTextCharFormat::WaveUnderline)
            underlined.emplace_back(s.cursor.selectionStart(), s.cursor.selectionEnd());
    const int line2 = editor->document()->findBlockByNumber(1).position();
    EXPECT_EQ(underlined, (std::vector<std::pair<int, int>>{{8, 10}, {line2 + 3, line2 + 4}}));
    QTextCursor at(editor->document()->findBlockByNumber(1));
    at.setPosition(line2 + 3);
    const QPoint pos = editor->cursorRect(at).center() + QPoint(2, 0);
    QHelpEvent help(QEvent::ToolTip, pos, editor->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(editor->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), QString::fromUtf8("多余"));
    EXPECT_TRUE(editor->noteAt(0, 20).isEmpty());

    board->setItems(Ctl::ProgramProblems, {"第 1 行：a", "第 2 行：b"});
    EXPECT_EQ(qobject_cast<QListWidget*>(w("programProblems"))->count(), 2);
    EXPECT_EQ(board->text(Ctl::ProgramProblems), "第 1 行：a\n第 2 行：b");
    board->setText(Ctl::ProblemsPage, kNoIndex, "程序检查 (2)");
    auto* tabs = qobject_cast<QTabWidget*>(w("SSTab2"));
    EXPECT_EQ(tabs->tabText(4), QString::fromUtf8("程序检查 (2)"));
    // Activating a problem shows its line in the editor, its page selected
    // as the operator's click would.
    board->setMarks(Ctl::ProgramProblems, {{149, 0, 1, "a"}, {1, 0, 1, "b"}});
    board->setValue("SSTab2", kNoIndex, 3);
    auto* list = qobject_cast<QListWidget*>(w("programProblems"));
    events.calls.clear();
    emit list->itemActivated(list->item(0));
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(events.calls, std::vector<std::string>{"tabClick SSTab2 0"});
    EXPECT_EQ(editor->textCursor().blockNumber(), 149);
    EXPECT_EQ(editor->textCursor().positionInBlock(), 0);

    events.calls.clear();
    editor->setFocus();
    QTest::keyClicks(editor, "AB");
    QCoreApplication::processEvents();
    EXPECT_EQ(events.calls, std::vector<std::string>{"change Text7"});
}

// Text7 shows both scroll bars, also while there is nothing to scroll:
// its text area keeps one size, so a program that outgrows the box does
// not make the editor lay out every line again for a narrower area.
TEST_F(WindowTest, ProgramBoxKeepsItsTextAreaForShortAndLongPrograms)
{
    auto* editor = qobject_cast<QPlainTextEdit*>(w("Text7"));
    std::string longProgram;
    for (int i = 0; i < 2000; ++i) longProgram += "MOVJ J1=" + std::to_string(i) + " J2=0 J3=0 J4=0 J5=0 J6=0 J7=0 J8=0\r\n";
    const std::string cases[] = {"", "END\r\n", longProgram, "END\r\n"};
    std::optional<QSize> area;
    for (const std::string& raw : cases) {
        board->setText("Text7", kNoIndex, raw);
        QCoreApplication::processEvents();
        EXPECT_TRUE(editor->verticalScrollBar()->isVisible()) << raw.size();
        EXPECT_TRUE(editor->horizontalScrollBar()->isVisible()) << raw.size();
        EXPECT_EQ(editor->verticalScrollBar()->maximum() > 0, raw.size() > 100) << raw.size();
        if (!area) area = editor->viewport()->size();
        EXPECT_EQ(editor->viewport()->size(), *area) << raw.size();
    }
}

// The editor keeps the raw program text between changes, so that Run and
// teach-in do not convert a long program on every read. Whatever changed
// it (a whole new text, an appended tail, a tail that pairs with a lone CR,
// the operator's typing, undo), the kept text must equal the text read
// afresh from the document.
TEST_F(WindowTest, ProgramTextReadBackMatchesTheDocumentAfterEveryChange)
{
    auto* editor = qobject_cast<QPlainTextEdit*>(w("Text7"));
    ASSERT_NE(editor, nullptr);
    auto fresh = [&] { return displayToRaw(editor->document()->toRawText()).toStdString(); };
    struct Step {
        const char* what;
        std::function<void()> apply;
        std::string expect; // empty: only compared with the document
    };
    const std::string frameMarks = std::string("A") + "\xEF\xB7\x90" + "B"; // U+FDD0 becomes a block break
    const std::vector<Step> steps = {
        {"new text", [&] { board->setText("Text7", kNoIndex, "MOVJ J1=0\r\nEND"); }, "MOVJ J1=0\r\nEND"},
        {"append", [&] { board->setText("Text7", kNoIndex, "MOVJ J1=0\r\nEND\r\nDELAY T=1"); },
         "MOVJ J1=0\r\nEND\r\nDELAY T=1"},
        {"lone CR at the end", [&] { board->setText("Text7", kNoIndex, "MOVJ J1=0\r\nEND\r\nDELAY T=1\r"); },
         "MOVJ J1=0\r\nEND\r\nDELAY T=1\r"},
        {"tail pairing with the lone CR",
         [&] { board->setText("Text7", kNoIndex, "MOVJ J1=0\r\nEND\r\nDELAY T=1\r\nMOVP X1=2\n"); },
         "MOVJ J1=0\r\nEND\r\nDELAY T=1\r\nMOVP X1=2\n"},
        {"operator types",
         [&] {
             editor->setFocus();
             editor->moveCursor(QTextCursor::End);
             QTest::keyClicks(editor, "Z");
         },
         "MOVJ J1=0\r\nEND\r\nDELAY T=1\r\nMOVP X1=2\nZ"},
        {"operator undoes", [&] { editor->undo(); }, ""},
        {"frame marks", [&] { board->setText("Text7", kNoIndex, frameMarks); }, ""},
        {"append after frame marks", [&] { board->setText("Text7", kNoIndex, frameMarks + "\r\nC"); }, ""},
        {"emptied", [&] { board->setText("Text7", kNoIndex, ""); }, ""},
        {"append to empty", [&] { board->setText("Text7", kNoIndex, "END\r\n"); }, "END\r\n"},
    };
    for (const Step& step : steps) {
        step.apply();
        const std::string read = board->text("Text7");
        EXPECT_EQ(read, fresh()) << step.what;
        if (!step.expect.empty()) {
            EXPECT_EQ(read, step.expect) << step.what;
        }
    }
}

TEST_F(WindowTest, BackColoursShow)
{
    struct Case {
        const char* name;
        int index;
        Colour colour;
    };
    const Case buttons[] = {
        {"Command31", kNoIndex, Colour::green()}, {"Command33", kNoIndex, Colour::red()},
        {"Command5", 3, Colour::green()}, {"Command19", 1, Colour::green()}, {"Command22", 0, Colour::green()},
        {"Command19", 1, Colour::buttonFace()},
    };
    for (const Case& c : buttons) {
        board->setBackColour(c.name, c.index, c.colour);
        EXPECT_EQ(board->backColour(c.name, c.index), c.colour) << c.name;
        QWidget* b = w(c.name, c.index);
        EXPECT_TRUE(b->styleSheet().contains(toQColor(c.colour).name())) << c.name;
        EXPECT_EQ(pixel(b, QPoint(3, 3)), toQColor(c.colour)) << c.name << " " << describe(c.colour);
    }
    EXPECT_EQ(toQColor(Colour::green()), QColor(0, 255, 0));
    EXPECT_EQ(board->backColour("Command32"), Colour::buttonFace());

    // Status replies repeat the same colours ten times a second: the same
    // colour again is not shown again, a different one is.
    QWidget* servo = w("Command31");
    board->setBackColour("Command31", kNoIndex, Colour::green());
    servo->setStyleSheet(QString()); // showing the colour again would bring it back
    board->setBackColour("Command31", kNoIndex, Colour::green());
    EXPECT_TRUE(servo->styleSheet().isEmpty());
    board->setBackColour("Command31", kNoIndex, Colour::red());
    EXPECT_TRUE(servo->styleSheet().contains(toQColor(Colour::red()).name()));
    EXPECT_EQ(board->backColour("Command31"), Colour::red());

    // A parameter box marked as edited, then confirmed.
    QWidget* box = w("Text4", 2);
    EXPECT_EQ(board->backColour("Text4", 2), Colour::windowBackground());
    board->setBackColour("Text4", 2, Colour::edited());
    EXPECT_EQ(board->backColour("Text4", 2), Colour::edited());
    EXPECT_EQ(box->palette().color(QPalette::Base), QColor(255, 128, 128));
    board->setBackColour("Text11", 5, Colour::edited());
    QWidget* visibleBox = w("Text11", 5);
    EXPECT_EQ(pixel(visibleBox, QPoint(visibleBox->width() - 5, visibleBox->height() / 2)), QColor(255, 128, 128));
    board->setBackColour("Text4", 2, Colour::windowBackground());
    EXPECT_EQ(box->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));

    // The status lamp.
    auto* lamp = qobject_cast<Lamp*>(w("Shape1"));
    EXPECT_EQ(board->backColour("Shape1"), Colour::buttonFace());
    board->setBackColour("Shape1", kNoIndex, Colour::green());
    EXPECT_EQ(lamp->fill(), QColor(0, 255, 0));
    EXPECT_EQ(pixel(lamp, lamp->rect().center()), QColor(0, 255, 0));

    // Value labels.
    EXPECT_EQ(board->backColour("Label5", 1), Colour::fromRgb(255, 255, 255));
    const QColor hl = QApplication::palette().color(QPalette::HighlightedText);
    EXPECT_EQ(toQColor(board->backColour("Label2", 1)), hl);
    EXPECT_TRUE(w("Label2", 1)->autoFillBackground());
    EXPECT_EQ(w("Label8", 3)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(w("Text17", 1)->palette().color(QPalette::Text), QColor(255, 0, 0));
}

TEST_F(WindowTest, FontsShowChineseAndFrameCaptionsAreBlue)
{
    struct Case {
        const char* name;
        int index;
        double points;
        bool bold;
    };
    const Case cases[] = {
        {"Label6", 29, 9, false}, {"Label6", 14, 10.5, true}, {"Label2", 9, 9, true}, {"Command31", kNoIndex, 10.5, true},
        {"Command14", kNoIndex, 9, true}, {"Text13", kNoIndex, 10.5, true}, {"Text4", 1, 9, true},
        {"Text7", kNoIndex, 10.5, true}, {"Frame6", kNoIndex, 9, true},
    };
    for (const Case& c : cases) {
        const QFont f = w(c.name, c.index)->font();
        EXPECT_DOUBLE_EQ(f.pointSizeF(), c.points) << c.name << " " << c.index;
        EXPECT_EQ(f.bold(), c.bold) << c.name << " " << c.index;
        EXPECT_EQ(f.families().value(0), c.name == std::string("Text7") ? "NSimSun" : "SimSun") << c.name;
        // Whatever face is installed, the Chinese captions have glyphs.
        EXPECT_TRUE(QFontMetrics(f).inFont(QChar(u'轴'))) << c.name << " " << QFontInfo(f).family().toStdString();
    }

    // Some pixel of the caption "伺服状态(开/关)" is clearly blue.
    const QImage frame = w("Frame6")->grab().toImage();
    bool blue = false;
    for (int y = 0; y < 16 && !blue; ++y)
        for (int x = 0; x < 120 && !blue; ++x) {
            const QColor c = frame.pixelColor(x, y);
            blue = c.blue() > 180 && c.red() < 90 && c.green() < 90;
        }
    EXPECT_TRUE(blue);
}

TEST_F(WindowTest, TextsOfEveryKind)
{
    board->setText("Label2", 1, "12.345");
    board->setText("Command4", 0, "保存中..");
    board->setText("Combo1", kNoIndex, "03");
    board->setText("Text2", kNoIndex, "5");
    board->setText("Frame9", 0, "X");
    board->setText("Check1", kNoIndex, "Y");
    board->setText("Text18", kNoIndex, "01 03 10 00 00 24 C0 C2");
    EXPECT_EQ(qobject_cast<QLabel*>(w("Label2", 1))->text(), "12.345");
    EXPECT_EQ(qobject_cast<QPushButton*>(w("Command4", 0))->text(), QString::fromUtf8("保存中.."));
    EXPECT_EQ(qobject_cast<QComboBox*>(w("Combo1"))->currentText(), "03");
    EXPECT_EQ(board->text("Text2"), "5");
    EXPECT_EQ(qobject_cast<QGroupBox*>(w("Frame9", 0))->title(), "X");
    EXPECT_EQ(board->text("Check1"), "Y");
    EXPECT_EQ(board->text("Text18"), "01 03 10 00 00 24 C0 C2");
    // A label never reads its text as markup.
    board->setText("Label1", 2, "<b>1</b>");
    EXPECT_EQ(qobject_cast<QLabel*>(w("Label1", 2))->textFormat(), Qt::PlainText);
    EXPECT_EQ(board->text("Label1", 2), "<b>1</b>");
    // Setting a box to the text it holds leaves the operator's cursor alone.
    auto* speed = qobject_cast<QLineEdit*>(w("Text10", 0));
    speed->setCursorPosition(1);
    board->setText("Text10", 0, "1000");
    EXPECT_EQ(speed->cursorPosition(), 1);
}

// The frame boxes are replaced on every request and reply, mostly while
// their page is hidden. Whatever path the replacement takes, the box must
// hold exactly the last text, hidden or shown, whatever the operator typed
// into it, and keep no undo history of the replacements.
TEST_F(WindowTest, FrameBoxesHoldTheLastFrameHiddenOrShown)
{
    auto* tabs = qobject_cast<QTabWidget*>(w("SSTab2"));
    auto* rx = qobject_cast<QPlainTextEdit*>(w("Text19"));
    auto* tx = qobject_cast<QPlainTextEdit*>(w("Text18"));
    ASSERT_TRUE(tabs && rx && tx);
    ASSERT_FALSE(rx->isVisible()); // the start page is the program's
    const std::vector<std::string> frames = {
        "80 03 48 00 01 00 01 00 01 00 01 00 00 00 00 00 01 00 01 00 01 00 01 00 01 00 01 00 00 00 00 00 3F 2A",
        "80 03 10 00 00 24 5F 00",
        "",
        "80 10 11 40 00 02 C5 D4",
        "80 03 48 00 00", // a shorter text after a longer one
    };
    for (bool shown : {false, true}) {
        board->setValue("SSTab2", kNoIndex, shown ? 1 : 0);
        QCoreApplication::processEvents();
        ASSERT_EQ(rx->isVisible(), shown);
        // Shown after the hidden round: the boxes hold its last frame.
        if (shown) {
            EXPECT_EQ(rx->toPlainText().toStdString(), frames.back());
            EXPECT_EQ(tx->toPlainText().toStdString(), frames.back());
        }
        const QString untouched = rx->document()->toRawText();
        for (const std::string& f : frames) {
            board->setText("Text19", kNoIndex, f);
            board->setText("Text18", kNoIndex, f);
            EXPECT_EQ(board->text("Text19"), f) << (shown ? "shown" : "hidden");
            EXPECT_EQ(board->text("Text18"), f);
            if (shown) {
                EXPECT_EQ(rx->toPlainText().toStdString(), f);
                EXPECT_EQ(tx->toPlainText().toStdString(), f);
            } else {
                // Nothing laid out for a box nobody can see.
                EXPECT_EQ(rx->document()->toRawText(), untouched);
            }
        }
        EXPECT_FALSE(rx->document()->isUndoAvailable());
    }
    // Shown after hidden updates: the box paints the last frame.
    board->setValue("SSTab2", kNoIndex, 0);
    QCoreApplication::processEvents();
    board->setText("Text19", kNoIndex, "11 22 33");
    board->setValue("SSTab2", kNoIndex, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(rx->toPlainText(), "11 22 33");
    EXPECT_EQ(rx->document()->blockCount(), 1);
    // Lines the operator typed are replaced as a whole.
    rx->setFocus();
    rx->selectAll();
    QTest::keyClicks(rx, "ab");
    QTest::keyClick(rx, Qt::Key_Return);
    QTest::keyClicks(rx, "cd");
    ASSERT_EQ(rx->document()->blockCount(), 2);
    board->setText("Text19", kNoIndex, "80 03");
    EXPECT_EQ(rx->toPlainText(), "80 03");
    EXPECT_EQ(rx->document()->blockCount(), 1);
    EXPECT_FALSE(rx->document()->isUndoAvailable());
}

TEST_F(WindowTest, ValuesOfCheckBoxesAndTabs)
{
    EXPECT_EQ(board->value("Check2"), 0);
    board->setValue("Check2", kNoIndex, 1);
    board->setValue("Check3", kNoIndex, 1);
    EXPECT_EQ(board->value("Check2"), 1);
    EXPECT_TRUE(qobject_cast<QCheckBox*>(w("Check3"))->isChecked());
    board->setValue("Check2", kNoIndex, 0);
    EXPECT_EQ(board->value("Check2"), 0);

    board->setValue("SSTab1", kNoIndex, 2);
    EXPECT_EQ(board->value("SSTab1"), 2);
    board->setValue("SSTab1", kNoIndex, 9); // no such tab
    EXPECT_EQ(board->value("SSTab1"), 2);
    EXPECT_TRUE(events.calls.empty()); // values set by the core are not operator events
}

TEST_F(WindowTest, TimersRunOnlyWhenEnabledWithAnInterval)
{
    PeriodTimer* t1 = window->timer("Timer1");
    PeriodTimer* t2 = window->timer("Timer2");
    PeriodTimer* t3 = window->timer("Timer3");
#ifdef Q_OS_LINUX
    EXPECT_TRUE(t1->isKernelTimer());
#endif
    EXPECT_EQ(board->timerInterval("Timer1"), 35);
    EXPECT_EQ(board->timerInterval("Timer2"), 0);
    EXPECT_EQ(board->timerInterval("Timer3"), 100);
    EXPECT_FALSE(board->timerEnabled("Timer1"));
    EXPECT_FALSE(t1->isActive());

    board->setTimerEnabled("Timer1", true);
    EXPECT_TRUE(board->timerEnabled("Timer1"));
    EXPECT_TRUE(t1->isActive());
    board->setTimerEnabled("Timer2", true); // interval 0: never fires
    EXPECT_FALSE(t2->isActive());

    board->setTimerInterval("Timer3", 300);
    EXPECT_FALSE(t3->isActive());
    board->setTimerEnabled("Timer3", true);
    EXPECT_TRUE(t3->isActive());
    EXPECT_EQ(t3->interval(), 300);
    board->setTimerInterval("Timer3", 0);
    EXPECT_FALSE(t3->isActive());
    EXPECT_TRUE(board->timerEnabled("Timer3"));
    board->setTimerInterval("Timer3", 5);
    EXPECT_TRUE(t3->isActive());

    board->setTimerEnabled("Timer1", false);
    QTest::qWait(60);
    EXPECT_GE(events.count("timer Timer3"), 2);
    EXPECT_EQ(events.count("timer Timer1"), 0);
    EXPECT_EQ(events.count("timer Timer2"), 0);
    board->setTimerEnabled("Timer3", false);
    EXPECT_FALSE(t3->isActive());
}

TEST_F(WindowTest, ComboListIsReplacedAndTheEditTextStays)
{
    auto* combo = qobject_cast<QComboBox*>(w("Combo1"));
    board->setItems("Combo1", {"01", "03"});
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), "03");
    EXPECT_EQ(board->text("Combo1"), "01");
    board->setItems("Combo1", {});
    EXPECT_EQ(combo->count(), 0);
    EXPECT_EQ(board->text("Combo1"), "01");
    EXPECT_TRUE(events.calls.empty());
}

// The caret of a combo box's edit field blinks twice a second while the
// console sits idle at its first control: only the field repaints, not the
// box, the frame and the window behind it.
TEST_F(WindowTest, ComboEditFieldRepaintsAlone)
{
    struct PaintCounter : QObject {
        std::map<const QObject*, int> paints;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Paint) ++paints[o];
            return false;
        }
    };

    int combos = 0, shown = 0;
    for (const Control& c : layout::controls()) {
        if (c.kind != Kind::Combo) continue;
        ++combos;
        auto* combo = qobject_cast<QComboBox*>(w(c.name, c.index));
        ASSERT_NE(combo, nullptr) << id(c);
        QLineEdit* field = combo->lineEdit();
        QWidget* parent = combo->parentWidget();
        if (!combo->isVisible()) continue;
        ++shown;
        PaintCounter counter;
        std::vector<QWidget*> watched{field, combo};
        for (QWidget* p = parent; p; p = p->parentWidget()) watched.push_back(p);
        for (QWidget* x : watched) x->installEventFilter(&counter);
        QCoreApplication::processEvents(); // anything still pending
        counter.paints.clear();
        field->update(QRect(field->width() / 2, 2, 2, field->height() - 4)); // where a caret would be
        QCoreApplication::processEvents();
        for (QWidget* x : watched) x->removeEventFilter(&counter);
        EXPECT_EQ(counter.paints[field], 1) << id(c);
        for (std::size_t i = 1; i < watched.size(); ++i)
            EXPECT_EQ(counter.paints[watched[i]], 0)
                << id(c) << ": " << watched[i]->metaObject()->className() << " " << qPrintable(watched[i]->objectName());
    }
    EXPECT_GT(combos, 0);
    EXPECT_GT(shown, 0);
}

TEST_F(WindowTest, EndProgramStopsTimersAndClosesWithoutUnload)
{
    board->setTimerEnabled("Timer1", true);
    board->setTimerEnabled("Timer3", true);
    board->endProgram();
    EXPECT_TRUE(window->programEnded());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->timer("Timer1")->isActive());
    EXPECT_FALSE(window->timer("Timer3")->isActive());
    board->setTimerEnabled("Timer1", true); // nothing runs after the end
    EXPECT_FALSE(window->timer("Timer1")->isActive());
    EXPECT_EQ(events.count("unload"), 0);
    qobject_cast<QPushButton*>(w("Command14"))->click();
    EXPECT_TRUE(events.calls.empty());
}


TEST_F(WindowTest, TrafficLogIsShownFromTheCoresLogOnlyWhileItsPageIsInFront)
{
    TrafficLog log;
    const auto frame = readRequest(0x80, 0x1000, 36);
    const Request status{Slot::ReadStatus, 0x03, 0x1000, 36, 77};
    log.addRequest(status, frame, 0);
    window->setTrafficLog(&log);
    auto* view = qobject_cast<TrafficView*>(w("trafficLog"));
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(view->isVisible());
    const int before = view->rows();
    log.addHeard(status, Link::Heard::Nothing, {}, 1000);
    QTest::qWait(400); // longer than the shown view's catch-up period
    EXPECT_EQ(view->rows(), before) << "a hidden page does not follow the log";

    auto* tabs = qobject_cast<QTabWidget*>(w("SSTab2"));
    tabs->setCurrentIndex(3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->rows() == 2; }, 5000));
    EXPECT_TRUE(view->rowText(0).contains(QString::fromUtf8("发送 80 03 10 00 00 24")));
    EXPECT_TRUE(view->rowText(0).endsWith(QString::fromUtf8("读 状态块")));
    EXPECT_TRUE(view->rowText(1).endsWith(QString::fromUtf8("超时")));
    // New entries arrive while shown; a filter change starts the rows afresh.
    log.addRequest(status, frame, 2000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->rows() == 3; }, 5000));
    log.setShown(TrafficKind::Error, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->rows() == 2; }, 5000));
    window->setTrafficLog(nullptr);
}

TEST_F(WindowTest, BusyBoxAndLampSayWhatTheyShow)
{
    EXPECT_TRUE(w("Text13")->toolTip().contains(QString::fromUtf8("忙")));
    EXPECT_TRUE(w("Shape1")->toolTip().contains(QString::fromUtf8("就绪")));
}

} // namespace
} // namespace vq::test
