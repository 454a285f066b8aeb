#include "qt_prompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
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

namespace {

// Entry number of the chosen filter among the ";;"-separated entries.
int entryOf(const QString& filters, const QString& chosen)
{
    const qsizetype at = filters.split(QStringLiteral(";;")).indexOf(chosen);
    return at < 0 ? 0 : int(at);
}

} // namespace

QtPrompts::~QtPrompts()
{
    hideProgress();
    withdrawOffer();
}

std::string QtPrompts::openFileName(std::string_view title, std::string_view filter)
{
    const QString filters = qtFileFilter(qs(filter));
    QString chosen;
    const QString name = QFileDialog::getOpenFileName(parent_, qs(title), QString(), filters, &chosen);
    chosenFilter_ = entryOf(filters, chosen);
    return name.toStdString();
}

std::string QtPrompts::saveFileName(std::string_view title, std::string_view filter)
{
    const QString filters = qtFileFilter(qs(filter));
    QString chosen;
    // No overwrite question: the save command replaces the file as chosen.
    const QString name = QFileDialog::getSaveFileName(parent_, qs(title), QString(), filters, &chosen,
                                                      QFileDialog::DontConfirmOverwrite);
    chosenFilter_ = entryOf(filters, chosen);
    return name.toStdString();
}

void QtPrompts::showProgress(std::string_view text, int percent, std::function<void()> onCancel)
{
    onCancel_ = std::move(onCancel);
    if (!progress_) {
        progress_ = new QProgressDialog(parent_);
        progress_->setObjectName(QStringLiteral("fileProgress"));
        progress_->setAccessibleDescription(QStringLiteral("fileProgress"));
        progress_->setWindowTitle(QStringLiteral("打开文件"));
        progress_->setCancelButtonText(QStringLiteral("取消"));
        progress_->setWindowModality(Qt::NonModal); // the window stays live while the file is read
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setMinimumDuration(0);
        progress_->setRange(0, 100);
        QObject::connect(progress_, &QProgressDialog::canceled, progress_, [this] {
            std::function<void()> cancel = std::move(onCancel_);
            onCancel_ = nullptr;
            if (cancel) cancel();
        });
    }
    progress_->setLabelText(qs(text));
    progress_->setValue(percent);
    if (!progress_->isVisible()) progress_->show();
}

void QtPrompts::hideProgress()
{
    onCancel_ = nullptr;
    if (!progress_) return;
    QProgressDialog* box = progress_;
    progress_ = nullptr;
    box->disconnect();
    box->hide();
    box->deleteLater();
}

void QtPrompts::offer(std::string_view text, std::string_view acceptText, std::function<void()> onAccept)
{
    withdrawOffer();
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("提示"), qs(text), QMessageBox::NoButton, parent_);
    box->setObjectName(QStringLiteral("recoveryOffer"));
    box->setAccessibleDescription(QStringLiteral("recoveryOffer"));
    QPushButton* accept = box->addButton(qs(acceptText), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("忽略"), QMessageBox::RejectRole);
    box->setWindowModality(Qt::NonModal); // the console goes on while the offer stands
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [accept, onAccept = std::move(onAccept)](QAbstractButton* b) {
        if (b == accept && onAccept) onAccept();
    });
    offer_ = box;
    box->show();
}

void QtPrompts::withdrawOffer()
{
    if (!offer_) return;
    QMessageBox* box = offer_;
    offer_ = nullptr;
    box->disconnect();
    box->close();
}

} // namespace vq
