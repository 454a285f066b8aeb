// The file commands of the "文件(&F)" menu: a fresh default program, and
// loading and storing the program text as a file in code page 936 (GBK),
// byte for byte: no byte-order mark, no added line break, no line-end
// conversion. Board texts are UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "link/board.h"

namespace vq {

inline constexpr std::string_view kNewProgramText =
    "PSPEED RPM=1000 ACC=500 DEC=500\r\nLSPEED MMS=100 ACC=10 DEC=10\r\n";
inline constexpr std::string_view kProgramFileFilter = "*.txt|*.txt|所有文件(*.*)|*.*";
inline constexpr std::string_view kOpenFileTitle = "打开文件";
inline constexpr std::string_view kSaveFileTitle = "保存文件";

enum class FileStatus {
    Done,         // the text was loaded / the file was written
    NoFileChosen, // the dialog gave no name: nothing changed
    Failed,       // nothing changed: the program text (open) or the file on disk (save)
    Opening,      // the file is being read into the editor
    Cancelled,    // the operator cancelled the open: the program is as it was
};

// Name of the codec used for program files ("GBK"; "GB18030" should this Qt
// lack GBK).
std::string_view programFileCodec();

// File bytes <-> UTF-8 text. Bytes that are not valid GBK decode to U+FFFD;
// characters GBK cannot hold encode as "?".
std::string decodeProgramBytes(std::string_view bytes);
std::string encodeProgramText(std::string_view utf8);

// Largest file taken as a program: far above any teach program (100,000
// lines are about 6 MB), far below what would hold the console up for
// minutes while the editor takes it in.
inline constexpr std::size_t kMaxProgramFileBytes = std::size_t{64} << 20;
// Longest line (between CR LF pairs) taken as a program line. The editor
// lays out a line whole: a line of a megabyte (a binary file, a long file
// with LF-only line ends) would hold the console up for a minute.
inline constexpr std::size_t kMaxProgramLineBytes = 16384;

// What went wrong with a file, in the operator's words ("磁盘已满");
// empty when nothing did.
using FileFault = std::string;

// The reason an errno stands for, as the status line says it.
std::string reasonOf(int error);

// Why the path must not be opened or written as a program file: it names a
// pipe, a device, a socket or a folder, or the serial device the console is
// using (portDevice, followed through symbolic links). Empty when the path
// is a regular file or does not exist yet.
FileFault refusedTarget(const std::string& path, const std::string& portDevice);

// Turns file bytes into program text piece by piece, as they are read: each
// piece ends after a CR LF (a byte pair GBK never splits), so it decodes
// as the whole file would. Refuses what is not a program's text: control
// bytes other than blanks and line ends, a line longer than
// kMaxProgramLineBytes, more than kMaxProgramFileBytes in all.
class ProgramTextStream {
public:
    // Decoded text of the bytes given so far, up to the last CR LF among
    // them; empty when there is none yet or after a fault.
    std::string feed(std::string_view bytes);
    // The text after the last CR LF, once the file has ended.
    std::string finish();
    const FileFault& fault() const { return fault_; }
    std::size_t bytesSeen() const { return seen_; }

private:
    std::string pending_; // bytes after the last CR LF
    std::size_t seen_ = 0;
    std::size_t lineBytes_ = 0;
    std::size_t lineNumber_ = 1;
    bool afterCr_ = false;
    FileFault fault_;
};

// Reads a program file a piece at a time, so that a long file does not hold
// up the event loop: open() checks the path and opens it, step() reads and
// decodes the next piece.
class ProgramFileReader {
public:
    ProgramFileReader() = default;
    ~ProgramFileReader();
    ProgramFileReader(const ProgramFileReader&) = delete;
    ProgramFileReader& operator=(const ProgramFileReader&) = delete;

    FileFault open(const std::string& path, const std::string& portDevice = {});
    // Reads up to maxBytes more; returns the text decoded from them (see
    // ProgramTextStream::feed), the last piece once the file has ended.
    std::string step(std::size_t maxBytes);
    bool finished() const { return fd_ < 0; }
    const FileFault& fault() const { return fault_; }
    // Share read so far, 0..100.
    int percent() const;
    void close();

private:
    int fd_ = -1;
    std::size_t size_ = 0;
    ProgramTextStream stream_;
    FileFault fault_;
};

// The decoded contents of a regular file, read at once; the reason when it
// cannot be taken as a program. Never creates a file.
FileFault readProgramFile(const std::string& path, std::string& text, const std::string& portDevice = {});

// Writes the encoded text as the whole file, atomically: the bytes go to a
// temporary file in the same folder, which is renamed over the old file only
// when everything was written and flushed, so a failure leaves the old file
// as it was. A symbolic link is followed. Pipes, devices, sockets, folders
// and the console's serial device are refused (refusedTarget).
FileFault writeProgramFile(const std::string& path, std::string_view utf8Text, const std::string& portDevice = {});
// The same for bytes that are written as they are.
FileFault writeFileAtomically(const std::string& path, std::string_view bytes);

// "保存失败：/tmp/p.txt：磁盘已满"
std::string faultMessage(std::string_view what, const std::string& path, const FileFault& fault);

// New: the program text := the default two-line program. No confirmation.
void newProgram(Board& board);
// The name with ".txt" added when the "*.txt" entry of the filter (entry 0)
// was chosen and the name's last part has no extension.
std::string withTxtSuffix(const std::string& name, int chosenFilter);

} // namespace vq
