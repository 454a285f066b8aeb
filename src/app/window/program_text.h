// The program editor keeps the program text byte for byte. The core stores it
// with CR LF line ends; the editor shows each CR LF as a line break and any
// lone LF or lone CR as a visible symbol, so that a file with other line ends
// keeps them through open, edit and save.
#pragma once

#include <QString>

class QPlainTextEdit;

namespace vq {

inline constexpr char16_t kLoneLineFeedSymbol = u'\u240A';       // ␊
inline constexpr char16_t kLoneCarriageReturnSymbol = u'\u240D'; // ␍

// Raw text → editor text: CR LF becomes '\n' (a line break in the editor),
// a lone LF becomes U+240A and a lone CR U+240D.
QString rawToDisplay(const QString& raw);

// Editor text → raw text: a line break ('\n' or the document's paragraph
// separator U+2029) becomes CR LF, U+240A becomes LF and U+240D becomes CR.
QString displayToRaw(const QString& display);

// Text typed or pasted into the editor: each line end it holds, whichever
// it is (CR LF, LF, CR, VT, FF, NEL, U+2028, U+2029), becomes one line
// break of the editor, so that it runs and is saved as CR LF.
QString withLineBreaks(const QString& typed);

// The raw text held by the editor.
QString programText(const QPlainTextEdit& editor);

// Replaces the editor's text. When the new text extends the current one by
// no more than its own length only the added tail is inserted, so appending
// a line to a long program does not lay out the whole document again.
// Otherwise the new text replaces the old one as a new program would: no
// undo history, the cursor at the start.
void setProgramText(QPlainTextEdit& editor, const QString& raw);

// Adds raw text at the end of the editor's text, without an undo step: a
// long program file arrives piece by piece, each laid out on its own.
void appendProgramText(QPlainTextEdit& editor, const QString& raw);

} // namespace vq
