// The saved port: any text in the settings file reads without harm, as a
// port text without NUL that names a device or nothing, and a port text
// stored reads back as it was stored.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#include "fuzz_check.h"
#include "link/ports.h"
#include "link/saved_port.h"

namespace {


// The settings live in a folder of this run's own.
const std::string& settingsFile()
{
    static const std::string file = [] {
        const QString dir = QDir::tempPath() + QStringLiteral("/velquor-fuzz-settings-%1").arg(QCoreApplication::applicationPid());
        QDir().mkpath(dir + QStringLiteral("/Comm"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir);
        return (dir + QStringLiteral("/Comm/Registry.conf")).toStdString();
    }();
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(settingsFile(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const std::string port = vq::getRegString("Comm");
    VQ_FUZZ_CHECK(port.find('\0') == std::string::npos, vq::fuzz::quoted(bytes));
    if (const auto device = vq::deviceForPortText(port)) VQ_FUZZ_CHECK(!device->empty(), vq::fuzz::quoted(port));

    // What the operator chose is stored and read back as it was.
    const std::string text(bytes.substr(0, bytes.find('\0')));
    if (text.empty()) return 0;
    std::remove(settingsFile().c_str());
    const std::string fault = vq::putRegString("Comm", text);
    VQ_FUZZ_CHECK(fault.empty(), vq::fuzz::quoted(text) + " " + fault);
    const std::string back = vq::getRegString("Comm");
    // Text that is not UTF-8 is stored as its replacement characters.
    if (QString::fromUtf8(text.data(), qsizetype(text.size())).toStdString() == text)
        VQ_FUZZ_CHECK(back == text, vq::fuzz::quoted(text) + " -> " + vq::fuzz::quoted(back));
    return 0;
}
