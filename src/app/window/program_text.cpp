#include "program_text.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace vq {

QString rawToDisplay(const QString& raw)
{
    QString out;
    out.reserve(raw.size());
    const qsizetype n = raw.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = raw[i];
        if (c == u'\r') {
            if (i + 1 < n && raw[i + 1] == u'\n') {
                out += u'\n';
                ++i;
            } else {
                out += QChar(kLoneCarriageReturnSymbol);
            }
        } else if (c == u'\n') {
            out += QChar(kLoneLineFeedSymbol);
        } else {
            out += c;
        }
    }
    return out;
}

QString displayToRaw(const QString& display)
{
    QString out;
    out.reserve(display.size() + display.size() / 16);
    for (const QChar c : display) {
        switch (c.unicode()) {
        case u'\n':
        case QChar::ParagraphSeparator:
            out += u"\r\n";
            break;
        case kLoneLineFeedSymbol:
            out += u'\n';
            break;
        case kLoneCarriageReturnSymbol:
            out += u'\r';
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString programText(const QPlainTextEdit& editor)
{
    // toRawText keeps every character; toPlainText would turn no-break
    // spaces into blanks.
    return displayToRaw(editor.document()->toRawText());
}

void setProgramText(QPlainTextEdit& editor, const QString& raw)
{
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
        cursor.insertText(rawToDisplay(raw.mid(keep)));
        cursor.endEditBlock();
        return;
    }
    editor.setPlainText(rawToDisplay(raw));
}

} // namespace vq
