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

// The decoded contents of an existing regular file; nullopt when the file
// does not exist, is not a regular file, is longer than
// kMaxProgramFileBytes or cannot be read. Never creates a file.
std::optional<std::string> readProgramFile(const std::string& path);

// Writes the encoded text as the whole file. A regular (or not yet existing)
// file is replaced atomically: the bytes go to a temporary file in the same
// folder, which is renamed over the old file only when everything was
// written, so a failure leaves the old file as it was. A target that exists
// but is not a regular file (a device) is written in place. False on any
// failure.
bool writeProgramFile(const std::string& path, std::string_view utf8Text);

// New: the program text := the default two-line program. No confirmation.
void newProgram(Board& board);
// Open: asks for a name ("打开文件"); the program text := the file's text.
// Failures change nothing and show no message.
FileStatus openProgram(Board& board, Prompts& prompts);
// Save: asks for a name ("保存文件"); writes the program text. Failures show no
// message and keep the old file.
FileStatus saveProgram(const Board& board, Prompts& prompts);

} // namespace vq
