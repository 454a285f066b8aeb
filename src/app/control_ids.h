// The window's edge: which control of the layout table shows each control
// id of the core (link/board.h). The Qt board reaches its widgets through
// this table, the console core maps the window's events back through it,
// and the test board refuses every id and index the table does not list.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "link/board.h"

namespace vq {

// A control of the layout table: designer name and array index.
struct DesignerControl {
    std::string_view name;
    int index = kNoIndex;

    friend constexpr bool operator==(const DesignerControl&, const DesignerControl&) = default;
};

// A control id and index as the core addresses it.
struct BoundControl {
    Ctl id;
    int index = kNoIndex;

    friend constexpr bool operator==(const BoundControl&, const BoundControl&) = default;
};

// Indices first..last of an id, shown by the designer control `name`: by
// its elements designerFirst.. in step, or, when designerFirst is kNoIndex,
// by the control itself (then first == last).
struct ControlBinding {
    Ctl id;
    int first;
    int last;
    std::string_view name;
    int designerFirst;
};

// Every binding, in the order of the ids.
std::span<const ControlBinding> controlBindings();

// The designer control showing that id and index; nullopt when there is
// none.
std::optional<DesignerControl> designerControl(Ctl id, int index = kNoIndex);

// The id and index a designer control shows; nullopt for a control the core
// does not know.
std::optional<BoundControl> boundControl(std::string_view name, int index = kNoIndex);

} // namespace vq
