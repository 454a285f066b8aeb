// The core's view of the window (Board) over the widgets of MainWindow. The
// core addresses controls by id; the binding table (app/control_ids.h) says
// which widget shows each. The same calls by designer name and index serve
// the window's own tests.
#pragma once

#include <array>
#include <vector>

#include "app/control_ids.h"
#include "link/board.h"
#include "main_window.h"

namespace vq {

class PeriodTimer;

class QtBoard : public Board {
public:
    // Resolves every id and index of the binding table to its widget once.
    explicit QtBoard(MainWindow& window);

    // Board, through the binding table. An id and index the table does not
    // list is reported once and then treated as a missing control.
    std::string text(Ctl id, int index = kNoIndex) const override;
    void setText(Ctl id, int index, std::string_view text) override;
    void appendText(Ctl id, int index, std::string_view more) override;
    std::string textLines(Ctl id, std::size_t first, std::size_t count) const override;
    bool enabled(Ctl id, int index = kNoIndex) const override;
    void setEnabled(Ctl id, int index, bool on) override;
    Colour backColour(Ctl id, int index = kNoIndex) const override;
    void setBackColour(Ctl id, int index, Colour colour) override;
    int value(Ctl id, int index = kNoIndex) const override;
    void setValue(Ctl id, int index, int value) override;
    bool timerEnabled(Ctl timer) const override;
    void setTimerEnabled(Ctl timer, bool on) override;
    int timerInterval(Ctl timer) const override;
    void setTimerInterval(Ctl timer, int ms) override;
    void setItems(Ctl id, const std::vector<std::string>& items) override;
    void setMarks(Ctl id, const std::vector<TextMark>& marks) override;
    void endProgram() override;

    // The same by designer name and index.
    std::string text(std::string_view name, int index = kNoIndex) const;
    void setText(std::string_view name, int index, std::string_view text);

    bool enabled(std::string_view name, int index = kNoIndex) const;
    // Seventh-axis controls stay disabled: enabling them is ignored.
    void setEnabled(std::string_view name, int index, bool on);

    Colour backColour(std::string_view name, int index = kNoIndex) const;
    void setBackColour(std::string_view name, int index, Colour colour);

    int value(std::string_view name, int index = kNoIndex) const;
    // Selecting a tab this way reports no tab click.
    void setValue(std::string_view name, int index, int value);

    // A timer runs while it is enabled and its interval is above 0; setting
    // the interval of a running timer starts its period afresh.
    bool timerEnabled(std::string_view name) const;
    void setTimerEnabled(std::string_view name, bool on);
    int timerInterval(std::string_view name) const;
    void setTimerInterval(std::string_view name, int ms);

    // Replaces the list of a combo box; the text in its edit field stays.
    void setItems(std::string_view name, const std::vector<std::string>& items);

private:
    // The widgets of one id, for its indices first, first + 1, ...
    struct IdRow {
        int first = 0;
        std::vector<MainWindow::Shown> shown;
    };
    MainWindow::Shown shown(Ctl id, int index) const;
    MainWindow::Shown named(std::string_view name, int index) const;

    std::string textOf(const MainWindow::Shown& s) const;
    void setTextOf(const MainWindow::Shown& s, std::string_view text);
    bool enabledOf(const QObject* o) const;
    void setEnabledOf(const MainWindow::Shown& s, bool on);
    void setBackColourOf(QObject* o, Colour colour);
    int valueOf(const QObject* o) const;
    void setValueOf(QObject* o, int value);
    static PeriodTimer* timerOf(const MainWindow::Shown& s);
    bool timerOn(const PeriodTimer* t) const;
    void setTimerOn(PeriodTimer* t, bool on);
    int intervalOf(const PeriodTimer* t) const;
    void setIntervalOf(PeriodTimer* t, int ms);
    void setItemsOf(QObject* o, const std::vector<std::string>& items);

    MainWindow& window_;
    std::array<IdRow, kCtlCount> rows_;
};

} // namespace vq
