// Pieces of the window that stand alone: line-end mapping of the program
// editor, the file filter, captions, and the screenshot.
#include "test_window_support.h"

#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include "app/window/program_text.h"
#include "app/window/qt_prompts.h"
#include "app/window/widgets.h"

namespace vq::test {
namespace {

TEST(ProgramText, RawAndDisplayMapBothWays)
{
    struct Case {
        QString raw;
        QString display;
    };
    const QString lf{QChar(kLoneLineFeedSymbol)};
    const QString cr{QChar(kLoneCarriageReturnSymbol)};
    const Case cases[] = {
        {"", ""},
        {"PSPEED RPM=1000\r\nEND\r\n", "PSPEED RPM=1000\nEND\n"},
        {"A\nB\n", "A" + lf + "B" + lf},
        {"A\rB", "A" + cr + "B"},
        {"A\r\nB", "A\nB"},
        {"\r\r\n", cr + "\n"},
        {"\n\r", lf + cr},
        {"\r\n\r\n", "\n\n"},
        {QString::fromUtf8("程序\r\n第二行"), QString::fromUtf8("程序\n第二行")},
        {QString("a") + QChar(0xA0) + "b\t", QString("a") + QChar(0xA0) + "b\t"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rawToDisplay(c.raw), c.display) << c.raw.toStdString();
        EXPECT_EQ(displayToRaw(c.display), c.raw) << c.raw.toStdString();
    }
    // The document's own paragraph separator is a line break too.
    EXPECT_EQ(displayToRaw(QString("A") + QChar(QChar::ParagraphSeparator) + "B"), QString("A\r\nB"));
}

TEST(ProgramText, EditorKeepsTheBytes)
{
    QPlainTextEdit editor;
    const QString cases[] = {
        "PSPEED RPM=1000 ACC=500 DEC=500\r\nLSPEED MMS=100 ACC=10 DEC=10\r\n",
        "MOVJ J1=0\nMOVJ J1=1\n",      // LF only: one line for the runner
        "MOVJ J1=0\rEND\r",            // CR only
        "MOVJ J1=0\r\nEND",            // no final line end
        QString::fromUtf8("延迟\r\n\r\n\r\n"),
        QString("a") + QChar(0xA0) + QChar(0x2028) + "b", // no-break space and line separator kept
        "",
    };
    for (const QString& raw : cases) {
        setProgramText(editor, raw);
        EXPECT_EQ(programText(editor), raw) << raw.toStdString();
    }
}

// Texts whose breaks are all CR LF go into the document as they are, the
// others through rawToDisplay: either way the editor must end up with the
// lines of the converted text, and report what its document holds.
TEST(ProgramText, DocumentHoldsTheConvertedLinesWhicheverWayTheTextWentIn)
{
    const QString cases[] = {
        "PSPEED RPM=1000\r\nEND\r\n",
        "A\r\n\r\nB",
        "\r\n",
        "A\r\nB\n",          // one lone LF
        "A\rB\r\n",          // one lone CR
        "A\r\nB\r",          // a lone CR at the very end
        QString("A\r\n") + QChar(kLoneLineFeedSymbol) + "B",       // the symbols as text
        QString("A\r\n") + QChar(kLoneCarriageReturnSymbol),
        QString("A") + QChar(QChar::ParagraphSeparator) + "B\r\n", // a break the document makes itself
        QString("A") + QChar(0x2028) + QChar(0xA0) + "B\r\n",
        QString::fromUtf8("程序\r\n第二行\r\n"),
    };
    for (const QString& raw : cases) {
        for (bool program : {false, true}) {
            std::unique_ptr<QPlainTextEdit> editor =
                program ? std::make_unique<ProgramEditor>() : std::make_unique<QPlainTextEdit>();
            setProgramText(*editor, "old\r\n");
            setProgramText(*editor, raw);
            QString lines = rawToDisplay(raw);
            lines.replace(u'\n', QChar(QChar::ParagraphSeparator));
            EXPECT_EQ(editor->document()->toRawText(), lines) << raw.toStdString() << " program " << program;
            EXPECT_EQ(programText(*editor), displayToRaw(editor->document()->toRawText()))
                << raw.toStdString() << " program " << program;
        }
    }
}

// A new program as after QPlainTextEdit::setPlainText: nothing to undo (the
// operator's edits of the old program are gone), not modified, the cursor
// on the first line and the view at the top.
TEST(ProgramText, ANewProgramStartsAtItsTopWithNoUndo)
{
    QString longText;
    for (int i = 0; i < 400; ++i) longText += QStringLiteral("MOVJ J1=%1\r\n").arg(i);
    struct Case {
        const char* name;
        QString text;
        bool extendsOld; // the new program begins with the whole old text
    };
    const Case cases[] = {
        {"as it is", longText, false},
        {"converted", longText + "A\nB", false},
        {"beginning with the old text", "\r\n" + longText + longText, true},
    };
    for (const Case& c : cases) {
        ProgramEditor editor;
        editor.resize(300, 200);
        editor.show();
        setProgramText(editor, "DELAY MS=1\r\n" + longText);
        QCoreApplication::processEvents();
        editor.moveCursor(QTextCursor::End);
        editor.textCursor().insertText("typed"); // the operator's edit
        QCoreApplication::processEvents();
        ASSERT_TRUE(editor.document()->isUndoAvailable());
        ASSERT_GT(editor.verticalScrollBar()->value(), 0);

        const QString raw = c.extendsOld ? programText(editor) + c.text : c.text;
        SCOPED_TRACE(c.name);
        setProgramText(editor, raw);
        QCoreApplication::processEvents();
        EXPECT_FALSE(editor.document()->isUndoAvailable());
        EXPECT_FALSE(editor.document()->isModified());
        EXPECT_EQ(editor.textCursor().position(), 0);
        EXPECT_EQ(editor.verticalScrollBar()->value(), 0);
        EXPECT_EQ(programText(editor), raw);
        // Typing goes on from there, and can be undone again.
        editor.textCursor().insertText("X");
        EXPECT_TRUE(editor.document()->isUndoAvailable());
        EXPECT_EQ(programText(editor), "X" + raw);
    }
}

TEST(ProgramText, AppendingInsertsOnlyTheTail)
{
    QPlainTextEdit editor;
    QString raw;
    for (int i = 0; i < 10000; ++i) raw += QStringLiteral("MOVJ J1=%1 J2=0 J3=0 J4=0 J5=0 J6=0\r\n").arg(i);
    setProgramText(editor, raw);
    ASSERT_EQ(editor.document()->blockCount(), 10001);

    int changeAt = -1, removed = -1;
    QObject::connect(editor.document(), &QTextDocument::contentsChange, [&](int pos, int rem, int) {
        if (changeAt < 0) {
            changeAt = pos;
            removed = rem;
        }
    });
    const QString added = raw + "END\r\n";
    setProgramText(editor, added);
    EXPECT_EQ(programText(editor), added);
    EXPECT_GT(changeAt, 0); // not a reset of the whole document
    EXPECT_EQ(removed, 0);

    // A tail that completes a lone CR into a line break.
    setProgramText(editor, "END\r");
    setProgramText(editor, "END\r\nMOVJ");
    EXPECT_EQ(programText(editor), "END\r\nMOVJ");
    EXPECT_EQ(editor.document()->blockCount(), 2);

    // Not an extension: replaced as a whole.
    setProgramText(editor, "DELAY MS=1\r\n");
    EXPECT_EQ(programText(editor), "DELAY MS=1\r\n");
}

// A file opened piece by piece: the editor's kept raw text grows with each
// piece and stays what its document holds, also where a piece ends inside a
// CR LF pair or with a lone CR.
TEST(ProgramText, PiecesAppendedKeepTheBytes)
{
    const std::vector<std::vector<QString>> cases = {
        {"MOVJ J1=0\r", "\nEND\r\n"},
        {"DELAY MS=1\r", "DELAY MS=2\n", "\r\n", "END"},
        {"a\r\n", QString("b") + QChar(0xA0) + QChar(0x2028) + "\r\n", QString::fromUtf8("延迟\r\n")},
    };
    for (const auto& pieces : cases) {
        ProgramEditor editor;
        setProgramText(editor, pieces[0]);
        QString all = pieces[0];
        for (std::size_t i = 1; i < pieces.size(); ++i) {
            appendProgramText(editor, pieces[i]);
            all += pieces[i];
            EXPECT_EQ(programText(editor), all);
            EXPECT_EQ(displayToRaw(editor.document()->toRawText()), all);
        }
    }
}

TEST(QtFileFilter, PairsBecomeQtFilters)
{
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"*.txt|*.txt|所有文件(*.*)|*.*", "*.txt (*.txt);;所有文件(*.*) (*)"},
        {"Text|*.txt;*.log", "Text (*.txt *.log)"},
        {"All|*.*", "All (*)"},
        {"Odd", "Odd (*)"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(qtFileFilter(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
}

TEST(Captions, MnemonicMarkersAreNotShown)
{
    EXPECT_EQ(withoutMnemonics("文件(&F)"), QString::fromUtf8("文件(F)"));
    EXPECT_EQ(withoutMnemonics("A&&B"), QString("A&B"));
    EXPECT_EQ(withoutMnemonics(" 结束   END"), QString::fromUtf8(" 结束   END"));
}

TEST_F(WindowTest, AlarmLegendBreaksBeforeTheSecondHalf)
{
    auto* legend = qobject_cast<CaptionLabel*>(w("Label8", 0));
    ASSERT_NE(legend, nullptr);
    const QStringList lines = legend->wrappedLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QString::fromUtf8("提示 0:正常,1:电压过低,"));
    EXPECT_EQ(lines[1], QString::fromUtf8("2:温度过高，3:过载"));
    EXPECT_EQ(legend->text(), QString::fromUtf8("提示 0:正常,1:电压过低,        2:温度过高，3:过载"));
}

TEST_F(WindowTest, ColumnHeadingsUseTheDesignedCellWidth)
{
    auto* heading = qobject_cast<CaptionLabel*>(w("Label6", 59));
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(heading->captionLayout(), CaptionLabel::Layout::Columns);
    EXPECT_EQ(heading->cellWidth(), 8); // 10.5 pt bold: 120 twips
    // "Y1:" begins twelve cells in, just before the box Text11 2.
    const int y1 = heading->geometry().left() + 12 * heading->cellWidth();
    EXPECT_LE(y1 + 3 * heading->cellWidth(), w("Text11", 2)->geometry().left());
    EXPECT_GE(y1, w("Text11", 1)->geometry().right());
}

TEST_F(WindowTest, ScreenshotIsAPictureOfTheWholeWindow)
{
    QTemporaryDir dir;
    const QString path = qEnvironmentVariableIsSet("VELQUOR_WINDOW_PNG") ? qEnvironmentVariable("VELQUOR_WINDOW_PNG")
                                                                          : dir.filePath("window.png");
    ASSERT_TRUE(saveWindowScreenshot(*window, path));
    QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(image.width(), 1181); // 17715 twips
    EXPECT_GE(image.height(), 716); // 10740 twips, plus the menu bar
    EXPECT_FALSE(saveWindowScreenshot(*window, dir.filePath("no/such/folder/window.png")));

    if (qEnvironmentVariableIsSet("VELQUOR_WINDOW_PNG")) { // pictures of every tab page, for looking at
        for (const char* name : {"SSTab1", "SSTab2"}) {
            auto* tabs = qobject_cast<QTabWidget*>(w(name));
            for (int i = 0; i < tabs->count(); ++i) {
                tabs->setCurrentIndex(i);
                tabs->grab().save(QStringLiteral("%1.%2_%3.png").arg(path).arg(name).arg(i));
            }
        }
    }
}

} // namespace
} // namespace vq::test

namespace vq::test {
namespace {

// Answers the next modal dialog once it is open and records what it showed.
struct ModalAnswer {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QStringList filters;

    void arm(std::function<void(QWidget*)> answer)
    {
        QTimer::singleShot(0, [this, answer] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return;
            title = modal->windowTitle();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                text = box->text();
                icon = box->icon();
                buttons = box->standardButtons();
            }
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) filters = dialog->nameFilters();
            answer(modal);
        });
    }
};

TEST_F(WindowTest, PromptsShowTheirQuestionAndReturnTheAnswer)
{
    QtPrompts prompts(window.get());
    ModalAnswer seen;

    seen.arm([](QWidget* m) { static_cast<QMessageBox*>(m)->button(QMessageBox::Ok)->click(); });
    prompts.warn("没有当前串口,检查设置是否正确！", "警告!");
    EXPECT_EQ(seen.title, QString::fromUtf8("警告!"));
    EXPECT_EQ(seen.text, QString::fromUtf8("没有当前串口,检查设置是否正确！"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    for (const bool yes : {true, false}) {
        seen.arm([yes](QWidget* m) {
            static_cast<QMessageBox*>(m)->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        EXPECT_EQ(prompts.askYesNo("是否设置机械臂原点?", "提示"), yes);
        EXPECT_EQ(seen.icon, QMessageBox::Information);
        EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(seen.title, QString::fromUtf8("提示"));
    }

    seen.arm([](QWidget* m) { static_cast<QDialog*>(m)->reject(); });
    EXPECT_EQ(prompts.openFileName("打开文件", "*.txt|*.txt|所有文件(*.*)|*.*"), "");
    EXPECT_EQ(seen.title, QString::fromUtf8("打开文件"));
    EXPECT_EQ(seen.filters, (QStringList{"*.txt (*.txt)", QString::fromUtf8("所有文件(*.*) (*)")}));

    QTemporaryDir dir;
    const QString chosen = dir.filePath("程序.txt");
    seen.arm([chosen](QWidget* m) {
        auto* dialog = static_cast<QFileDialog*>(m);
        dialog->selectFile(chosen);
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(prompts.saveFileName("保存文件", "*.txt|*.txt|所有文件(*.*)|*.*"), chosen.toStdString());
    EXPECT_EQ(seen.title, QString::fromUtf8("保存文件"));
}

} // namespace
} // namespace vq::test
