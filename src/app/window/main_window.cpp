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
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTimer>

#include <algorithm>
#include <charconv>

#include "control_look.h"
#include "link/period_timer.h"
#include "program_text.h"
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

void MainWindow::registerObject(QObject* o, const Control& c)
{
    const QString name = QString::fromStdString(layout::objectName(c));
    o->setObjectName(name);
    if (auto* w = qobject_cast<QWidget*>(o)) w->setAccessibleDescription(name);
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
    const QPoint origin = originOf(c.parent);
    w->setGeometry(px(c.rect.left) - origin.x(), px(c.rect.top) - origin.y(), px(c.rect.width), px(c.rect.height));
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

    QHash<QString, QMenu*> menus;

    for (const Control& c : layout::controls()) {
        const QString caption = qs(c.caption);
        QWidget* parentWidget = c.kind == Kind::Form || c.parent.name.empty() ? nullptr : container(c.parent);

        switch (c.kind) {
        case Kind::Form: {
            registerObject(this, c);
            setWindowTitle(caption);
            setFont(fontFor(c.font));
            client_->setFixedSize(px(c.rect.width), px(c.rect.height));
            break;
        }
        case Kind::Menu: {
            if (hasChildren(c)) {
                QMenu* menu = menuBar()->addMenu(caption);
                menu->setObjectName(qs(c.name));
                registerObject(menu->menuAction(), c);
                menus.insert(qs(c.name), menu);
            } else {
                QAction* a = menuBar()->addAction(caption);
                registerObject(a, c);
                connect(a, &QAction::triggered, this, [this, &c] { deliver([&](FormEvents& ev) { ev.menu(c.name); }); });
            }
            break;
        }
        case Kind::MenuItem:
        case Kind::Separator: {
            QMenu* menu = menus.value(qs(c.parent.name));
            if (!menu) break;
            QAction* a = c.kind == Kind::Separator ? menu->addSeparator() : menu->addAction(caption);
            registerObject(a, c);
            if (c.kind == Kind::Separator) break;
            if (!c.shortcut.empty()) a->setShortcut(QKeySequence(qs(c.shortcut)));
            if (c.name == "Exit")
                connect(a, &QAction::triggered, this, &QWidget::close); // ends like closing the window
            else
                connect(a, &QAction::triggered, this, [this, &c] { deliver([&](FormEvents& ev) { ev.menu(c.name); }); });
            break;
        }
        case Kind::Timer: {
            auto* t = new PeriodTimer(this);
            registerObject(t, c);
            t->setInterval(c.interval);
            timers_.push_back(t);
            connect(t, &PeriodTimer::timeout, this, [this, &c] { deliver([&](FormEvents& ev) { ev.timer(c.name); }); });
            break;
        }
        case Kind::SerialPort:
        case Kind::FileDialog: {
            registerObject(new QObject(this), c); // placeholders: the core owns the port and dialogs
            break;
        }
        case Kind::TabControl: {
            auto* tabs = new TabControl(parentWidget);
            registerObject(tabs, c);
            place(tabs, c);
            connect(tabs, &QTabWidget::currentChanged, this, [this, &c](int index) {
                if (!quietTabs_) deliver([&](FormEvents& ev) { ev.tabClick(c.name, index); });
            });
            break;
        }
        case Kind::TabPage: {
            auto* tabs = qobject_cast<QTabWidget*>(widget(c.parent.name, c.parent.index));
            if (!tabs) break;
            auto* page = new QWidget;
            registerObject(page, c);
            tabs->insertTab(c.index, page, caption);
            pages_[{c.parent.name, c.index}] = page;
            break;
        }
        case Kind::Frame: {
            auto* g = new QGroupBox(caption, parentWidget);
            g->setProperty("blueCaption", c.has(layout::kBlueCaption));
            registerObject(g, c);
            place(g, c);
            break;
        }
        case Kind::Button: {
            auto* b = new CaptionButton(caption, parentWidget);
            registerObject(b, c);
            place(b, c);
            b->setAutoDefault(false);
            if (c.has(layout::kGraphical)) {
                b->setProperty("graphical", true);
                setBackColour(b, Colour::buttonFace());
            }
            if (c.name == "Command5") {
                // Jog buttons act on press and release only (no click, no keyboard).
                b->installEventFilter(this);
            } else {
                connect(b, &QAbstractButton::clicked, this,
                        [this, &c] { deliver([&](FormEvents& ev) { ev.click(c.name, c.index); }); });
            }
            break;
        }
        case Kind::CheckBox: {
            auto* b = new QCheckBox(caption, parentWidget);
            registerObject(b, c);
            place(b, c);
            b->setChecked(c.value != 0);
            connect(b, &QAbstractButton::clicked, this,
                    [this, &c] { deliver([&](FormEvents& ev) { ev.click(c.name, c.index); }); });
            break;
        }
        case Kind::TextBox: {
            auto* e = new QLineEdit(caption, parentWidget);
            registerObject(e, c);
            place(e, c);
            e->setCursorPosition(0);
            if (c.has(layout::kRedText)) setTextColour(e, QPalette::Text, QColor(255, 0, 0));
            if (c.has(layout::kInactive)) e->setReadOnly(true);
            e->installEventFilter(this);
            break;
        }
        case Kind::MultiLineText: {
            auto* e = new ProgramEditor(parentWidget);
            registerObject(e, c);
            place(e, c);
            e->setTabChangesFocus(true);
            if (c.has(layout::kScrollBars)) {
                // Both bars always shown, as a box with scroll bars does,
                // also while there is nothing to scroll. A bar that came
                // and went would change the text area's width and make
                // the editor lay out every line of the program again.
                e->setLineWrapMode(QPlainTextEdit::NoWrap);
                e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            } else {
                e->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            }
            setProgramText(*e, caption);
            break;
        }
        case Kind::Label: {
            auto* l = new CaptionLabel(caption, parentWidget);
            registerObject(l, c);
            place(l, c);
            l->setTextFormat(Qt::PlainText);
            l->setAlignment(c.has(layout::kWordWrap) ? Qt::AlignLeft | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter);
            l->setCaptionLayout(c.has(layout::kColumns)    ? CaptionLabel::Layout::Columns
                                : c.has(layout::kWordWrap) ? CaptionLabel::Layout::WrapAtBlanks
                                                           : CaptionLabel::Layout::Plain);
            if (c.has(layout::kRedText)) setTextColour(l, QPalette::WindowText, QColor(255, 0, 0));
            if (c.has(layout::kBackHighlightText)) {
                const QColor hl = QApplication::palette().color(QPalette::Active, QPalette::HighlightedText);
                setBackColour(l, Colour::fromRgb(std::uint8_t(hl.red()), std::uint8_t(hl.green()), std::uint8_t(hl.blue())));
            } else if (c.has(layout::kBackWhite)) {
                setBackColour(l, Colour::fromRgb(255, 255, 255));
            }
            break;
        }
        case Kind::Combo: {
            auto* box = new DropDownCombo(parentWidget);
            registerObject(box, c);
            place(box, c);
            box->setEditable(true);
            box->setInsertPolicy(QComboBox::NoInsert);
            // An editable combo box also reports "activated" when its edit
            // field loses the focus with a text that matches an item, and
            // the focus goes to the list as soon as it opens: the port would
            // be reopened just by opening the list. Only a choice from the
            // list, the arrow keys and Enter count.
            QObject::disconnect(box->lineEdit(), &QLineEdit::editingFinished, box, nullptr);
            // No inline completion: typing "1" must not turn into "16".
            box->setCompleter(nullptr);
            // The edit field paints its whole area in the base colour
            // itself; filling its background as well (the same colour)
            // tells Qt that it is opaque, so that it repaints alone.
            // Otherwise every blink of its caret (twice a second while the
            // console sits at its first control, the port box) repainted
            // the box, the frame, the client area and the window behind it
            // too, six times the cost of the field.
            box->lineEdit()->setAutoFillBackground(true);
            box->setEditText(caption);
            box->beforePopup = [this, &c] { deliver([&](FormEvents& ev) { ev.comboDropDown(c.name); }); };
            connect(box, &QComboBox::activated, this, [this, &c](int) { deliver([&](FormEvents& ev) { ev.comboClick(c.name); }); });
            // The combo box keeps the focus and hands keys to its edit field
            // itself, past any filter on the field: Enter is caught here.
            box->installEventFilter(this);
            break;
        }
        case Kind::Shape: {
            auto* lamp = new Lamp(parentWidget);
            registerObject(lamp, c);
            place(lamp, c);
            break;
        }
        case Kind::Picture: {
            auto* pic = new QLabel(parentWidget);
            registerObject(pic, c);
            place(pic, c);
            pic->setScaledContents(true);
            pic->setPixmap(armPicture(pic->size()));
            break;
        }
        }
    }

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
    if (event->type() == QEvent::WindowDeactivate) releaseJog();
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
