#include "qt_prompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace vq {

namespace {

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString qtPatterns(const QString& patterns)
{
    QStringList out;
    for (const QString& p : patterns.split(u';', Qt::SkipEmptyParts)) {
        const QString t = p.trimmed();
        if (t.isEmpty()) continue;
        out << (t == QStringLiteral("*.*") ? QStringLiteral("*") : t);
    }
    return out.isEmpty() ? QStringLiteral("*") : out.join(u' ');
}

} // namespace

QString qtFileFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i];
        const QString patterns = i + 1 < parts.size() ? parts[i + 1] : QString();
        if (description.isEmpty() && patterns.isEmpty()) continue;
        entries << QStringLiteral("%1 (%2)").arg(description, qtPatterns(patterns));
    }
    return entries.join(QStringLiteral(";;"));
}

void QtPrompts::warn(std::string_view text, std::string_view title)
{
    QMessageBox box(QMessageBox::Warning, qs(title), qs(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool QtPrompts::askYesNo(std::string_view text, std::string_view title)
{
    QMessageBox box(QMessageBox::Information, qs(title), qs(text), QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::string QtPrompts::openFileName(std::string_view title, std::string_view filter)
{
    return QFileDialog::getOpenFileName(parent_, qs(title), QString(), qtFileFilter(qs(filter))).toStdString();
}

std::string QtPrompts::saveFileName(std::string_view title, std::string_view filter)
{
    // No overwrite question: the save command replaces the file as chosen.
    return QFileDialog::getSaveFileName(parent_, qs(title), QString(), qtFileFilter(qs(filter)), nullptr,
                                        QFileDialog::DontConfirmOverwrite)
        .toStdString();
}

} // namespace vq
