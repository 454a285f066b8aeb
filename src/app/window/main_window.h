// The one main window, Form1, built from the control table. It shows what
// the core sets through QtBoard and forwards every operator event to the
// core's FormEvents; it implements no console behaviour of its own.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/form_events.h"
#include "app/layout_table.h"
#include "link/board.h"

class QTabWidget;

namespace vq {

class PeriodTimer;
class TrafficLog;
class ProgramEditor;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Builds every control of the table. Nothing is reported to the events
    // from here: the owner calls events.load() once the window exists.
    explicit MainWindow(FormEvents& events, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The object showing a table control: a widget, a timer, a menu entry's
    // action, or a plain object for the invisible port and dialog controls;
    // the window itself for "Form1". nullptr for names not in the table.
    QObject* object(std::string_view name, int index = kNoIndex) const;
    // The object and its table row in one lookup (the board asks for both
    // on most calls); both nullptr for names not in the table.
    struct Shown {
        QObject* object = nullptr;
        const layout::Control* control = nullptr;
    };
    Shown find(std::string_view name, int index = kNoIndex) const;
    QWidget* widget(std::string_view name, int index = kNoIndex) const;
    PeriodTimer* timer(std::string_view name) const;
    QAction* action(std::string_view name) const;
    // The table row shown by that object, or nullptr.
    const layout::Control* controlOf(const QObject* object) const;

    // Back colour last set on a control (the fill of the status lamp), or
    // its default (control_look.h).
    Colour backColour(const QObject* object) const;
    // Shows a back colour. Status replies set the same colours ten times a
    // second, and restyling a button costs far more than the reply itself:
    // only a change is shown.
    void setBackColour(QObject* object, const Colour& colour);

    // The log the traffic view shows (the core's; it outlives the window's use of it).
    void setTrafficLog(const TrafficLog* log);

    // Selects a tab of a tab control without reporting a tab click.
    void selectTab(QTabWidget* tabs, int index);

    // Stops the timers, closes the window without reporting unload, and
    // quits the application once control returns to the event loop.
    void endProgram();
    bool programEnded() const { return ending_; }

    // Shows a line (from 0) of the program box: its tab page selected as a
    // click would, the cursor at the line's start.
    void showProgramLine(int line);

    // The jog button held down at the moment, as name and index.
    std::optional<std::pair<std::string, int>> heldJogButton() const;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend class QtBoard;

    // Marks that the core is running; releases of a held jog button found in
    // the meantime are reported once it has returned.
    class CoreCall {
    public:
        explicit CoreCall(MainWindow& w) : w_(w) { ++w_.coreDepth_; }
        ~CoreCall() { --w_.coreDepth_; }
        CoreCall(const CoreCall&) = delete;
        CoreCall& operator=(const CoreCall&) = delete;

    private:
        MainWindow& w_;
    };

    struct Jog {
        QPointer<QWidget> button;
        std::string_view name;
        int index = kNoIndex;
    };

    // Makes the objects of the table's rows, one factory per kind.
    class Builder;

    void build();
    QWidget* container(const layout::Parent& parent) const;
    QPoint originOf(const layout::Parent& parent) const;
    void place(QWidget* w, const layout::Control& c);
    void registerObject(QObject* o, const layout::Control& c);
    void setTabOrder();

    template <class F>
    void deliver(F&& f);

    void pressJog(QWidget* button, const layout::Control& c);
    void releaseJog();
    void flushReleases();

    FormEvents* events_;
    QWidget* client_ = nullptr;
    // (name, index) → object and row; the names point into the table.
    // Looked up on every board call, ten status and pose replies a second
    // with dozens of calls each, so kept in one open-addressing hash.
    struct NameKey {
        std::string_view name;
        int index;
        friend bool operator==(const NameKey&, const NameKey&) = default;
        friend size_t qHash(const NameKey& k, size_t seed = 0) noexcept
        {
            return qHashMulti(seed, QByteArrayView(k.name.data(), qsizetype(k.name.size())), k.index);
        }
    };
    QHash<NameKey, Shown> objects_;
    QHash<const QObject*, const layout::Control*> controls_;
    QHash<const QObject*, Colour> backColours_; // as last set; the controls live as long as the window
    std::map<std::pair<std::string_view, int>, QWidget*> pages_; // (tab control, tab) → page
    std::vector<PeriodTimer*> timers_;

    bool building_ = true;  // no events reach the core while the window is being built
    bool quietTabs_ = false;
    bool unloaded_ = false;
    bool ending_ = false;
    int coreDepth_ = 0;      // > 0 while the core runs (an event handler or a board call)

    std::optional<Jog> held_;
    std::vector<Jog> releases_; // mouse-ups waiting for the core call in progress to end
    bool releaseQueued_ = false;
    bool changeQueued_ = false; // a change of the program box waits to be reported
    ProgramEditor* programBox_ = nullptr;
};

// Saves a picture of the whole window (menu bar included) as a PNG file.
bool saveWindowScreenshot(MainWindow& window, const QString& path);

} // namespace vq
