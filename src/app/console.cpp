#include "console.h"

#include <QPlainTextEdit>
#include <QStandardPaths>

#include <chrono>

#include "signal_watch.h"

#include "app/about.h"
#include "app/control_ids.h"
#include "app/view/views_window.h"
#include "app/window/main_window.h"
#include "app/window/qt_board.h"
#include "app/window/qt_prompts.h"
#include "link/qt_serial_line.h"
#include "link/saved_port.h"
#include "sim/sim_host.h"

namespace vq {

// The window is built before the core that answers its events exists.
class Console::Relay : public FormEvents {
public:
    Form1* form = nullptr;
    QWidget* window = nullptr;
    view::ViewsWindow* views = nullptr;
    Board* board = nullptr;
    Prompts* prompts = nullptr;
    void load() override { if (form) form->load(); }
    void click(std::string_view n, int i) override { if (form) form->click(n, i); }
    void mouseDown(std::string_view n, int i) override { if (form) form->mouseDown(n, i); }
    void mouseUp(std::string_view n, int i) override { if (form) form->mouseUp(n, i); }
    void keyDown(std::string_view n, int i, int k) override { if (form) form->keyDown(n, i, k); }
    void tabClick(std::string_view n, int t) override { if (form) form->tabClick(n, t); }
    void comboDropDown(std::string_view n) override { if (form) form->comboDropDown(n); }
    void comboClick(std::string_view n) override { if (form) form->comboClick(n); }
    void menu(std::string_view n) override
    {
        // The about box belongs to the window alone; the core never sees it.
        if (n == kAboutItem) {
            showAbout(window);
            return;
        }
        // So do the pictures and the export of what they recorded.
        if (n == view::kShowViewsItem) {
            if (views) views->showAndRaise();
            return;
        }
        if (n == view::kExportRecordingItem) {
            if (views && board && prompts) exportRecording(views->recorder(), *board, *prompts);
            return;
        }
        if (form) form->menu(n);
    }
    void timer(std::string_view n) override { if (form) form->timer(n); }
    void change(std::string_view n) override { if (form) form->change(n); }
    void unload() override { if (form) form->unload(); }
    void changed(std::string_view n) override { if (form) form->changed(n); }
};

class Console::RegistrySettings : public SavedSettings {
public:
    std::string get(std::string_view name) override { return getRegString(name); }
    std::string put(std::string_view name, std::string_view text) override { return putRegString(name, text); }
};

Console::Console(ConsoleOptions options)
    : options_(std::move(options)), relay_(std::make_unique<Relay>()), registry_(std::make_unique<RegistrySettings>()),
      line_(std::make_unique<QtSerialLine>()), probe_(std::make_unique<QtSerialLine>())
{
    window_ = std::make_unique<MainWindow>(*relay_);
    relay_->window = window_.get();
    board_ = std::make_unique<QtBoard>(*window_);
    if (!options_.prompts) qtPrompts_ = std::make_unique<QtPrompts>(window_.get());
    if (options_.handleSignals) {
        signals_ = std::make_unique<SignalWatch>();
        QObject::connect(signals_.get(), &SignalWatch::arrived, window_.get(), [w = window_.get()] { w->close(); });
    }
}

Console::~Console()
{
    // The core goes first: it may still write to the line and the board.
    signals_.reset();
    relay_->form = nullptr;
    relay_->views = nullptr;
    window_->setTrafficLog(nullptr);
    form_.reset();
    views_.reset();
    line_->onReceive = nullptr;
}

bool Console::start()
{
    std::optional<std::string> device;
    if (options_.simulate) {
        sim_ = std::make_unique<sim::SimHost>();
        if (!sim_->start(options_.sim)) {
            error_ = sim_->errorString();
            return false;
        }
        // Follow the link when there is one, so that a vanished and
        // reappeared simulator is found again.
        device = options_.sim.linkPath.empty() ? sim_->slaveDevice().toStdString() : options_.sim.linkPath;
    }
    Prompts& prompts = options_.prompts ? *options_.prompts : *qtPrompts_;
    SavedSettings& settings = options_.settings ? *options_.settings : *registry_;
    const std::string recovery = options_.recoveryFolder
                                     ? *options_.recoveryFolder
                                     : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString();
    form_ = std::make_unique<Form1>(*board_, prompts, *line_, settings, device, recovery);
    auto* editor = qobject_cast<QPlainTextEdit*>(window_->widget(designerControl(Ctl::ProgramEditor)->name));
    views_ = std::make_unique<view::ViewsWindow>(*board_, editor, &form_->program().runner(), options_.simulate);
    views_->listenTo(form_->replies());
    // Requests are paced by the real time of the line.
    form_->link().clock = [] { return std::chrono::steady_clock::now().time_since_epoch(); };
    relay_->form = form_.get();
    relay_->views = views_.get();
    relay_->board = board_.get();
    relay_->prompts = &prompts;
    form_->setProbePort(probe_.get());
    window_->setTrafficLog(&form_->traffic());
    form_->load();
    return true;
}

MainWindow& Console::window() { return *window_; }
QtBoard& Console::board() { return *board_; }
Form1& Console::form() { return *form_; }
QtSerialLine& Console::line() { return *line_; }
sim::SimHost* Console::simulator() { return sim_.get(); }
view::ViewsWindow* Console::views() { return views_.get(); }

} // namespace vq
