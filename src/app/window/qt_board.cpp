#include "qt_board.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSet>
#include <QTabWidget>

#include "control_look.h"
#include "main_window.h"
#include "link/period_timer.h"

namespace vq {

namespace {

constexpr const char* kTimerOnProperty = "vqTimerOn";

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

void warnUnknown(std::string_view name, int index)
{
    // Once per control, so that a timer-driven call cannot flood the log.
    static QSet<QString> reported;
    const QString key = QString::fromStdString(layout::objectName(name, index));
    if (reported.contains(key)) return;
    reported.insert(key);
    qWarning("Velquor window: no control %s", qPrintable(key));
}

void applyTimer(PeriodTimer* t)
{
    const bool run = t->property(kTimerOnProperty).toBool() && t->interval() > 0;
    if (run && !t->isActive())
        t->start();
    else if (!run && t->isActive())
        t->stop();
}

} // namespace

std::string QtBoard::text(std::string_view name, int index) const
{
    const auto [o, c] = window_.find(name, index);
    if (!o) {
        warnUnknown(name, index);
        return {};
    }
    if (c && c->kind == layout::Kind::TabPage) {
        auto* tabs = qobject_cast<QTabWidget*>(window_.widget(c->parent.name, c->parent.index));
        return tabs ? tabs->tabText(c->index).toStdString() : std::string();
    }
    return textOf(o).toStdString();
}

void QtBoard::setText(std::string_view name, int index, std::string_view text)
{
    MainWindow::CoreCall call(window_);
    const auto [o, c] = window_.find(name, index);
    if (!o) {
        warnUnknown(name, index);
        return;
    }
    if (c && c->kind == layout::Kind::TabPage) {
        if (auto* tabs = qobject_cast<QTabWidget*>(window_.widget(c->parent.name, c->parent.index)))
            tabs->setTabText(c->index, qs(text));
        return;
    }
    setTextOf(o, qs(text));
}

bool QtBoard::enabled(std::string_view name, int index) const
{
    QObject* o = window_.object(name, index);
    if (auto* w = qobject_cast<QWidget*>(o)) return !w->testAttribute(Qt::WA_Disabled);
    if (auto* a = qobject_cast<QAction*>(o)) return a->isEnabled();
    if (auto* t = qobject_cast<PeriodTimer*>(o)) return t->property(kTimerOnProperty).toBool();
    if (!o) warnUnknown(name, index);
    return false;
}

void QtBoard::setEnabled(std::string_view name, int index, bool on)
{
    MainWindow::CoreCall call(window_);
    const auto [o, c] = window_.find(name, index);
    if (!o) {
        warnUnknown(name, index);
        return;
    }
    if (on && c && c->has(layout::kInactive)) return;
    if (auto* w = qobject_cast<QWidget*>(o))
        w->setEnabled(on);
    else if (auto* a = qobject_cast<QAction*>(o))
        a->setEnabled(on);
    else if (qobject_cast<PeriodTimer*>(o))
        setTimerEnabled(name, on);
}

Colour QtBoard::backColour(std::string_view name, int index) const
{
    QObject* o = window_.object(name, index);
    if (!o) warnUnknown(name, index);
    return window_.backColour(o);
}

void QtBoard::setBackColour(std::string_view name, int index, Colour colour)
{
    MainWindow::CoreCall call(window_);
    QObject* o = window_.object(name, index);
    if (!o) {
        warnUnknown(name, index);
        return;
    }
    window_.setBackColour(o, colour);
}

int QtBoard::value(std::string_view name, int index) const
{
    QObject* o = window_.object(name, index);
    if (auto* check = qobject_cast<QCheckBox*>(o)) return check->isChecked() ? 1 : 0;
    if (auto* tabs = qobject_cast<QTabWidget*>(o)) return tabs->currentIndex();
    if (!o) warnUnknown(name, index);
    return 0;
}

void QtBoard::setValue(std::string_view name, int index, int value)
{
    MainWindow::CoreCall call(window_);
    QObject* o = window_.object(name, index);
    if (auto* check = qobject_cast<QCheckBox*>(o))
        check->setChecked(value != 0); // no click is reported for a value set by the core
    else if (auto* tabs = qobject_cast<QTabWidget*>(o))
        window_.selectTab(tabs, value);
    else if (!o)
        warnUnknown(name, index);
}

bool QtBoard::timerEnabled(std::string_view name) const
{
    PeriodTimer* t = window_.timer(name);
    if (!t) warnUnknown(name, kNoIndex);
    return t && t->property(kTimerOnProperty).toBool();
}

void QtBoard::setTimerEnabled(std::string_view name, bool on)
{
    PeriodTimer* t = window_.timer(name);
    if (!t) {
        warnUnknown(name, kNoIndex);
        return;
    }
    if (on && window_.programEnded()) return;
    t->setProperty(kTimerOnProperty, on);
    applyTimer(t);
}

int QtBoard::timerInterval(std::string_view name) const
{
    PeriodTimer* t = window_.timer(name);
    if (!t) warnUnknown(name, kNoIndex);
    return t ? t->interval() : 0;
}

void QtBoard::setTimerInterval(std::string_view name, int ms)
{
    PeriodTimer* t = window_.timer(name);
    if (!t) {
        warnUnknown(name, kNoIndex);
        return;
    }
    ms = std::max(ms, 0);
    t->setInterval(ms); // restarts a running timer with the new period
    applyTimer(t);
}

void QtBoard::setItems(std::string_view name, const std::vector<std::string>& items)
{
    MainWindow::CoreCall call(window_);
    auto* box = qobject_cast<QComboBox*>(window_.object(name));
    if (!box) {
        warnUnknown(name, kNoIndex);
        return;
    }
    const QString edit = box->currentText();
    const QSignalBlocker quiet(box);
    box->clear();
    for (const std::string& item : items) box->addItem(QString::fromStdString(item));
    box->setCurrentIndex(box->findText(edit)); // the list opens at the current port
    box->setEditText(edit);
}

void QtBoard::endProgram()
{
    window_.endProgram();
}

} // namespace vq
