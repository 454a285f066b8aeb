// A board made of plain values, for driving the core without widgets. Every
// control exists on first use with empty text, enabled, button face, value 0.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "link/board.h"
#include "link/port.h"

namespace vq::test {

class FakeBoard : public Board {
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
    void setText(std::string_view name, int index, std::string_view t) override { at(name, index).text = std::string(t); }
    bool enabled(std::string_view name, int index = kNoIndex) const override { return get(name, index).enabled; }
    void setEnabled(std::string_view name, int index, bool on) override { at(name, index).enabled = on; }
    Colour backColour(std::string_view name, int index = kNoIndex) const override { return get(name, index).back; }
    void setBackColour(std::string_view name, int index, Colour c) override { at(name, index).back = c; }
    int value(std::string_view name, int index = kNoIndex) const override { return get(name, index).value; }
    void setValue(std::string_view name, int index, int v) override { at(name, index).value = v; }

    bool timerEnabled(std::string_view name) const override { return getTimer(name).enabled; }
    void setTimerEnabled(std::string_view name, bool on) override { timers_[std::string(name)].enabled = on; }
    int timerInterval(std::string_view name) const override { return getTimer(name).interval; }
    void setTimerInterval(std::string_view name, int ms) override { timers_[std::string(name)].interval = ms; }

    void setItems(std::string_view name, const std::vector<std::string>& list) override { items[std::string(name)] = list; }
    void endProgram() override { ended = true; }

    std::map<std::string, std::vector<std::string>> items;
    bool ended = false;

    Control& at(std::string_view name, int index = kNoIndex) { return controls_[{std::string(name), index}]; }
    bool has(std::string_view name, int index = kNoIndex) const { return controls_.count({std::string(name), index}) != 0; }

private:
    const Control& get(std::string_view name, int index) const
    {
        static const Control blank;
        auto it = controls_.find({std::string(name), index});
        return it == controls_.end() ? blank : it->second;
    }
    Timer getTimer(std::string_view name) const
    {
        auto it = timers_.find(std::string(name));
        return it == timers_.end() ? Timer{} : it->second;
    }

    std::map<std::pair<std::string, int>, Control> controls_;
    std::map<std::string, Timer> timers_;
};

// Prompts that answer from a script and record what was asked.
class ScriptedPrompts : public Prompts {
public:
    void warn(std::string_view text, std::string_view title) override { warnings.emplace_back(text, title); }
    bool askYesNo(std::string_view text, std::string_view title) override
    {
        questions.emplace_back(text, title);
        bool a = answers.empty() ? false : answers.front();
        if (!answers.empty()) answers.pop_front();
        return a;
    }
    std::string openFileName(std::string_view title, std::string_view filter) override
    {
        dialogs.emplace_back(title, filter);
        return pop(openNames);
    }
    std::string saveFileName(std::string_view title, std::string_view filter) override
    {
        dialogs.emplace_back(title, filter);
        return pop(saveNames);
    }

    std::vector<std::pair<std::string, std::string>> warnings, questions, dialogs;
    std::deque<bool> answers;
    std::deque<std::string> openNames, saveNames;

private:
    static std::string pop(std::deque<std::string>& q)
    {
        if (q.empty()) return {};
        std::string s = q.front();
        q.pop_front();
        return s;
    }
};

// A port that records what is written and lets a test deliver replies.
class RecordingPort : public Port {
public:
    bool open(const std::string& device, std::int32_t baud) override
    {
        opened.emplace_back(device, baud);
        open_ = openable.empty() || openable.count(device) != 0;
        return open_;
    }
    void close() override { open_ = false; ++closes; }
    bool isOpen() const override { return open_; }
    void discardInput() override { input.clear(); ++discards; }
    void setReceiveThreshold(int bytes) override { threshold = bytes; }
    bool write(std::span<const std::uint8_t> bytes) override
    {
        if (!open_) return false;
        writes.emplace_back(bytes.begin(), bytes.end());
        return true;
    }
    std::vector<std::uint8_t> takeAll() override { return std::exchange(input, {}); }

    // Puts bytes in the receive buffer and fires the event when the
    // threshold is reached, as the real line does.
    void deliver(const std::vector<std::uint8_t>& bytes)
    {
        input.insert(input.end(), bytes.begin(), bytes.end());
        if (threshold > 0 && static_cast<int>(input.size()) >= threshold && onReceive) onReceive();
    }

    std::set<std::string> openable; // empty: every device opens
    std::vector<std::pair<std::string, std::int32_t>> opened;
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<std::uint8_t> input;
    int threshold = 0;
    int closes = 0;
    int discards = 0;

private:
    bool open_ = false;
};

} // namespace vq::test
