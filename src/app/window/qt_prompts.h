// The message boxes and file dialogs the core asks for, as Qt dialogs.
#pragma once

#include <QString>

#include "link/board.h"

#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>

class QWidget;

namespace vq {

// Turns a filter of description|pattern pairs ("*.txt|*.txt|所有文件(*.*)|*.*")
// into Qt's form ("*.txt (*.txt);;所有文件(*.*) (*)"). Patterns separated by
// ';' become blank-separated; "*.*" matches every file. A trailing
// description without a pattern is kept with "*".
QString qtFileFilter(const QString& filter);

class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget* parent) : parent_(parent) {}
    ~QtPrompts() override;

    void warn(std::string_view text, std::string_view title) override;
    bool askYesNo(std::string_view text, std::string_view title) override;
    std::string openFileName(std::string_view title, std::string_view filter) override;
    std::string saveFileName(std::string_view title, std::string_view filter) override;
    int chosenFilter() const override { return chosenFilter_; }
    void showProgress(std::string_view text, int percent, std::function<void()> onCancel) override;
    void hideProgress() override;
    void offer(std::string_view text, std::string_view acceptText, std::function<void()> onAccept) override;
    void withdrawOffer() override;

    // The boxes on show, for tests; nullptr when none is.
    QProgressDialog* progressBox() const { return progress_; }
    QMessageBox* offerBox() const { return offer_; }

private:
    QWidget* parent_;
    int chosenFilter_ = 0;
    QPointer<QProgressDialog> progress_;
    std::function<void()> onCancel_;
    QPointer<QMessageBox> offer_;
};

} // namespace vq
