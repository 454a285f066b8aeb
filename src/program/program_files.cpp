#include "program_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vq {

namespace {


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

// Control bytes a program text may hold: tab, line ends, vertical tab, form
// feed and the old end-of-file mark. GBK's second bytes are all above 0x3F,
// so a control byte is one wherever it stands.
bool allowedControl(unsigned char c) { return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1A; }

std::string lastPart(const std::string& path)
{
    const auto cut = path.find_last_of('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string folderOf(const std::string& path)
{
    const auto cut = path.find_last_of('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
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

std::string reasonOf(int error)
{
    switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "磁盘已满";
    case EROFS: return "文件系统只读";
    case EACCES:
    case EPERM: return "没有权限（文件或文件夹只读）";
    case ENOENT: return "文件或文件夹不存在";
    case ENOTDIR: return "路径中有一段不是文件夹";
    case EISDIR: return "是文件夹";
    case EFBIG: return "文件超过系统允许的大小";
    case ENAMETOOLONG: return "文件名太长";
    case EIO: return "读写错误（EIO）";
    case ENXIO:
    case ENODEV: return "设备不存在";
    default: return std::string("错误 ") + std::to_string(error) + "（" + std::strerror(error) + "）";
    }
}

FileFault refusedTarget(const std::string& path, const std::string& portDevice)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {}; // not there yet (or unreachable: the open says why)
    if (!portDevice.empty()) {
        struct stat port {};
        if (::stat(portDevice.c_str(), &port) == 0 && port.st_dev == st.st_dev && port.st_ino == st.st_ino)
            return "是控制台正在使用的串口";
    }
    if (S_ISREG(st.st_mode)) return {};
    if (S_ISDIR(st.st_mode)) return "是文件夹";
    if (S_ISFIFO(st.st_mode)) return "是管道（FIFO），不是普通文件";
    if (S_ISCHR(st.st_mode)) return "是字符设备，不是普通文件";
    if (S_ISBLK(st.st_mode)) return "是块设备，不是普通文件";
    if (S_ISSOCK(st.st_mode)) return "是套接字，不是普通文件";
    return "不是普通文件";
}

std::string ProgramTextStream::feed(std::string_view bytes)
{
    if (!fault_.empty()) return {};
    std::size_t lastBreak = std::string::npos; // in bytes, just after the last CR LF
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 && !allowedControl(c)) {
            fault_ = "不是文本文件（第 " + std::to_string(lineNumber_) + " 行有控制字符）";
            return {};
        }
        if (c == '\n' && afterCr_) {
            lastBreak = i + 1;
            lineBytes_ = 0;
            ++lineNumber_;
        } else if (c != '\r' && ++lineBytes_ > kMaxProgramLineBytes) {
            fault_ = "第 " + std::to_string(lineNumber_) + " 行超过 " + std::to_string(kMaxProgramLineBytes) +
                     " 字节，不是教导程序（行尾不是 CR LF？）";
            return {};
        }
        afterCr_ = c == '\r';
    }
    seen_ += bytes.size();
    if (seen_ > kMaxProgramFileBytes) {
        fault_ = "文件超过 " + std::to_string(kMaxProgramFileBytes >> 20) + " MB 上限";
        return {};
    }
    if (lastBreak == std::string::npos) {
        pending_.append(bytes);
        return {};
    }
    std::string piece = std::move(pending_);
    piece.append(bytes.substr(0, lastBreak));
    pending_.assign(bytes.substr(lastBreak));
    return decodeProgramBytes(piece);
}

std::string ProgramTextStream::finish()
{
    if (!fault_.empty()) return {};
    std::string rest = decodeProgramBytes(pending_);
    pending_.clear();
    return rest;
}

ProgramFileReader::~ProgramFileReader() { close(); }

void ProgramFileReader::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

FileFault ProgramFileReader::open(const std::string& path, const std::string& portDevice)
{
    close();
    stream_ = ProgramTextStream();
    fault_.clear();
    if (path.empty()) return fault_ = "没有文件名";
    // Checked before the open: opening a pipe for reading waits for a
    // writer, and opening a serial device may change its line.
    fault_ = refusedTarget(path, portDevice);
    if (!fault_.empty()) return fault_;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return fault_ = reasonOf(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // Replaced by something else between the check and the open.
        ::close(fd);
        return fault_ = "不是普通文件";
    }
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxProgramFileBytes) {
        ::close(fd);
        return fault_ = "文件超过 " + std::to_string(kMaxProgramFileBytes >> 20) + " MB 上限";
    }
    fd_ = fd;
    size_ = static_cast<std::size_t>(st.st_size);
    return {};
}

std::string ProgramFileReader::step(std::size_t maxBytes)
{
    if (fd_ < 0) return {};
    std::string buffer(std::max<std::size_t>(maxBytes, 1), '\0');
    ssize_t got = 0;
    do {
        got = ::read(fd_, buffer.data(), buffer.size());
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        fault_ = reasonOf(errno);
        close();
        return {};
    }
    if (got == 0) {
        std::string rest = stream_.finish();
        close();
        return rest;
    }
    buffer.resize(static_cast<std::size_t>(got));
    std::string text = stream_.feed(buffer);
    if (!stream_.fault().empty()) {
        fault_ = stream_.fault();
        close();
    }
    return text;
}

int ProgramFileReader::percent() const
{
    if (size_ == 0) return fd_ < 0 ? 100 : 0;
    return static_cast<int>(std::min<std::size_t>(100, stream_.bytesSeen() * 100 / size_));
}

FileFault readProgramFile(const std::string& path, std::string& text, const std::string& portDevice)
{
    ProgramFileReader reader;
    if (FileFault f = reader.open(path, portDevice); !f.empty()) return f;
    std::string out;
    while (!reader.finished()) out += reader.step(std::size_t{1} << 20);
    if (!reader.fault().empty()) return reader.fault();
    text = std::move(out);
    return {};
}

FileFault writeFileAtomically(const std::string& path, std::string_view bytes)
{
    if (path.empty()) return "没有文件名";
    // A symbolic link keeps pointing where it did: its target is replaced.
    std::string target = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    std::string temp = folderOf(target) + "/." + lastPart(target) + ".velquor-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return reasonOf(errno);
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        return reasonOf(error);
    };
    // The new file keeps the old one's permissions; a new one gets the
    // usual ones for the user's mask.
    mode_t mode = 0;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) return fail(errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return reasonOf(error);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return reasonOf(error);
    }
    return {};
}

FileFault writeProgramFile(const std::string& path, std::string_view utf8Text, const std::string& portDevice)
{
    if (path.empty()) return "没有文件名";
    // Checked before anything is opened: a pipe would block the console
    // until something reads it, and a device (the serial line above all)
    // would take the program text as data.
    if (FileFault f = refusedTarget(path, portDevice); !f.empty()) return f;
    return writeFileAtomically(path, encodeProgramText(utf8Text));
}

std::string faultMessage(std::string_view what, const std::string& path, const FileFault& fault)
{
    std::string text(what);
    text += "：";
    text += path;
    text += "：";
    text += fault;
    return text;
}

std::string withTxtSuffix(const std::string& name, int chosenFilter)
{
    if (chosenFilter != 0 || name.empty()) return name;
    const std::string last = lastPart(name);
    if (last.empty() || last.find('.') != std::string::npos) return name;
    return name + ".txt";
}

void newProgram(Board& board) { board.setText(Ctl::ProgramEditor, kNoIndex, kNewProgramText); }

} // namespace vq
