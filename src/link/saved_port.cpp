#include "saved_port.h"

#include <QSettings>
#include <QString>
#include <QVariant>

namespace vq {

std::string getRegString(std::string_view valueName)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Comm", "Registry");
    QVariant v = s.value(QString::fromUtf8(valueName.data(), static_cast<qsizetype>(valueName.size())));
    if (!v.isValid() || v.typeId() != QMetaType::QString) return {};
    QString text = v.toString();
    qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) text.truncate(nul);
    return text.toStdString();
}

std::string putRegString(std::string_view valueName, std::string_view text)
{
    if (text.empty()) return {};
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Comm", "Registry");
    s.setValue(QString::fromUtf8(valueName.data(), static_cast<qsizetype>(valueName.size())),
               QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    s.sync();
    switch (s.status()) {
    case QSettings::NoError: return {};
    case QSettings::AccessError: return s.fileName().toStdString() + "：没有写入权限（或文件夹无法创建）";
    case QSettings::FormatError: return s.fileName().toStdString() + "：文件格式错误";
    }
    return s.fileName().toStdString() + "：写入失败";
}

} // namespace vq
