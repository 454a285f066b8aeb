// The few widget variants the window needs beyond the stock Qt widgets.
#pragma once

#include <QColor>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <functional>
#include <optional>
#include <vector>

#include "link/board.h"

namespace vq {

// A push button whose caption wraps onto several lines when it is wider than
// the button (the teach-in buttons carry two-part captions such as
// "点速度 PSPEED").
class CaptionButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A label with two layouts besides the plain one; text() is always the
// caption unchanged.
// - Columns: the caption is a row of column headings separated by runs of
//   blanks ("X1:         Y1:         Z1:"); each heading is drawn at the
//   character cell it occupies in a fixed-pitch font, so the headings stand
//   in front of the boxes of their columns whatever font is installed.
// - WrapAtBlanks: the caption wraps only where it has blanks, never between
//   two Chinese characters (the alarm legend breaks before "2:").
class CaptionLabel : public QLabel {
    Q_OBJECT
public:
    enum class Layout { Plain, Columns, WrapAtBlanks };
    using QLabel::QLabel;
    void setCaptionLayout(Layout layout);
    Layout captionLayout() const { return layout_; }
    // The lines the caption is drawn in with WrapAtBlanks.
    QStringList wrappedLines() const;
    // Width in pixels of a half-width character cell: the advance of an ASCII
    // character in the designed fixed-pitch font (10.5 pt bold: 8 pixels).
    int cellWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Layout layout_ = Layout::Plain;
};

// A multi-line text box that marks lone line feeds and carriage returns
// (held as U+240A and U+240D, see program_text.h) with small drawn "LF" and
// "CR" tags, since few fonts carry those symbols.
// Every way of breaking a line makes a line break of the program (CR LF):
// Enter with or without Shift or Ctrl, and pasted or dropped text whose
// lines end in any of the Unicode line ends. A line the editor shows is a
// line the runner executes and the file keeps.
class ProgramEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ProgramEditor(QWidget* parent = nullptr);

    // The raw text the editor holds (program_text.h). A long program is read
    // whole on every Run and teach-in click, so the conversion is kept until
    // the document changes.
    QString rawText() const;
    // After an edit whose resulting raw text the caller already knows.
    void rememberRawText(const QString& raw);
    // Whether the kept raw text is that of the document now.
    bool rawTextKnown() const { return rawKnown_ && !held_; }
    // A text given while the editor was hidden, not yet in the document.
    bool holdsText() const { return held_.has_value(); }
    // After `raw` was added at the end of a document whose raw text was
    // known just before: the kept text grows in place (a long program is
    // opened piece by piece) instead of being converted again.
    void rememberAppendedRawText(const QString& raw);

    // The frame boxes: the whole text replaced in place (no new document,
    // no undo step). While the box cannot be seen (its tab page not shown)
    // only the newest text is kept, and the document takes it when the box
    // is shown: a hidden box would otherwise lay out every request and
    // reply the console sends and receives. rawText() answers with the
    // newest text either way.
    void replaceText(const QString& text);
    // Puts a text kept while hidden into the document now.
    void applyHeldText();

    // The program's own view: line numbers in a margin, the run's line and
    // the check's marks. Off for the frame boxes.
    void showProgramView();
    // The line the run is at, from 1, negative while the run is paused
    // there, 0 without a run: highlighted (green running, amber paused)
    // and scrolled into view when it changes.
    void setRunLine(int line);
    int runLine() const { return runLine_; }
    static QColor runningLineColour() { return {190, 240, 190}; }
    static QColor pausedLineColour() { return {255, 222, 130}; }
    // Wavy red underlines, each with its note as a tooltip. Marks on lines
    // the text no longer has are left out.
    void setMarks(const std::vector<TextMark>& marks);
    // The note of the mark at that line (from 0) and character of the line,
    // or an empty text.
    QString noteAt(int line, int column) const;
    // Puts the cursor at the start of a line (from 0), shown and focused.
    void goToLine(int line);
    // Width of the line-number margin (0 without the program's view).
    int lineNumberWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    friend class LineNumberMargin;
    struct Mark {
        int line;
        int from; // characters of the line, as the document counts them
        int to;
        QString note;
    };

    void replaceDocumentText(const QString& text);
    void paintLineNumbers(QPaintEvent* event);
    void placeLineNumbers();
    void showSelections();

    mutable QString raw_;
    mutable bool rawKnown_ = false;
    std::optional<QString> held_;
    QWidget* lineNumbers_ = nullptr;
    int runLine_ = 0;
    std::vector<Mark> marks_;
};

// The status lamp: a solid circle with a thin black outline.
class Lamp : public QWidget {
    Q_OBJECT
public:
    explicit Lamp(QWidget* parent = nullptr);
    void setFill(const QColor& c);
    QColor fill() const { return fill_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
};

// An editable combo box that asks its owner to refresh the list just before
// the list opens.
class DropDownCombo : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override;
};

// A tab control whose tabs share its whole width in one row, and that can
// tell where its pages start also before it is shown (the page children are
// placed from coordinates that include the tab row).
class TabControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TabControl(QWidget* parent = nullptr);
    QPoint pageOrigin() const;
};

// Side view of the arm with dimension lines, the backdrop of the mechanical
// parameter boxes.
QPixmap armPicture(const QSize& size);

// The program icon: a small arm on a round base.
QIcon appIcon();

// Caption without mnemonic markers: "&&" becomes "&", a single "&" goes.
QString withoutMnemonics(const QString& caption);

} // namespace vq
