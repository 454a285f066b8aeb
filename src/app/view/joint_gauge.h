// A joint against its limits ("jointGauge_N"): the angle as a mark on a bar
// from the negative to the positive limit the controller reported, amber
// within 5 degrees of a limit, red at or past it, grey while the limits or
// the angle are not known.
#pragma once

#include <QWidget>

#include <optional>

#include "scene.h"

namespace vq::view {

class JointGauge : public QWidget {
    Q_OBJECT
public:
    JointGauge(int axis, QWidget* parent = nullptr);

    // Repaints only when something shown changes.
    void setReading(std::optional<double> angle, std::optional<double> lowest, std::optional<double> highest);
    LimitState state() const { return state_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int axis_;
    std::optional<double> angle_, lowest_, highest_;
    LimitState state_ = LimitState::Unknown;
};

} // namespace vq::view
