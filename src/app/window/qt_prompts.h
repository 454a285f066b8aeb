// The message boxes and file dialogs the core asks for, as Qt dialogs.
#pragma once

#include <QString>

#include "link/board.h"

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

    void warn(std::string_view text, std::string_view title) override;
    bool askYesNo(std::string_view text, std::string_view title) override;
    std::string openFileName(std::string_view title, std::string_view filter) override;
    std::string saveFileName(std::string_view title, std::string_view filter) override;

private:
    QWidget* parent_;
};

} // namespace vq
