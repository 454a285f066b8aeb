// A Board of plain values that costs next to nothing per call, so that the
// link and the decoders are what a benchmark measures. Controls exist on
// first use with empty text, enabled, button face, value 0. Lookups take
// no allocation: names go through a transparent ordered map, indices
// through a small vector.
#pragma once

#include <map>
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

    std::string text(std::string_view name, int index = kNoIndex) const override { return get(name, index).text; }
    void setText(std::string_view name, int index, std::string_view t) override
    {
        ++setTextCalls;
        at(name, index).text.assign(t);
    }
    bool enabled(std::string_view name, int index = kNoIndex) const override { return get(name, index).enabled; }
    void setEnabled(std::string_view name, int index, bool on) override { at(name, index).enabled = on; }
    Colour backColour(std::string_view name, int index = kNoIndex) const override { return get(name, index).back; }
    void setBackColour(std::string_view name, int index, Colour c) override { at(name, index).back = c; }
    int value(std::string_view name, int index = kNoIndex) const override { return get(name, index).value; }
    void setValue(std::string_view name, int index, int v) override { at(name, index).value = v; }

    bool timerEnabled(std::string_view name) const override { return timer(name).enabled; }
    void setTimerEnabled(std::string_view name, bool on) override { timerAt(name).enabled = on; }
    int timerInterval(std::string_view name) const override { return timer(name).interval; }
    void setTimerInterval(std::string_view name, int ms) override { timerAt(name).interval = ms; }

    void setItems(std::string_view, const std::vector<std::string>&) override {}
    void endProgram() override { ended = true; }

    Control& at(std::string_view name, int index = kNoIndex)
    {
        auto it = controls_.find(name);
        if (it == controls_.end()) it = controls_.emplace(std::string(name), std::vector<Control>{}).first;
        auto slot = static_cast<std::size_t>(index + 1);
        if (slot >= it->second.size()) it->second.resize(slot + 1);
        return it->second[slot];
    }

    long setTextCalls = 0;
    bool ended = false;

private:
    const Control& get(std::string_view name, int index) const
    {
        static const Control blank;
        auto it = controls_.find(name);
        auto slot = static_cast<std::size_t>(index + 1);
        if (it == controls_.end() || slot >= it->second.size()) return blank;
        return it->second[slot];
    }
    Timer timer(std::string_view name) const
    {
        auto it = timers_.find(name);
        return it == timers_.end() ? Timer{} : it->second;
    }
    Timer& timerAt(std::string_view name)
    {
        auto it = timers_.find(name);
        if (it == timers_.end()) it = timers_.emplace(std::string(name), Timer{}).first;
        return it->second;
    }

    std::map<std::string, std::vector<Control>, std::less<>> controls_;
    std::map<std::string, Timer, std::less<>> timers_;
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
