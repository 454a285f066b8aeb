// A board made of plain values, for driving the core without widgets. It
// holds exactly the controls that the binding table (app/control_ids.h)
// maps to a control of the layout table, and refuses any other id and
// index: asking for one throws std::logic_error, which fails the test (and
// aborts a fuzz run). A control starts with empty text, enabled (a
// seventh-axis control disabled, and enabling it is ignored, as in the
// window), button face, value 0.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/control_ids.h"
#include "app/layout_table.h"
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

    std::string text(Ctl id, int index = kNoIndex) const override { return get(id, index).text; }
    void setText(Ctl id, int index, std::string_view t) override { at(id, index).text = std::string(t); }
    bool enabled(Ctl id, int index = kNoIndex) const override { return get(id, index).enabled; }
    void setEnabled(Ctl id, int index, bool on) override
    {
        Control& c = at(id, index);
        if (!on || !inactive(id, index)) c.enabled = on;
    }
    Colour backColour(Ctl id, int index = kNoIndex) const override { return get(id, index).back; }
    void setBackColour(Ctl id, int index, Colour c) override { at(id, index).back = c; }
    int value(Ctl id, int index = kNoIndex) const override { return get(id, index).value; }
    void setValue(Ctl id, int index, int v) override { at(id, index).value = v; }

    bool timerEnabled(Ctl id) const override { return getTimer(id).enabled; }
    void setTimerEnabled(Ctl id, bool on) override { timerAt(id).enabled = on; }
    int timerInterval(Ctl id) const override { return getTimer(id).interval; }
    void setTimerInterval(Ctl id, int ms) override { timerAt(id).interval = ms; }

    void setItems(Ctl id, const std::vector<std::string>& list) override
    {
        shown(id, kNoIndex);
        items[id] = list;
    }
    void setMarks(Ctl id, const std::vector<TextMark>& list) override
    {
        shown(id, kNoIndex);
        marks[id] = list;
    }
    void endProgram() override { ended = true; }

    std::map<Ctl, std::vector<std::string>> items;
    std::map<Ctl, std::vector<TextMark>> marks;
    bool ended = false;

    Control& at(Ctl id, int index = kNoIndex)
    {
        const layout::Control& c = shown(id, index);
        auto [it, added] = controls_.try_emplace({id, index});
        if (added) it->second.enabled = !c.has(layout::kInactive);
        return it->second;
    }
    // Whether the control was set since the board was made.
    bool has(Ctl id, int index = kNoIndex) const
    {
        shown(id, index);
        return controls_.count({id, index}) != 0;
    }

    // The control of the layout table that shows the id and index; throws
    // when there is none.
    static const layout::Control& shown(Ctl id, int index)
    {
        const auto d = designerControl(id, index);
        const layout::Control* c = d ? layout::find(d->name, d->index) : nullptr;
        if (!c) throw std::logic_error("the window has no control " + describe(id, index));
        return *c;
    }

private:
    static bool inactive(Ctl id, int index) { return shown(id, index).has(layout::kInactive); }
    static void checkTimer(Ctl id)
    {
        if (shown(id, kNoIndex).kind != layout::Kind::Timer) throw std::logic_error(describe(id) + " is not a timer");
    }
    const Control& get(Ctl id, int index) const
    {
        static const Control blank;
        static const Control blankInactive{{}, false, Colour::buttonFace(), 0};
        auto it = controls_.find({id, index});
        if (it != controls_.end()) return it->second;
        return inactive(id, index) ? blankInactive : blank;
    }
    Timer getTimer(Ctl id) const
    {
        checkTimer(id);
        auto it = timers_.find(id);
        return it == timers_.end() ? Timer{} : it->second;
    }
    Timer& timerAt(Ctl id)
    {
        checkTimer(id);
        return timers_[id];
    }

    std::map<std::pair<Ctl, int>, Control> controls_;
    std::map<Ctl, Timer> timers_;
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

    int chosenFilter() const override { return filterChosen; }
    void showProgress(std::string_view text, int percent, std::function<void()> onCancel) override
    {
        progress.emplace_back(std::string(text), percent);
        cancelProgress = std::move(onCancel);
    }
    void hideProgress() override
    {
        progressHidden = true;
        cancelProgress = nullptr;
    }
    void offer(std::string_view text, std::string_view acceptText, std::function<void()> onAccept) override
    {
        offers.emplace_back(text, acceptText);
        acceptOffer = std::move(onAccept);
    }
    void withdrawOffer() override { acceptOffer = nullptr; }

    std::vector<std::pair<std::string, std::string>> warnings, questions, dialogs;
    std::deque<bool> answers;
    std::deque<std::string> openNames, saveNames;
    int filterChosen = 0;                            // what chosenFilter() answers
    std::vector<std::pair<std::string, int>> progress; // each showProgress: text, percent
    bool progressHidden = false;
    std::function<void()> cancelProgress;            // the cancel of the progress box on show
    std::vector<std::pair<std::string, std::string>> offers; // text, accept button
    std::function<void()> acceptOffer;               // the accept of the offer on show

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
        if (!open_ || failWrites) return false;
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
    bool failWrites = false;         // writes fail on the open port (the device going at the write)
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
