// A window's events that go nowhere: for benchmarks that build the real
// window only to measure what the board costs.
#pragma once

#include <string_view>

#include "app/form_events.h"

namespace vq::bench {

class NoEvents : public FormEvents {
public:
    void load() override {}
    void click(std::string_view, int) override {}
    void mouseDown(std::string_view, int) override {}
    void mouseUp(std::string_view, int) override {}
    void keyDown(std::string_view, int, int) override {}
    void tabClick(std::string_view, int) override {}
    void comboDropDown(std::string_view) override {}
    void comboClick(std::string_view) override {}
    void menu(std::string_view) override {}
    void timer(std::string_view) override {}
    void change(std::string_view) override {}
    void unload() override {}
};

} // namespace vq::bench
