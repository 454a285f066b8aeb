// The core's view of the window (Board) over the widgets of MainWindow.
#pragma once

#include "link/board.h"

namespace vq {

class MainWindow;

class QtBoard : public Board {
public:
    explicit QtBoard(MainWindow& window) : window_(window) {}

    std::string text(std::string_view name, int index = kNoIndex) const override;
    void setText(std::string_view name, int index, std::string_view text) override;

    bool enabled(std::string_view name, int index = kNoIndex) const override;
    // Seventh-axis controls stay disabled: enabling them is ignored.
    void setEnabled(std::string_view name, int index, bool on) override;

    Colour backColour(std::string_view name, int index = kNoIndex) const override;
    void setBackColour(std::string_view name, int index, Colour colour) override;

    int value(std::string_view name, int index = kNoIndex) const override;
    // Selecting a tab this way reports no tab click.
    void setValue(std::string_view name, int index, int value) override;

    // A timer runs while it is enabled and its interval is above 0; setting
    // the interval of a running timer starts its period afresh.
    bool timerEnabled(std::string_view name) const override;
    void setTimerEnabled(std::string_view name, bool on) override;
    int timerInterval(std::string_view name) const override;
    void setTimerInterval(std::string_view name, int ms) override;

    // Replaces the list of a combo box; the text in its edit field stays.
    void setItems(std::string_view name, const std::vector<std::string>& items) override;
    void endProgram() override;

private:
    MainWindow& window_;
};

} // namespace vq
