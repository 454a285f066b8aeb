#include "program_text.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include "widgets.h"

namespace vq {

QString rawToDisplay(const QString& raw)
{
    // Never longer than the raw text: a CR LF pair becomes one character.
    QString out(raw.size(), Qt::Uninitialized);
    QChar* o = out.data();
    const QChar* in = raw.constData();
    const qsizetype n = raw.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i].unicode();
        if (c == u'\r') {
            if (i + 1 < n && in[i + 1] == u'\n') {
                *o++ = u'\n';
                ++i;
            } else {
                *o++ = QChar(kLoneCarriageReturnSymbol);
            }
        } else if (c == u'\n') {
            *o++ = QChar(kLoneLineFeedSymbol);
        } else {
            *o++ = in[i];
        }
    }
    out.truncate(o - out.constData());
    return out;
}

QString displayToRaw(const QString& display)
{
    // At most twice as long: a line break becomes CR LF.
    QString out(display.size() * 2, Qt::Uninitialized);
    QChar* o = out.data();
    for (const QChar c : display) {
        switch (c.unicode()) {
        case u'\n':
        case QChar::ParagraphSeparator:
            *o++ = u'\r';
            *o++ = u'\n';
            break;
        case kLoneLineFeedSymbol:
            *o++ = u'\n';
            break;
        case kLoneCarriageReturnSymbol:
            *o++ = u'\r';
            break;
        default:
            *o++ = c;
        }
    }
    out.truncate(o - out.constData());
    return out;
}

QString withLineBreaks(const QString& typed)
{
    QString out;
    out.reserve(typed.size());
    const qsizetype n = typed.size();
    for (qsizetype i = 0; i < n; ++i) {
        switch (typed[i].unicode()) {
        case u'\r':
            if (i + 1 < n && typed[i + 1] == u'\n') ++i;
            out += u'\n';
            break;
        case u'\n':
        case u'\v':
        case u'\f':
        case 0x0085: // next line
        case QChar::LineSeparator:
        case QChar::ParagraphSeparator:
            out += u'\n';
            break;
        default:
            out += typed[i];
        }
    }
    return out;
}

namespace {

// The document stores inserted text as it is, apart from the characters it
// turns into block breaks. After rawToDisplay only the frame marks among
// those can remain; with them the raw text is read back from the document.
bool storedAsInserted(const QString& display)
{
    return !display.contains(QChar(0xFDD0)) && !display.contains(QChar(0xFDD1));
}

// True when every line break of the raw text is a CR LF pair and the text
// holds none of the characters the editor shows or stores differently: the
// line-end symbols, the document's paragraph separator and its frame marks.
bool breaksOnlyAtCrLf(const QString& raw)
{
    const QChar* c = raw.constData();
    const QChar* end = c + raw.size();
    for (; c != end; ++c) {
        const char16_t u = c->unicode();
        if (u >= 0x2000) {
            if (u == kLoneLineFeedSymbol || u == kLoneCarriageReturnSymbol || u == QChar::ParagraphSeparator ||
                u == 0xFDD0 || u == 0xFDD1)
                return false;
        } else if (u == u'\r') {
            if (c + 1 == end || c[1] != u'\n') return false;
            ++c;
        } else if (u == u'\n') {
            return false;
        }
    }
    return true;
}

// What QPlainTextEdit::setPlainText does, without its pass that gives the
// whole new text one character format (a tenth of the time for a long
// program), which changes nothing here: every character of the editor has
// the same format. No undo history, not modified, the cursor at the start.
void replaceWholeText(QPlainTextEdit& editor, const QString& text)
{
    QTextDocument* doc = editor.document();
    doc->setPlainText(text); // empties the undo history as well
    doc->setModified(false);
    editor.setTextCursor(QTextCursor(doc)); // at the start, and shown
}

} // namespace

QString programText(const QPlainTextEdit& editor)
{
    if (auto* program = qobject_cast<const ProgramEditor*>(&editor)) return program->rawText();
    return displayToRaw(editor.document()->toRawText());
}

void setProgramText(QPlainTextEdit& editor, const QString& raw)
{
    auto* program = qobject_cast<ProgramEditor*>(&editor);
    if (program) program->applyHeldText(); // the document must hold what rawText() says
    const QString old = programText(editor);
    if (raw == old) return;
    // A short tail (a teach-in line) is inserted at the end. A text that
    // only begins with the current one (a program file opened while the
    // editor holds its first lines, such as the default two) is a new
    // program: replaced whole, which is faster for a long text and leaves
    // no undo step back to the old one.
    if (!old.isEmpty() && raw.size() - old.size() <= old.size() && raw.startsWith(old)) {
        qsizetype keep = old.size();
        QTextCursor cursor(editor.document());
        cursor.beginEditBlock();
        cursor.movePosition(QTextCursor::End);
        if (old.endsWith(u'\r')) {
            // The old text ends with a lone CR shown as a symbol; it may pair
            // with an LF at the start of the tail to form a line break.
            cursor.deletePreviousChar();
            --keep;
        }
        const QString tail = rawToDisplay(raw.mid(keep));
        cursor.insertText(tail);
        cursor.endEditBlock();
        // What the editor now holds, read back without converting the
        // whole program again.
        if (program && storedAsInserted(tail)) program->rememberRawText(old.left(keep) + displayToRaw(tail));
        return;
    }
    if (breaksOnlyAtCrLf(raw)) {
        // The document takes each CR LF pair as one line break: the same
        // document as from the converted text, without converting a long
        // program there and back.
        replaceWholeText(editor, raw);
        if (program) program->rememberRawText(raw);
        return;
    }
    const QString display = rawToDisplay(raw);
    replaceWholeText(editor, display);
    if (program && storedAsInserted(display)) program->rememberRawText(displayToRaw(display));
}

void appendProgramText(QPlainTextEdit& editor, const QString& raw)
{
    if (raw.isEmpty()) return;
    auto* program = qobject_cast<ProgramEditor*>(&editor);
    if (program) program->applyHeldText();
    const bool rawKnown = program && program->rawTextKnown();
    QTextDocument* doc = editor.document();
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::End);
    QString tail = raw;
    // A lone CR at the end of the text so far (shown as a symbol) pairs
    // with an LF at the start of the piece to make a line break.
    if (raw.startsWith(u'\n') && doc->characterCount() >= 2 &&
        doc->characterAt(doc->characterCount() - 2) == QChar(kLoneCarriageReturnSymbol)) {
        cursor.deletePreviousChar();
        tail.prepend(u'\r');
    }
    const QString display = rawToDisplay(tail);
    cursor.insertText(display);
    doc->setUndoRedoEnabled(undo);
    if (rawKnown && storedAsInserted(display)) program->rememberAppendedRawText(raw);
}

} // namespace vq
