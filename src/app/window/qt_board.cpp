#include "qt_board.h"

#include <QPlainTextEdit>

#include "program_text.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSet>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>

#include <limits>

#include "control_look.h"
#include "widgets.h"
#include "link/period_timer.h"

namespace vq {

namespace {

constexpr const char* kTimerOnProperty = "vqTimerOn";

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// Once per control, so that a timer-driven call cannot flood the log.
void warnOnce(const QString& key)
{
    static QSet<QString> reported;
    if (reported.contains(key)) return;
    reported.insert(key);
    qWarning("Velquor window: no control %s", qPrintable(key));
}

void warnUnknown(std::string_view name, int index)
{
    warnOnce(QString::fromStdString(layout::objectName(name, index)));
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

QtBoard::QtBoard(MainWindow& window) : window_(window)
{
    // Each id's indices, from the lowest to the highest it has; gaps stay
    // empty.
    for (const ControlBinding& b : controlBindings()) {
        IdRow& row = rows_[static_cast<std::size_t>(b.id)];
        if (row.shown.empty()) row.first = b.first;
        const int first = std::min(row.first, b.first);
        if (first < row.first) {
            row.shown.insert(row.shown.begin(), static_cast<std::size_t>(row.first - first), MainWindow::Shown{});
            row.first = first;
        }
        if (const auto size = static_cast<std::size_t>(b.last - row.first + 1); row.shown.size() < size) row.shown.resize(size);
        for (int i = b.first; i <= b.last; ++i) {
            const auto d = designerControl(b.id, i);
            row.shown[static_cast<std::size_t>(i - row.first)] = window_.find(d->name, d->index);
        }
    }
}

MainWindow::Shown QtBoard::shown(Ctl id, int index) const
{
    const auto n = static_cast<std::size_t>(id);
    if (n < rows_.size()) {
        const IdRow& row = rows_[n];
        const int i = index - row.first;
        if (i >= 0 && static_cast<std::size_t>(i) < row.shown.size() && row.shown[static_cast<std::size_t>(i)].object)
            return row.shown[static_cast<std::size_t>(i)];
    }
    warnOnce(QString::fromStdString("for " + describe(id, index)));
    return {};
}

// ---- by id ----------------------------------------------------------------

std::string QtBoard::text(Ctl id, int index) const { return textOf(shown(id, index)); }
void QtBoard::setText(Ctl id, int index, std::string_view text) { setTextOf(shown(id, index), text); }
bool QtBoard::enabled(Ctl id, int index) const { return enabledOf(shown(id, index).object); }
void QtBoard::setEnabled(Ctl id, int index, bool on) { setEnabledOf(shown(id, index), on); }
Colour QtBoard::backColour(Ctl id, int index) const { return window_.backColour(shown(id, index).object); }
void QtBoard::setBackColour(Ctl id, int index, Colour colour) { setBackColourOf(shown(id, index).object, colour); }
int QtBoard::value(Ctl id, int index) const { return valueOf(shown(id, index).object); }
void QtBoard::setValue(Ctl id, int index, int value) { setValueOf(shown(id, index).object, value); }
bool QtBoard::timerEnabled(Ctl timer) const { return timerOn(timerOf(shown(timer, kNoIndex))); }
void QtBoard::setTimerEnabled(Ctl timer, bool on) { setTimerOn(timerOf(shown(timer, kNoIndex)), on); }
int QtBoard::timerInterval(Ctl timer) const { return intervalOf(timerOf(shown(timer, kNoIndex))); }
void QtBoard::setTimerInterval(Ctl timer, int ms) { setIntervalOf(timerOf(shown(timer, kNoIndex)), ms); }
void QtBoard::setItems(Ctl id, const std::vector<std::string>& items) { setItemsOf(shown(id, kNoIndex).object, items); }
void QtBoard::setMarks(Ctl id, const std::vector<TextMark>& marks)
{
    MainWindow::CoreCall call(window_);
    QObject* o = shown(id, kNoIndex).object;
    if (auto* editor = qobject_cast<ProgramEditor*>(o)) editor->setMarks(marks);
    if (auto* list = qobject_cast<QListWidget*>(o))
        for (int row = 0; row < list->count(); ++row)
            list->item(row)->setData(Qt::UserRole, std::size_t(row) < marks.size() ? QVariant(marks[std::size_t(row)].line) : QVariant());
}

// ---- by designer name -----------------------------------------------------

MainWindow::Shown QtBoard::named(std::string_view name, int index) const
{
    const MainWindow::Shown s = window_.find(name, index);
    if (!s.object) warnUnknown(name, index);
    return s;
}

std::string QtBoard::text(std::string_view name, int index) const { return textOf(named(name, index)); }
void QtBoard::setText(std::string_view name, int index, std::string_view text) { setTextOf(named(name, index), text); }
bool QtBoard::enabled(std::string_view name, int index) const { return enabledOf(named(name, index).object); }
void QtBoard::setEnabled(std::string_view name, int index, bool on) { setEnabledOf(named(name, index), on); }
Colour QtBoard::backColour(std::string_view name, int index) const { return window_.backColour(named(name, index).object); }
void QtBoard::setBackColour(std::string_view name, int index, Colour colour) { setBackColourOf(named(name, index).object, colour); }
int QtBoard::value(std::string_view name, int index) const { return valueOf(named(name, index).object); }
void QtBoard::setValue(std::string_view name, int index, int value) { setValueOf(named(name, index).object, value); }
bool QtBoard::timerEnabled(std::string_view name) const { return timerOn(timerOf(named(name, kNoIndex))); }
void QtBoard::setTimerEnabled(std::string_view name, bool on) { setTimerOn(timerOf(named(name, kNoIndex)), on); }
int QtBoard::timerInterval(std::string_view name) const { return intervalOf(timerOf(named(name, kNoIndex))); }
void QtBoard::setTimerInterval(std::string_view name, int ms) { setIntervalOf(timerOf(named(name, kNoIndex)), ms); }
void QtBoard::setItems(std::string_view name, const std::vector<std::string>& items) { setItemsOf(named(name, kNoIndex).object, items); }

void QtBoard::endProgram()
{
    window_.endProgram();
}

void QtBoard::appendText(Ctl id, int index, std::string_view more)
{
    const MainWindow::Shown s = shown(id, index);
    if (auto* editor = qobject_cast<QPlainTextEdit*>(s.object); editor && s.control && s.control->name == "Text7") {
        MainWindow::CoreCall call(window_);
        appendProgramText(*editor, qs(more));
        return;
    }
    Board::appendText(id, index, more);
}

std::string QtBoard::textLines(Ctl id, std::size_t first, std::size_t count) const
{
    // The program editor's lines are its document's blocks: read from there,
    // a long program is not converted whole for a slice of it.
    auto* editor = qobject_cast<const ProgramEditor*>(shown(id, kNoIndex).object);
    if (!editor || editor->holdsText() || first > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return Board::textLines(id, first, count);
    QTextBlock block = editor->document()->findBlockByNumber(static_cast<int>(first));
    QString lines;
    for (std::size_t i = 0; i < count && block.isValid(); ++i) {
        lines += displayToRaw(block.text());
        block = block.next();
        if (block.isValid()) lines += QStringLiteral("\r\n");
    }
    return lines.toStdString();
}

// ---- on the object --------------------------------------------------------

std::string QtBoard::textOf(const MainWindow::Shown& s) const
{
    const auto [o, c] = s;
    if (!o) return {};
    if (c && c->kind == layout::Kind::TabPage) {
        auto* tabs = qobject_cast<QTabWidget*>(window_.widget(c->parent.name, c->parent.index));
        return tabs ? tabs->tabText(c->index).toStdString() : std::string();
    }
    return vq::textOf(o).toStdString();
}

void QtBoard::setTextOf(const MainWindow::Shown& s, std::string_view text)
{
    MainWindow::CoreCall call(window_);
    const auto [o, c] = s;
    if (!o) return;
    if (c && c->kind == layout::Kind::TabPage) {
        if (auto* tabs = qobject_cast<QTabWidget*>(window_.widget(c->parent.name, c->parent.index)))
            tabs->setTabText(c->index, qs(text));
        return;
    }
    vq::setTextOf(o, qs(text));
}

bool QtBoard::enabledOf(const QObject* o) const
{
    if (auto* w = qobject_cast<const QWidget*>(o)) return !w->testAttribute(Qt::WA_Disabled);
    if (auto* a = qobject_cast<const QAction*>(o)) return a->isEnabled();
    if (auto* t = qobject_cast<const PeriodTimer*>(o)) return t->property(kTimerOnProperty).toBool();
    return false;
}

void QtBoard::setEnabledOf(const MainWindow::Shown& s, bool on)
{
    MainWindow::CoreCall call(window_);
    const auto [o, c] = s;
    if (!o) return;
    if (on && c && c->has(layout::kInactive)) return;
    if (auto* w = qobject_cast<QWidget*>(o))
        w->setEnabled(on);
    else if (auto* a = qobject_cast<QAction*>(o))
        a->setEnabled(on);
    else if (auto* t = qobject_cast<PeriodTimer*>(o))
        setTimerOn(t, on);
}

void QtBoard::setBackColourOf(QObject* o, Colour colour)
{
    MainWindow::CoreCall call(window_);
    if (o) window_.setBackColour(o, colour);
}

int QtBoard::valueOf(const QObject* o) const
{
    if (auto* check = qobject_cast<const QCheckBox*>(o)) return check->isChecked() ? 1 : 0;
    if (auto* tabs = qobject_cast<const QTabWidget*>(o)) return tabs->currentIndex();
    if (auto* editor = qobject_cast<const ProgramEditor*>(o)) return editor->runLine();
    return 0;
}

void QtBoard::setValueOf(QObject* o, int value)
{
    MainWindow::CoreCall call(window_);
    if (auto* check = qobject_cast<QCheckBox*>(o))
        check->setChecked(value != 0); // no click is reported for a value set by the core
    else if (auto* tabs = qobject_cast<QTabWidget*>(o))
        window_.selectTab(tabs, value);
    else if (auto* editor = qobject_cast<ProgramEditor*>(o))
        editor->setRunLine(value);
}

PeriodTimer* QtBoard::timerOf(const MainWindow::Shown& s)
{
    return qobject_cast<PeriodTimer*>(s.object);
}

bool QtBoard::timerOn(const PeriodTimer* t) const
{
    return t && t->property(kTimerOnProperty).toBool();
}

void QtBoard::setTimerOn(PeriodTimer* t, bool on)
{
    if (!t) return;
    if (on && window_.programEnded()) return;
    t->setProperty(kTimerOnProperty, on);
    applyTimer(t);
}

int QtBoard::intervalOf(const PeriodTimer* t) const
{
    return t ? t->interval() : 0;
}

void QtBoard::setIntervalOf(PeriodTimer* t, int ms)
{
    if (!t) return;
    ms = std::max(ms, 0);
    t->setInterval(ms); // restarts a running timer with the new period
    applyTimer(t);
}

void QtBoard::setItemsOf(QObject* o, const std::vector<std::string>& items)
{
    MainWindow::CoreCall call(window_);
    if (auto* list = qobject_cast<QListWidget*>(o)) {
        list->clear();
        for (const std::string& item : items) list->addItem(QString::fromStdString(item));
        return;
    }
    auto* box = qobject_cast<QComboBox*>(o);
    if (!box) return;
    const QString edit = box->currentText();
    const QSignalBlocker quiet(box);
    box->clear();
    for (const std::string& item : items) box->addItem(QString::fromStdString(item));
    box->setCurrentIndex(box->findText(edit)); // the list opens at the current port
    box->setEditText(edit);
}

} // namespace vq
