#include "program_files.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace vq {

namespace {

QString pathText(const std::string& path) { return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())); }

const char* codecName()
{
    static const char* name = [] {
        for (const char* n : {"GBK", "GB18030"}) {
            if (QStringDecoder(n).isValid() && QStringEncoder(n).isValid()) return n;
        }
        return static_cast<const char*>(nullptr);
    }();
    return name;
}

bool isAscii(std::string_view bytes)
{
    unsigned char any = 0;
    for (char c : bytes) any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

// The whole file, read straight into the string that is returned; nullopt
// when it is longer than any program (kMaxProgramFileBytes).
std::optional<std::string> readAllBytes(QFile& file)
{
    const qint64 size = file.size();
    if (size < 0 || size > static_cast<qint64>(kMaxProgramFileBytes)) return std::nullopt;
    // One byte more than the size, so that the read that finds the end
    // needs no larger buffer.
    std::string bytes(static_cast<std::size_t>(size) + 1, '\0');
    std::size_t have = 0;
    for (;;) {
        // A file that grew since its size was taken is read to its end.
        if (have == bytes.size()) {
            if (have > kMaxProgramFileBytes) return std::nullopt;
            bytes.resize(bytes.size() * 2);
        }
        const qint64 got = file.read(bytes.data() + have, static_cast<qint64>(bytes.size() - have));
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        have += static_cast<std::size_t>(got);
    }
    bytes.resize(have);
    return bytes;
}

} // namespace

std::string_view programFileCodec()
{
    const char* n = codecName();
    return n ? std::string_view(n) : std::string_view("System");
}

std::string decodeProgramBytes(std::string_view bytes)
{
    // Bytes below 0x80 are ASCII in GBK, and ASCII is its own UTF-8: a
    // program without Chinese text needs no conversion.
    if (isAscii(bytes)) return std::string(bytes);
    const char* n = codecName();
    QStringDecoder decoder = n ? QStringDecoder(n) : QStringDecoder(QStringDecoder::System);
    QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return text.toStdString();
}

std::string encodeProgramText(std::string_view utf8)
{
    if (isAscii(utf8)) return std::string(utf8);
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const char* n = codecName();
    QStringEncoder encoder = n ? QStringEncoder(n) : QStringEncoder(QStringEncoder::System);
    QByteArray out = encoder.encode(text);
    return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

std::optional<std::string> readProgramFile(const std::string& path)
{
    if (path.empty()) return std::nullopt;
    QFileInfo info(pathText(path));
    // Only regular files: a missing name is not created, and a device or
    // pipe could block or never end.
    if (!info.exists() || !info.isFile()) return std::nullopt;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return std::nullopt;
    std::optional<std::string> bytes = readAllBytes(file);
    if (!bytes || file.error() != QFileDevice::NoError) return std::nullopt;
    if (isAscii(*bytes)) return bytes; // already the text: no copy of a long program
    return decodeProgramBytes(*bytes);
}

bool writeProgramFile(const std::string& path, std::string_view utf8Text)
{
    if (path.empty()) return false;
    const std::string bytes = encodeProgramText(utf8Text);
    const QString name = pathText(path);
    QFileInfo info(name);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        // A device or pipe cannot be replaced by renaming; write it in place.
        QFile device(name);
        if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
        qint64 written = device.write(bytes.data(), static_cast<qint64>(bytes.size()));
        bool ok = written == static_cast<qint64>(bytes.size()) && device.flush();
        device.close();
        return ok && device.error() == QFileDevice::NoError;
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        file.cancelWriting();
        file.commit(); // discards the temporary file
        return false;
    }
    return file.commit();
}

void newProgram(Board& board) { board.setText(Ctl::ProgramEditor, kNoIndex, kNewProgramText); }

FileStatus openProgram(Board& board, Prompts& prompts)
{
    std::string name = prompts.openFileName(kOpenFileTitle, kProgramFileFilter);
    if (name.empty()) return FileStatus::NoFileChosen;
    std::optional<std::string> text = readProgramFile(name);
    if (!text) return FileStatus::Failed;
    board.setText(Ctl::ProgramEditor, kNoIndex, *text);
    return FileStatus::Done;
}

FileStatus saveProgram(const Board& board, Prompts& prompts)
{
    std::string name = prompts.saveFileName(kSaveFileTitle, kProgramFileFilter);
    if (name.empty()) return FileStatus::NoFileChosen;
    return writeProgramFile(name, board.text(Ctl::ProgramEditor)) ? FileStatus::Done : FileStatus::Failed;
}

} // namespace vq
