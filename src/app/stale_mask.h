// The window while the controller's state is unknown. Once status replies
// have stopped, the buttons that show that state (servo and mode colours)
// go neutral and the buttons that would move the arm (jog, target angles,
// direct moves, Run) are disabled. Everything the console sets on those
// controls meanwhile is kept aside, not shown; when a status reply comes
// again, the controls get exactly what they would have shown without the
// mask. Every other call passes straight through, and reads always give
// what the window shows.
#pragma once

#include <map>
#include <utility>

#include "link/board.h"

namespace vq {

class StaleMask : public Board {
public:
    explicit StaleMask(Board& window) : w_(window) {}

    void hold(bool on);
    bool holding() const { return holding_; }

    std::string text(Ctl id, int index) const override { return w_.text(id, index); }
    void setText(Ctl id, int index, std::string_view text) override { w_.setText(id, index, text); }
    void appendText(Ctl id, int index, std::string_view more) override { w_.appendText(id, index, more); }
    std::string textLines(Ctl id, std::size_t first, std::size_t count) const override
    {
        return w_.textLines(id, first, count);
    }
    bool enabled(Ctl id, int index) const override { return w_.enabled(id, index); }
    void setEnabled(Ctl id, int index, bool on) override;
    Colour backColour(Ctl id, int index) const override { return w_.backColour(id, index); }
    void setBackColour(Ctl id, int index, Colour colour) override;
    int value(Ctl id, int index) const override { return w_.value(id, index); }
    void setValue(Ctl id, int index, int value) override { w_.setValue(id, index, value); }
    bool timerEnabled(Ctl timer) const override { return w_.timerEnabled(timer); }
    void setTimerEnabled(Ctl timer, bool on) override { w_.setTimerEnabled(timer, on); }
    int timerInterval(Ctl timer) const override { return w_.timerInterval(timer); }
    void setTimerInterval(Ctl timer, int ms) override { w_.setTimerInterval(timer, ms); }
    void setItems(Ctl id, const std::vector<std::string>& items) override { w_.setItems(id, items); }
    void setMarks(Ctl id, const std::vector<TextMark>& marks) override { w_.setMarks(id, marks); }
    void endProgram() override { w_.endProgram(); }

private:
    using Key = std::pair<Ctl, int>;

    // While holding, a masked control's new state is kept aside; true then.
    template <class V>
    bool keepAside(std::map<Key, V>& aside, Ctl id, int index, V value)
    {
        if (!holding_) return false;
        const auto it = aside.find({id, index});
        if (it == aside.end()) return false;
        it->second = value;
        return true;
    }

    Board& w_;
    bool holding_ = false;
    std::map<Key, Colour> colours_; // what the masked colours would show
    std::map<Key, bool> enabling_;  // what the masked buttons' enabling would be
};

} // namespace vq
