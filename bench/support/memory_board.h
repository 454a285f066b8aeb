// A Board of plain values that costs next to nothing per call, so that the
// link and the decoders are what a benchmark measures. Controls exist on
// first use with empty text, enabled, button face, value 0. Lookups take
// no allocation: one small vector of indices per control id.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "link/board.h"

namespace vq::bench {

class MemoryBoard : public Board {
public:
    struct Control {
        std::string text;
        bool enabled = true;
        Colour back = Colour::buttonFace();
        int value = 0;
    };
    struct Timer {
        bool enabled = false;
        int interval = 0;
    };

    std::string text(Ctl id, int index = kNoIndex) const override { return get(id, index).text; }
    void setText(Ctl id, int index, std::string_view t) override
    {
        ++setTextCalls;
        at(id, index).text.assign(t);
    }
    bool enabled(Ctl id, int index = kNoIndex) const override { return get(id, index).enabled; }
    void setEnabled(Ctl id, int index, bool on) override { at(id, index).enabled = on; }
    Colour backColour(Ctl id, int index = kNoIndex) const override { return get(id, index).back; }
    void setBackColour(Ctl id, int index, Colour c) override { at(id, index).back = c; }
    int value(Ctl id, int index = kNoIndex) const override { return get(id, index).value; }
    void setValue(Ctl id, int index, int v) override { at(id, index).value = v; }

    bool timerEnabled(Ctl id) const override { return timers_[slot(id)].enabled; }
    void setTimerEnabled(Ctl id, bool on) override { timers_[slot(id)].enabled = on; }
    int timerInterval(Ctl id) const override { return timers_[slot(id)].interval; }
    void setTimerInterval(Ctl id, int ms) override { timers_[slot(id)].interval = ms; }

    void setItems(Ctl, const std::vector<std::string>&) override {}
    void setMarks(Ctl, const std::vector<TextMark>&) override {}
    void endProgram() override { ended = true; }

    Control& at(Ctl id, int index = kNoIndex)
    {
        auto& row = controls_[slot(id)];
        const auto i = static_cast<std::size_t>(index + 1);
        if (i >= row.size()) row.resize(i + 1);
        return row[i];
    }

    long setTextCalls = 0;
    bool ended = false;

private:
    static std::size_t slot(Ctl id) { return static_cast<std::size_t>(id); }
    const Control& get(Ctl id, int index) const
    {
        static const Control blank;
        const auto& row = controls_[slot(id)];
        const auto i = static_cast<std::size_t>(index + 1);
        return i < row.size() ? row[i] : blank;
    }

    std::array<std::vector<Control>, kCtlCount> controls_;
    std::array<Timer, kCtlCount> timers_{};
};

// Prompts that never block: no warning is shown, questions get No, file
// dialogs give the name set beforehand.
class QuietPrompts : public Prompts {
public:
    void warn(std::string_view, std::string_view) override { ++warnings; }
    bool askYesNo(std::string_view, std::string_view) override { return false; }
    std::string openFileName(std::string_view, std::string_view) override { return openName; }
    std::string saveFileName(std::string_view, std::string_view) override { return saveName; }

    std::string openName, saveName;
    int warnings = 0;
};

} // namespace vq::bench
