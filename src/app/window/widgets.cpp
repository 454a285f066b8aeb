#include "widgets.h"

#include "program_text.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QPaintEvent>
#include <QTextLayout>

#include <cmath>

namespace vq {

QString withoutMnemonics(const QString& caption)
{
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (i + 1 < caption.size() && caption[i + 1] == u'&') {
                out += u'&';
                ++i;
            }
            continue;
        }
        out += caption[i];
    }
    return out;
}

// ---------------------------------------------------------------- buttons

void CaptionButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.text.clear();
    opt.icon = QIcon();
    p.drawControl(QStyle::CE_PushButtonBevel, opt);

    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this).adjusted(1, 0, -1, 0);
    if (isDown() || isChecked())
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &opt, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &opt, this));

    const QString caption = withoutMnemonics(text());
    if (caption.isEmpty()) return;
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTextLayout layout(caption, font());
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(area.width());
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();

    p.setPen(opt.palette.color(QPalette::ButtonText));
    p.setClipRect(rect());
    layout.draw(&p, QPointF(area.left(), area.top() + (area.height() - height) / 2));
}

// ----------------------------------------------------------------- labels

void CaptionLabel::setCaptionLayout(Layout layout)
{
    layout_ = layout;
    setWordWrap(false); // wrapping is done here, not by QLabel
    update();
}

QStringList CaptionLabel::wrappedLines() const
{
    const QFontMetrics fm(font());
    const int width = contentsRect().width();
    QStringList lines;
    QString line;
    qsizetype i = 0;
    const QString caption = text();
    while (i < caption.size()) {
        // One word and the blanks before it.
        qsizetype j = i;
        while (j < caption.size() && caption[j] == u' ') ++j;
        while (j < caption.size() && caption[j] != u' ') ++j;
        const QString piece = caption.mid(i, j - i);
        if (!line.isEmpty() && fm.horizontalAdvance(line + piece) > width) {
            lines << line;
            line = piece.trimmed();
        } else {
            line += piece;
        }
        i = j;
    }
    if (!line.isEmpty()) lines << line;
    return lines;
}

int CaptionLabel::cellWidth() const
{
    // In twips: half the em of the point size (20 twips per point), plus
    // one pixel for the emboldening of a bold face.
    const double twips = font().pointSizeF() * 10.0 + (font().bold() ? 15.0 : 0.0);
    return std::max(1, int(std::lround(twips / 15.0)));
}

void CaptionLabel::paintEvent(QPaintEvent* event)
{
    if (layout_ == Layout::Plain) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    drawFrame(&p);
    QPalette pal = palette();
    if (!isEnabled()) pal.setCurrentColorGroup(QPalette::Disabled);
    p.setPen(pal.color(foregroundRole()));
    p.setFont(font());

    const QRect area = contentsRect();
    if (layout_ == Layout::WrapAtBlanks) {
        p.drawText(area, int(alignment()), wrappedLines().join(u'\n'));
        return;
    }
    const int cell = cellWidth();
    const QString caption = text();
    int column = 0; // in half-width cells
    qsizetype i = 0;
    while (i < caption.size()) {
        if (caption[i] == u' ') {
            ++column;
            ++i;
            continue;
        }
        const qsizetype start = i;
        const int startColumn = column;
        while (i < caption.size() && caption[i] != u' ') {
            column += caption[i].unicode() < 0x80 ? 1 : 2;
            ++i;
        }
        const QRect cellRect(area.left() + startColumn * cell, area.top(), area.width(), area.height());
        p.drawText(cellRect, int(alignment() & Qt::AlignVertical_Mask) | Qt::AlignLeft, caption.mid(start, i - start));
    }
}

// ---------------------------------------------------------- program editor

ProgramEditor::ProgramEditor(QWidget* parent) : QPlainTextEdit(parent)
{
    // Any change, the operator's typing included, makes the kept text stale.
    connect(document(), &QTextDocument::contentsChange, this, [this] { rawKnown_ = false; });
}

QString ProgramEditor::rawText() const
{
    if (held_) return *held_;
    if (!rawKnown_) {
        // toRawText keeps every character; toPlainText would turn no-break
        // spaces into blanks.
        raw_ = displayToRaw(document()->toRawText());
        rawKnown_ = true;
    }
    return raw_;
}

void ProgramEditor::rememberRawText(const QString& raw)
{
    raw_ = raw;
    rawKnown_ = true;
}

void ProgramEditor::rememberAppendedRawText(const QString& raw)
{
    raw_.append(raw);
    rawKnown_ = true;
}

void ProgramEditor::replaceText(const QString& text)
{
    if (!isVisible()) {
        held_ = text;
        return;
    }
    held_.reset();
    replaceDocumentText(text);
}

void ProgramEditor::applyHeldText()
{
    if (!held_) return;
    const QString text = std::move(*held_);
    held_.reset();
    replaceDocumentText(text);
}

void ProgramEditor::keyPressEvent(QKeyEvent* event)
{
    // Shift+Enter would put a line separator (U+2028) into the line: shown
    // as a break, but neither run nor saved as one.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers breaking = Qt::ShiftModifier | Qt::ControlModifier | Qt::KeypadModifier;
    if (enter && !isReadOnly() && (event->modifiers() & ~breaking) == Qt::NoModifier) {
        QTextCursor cursor = textCursor();
        cursor.insertBlock();
        setTextCursor(cursor);
        ensureCursorVisible();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void ProgramEditor::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText() || isReadOnly()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor cursor = textCursor();
    cursor.insertText(withLineBreaks(source->text()));
    setTextCursor(cursor);
    ensureCursorVisible();
}

void ProgramEditor::showEvent(QShowEvent* event)
{
    applyHeldText(); // laid out before the first paint
    QPlainTextEdit::showEvent(event);
}

// setPlainText would make a new document and lay the line out (text
// shaping) every time. Replacing the text through a cursor placed by
// position does neither: the line is laid out only when the box is
// painted. Undo is off so the replacements do not pile up.
void ProgramEditor::replaceDocumentText(const QString& text)
{
    QTextDocument* doc = document();
    if (doc->isUndoRedoEnabled()) doc->setUndoRedoEnabled(false);
    if (doc->toRawText() == text) return;
    QTextCursor cursor(doc);
    cursor.beginEditBlock(); // inside an edit block the cursor does not ask for its x position
    cursor.setPosition(0);
    cursor.setPosition(doc->characterCount() - 1, QTextCursor::KeepAnchor);
    cursor.insertText(text);
    cursor.endEditBlock();
}

void ProgramEditor::paintEvent(QPaintEvent* event)
{
    QPlainTextEdit::paintEvent(event);
    QPainter p(viewport());
    QFont tagFont = font();
    tagFont.setPointSizeF(std::max(5.0, font().pointSizeF() * 0.55));
    tagFont.setBold(false);
    p.setFont(tagFont);
    const QRect clip = event->rect();
    const QPointF offset = contentOffset();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF area = blockBoundingGeometry(block).translated(offset);
        if (area.top() > clip.bottom()) break;
        if (!block.isVisible() || area.bottom() < clip.top()) continue;
        const QString text = block.text();
        for (int i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (c != kLoneLineFeedSymbol && c != kLoneCarriageReturnSymbol) continue;
            const QTextLine line = block.layout()->lineForTextPosition(i);
            if (!line.isValid()) continue;
            const qreal x1 = line.cursorToX(i), x2 = line.cursorToX(i + 1);
            const QRectF glyph(area.left() + x1, area.top() + line.y(), std::max<qreal>(x2 - x1, 8), line.height());
            const QRectF tag = glyph.adjusted(0.5, 2.5, -0.5, -2.5);
            p.setPen(QColor(120, 120, 120));
            p.setBrush(QColor(232, 232, 232));
            p.drawRoundedRect(tag, 2, 2);
            p.setPen(QColor(60, 60, 60));
            p.drawText(tag, Qt::AlignCenter, c == kLoneLineFeedSymbol ? QStringLiteral("LF") : QStringLiteral("CR"));
        }
    }
}

// The margin left of the program that numbers its lines from 1, as the
// run status and the check's list count them.
class LineNumberMargin : public QWidget {
public:
    explicit LineNumberMargin(ProgramEditor* editor) : QWidget(editor), editor_(editor) {}

protected:
    void paintEvent(QPaintEvent* event) override { editor_->paintLineNumbers(event); }

private:
    ProgramEditor* editor_;
};

void ProgramEditor::showProgramView()
{
    if (lineNumbers_) return;
    lineNumbers_ = new LineNumberMargin(this);
    lineNumbers_->setObjectName(QStringLiteral("lineNumbers"));
    // Room for the highest line number a program can have (32 767): the
    // text area keeps one width whatever the length of the program.
    setViewportMargins(lineNumberWidth(), 0, 0, 0);
    connect(this, &QPlainTextEdit::updateRequest, lineNumbers_, [this](const QRect& rect, int dy) {
        if (dy != 0) lineNumbers_->scroll(0, dy);
        else lineNumbers_->update(0, rect.y(), lineNumbers_->width(), rect.height());
    });
    placeLineNumbers();
    lineNumbers_->show();
}

int ProgramEditor::lineNumberWidth() const
{
    if (!lineNumbers_) return 0;
    return fontMetrics().horizontalAdvance(QLatin1Char('9')) * 5 + 10;
}

void ProgramEditor::placeLineNumbers()
{
    if (!lineNumbers_) return;
    const QRect area = viewport()->geometry();
    lineNumbers_->setGeometry(area.left() - lineNumberWidth(), area.top(), lineNumberWidth(), area.height());
}

void ProgramEditor::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    placeLineNumbers();
}

void ProgramEditor::paintLineNumbers(QPaintEvent* event)
{
    QPainter p(lineNumbers_);
    p.fillRect(event->rect(), QColor(240, 240, 240));
    p.setPen(QColor(200, 200, 200));
    p.drawLine(lineNumbers_->width() - 1, event->rect().top(), lineNumbers_->width() - 1, event->rect().bottom());
    QFont numberFont = font();
    numberFont.setBold(false);
    p.setFont(numberFont);
    const int width = lineNumbers_->width() - 6;
    const QPointF offset = contentOffset();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF area = blockBoundingGeometry(block).translated(offset);
        if (area.top() > event->rect().bottom()) break;
        if (!block.isVisible() || area.bottom() < event->rect().top()) continue;
        const int number = block.blockNumber() + 1;
        const bool atRun = runLine_ != 0 && number == std::abs(runLine_);
        if (atRun) p.fillRect(QRectF(0, area.top(), lineNumbers_->width() - 1, area.height()),
                              runLine_ > 0 ? runningLineColour() : pausedLineColour());
        p.setPen(atRun ? QColor(0, 0, 0) : QColor(130, 130, 130));
        p.drawText(QRectF(0, area.top(), width, fontMetrics().height()), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(number));
    }
}

void ProgramEditor::setRunLine(int line)
{
    if (line == runLine_) return;
    const bool moved = std::abs(line) != std::abs(runLine_);
    runLine_ = line;
    showSelections();
    if (lineNumbers_) lineNumbers_->update();
    if (line == 0 || !moved) return;
    // Kept in view: a line outside the visible ones is brought to the middle.
    const int number = std::abs(line) - 1;
    const int first = firstVisibleBlock().blockNumber();
    const int visible = std::max(1, viewport()->height() / std::max(1, fontMetrics().lineSpacing()));
    if (number < first || number >= first + visible - 1)
        verticalScrollBar()->setValue(std::max(0, number - visible / 2));
}

void ProgramEditor::setMarks(const std::vector<TextMark>& marks)
{
    marks_.clear();
    marks_.reserve(marks.size());
    for (const TextMark& m : marks) {
        const QTextBlock block = document()->findBlockByNumber(m.line);
        if (!block.isValid()) continue;
        // Columns come as bytes of the line's UTF-8 text.
        const QByteArray utf8 = block.text().toUtf8();
        auto chars = [&](int bytes) {
            return int(QString::fromUtf8(utf8.constData(), std::clamp<qsizetype>(bytes, 0, utf8.size())).size());
        };
        marks_.push_back({m.line, chars(m.begin), chars(m.end), QString::fromStdString(m.note)});
    }
    showSelections();
}

QString ProgramEditor::noteAt(int line, int column) const
{
    for (const Mark& m : marks_)
        if (m.line == line && column >= m.from && column <= std::max(m.to, m.from + 1)) return m.note;
    return {};
}

void ProgramEditor::showSelections()
{
    QList<QTextEdit::ExtraSelection> selections;
    if (runLine_ != 0) {
        const QTextBlock block = document()->findBlockByNumber(std::abs(runLine_) - 1);
        if (block.isValid()) {
            QTextEdit::ExtraSelection run;
            run.cursor = QTextCursor(block);
            run.format.setBackground(runLine_ > 0 ? runningLineColour() : pausedLineColour());
            run.format.setProperty(QTextFormat::FullWidthSelection, true);
            selections << run;
        }
    }
    for (const Mark& m : marks_) {
        const QTextBlock block = document()->findBlockByNumber(m.line);
        if (!block.isValid()) continue;
        const int length = block.length() - 1;
        const int from = std::min(m.from, length);
        const int to = std::min(std::max(m.to, from + 1), length);
        if (to <= from) continue;
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(block);
        mark.cursor.setPosition(block.position() + from);
        mark.cursor.setPosition(block.position() + to, QTextCursor::KeepAnchor);
        mark.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        mark.format.setUnderlineColor(QColor(230, 0, 0));
        selections << mark;
    }
    setExtraSelections(selections);
}

void ProgramEditor::goToLine(int line)
{
    const QTextBlock block = document()->findBlockByNumber(line);
    if (!block.isValid()) return;
    setTextCursor(QTextCursor(block));
    centerCursor();
    setFocus();
}

bool ProgramEditor::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && !marks_.empty()) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QTextCursor at = cursorForPosition(help->pos());
        const QString note = noteAt(at.blockNumber(), at.positionInBlock());
        if (note.isEmpty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), note, viewport());
        return true;
    }
    return QPlainTextEdit::viewportEvent(event);
}

// ------------------------------------------------------------------- lamp

Lamp::Lamp(QWidget* parent) : QWidget(parent), fill_(palette().color(QPalette::Button)) {}

void Lamp::setFill(const QColor& c)
{
    fill_ = c;
    update();
}

void Lamp::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(fill_);
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

// ------------------------------------------------------------------ combo

void DropDownCombo::showPopup()
{
    if (beforePopup) beforePopup();
    QComboBox::showPopup();
}

// ------------------------------------------------------------ tab control

namespace {

class EqualTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int index) const override
    {
        QSize s = QTabBar::tabSizeHint(index);
        if (const QWidget* tabs = parentWidget(); tabs && count() > 0) s.setWidth(std::max(1, (tabs->width() - 2) / count()));
        return s;
    }
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
};

} // namespace

TabControl::TabControl(QWidget* parent) : QTabWidget(parent)
{
    auto* bar = new EqualTabBar(this);
    bar->setUsesScrollButtons(false);
    bar->setExpanding(false);
    setTabBar(bar);
}

QPoint TabControl::pageOrigin() const
{
    QStyleOptionTabWidgetFrame opt;
    initStyleOption(&opt);
    return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &opt, this).topLeft();
}

// --------------------------------------------------------------- pictures

namespace {

void drawJoint(QPainter& p, QPointF at, qreal r)
{
    p.setPen(QPen(QColor(40, 40, 48), 1.5));
    p.setBrush(QColor(70, 74, 86));
    p.drawEllipse(at, r, r);
    p.setBrush(QColor(235, 235, 240));
    p.drawEllipse(at, r * 0.45, r * 0.45);
}

void drawLink(QPainter& p, QPointF a, QPointF b, qreal width, const QColor& colour)
{
    p.setPen(QPen(colour.darker(140), width + 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(a, b);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(a, b);
}

} // namespace

QPixmap armPicture(const QSize& size)
{
    // Drawn on a 288 x 269 grid (the picture's size at 96 dpi) and scaled.
    QPixmap pm(size);
    pm.fill(QColor(246, 248, 251));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size.width() / 288.0, size.height() / 269.0);

    const QColor steel(86, 128, 188);
    const QPointF base(125, 236), shoulder(125, 170), elbow(125, 48), wrist(196, 48), flange(214, 48);

    // Floor and base.
    p.setPen(QPen(QColor(120, 120, 120), 1));
    for (int x = 84; x < 286; x += 8) p.drawLine(QPointF(x, 262), QPointF(x - 6, 268));
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.drawLine(QPointF(80, 262), QPointF(286, 262));
    QPainterPath plinth;
    plinth.moveTo(92, 262);
    plinth.lineTo(100, 236);
    plinth.lineTo(150, 236);
    plinth.lineTo(158, 262);
    plinth.closeSubpath();
    p.setPen(QPen(QColor(40, 40, 48), 1.5));
    p.setBrush(QColor(92, 96, 108));
    p.drawPath(plinth);

    // Links.
    drawLink(p, base, shoulder, 16, steel.darker(110));
    drawLink(p, shoulder, elbow, 13, steel);
    drawLink(p, elbow, wrist, 11, steel.lighter(112));
    drawLink(p, wrist, flange, 7, steel.lighter(125));

    // Gripper.
    p.setPen(QPen(QColor(40, 40, 48), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(flange + QPointF(0, -9), flange + QPointF(0, 9));
    p.drawLine(flange + QPointF(0, -9), flange + QPointF(10, -9));
    p.drawLine(flange + QPointF(0, 9), flange + QPointF(10, 9));

    drawJoint(p, base + QPointF(0, -4), 7);
    drawJoint(p, shoulder, 9);
    drawJoint(p, elbow, 8);
    drawJoint(p, wrist, 6);

    // Dimension leaders from the parameter boxes (left column and upper
    // right) to the parts they measure.
    QPen dim(QColor(150, 60, 60), 1, Qt::DashLine);
    p.setPen(dim);
    p.setBrush(QColor(150, 60, 60));
    auto leader = [&](QPointF from, QPointF to) {
        p.drawLine(from, to);
        p.drawEllipse(to, 2, 2);
    };
    leader(QPointF(72, 18), QPointF(112, 40));   // top box: height of the forearm
    leader(QPointF(72, 66), QPointF(116, 56));   // elbow offset
    leader(QPointF(72, 98), QPointF(116, 110));  // upper arm
    leader(QPointF(72, 194), QPointF(114, 178)); // shoulder height
    leader(QPointF(72, 242), QPointF(98, 246));  // base
    leader(QPointF(240, 62), QPointF(204, 52));  // right box: forearm reach

    // Dimension arrows: forearm length above the forearm.
    p.setPen(QPen(QColor(150, 60, 60), 1));
    p.drawLine(QPointF(125, 24), QPointF(214, 24));
    p.drawLine(QPointF(125, 20), QPointF(125, 28));
    p.drawLine(QPointF(214, 20), QPointF(214, 28));
    return pm;
}

QIcon appIcon()
{
    QIcon icon;
    for (int side : {16, 32, 48}) {
        QPixmap pm(side, side);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(side / 32.0, side / 32.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 64, 76));
        p.drawRoundedRect(QRectF(5, 25, 16, 5), 1.5, 1.5);
        const QColor steel(40, 110, 200);
        drawLink(p, QPointF(13, 25), QPointF(13, 17), 5, steel);
        drawLink(p, QPointF(13, 17), QPointF(21, 7), 4, steel);
        drawLink(p, QPointF(21, 7), QPointF(27, 12), 3, QColor(235, 140, 30));
        p.setPen(QPen(QColor(30, 30, 30), 1.5));
        p.setBrush(QColor(240, 240, 240));
        p.drawEllipse(QPointF(13, 17), 2.2, 2.2);
        p.drawEllipse(QPointF(21, 7), 2.0, 2.0);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace vq
