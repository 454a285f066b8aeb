#include "stale_mask.h"

#include <array>

namespace vq {
namespace {

struct Run {
    Ctl id;
    int first;
    int last;
};

// Colours that say what the controller reports: button face while unknown.
constexpr std::array kColours = {
    Run{Ctl::ServoButton, 1, 6},
    Run{Ctl::ControlModeButton, 0, 2},
    Run{Ctl::MotionModeButton, 0, 3},
};

// Buttons that would move the arm: disabled while its state is unknown.
constexpr std::array kButtons = {
    Run{Ctl::JogKey, 1, 12},         Run{Ctl::TargetAngleButton, 1, 3},       Run{Ctl::PointMoveButton, kNoIndex, kNoIndex},
    Run{Ctl::LineMoveButton, kNoIndex, kNoIndex}, Run{Ctl::ArcMoveButton, kNoIndex, kNoIndex}, Run{Ctl::RunButton, kNoIndex, kNoIndex},
};

template <class F>
void forEach(const auto& runs, F&& f)
{
    for (const Run& r : runs)
        for (int i = r.first; i <= r.last; ++i) f(r.id, i);
}

} // namespace

void StaleMask::hold(bool on)
{
    if (on == holding_) return;
    if (on) {
        forEach(kColours, [&](Ctl id, int i) {
            colours_[{id, i}] = w_.backColour(id, i);
            w_.setBackColour(id, i, Colour::buttonFace());
        });
        forEach(kButtons, [&](Ctl id, int i) {
            enabling_[{id, i}] = w_.enabled(id, i);
            w_.setEnabled(id, i, false);
        });
    } else {
        for (const auto& [key, colour] : colours_) w_.setBackColour(key.first, key.second, colour);
        for (const auto& [key, on_] : enabling_) w_.setEnabled(key.first, key.second, on_);
        colours_.clear();
        enabling_.clear();
    }
    holding_ = on;
}

void StaleMask::setEnabled(Ctl id, int index, bool on)
{
    if (!keepAside(enabling_, id, index, on)) w_.setEnabled(id, index, on);
}

void StaleMask::setBackColour(Ctl id, int index, Colour colour)
{
    if (!keepAside(colours_, id, index, colour)) w_.setBackColour(id, index, colour);
}

} // namespace vq
