#include "about.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "version/version.h"

namespace vq {

QString aboutText()
{
    const QString commit = QString::fromUtf8(commitId().data(), qsizetype(commitId().size()));
    QString text = QStringLiteral("<h3>Velquor %1</h3>"
                                  "<p>六轴机械臂的示教、点动与运行控制台（Modbus RTU 主站）。</p>")
                       .arg(QString::fromUtf8(versionNumber().data(), qsizetype(versionNumber().size())));
    if (!commit.isEmpty()) text += QStringLiteral("<p>提交 (commit)：%1</p>").arg(commit);
    text += QStringLiteral("<p>Velquor 以 MIT 许可证发布 (MIT License)。</p>"
                           "<p>Qt %1（构建时 %2）以 GNU 宽通用公共许可证第 3 版授权 "
                           "(GNU LGPLv3)，动态链接。</p>")
                .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR));
    return text;
}

QMessageBox* showAbout(QWidget* parent)
{
    static QPointer<QMessageBox> open;
    if (open) {
        open->raise();
        open->activateWindow();
        return open;
    }
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("关于 Velquor"), aboutText(), QMessageBox::Ok,
                                parent);
    box->setObjectName(QStringLiteral("aboutBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    if (parent && !parent->windowIcon().isNull()) box->setIconPixmap(parent->windowIcon().pixmap(48, 48));
    box->show();
    open = box;
    return box;
}

} // namespace vq
