#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <utility>

#include "control_look.h"
#include "link/period_timer.h"
#include "program_text.h"
#include "traffic_view.h"
#include "widgets.h"

namespace vq {

using layout::Control;
using layout::Kind;

namespace {

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

int px(int twips)
{
    return (twips + layout::kTwipsPerPixel / 2) / layout::kTwipsPerPixel;
}

// Position and size in pixels at 96 dots per inch (Qt scales them for the
// screen).
QRect pixels(const layout::Rect& r)
{
    return {px(r.left), px(r.top), px(r.width), px(r.height)};
}

QFont fontFor(layout::Font role)
{
    // The designed faces first, then faces that show Chinese on Linux.
    static const QStringList song{QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun"),
                                  QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                                  QStringLiteral("Droid Sans Fallback")};
    static const QStringList newSong{QStringLiteral("NSimSun"), QStringLiteral("新宋体"), QStringLiteral("SimSun"),
                                     QStringLiteral("WenQuanYi Micro Hei Mono"), QStringLiteral("Noto Sans Mono CJK SC"),
                                     QStringLiteral("WenQuanYi Micro Hei")};
    QFont f;
    f.setFamilies(role == layout::Font::NSimSunBold105 ? newSong : song);
    switch (role) {
    case layout::Font::None:
    case layout::Font::Window: f.setPointSizeF(10.5); break;
    case layout::Font::Bold9: f.setPointSizeF(9); f.setBold(true); break;
    case layout::Font::Bold105: f.setPointSizeF(10.5); f.setBold(true); break;
    case layout::Font::Regular9: f.setPointSizeF(9); break;
    case layout::Font::Banner: f.setPointSizeF(16); f.setBold(true); break;
    case layout::Font::NSimSunBold105:
        f.setPointSizeF(10.5);
        f.setBold(true);
        f.setStyleHint(QFont::TypeWriter);
        break;
    }
    return f;
}

bool hasChildren(const Control& c)
{
    bool any = false;
    layout::forEachChild(layout::inside(c.name, c.index), [&](const Control&) { any = true; });
    return any;
}

void setTextColour(QWidget* w, QPalette::ColorRole role, const QColor& c)
{
    QPalette pal = w->palette();
    pal.setColor(role, c);
    w->setPalette(pal);
}

} // namespace

template <class F>
void MainWindow::deliver(F&& f)
{
    if (building_ || ending_) return;
    CoreCall call(*this);
    f(*events_);
}

MainWindow::MainWindow(FormEvents& events, QWidget* parent) : QMainWindow(parent), events_(&events)
{
    build();
    building_ = false;

    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (held_ && (!now || now->window() != this)) releaseJog();
    });
    // Another application in front (or none active) lets go of a held jog.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) releaseJog();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        releaseJog();
        flushReleases();
    });
}

MainWindow::~MainWindow()
{
    // The widgets go after this body; nothing they report while going may
    // reach the core, which may already be gone.
    ending_ = true;
    held_.reset();
    releases_.clear();
    disconnect(qApp, nullptr, this, nullptr);
}

// ------------------------------------------------------------------ build

// Makes the object of each table row: one factory per kind of control,
// chosen from a table indexed by the kind. Rows are added in table order,
// so a row's container (and, for menu entries, its menu) already exists.
class MainWindow::Builder {
public:
    explicit Builder(MainWindow& window) : w_(window) {}

    void add(const Control& c);

private:
    using Factory = void (Builder::*)(const Control&);
    struct Entry {
        Kind kind;
        Factory make;
    };

    // A new W(args..., container of the row), named and placed.
    template <class W, class... Args>
    W* widget(const Control& c, Args&&... args);
    // Names and places a widget made in its container.
    template <class W>
    W* adopt(W* made, const Control& c);
    // A slot that reports one event to the core: report(events).
    template <class Report>
    auto reporter(Report report) const;
    // Slots reporting a click on the row's control, a choice of its menu entry.
    auto reportsClick(const Control& c) const;
    auto reportsMenu(const Control& c) const;

    void form(const Control& c);
    void frame(const Control& c);
    void button(const Control& c);
    void textBox(const Control& c);
    void multiLineText(const Control& c);
    void label(const Control& c);
    void checkBox(const Control& c);
    void combo(const Control& c);
    void shape(const Control& c);
    void picture(const Control& c);
    void tabControl(const Control& c);
    void tabPage(const Control& c);
    void timer(const Control& c);
    void placeholder(const Control& c);
    void menu(const Control& c);
    void menuItem(const Control& c);
    void separator(const Control& c);
    void list(const Control& c);
    void statusField(const Control& c);
    void logView(const Control& c);

    MainWindow& w_;
    QHash<QString, QMenu*> menus_; // entries of the menu bar that drop a menu down, by name
};

void MainWindow::Builder::add(const Control& c)
{
    // In the order of the kinds: a kind is its own row number.
    static constexpr Entry kFactories[] = {
        {Kind::Form, &Builder::form},
        {Kind::Frame, &Builder::frame},
        {Kind::Button, &Builder::button},
        {Kind::TextBox, &Builder::textBox},
        {Kind::MultiLineText, &Builder::multiLineText},
        {Kind::Label, &Builder::label},
        {Kind::CheckBox, &Builder::checkBox},
        {Kind::Combo, &Builder::combo},
        {Kind::Shape, &Builder::shape},
        {Kind::Picture, &Builder::picture},
        {Kind::TabControl, &Builder::tabControl},
        {Kind::TabPage, &Builder::tabPage},
        {Kind::Timer, &Builder::timer},
        {Kind::SerialPort, &Builder::placeholder},
        {Kind::FileDialog, &Builder::placeholder},
        {Kind::Menu, &Builder::menu},
        {Kind::MenuItem, &Builder::menuItem},
        {Kind::Separator, &Builder::separator},
        {Kind::List, &Builder::list},
        {Kind::StatusField, &Builder::statusField},
        {Kind::LogView, &Builder::logView},
    };
    static_assert(std::size(kFactories) == std::size_t(Kind::LogView) + 1, "one factory for every kind");
    static_assert(
        [] {
            for (std::size_t i = 0; i < std::size(kFactories); ++i)
                if (kFactories[i].kind != Kind(i)) return false;
            return true;
        }(),
        "factories in the order of the kinds");

    const auto row = std::size_t(c.kind);
    if (row < std::size(kFactories)) (this->*kFactories[row].make)(c);
}

template <class W, class... Args>
W* MainWindow::Builder::widget(const Control& c, Args&&... args)
{
    return adopt(new W(std::forward<Args>(args)..., w_.container(c.parent)), c);
}

template <class W>
W* MainWindow::Builder::adopt(W* made, const Control& c)
{
    w_.registerObject(made, c);
    w_.place(made, c);
    return made;
}

template <class Report>
auto MainWindow::Builder::reporter(Report report) const
{
    return [w = &w_, report] { w->deliver(report); };
}

auto MainWindow::Builder::reportsClick(const Control& c) const
{
    return reporter([&c](FormEvents& ev) { ev.click(c.name, c.index); });
}

auto MainWindow::Builder::reportsMenu(const Control& c) const
{
    return reporter([&c](FormEvents& ev) { ev.menu(c.name); });
}

void MainWindow::Builder::form(const Control& c)
{
    w_.registerObject(&w_, c);
    w_.setWindowTitle(qs(c.caption));
    w_.setFont(fontFor(c.font));
    w_.client_->setFixedSize(pixels(c.rect).size());
}

void MainWindow::Builder::frame(const Control& c)
{
    auto* g = new QGroupBox(qs(c.caption), w_.container(c.parent));
    // Read by the client's style sheet when the box is polished, which
    // placing it on a tab page may already do.
    g->setProperty("blueCaption", c.has(layout::kBlueCaption));
    adopt(g, c);
}

void MainWindow::Builder::button(const Control& c)
{
    auto* b = widget<CaptionButton>(c, qs(c.caption));
    b->setAutoDefault(false);
    if (c.has(layout::kGraphical)) {
        b->setProperty("graphical", true);
        w_.setBackColour(b, Colour::buttonFace());
    }
    if (c.name == "Command5") {
        // Jog buttons act on press and release only (no click, no keyboard).
        b->installEventFilter(&w_);
    } else {
        QObject::connect(b, &QAbstractButton::clicked, &w_, reportsClick(c));
    }
}

void MainWindow::Builder::checkBox(const Control& c)
{
    auto* b = widget<QCheckBox>(c, qs(c.caption));
    b->setChecked(c.value != 0);
    QObject::connect(b, &QAbstractButton::clicked, &w_, reportsClick(c));
}

void MainWindow::Builder::textBox(const Control& c)
{
    auto* e = widget<QLineEdit>(c, qs(c.caption));
    e->setCursorPosition(0);
    if (c.has(layout::kRedText)) setTextColour(e, QPalette::Text, QColor(255, 0, 0));
    if (c.has(layout::kInactive)) e->setReadOnly(true);
    e->installEventFilter(&w_); // keys go to the core first
}

void MainWindow::Builder::multiLineText(const Control& c)
{
    auto* e = widget<ProgramEditor>(c);
    e->setTabChangesFocus(true);
    if (c.has(layout::kScrollBars)) {
        // Both bars always shown, as a box with scroll bars does, also
        // while there is nothing to scroll. A bar that came and went would
        // change the text area's width and make the editor lay out every
        // line of the program again.
        e->setLineWrapMode(QPlainTextEdit::NoWrap);
        e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    } else {
        e->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    setProgramText(*e, qs(c.caption));
    if (c.has(layout::kProgramBox)) {
        w_.programBox_ = e;
        e->showProgramView();
        // The operator's typing is reported at once (the program now has
        // unsaved edits); the core knows its own changes.
        QObject::connect(e, &QPlainTextEdit::textChanged, &w_, [w = &w_, &c] {
            if (w->coreDepth_ == 0) w->deliver([&c](FormEvents& ev) { ev.changed(c.name); });
        });
        // Every change, the core's own edits (a teach-in line, a file) too,
        // is reported once it is done and whatever made it has returned:
        // the program is checked again.
        QObject::connect(e->document(), &QTextDocument::contentsChanged, &w_, [w = &w_, &c] {
            if (w->changeQueued_) return;
            w->changeQueued_ = true;
            QMetaObject::invokeMethod(
                w,
                [w, &c] {
                    w->changeQueued_ = false;
                    w->deliver([&](FormEvents& ev) { ev.change(c.name); });
                },
                Qt::QueuedConnection);
        });
    }
}

void MainWindow::Builder::label(const Control& c)
{
    auto* l = widget<CaptionLabel>(c, qs(c.caption));
    l->setTextFormat(Qt::PlainText);
    const bool wraps = c.has(layout::kWordWrap);
    l->setAlignment(wraps ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter);
    l->setCaptionLayout(c.has(layout::kColumns) ? CaptionLabel::Layout::Columns
                        : wraps                 ? CaptionLabel::Layout::WrapAtBlanks
                                                : CaptionLabel::Layout::Plain);
    if (c.has(layout::kRedText)) setTextColour(l, QPalette::WindowText, QColor(255, 0, 0));
    if (c.has(layout::kBackHighlightText)) {
        const QColor hl = QApplication::palette().color(QPalette::Active, QPalette::HighlightedText);
        w_.setBackColour(l, Colour::fromRgb(std::uint8_t(hl.red()), std::uint8_t(hl.green()), std::uint8_t(hl.blue())));
    } else if (c.has(layout::kBackWhite)) {
        w_.setBackColour(l, Colour::fromRgb(255, 255, 255));
    }
}

void MainWindow::Builder::combo(const Control& c)
{
    auto* box = widget<DropDownCombo>(c);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // An editable combo box also reports "activated" when its edit field
    // loses the focus with a text that matches an item, and the focus goes
    // to the list as soon as it opens: the port would be reopened just by
    // opening the list. Only a choice from the list, the arrow keys and
    // Enter count.
    QObject::disconnect(box->lineEdit(), &QLineEdit::editingFinished, box, nullptr);
    // No inline completion: typing "1" must not turn into "16".
    box->setCompleter(nullptr);
    // The edit field paints its whole area in the base colour itself;
    // filling its background as well (the same colour) tells Qt that it is
    // opaque, so that it repaints alone. Otherwise every blink of its caret
    // (twice a second while the console sits at its first control, the port
    // box) repainted the box, the frame, the client area and the window
    // behind it too, six times the cost of the field.
    box->lineEdit()->setAutoFillBackground(true);
    box->setEditText(qs(c.caption));
    box->beforePopup = reporter([&c](FormEvents& ev) { ev.comboDropDown(c.name); });
    QObject::connect(box, &QComboBox::activated, &w_, reporter([&c](FormEvents& ev) { ev.comboClick(c.name); }));
    // The combo box keeps the focus and hands keys to its edit field
    // itself, past any filter on the field: Enter is caught here.
    box->installEventFilter(&w_);
}

void MainWindow::Builder::shape(const Control& c)
{
    widget<Lamp>(c);
}

void MainWindow::Builder::picture(const Control& c)
{
    auto* pic = widget<QLabel>(c);
    pic->setScaledContents(true);
    pic->setPixmap(armPicture(pic->size()));
}

void MainWindow::Builder::tabControl(const Control& c)
{
    auto* tabs = widget<TabControl>(c);
    QObject::connect(tabs, &QTabWidget::currentChanged, &w_, [w = &w_, &c](int index) {
        if (!w->quietTabs_) w->deliver([&](FormEvents& ev) { ev.tabClick(c.name, index); });
    });
}

void MainWindow::Builder::tabPage(const Control& c)
{
    auto* tabs = qobject_cast<QTabWidget*>(w_.widget(c.parent.name, c.parent.index));
    if (!tabs) return;
    auto* page = new QWidget;
    w_.registerObject(page, c);
    tabs->insertTab(c.index, page, qs(c.caption));
    w_.pages_[{c.parent.name, c.index}] = page;
}

void MainWindow::Builder::timer(const Control& c)
{
    auto* t = new PeriodTimer(&w_);
    w_.registerObject(t, c);
    t->setInterval(c.interval);
    w_.timers_.push_back(t);
    QObject::connect(t, &PeriodTimer::timeout, &w_, reporter([&c](FormEvents& ev) { ev.timer(c.name); }));
}

void MainWindow::Builder::placeholder(const Control& c)
{
    w_.registerObject(new QObject(&w_), c); // the serial port and the file dialog: the core owns them
}

void MainWindow::Builder::menu(const Control& c)
{
    const QString caption = qs(c.caption);
    if (hasChildren(c)) {
        QMenu* dropDown = w_.menuBar()->addMenu(caption);
        dropDown->setObjectName(qs(c.name));
        w_.registerObject(dropDown->menuAction(), c);
        menus_.insert(qs(c.name), dropDown);
    } else {
        QAction* a = w_.menuBar()->addAction(caption);
        w_.registerObject(a, c);
        QObject::connect(a, &QAction::triggered, &w_, reportsMenu(c));
    }
}

void MainWindow::Builder::menuItem(const Control& c)
{
    QMenu* dropDown = menus_.value(qs(c.parent.name));
    if (!dropDown) return;
    QAction* a = dropDown->addAction(qs(c.caption));
    w_.registerObject(a, c);
    if (!c.shortcut.empty()) a->setShortcut(QKeySequence(qs(c.shortcut)));
    if (c.name == "Exit")
        QObject::connect(a, &QAction::triggered, &w_, &QWidget::close); // ends like closing the window
    else
        QObject::connect(a, &QAction::triggered, &w_, reportsMenu(c));
}

void MainWindow::Builder::separator(const Control& c)
{
    if (QMenu* dropDown = menus_.value(qs(c.parent.name))) w_.registerObject(dropDown->addSeparator(), c);
}

void MainWindow::Builder::list(const Control& c)
{
    auto* l = widget<QListWidget>(c);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setWordWrap(true);
    // An item that speaks of a program line shows that line.
    QObject::connect(l, &QListWidget::itemActivated, &w_, [w = &w_](QListWidgetItem* item) {
        const QVariant line = item ? item->data(Qt::UserRole) : QVariant();
        if (line.isValid()) w->showProgramLine(line.toInt());
    });
}

void MainWindow::Builder::statusField(const Control& c)
{
    auto* l = new QLabel(qs(c.caption));
    w_.registerObject(l, c);
    l->setTextFormat(Qt::PlainText);
    l->setFont(fontFor(c.font));
    l->setMinimumWidth(pixels(c.rect).width());
    l->setAutoFillBackground(true); // a problem is shown on a coloured ground
    w_.statusBar()->addWidget(l, c.value);
}

void MainWindow::Builder::logView(const Control& c)
{
    widget<TrafficView>(c);
}

void MainWindow::setTrafficLog(const TrafficLog* log)
{
    for (const Control& c : layout::controls())
        if (c.kind == Kind::LogView)
            if (auto* view = qobject_cast<TrafficView*>(widget(c.name, c.index))) view->setLog(log);
}

void MainWindow::registerObject(QObject* o, const Control& c)
{
    const QString name = QString::fromStdString(layout::objectName(c));
    o->setObjectName(name);
    if (auto* w = qobject_cast<QWidget*>(o)) {
        w->setAccessibleDescription(name);
        if (!c.tip.empty()) w->setToolTip(qs(c.tip));
    }
    objects_.insert({c.name, c.index}, {o, &c});
    controls_.insert(o, &c);
}

QWidget* MainWindow::container(const layout::Parent& parent) const
{
    if (parent.page >= 0) {
        auto it = pages_.find({parent.name, parent.page});
        return it == pages_.end() ? nullptr : it->second;
    }
    if (parent.name == "Form1") return client_;
    return widget(parent.name, parent.index);
}

QPoint MainWindow::originOf(const layout::Parent& parent) const
{
    // Children of a tab page are designed relative to the tab control, tab
    // row included; the page itself starts below the tab row.
    if (parent.page < 0) return {};
    auto* tabs = qobject_cast<TabControl*>(widget(parent.name));
    if (!tabs) return {};
    tabs->ensurePolished();
    return tabs->pageOrigin();
}

void MainWindow::place(QWidget* w, const Control& c)
{
    w->setGeometry(pixels(c.rect).translated(-originOf(c.parent)));
    if (c.font != layout::Font::None) w->setFont(fontFor(c.font));
    if (c.has(layout::kInactive)) w->setEnabled(false);
}

void MainWindow::build()
{
    setWindowIcon(appIcon());
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("Form1Client"));
    // Blue frame captions. Only the captions are styled: frames, and the
    // controls in them, keep the platform style.
    client_->setStyleSheet(QStringLiteral("QGroupBox[blueCaption=\"true\"]::title { color: #0000ff; }"));
    setCentralWidget(client_);

    Builder builder(*this);
    for (const Control& c : layout::controls()) builder.add(c);

    // Initial tabs, without reporting tab clicks.
    for (const Control& c : layout::controls())
        if (c.kind == Kind::TabControl)
            if (auto* tabs = qobject_cast<QTabWidget*>(widget(c.name, c.index))) selectTab(tabs, c.value);

    setTabOrder();
}

void MainWindow::setTabOrder()
{
    std::vector<std::pair<int, QWidget*>> order;
    for (auto it = controls_.cbegin(); it != controls_.cend(); ++it) {
        const Control* c = it.value();
        auto* w = qobject_cast<QWidget*>(const_cast<QObject*>(it.key()));
        if (c->tabOrder < 0 || !w || object(c->name, c->index) != w) continue;
        order.emplace_back(c->tabOrder, w);
    }
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

// ----------------------------------------------------------------- lookup

QObject* MainWindow::object(std::string_view name, int index) const
{
    return find(name, index).object;
}

MainWindow::Shown MainWindow::find(std::string_view name, int index) const
{
    auto it = objects_.constFind({name, index});
    if (it == objects_.cend() && index == kNoIndex) {
        // Also found by its Qt object name, "Command5_3" for Command5(3).
        const auto cut = name.rfind('_');
        int i = 0;
        if (cut != std::string_view::npos && cut + 1 < name.size()) {
            const auto tail = name.substr(cut + 1);
            const auto [end, ec] = std::from_chars(tail.data(), tail.data() + tail.size(), i);
            if (ec == std::errc() && end == tail.data() + tail.size() && i >= 0)
                it = objects_.constFind({name.substr(0, cut), i});
        }
    }
    return it == objects_.cend() ? Shown{} : *it;
}

QWidget* MainWindow::widget(std::string_view name, int index) const
{
    return qobject_cast<QWidget*>(object(name, index));
}

PeriodTimer* MainWindow::timer(std::string_view name) const
{
    return qobject_cast<PeriodTimer*>(object(name));
}

QAction* MainWindow::action(std::string_view name) const
{
    return qobject_cast<QAction*>(object(name));
}

const Control* MainWindow::controlOf(const QObject* object) const
{
    return controls_.value(object, nullptr);
}

Colour MainWindow::backColour(const QObject* object) const
{
    const auto it = backColours_.constFind(object);
    return it != backColours_.cend() ? *it : defaultBackColour(object);
}

void MainWindow::setBackColour(QObject* object, const Colour& colour)
{
    if (!object) return;
    const auto it = backColours_.find(object);
    if (it != backColours_.end() && *it == colour) return;
    backColours_.insert(object, colour);
    showBackColour(object, colour);
}

void MainWindow::selectTab(QTabWidget* tabs, int index)
{
    if (!tabs || index < 0 || index >= tabs->count()) return;
    const bool wasQuiet = std::exchange(quietTabs_, true);
    tabs->setCurrentIndex(index);
    quietTabs_ = wasQuiet;
}

void MainWindow::showProgramLine(int line)
{
    if (!programBox_) return;
    // The tab page holding the box, through every tab control above it.
    for (QWidget* page = programBox_; page; page = page->parentWidget()) {
        for (QWidget* up = page->parentWidget(); up; up = up->parentWidget()) {
            auto* tabs = qobject_cast<QTabWidget*>(up);
            if (!tabs) continue;
            if (const int i = tabs->indexOf(page); i >= 0) tabs->setCurrentIndex(i);
            break;
        }
    }
    programBox_->goToLine(line);
}

std::optional<std::pair<std::string, int>> MainWindow::heldJogButton() const
{
    if (!held_) return std::nullopt;
    return std::make_pair(std::string(held_->name), held_->index);
}

// ----------------------------------------------------------------- events

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const Control* c = controlOf(watched);
    if (!c) return QMainWindow::eventFilter(watched, event);

    if (c->name == "Command5") { // the jog buttons
        auto* button = static_cast<QWidget*>(watched);
        const bool isHeld = held_ && held_->button == button;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (button->isEnabled()) pressJog(button, *c);
            break;
        case QEvent::MouseButtonRelease:
            if (isHeld) releaseJog();
            break;
        case QEvent::EnabledChange:
            if (isHeld && !button->isEnabled()) releaseJog();
            break;
        case QEvent::Hide:
        case QEvent::UngrabMouse:
        case QEvent::TouchCancel: // the touch screen took the finger back
            if (isHeld) releaseJog();
            break;
        default:
            break;
        }
        return false;
    }

    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;

    if (c->kind == Kind::Combo) {
        if (!enter) return false;
        deliver([&](FormEvents& ev) { ev.comboClick(c->name); });
        return true; // the combo box itself does nothing more with Enter
    }
    if (c->kind == Kind::TextBox) {
        // Tab and Backtab move the focus; they are not keys typed into the box.
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
        const int code = enter ? kKeyEnter : key->key();
        deliver([&](FormEvents& ev) { ev.keyDown(c->name, c->index, code); });
    }
    return false; // the box then takes the key as usual
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::TouchCancel) releaseJog();
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    releaseJog();
    flushReleases();
    if (!unloaded_) {
        unloaded_ = true;
        deliver([](FormEvents& ev) { ev.unload(); });
    }
    event->accept(); // a close request is never refused
}

void MainWindow::endProgram()
{
    if (ending_) return;
    ending_ = true;
    unloaded_ = true;
    held_.reset();
    releases_.clear();
    for (PeriodTimer* t : timers_) t->stop();
    close();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

// ------------------------------------------------------------- hold-to-run

void MainWindow::pressJog(QWidget* button, const Control& c)
{
    if (held_ && held_->button == button) return; // a second mouse button on the same jog button
    releaseJog(); // another jog button: the first one is released before the second is pressed
    flushReleases();
    held_ = Jog{button, c.name, c.index};
    deliver([&](FormEvents& ev) { ev.mouseDown(c.name, c.index); });
}

void MainWindow::releaseJog()
{
    if (!held_) return;
    const Jog jog = *held_;
    held_.reset();
    releases_.push_back(jog);
    if (coreDepth_ == 0) {
        flushReleases();
        return;
    }
    // The core is running (for example a status reply is disabling the
    // button): report the release when it has returned.
    if (!releaseQueued_) {
        releaseQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                releaseQueued_ = false;
                flushReleases();
            },
            Qt::QueuedConnection);
    }
}

void MainWindow::flushReleases()
{
    while (!releases_.empty()) {
        const Jog jog = releases_.front();
        releases_.erase(releases_.begin());
        deliver([&](FormEvents& ev) { ev.mouseUp(jog.name, jog.index); });
    }
}

// ------------------------------------------------------------- screenshot

bool saveWindowScreenshot(MainWindow& window, const QString& path)
{
    window.ensurePolished();
    if (QLayout* l = window.layout()) l->activate();
    const QPixmap picture = window.grab();
    return !picture.isNull() && picture.save(path, "PNG");
}

} // namespace vq
