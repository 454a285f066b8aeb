#include "arm_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <cmath>

namespace vq::view {

namespace {

constexpr double kGridHalf = 600; // mm each side of the base
constexpr double kGridStep = 100;
constexpr double kBaseAxis = 150;
constexpr double kTriad = 60;

const QColor kAxisColours[3] = {QColor(220, 40, 40), QColor(30, 160, 60), QColor(40, 80, 230)};

class Painter {
public:
    Painter(QPainter& p, const Camera& c, double w, double h) : p_(p), c_(c), w_(w), h_(h) {}

    std::optional<QPointF> at(const Vector3d& v) const
    {
        const auto s = project(c_, v, w_, h_);
        if (!s) return std::nullopt;
        return QPointF(s->x, s->y);
    }
    void line(const Vector3d& a, const Vector3d& b)
    {
        const auto pa = at(a);
        const auto pb = at(b);
        if (pa && pb) p_.drawLine(*pa, *pb);
    }
    void polyline(const std::vector<Vector3d>& pts)
    {
        for (std::size_t i = 1; i < pts.size(); ++i) line(pts[i - 1], pts[i]);
    }
    void dot(const Vector3d& v, double radius)
    {
        if (const auto pv = at(v)) p_.drawEllipse(*pv, radius, radius);
    }
    void text(const Vector3d& v, const QString& s, QPointF offset = {6, -6})
    {
        if (const auto pv = at(v)) p_.drawText(*pv + offset, s);
    }

private:
    QPainter& p_;
    const Camera& c_;
    double w_, h_;
};

} // namespace

ArmView::ArmView(const ArmModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setMinimumSize(320, 240);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

void ArmView::setCamera(const Camera& camera)
{
    camera_ = camera;
    update();
}

void ArmView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(250, 250, 247));
    p.setRenderHint(QPainter::Antialiasing, true);
    Painter d(p, camera_, width(), height());

    // Floor grid, every 100 mm.
    p.setPen(QPen(QColor(215, 215, 210), 1));
    for (double v = -kGridHalf; v <= kGridHalf + 1e-9; v += kGridStep) {
        d.line({v, -kGridHalf, 0}, {v, kGridHalf, 0});
        d.line({-kGridHalf, v, 0}, {kGridHalf, v, 0});
    }
    p.setPen(QColor(150, 150, 145));
    d.text({kGridHalf, kGridHalf, 0}, QStringLiteral("100 mm 网格"), {4, 14});

    // Base frame.
    const char* names[3] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(kAxisColours[i], 2.5));
        const Vector3d tip = Vector3d::Unit(i) * kBaseAxis;
        d.line(Vector3d::Zero(), tip);
        d.text(tip, QString::fromLatin1(names[i]));
    }

    // The program's moves.
    const ProgramScene& prog = model_.program;
    for (const ProgramPiece& piece : prog.pieces) {
        const bool lit = model_.highlightLine && *model_.highlightLine == piece.line;
        QPen pen(lit ? QColor(230, 120, 0) : QColor(120, 60, 170), lit ? 2.5 : 1.5);
        if (piece.dashed) pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        d.polyline(piece.path);
        p.setBrush(lit ? QColor(255, 150, 0) : QColor(150, 90, 200));
        d.dot(piece.target, lit ? 6 : 4);
        if (piece.via) {
            p.setBrush(Qt::NoBrush);
            d.dot(*piece.via, 3.5);
        }
        p.setPen(lit ? QColor(200, 90, 0) : QColor(90, 40, 140));
        d.text(piece.target, QString::number(piece.line + 1));
    }
    p.setBrush(Qt::NoBrush);

    // The trail, fading with age.
    const auto& trail = model_.trail;
    for (std::size_t i = 1; i < trail.size(); ++i) {
        const double age = model_.now - trail[i].time;
        const int alpha = static_cast<int>(std::clamp(255.0 * (1.0 - age / ArmModel::kTrailSeconds), 20.0, 255.0));
        p.setPen(QPen(QColor(0, 140, 200, alpha), 2));
        d.line(trail[i - 1].at, trail[i].at);
    }

    // The arm, from its joint angles.
    if (model_.geometry && model_.joints) {
        const auto pts = armPoints(*model_.geometry, *model_.joints);
        p.setPen(QPen(QColor(90, 95, 110), 7, Qt::SolidLine, Qt::RoundCap));
        for (std::size_t i = 1; i < pts.size(); ++i) d.line(pts[i - 1], pts[i]);
        p.setPen(QPen(QColor(40, 40, 50), 1));
        p.setBrush(QColor(240, 200, 80));
        for (std::size_t i = 1; i + 1 < pts.size(); ++i) d.dot(pts[i], 5);
        p.setBrush(Qt::NoBrush);
    }

    // The tool frame.
    if (model_.pose) {
        const kin::Pose& pose = *model_.pose;
        const Eigen::Isometry3d f = kin::poseToFrame(pose);
        for (int i = 0; i < 3; ++i) {
            p.setPen(QPen(kAxisColours[i], 2));
            d.line(f.translation(), f.translation() + f.linear().col(i) * kTriad);
        }
        p.setPen(Qt::black);
        p.setBrush(Qt::black);
        d.dot(f.translation(), 2.5);
        p.setBrush(Qt::NoBrush);
        p.drawText(QPointF(8, height() - 8),
                   QStringLiteral("TCP  X %1  Y %2  Z %3 mm   A %4  B %5  C %6°")
                       .arg(pose.x, 0, 'f', 1).arg(pose.y, 0, 'f', 1).arg(pose.z, 0, 'f', 1)
                       .arg(pose.a, 0, 'f', 1).arg(pose.b, 0, 'f', 1).arg(pose.c, 0, 'f', 1));
    } else {
        p.setPen(QColor(120, 120, 120));
        p.drawText(QPointF(8, height() - 8), QStringLiteral("尚未收到位姿"));
    }

    // What the view cannot draw.
    p.setPen(QColor(90, 40, 140));
    double y = 18;
    for (std::size_t line : prog.unplacedJointMoves) {
        p.drawText(QPointF(8, y), QStringLiteral("第%1行 MOVJ: 关节移动 (需机械臂几何才能显示)").arg(line + 1));
        y += 16;
    }
    for (std::size_t line : prog.noArc) {
        p.drawText(QPointF(8, y), QStringLiteral("第%1行 MOVC: 三点不成圆弧").arg(line + 1));
        y += 16;
    }
}

void ArmView::mousePressEvent(QMouseEvent* event)
{
    pressedAt_ = event->position().toPoint();
    lastMouse_ = *pressedAt_;
    dragged_ = false;
}

void ArmView::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressedAt_) return;
    const QPoint pos = event->position().toPoint();
    const QPoint delta = pos - lastMouse_;
    lastMouse_ = pos;
    if ((pos - *pressedAt_).manhattanLength() > 3) dragged_ = true;
    if (event->buttons() & Qt::LeftButton)
        camera_.orbit(-delta.x() * 0.4, delta.y() * 0.4);
    else if (event->buttons() & (Qt::RightButton | Qt::MiddleButton))
        camera_.pan(delta.x(), delta.y(), height());
    update();
}

void ArmView::mouseReleaseEvent(QMouseEvent* event)
{
    if (pressedAt_ && !dragged_ && event->button() == Qt::LeftButton) {
        std::vector<Vector3d> points;
        for (const ProgramPiece& piece : model_.program.pieces) points.push_back(piece.target);
        const QPointF at = event->position();
        if (const auto i = pick(camera_, points, at.x(), at.y(), width(), height()))
            emit linePicked(model_.program.pieces[*i].line);
    }
    pressedAt_.reset();
}

void ArmView::wheelEvent(QWheelEvent* event)
{
    camera_.zoom(std::pow(1.0015, event->angleDelta().y()));
    update();
}

} // namespace vq::view
