// The 3D path view ("armView"): floor grid, the controller's base frame,
// the TCP's trail of the last minute (fading), the tool frame as a small
// triad, the arm itself when its geometry is chosen, and the program's
// moves. Painted with QPainter through the view's own projection
// (scene.h), so it needs no GPU. Left drag orbits, right or middle drag
// pans, the wheel zooms; a click on a program point picks its line.
#pragma once

#include <QPoint>
#include <QWidget>

#include <optional>

#include "arm_model.h"
#include "scene.h"

namespace vq::view {

class ArmView : public QWidget {
    Q_OBJECT
public:
    explicit ArmView(const ArmModel& model, QWidget* parent = nullptr);

    const Camera& camera() const { return camera_; }
    void setCamera(const Camera& camera);

signals:
    void linePicked(std::size_t line); // 0-based program line of a clicked point

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    const ArmModel& model_;
    Camera camera_;
    std::optional<QPoint> pressedAt_;
    QPoint lastMouse_;
    bool dragged_ = false;
};

} // namespace vq::view
