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

namespace {

// The document stores inserted text as it is, apart from the characters it
// turns into block breaks. After rawToDisplay only the frame marks among
// those can remain; with them the raw text is read back from the document.
bool storedAsInserted(const QString& display)
{
    return !display.contains(QChar(0xFDD0)) && !display.contains(QChar(0xFDD1));
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
    if (!old.isEmpty() && raw.startsWith(old)) {
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
    const QString display = rawToDisplay(raw);
    editor.setPlainText(display);
    if (program && storedAsInserted(display)) program->rememberRawText(displayToRaw(display));
}

} // namespace vq
