#include "joint_gauge.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vq::view {

namespace {

const char* stateName(LimitState s)
{
    switch (s) {
    case LimitState::Unknown: return "unknown";
    case LimitState::Clear: return "clear";
    case LimitState::Near: return "near";
    case LimitState::AtLimit: return "limit";
    }
    return "";
}

QColor stateColour(LimitState s)
{
    switch (s) {
    case LimitState::Unknown: return QColor(170, 170, 170);
    case LimitState::Clear: return QColor(60, 150, 90);
    case LimitState::Near: return QColor(255, 176, 0);
    case LimitState::AtLimit: return QColor(220, 30, 30);
    }
    return {};
}

// Shown to a tenth of a degree: a change below that is no change.
std::optional<long> tenths(std::optional<double> v)
{
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return std::lround(*v * 10);
}

} // namespace

JointGauge::JointGauge(int axis, QWidget* parent) : QWidget(parent), axis_(axis)
{
    const QString name = QStringLiteral("jointGauge_%1").arg(axis);
    setObjectName(name);
    setAccessibleDescription(name);
    setAccessibleName(QStringLiteral("J%1").arg(axis));
    setMinimumSize(160, 34);
    setProperty("limitState", stateName(state_));
    setEnabled(false);
}

void JointGauge::setReading(std::optional<double> angle, std::optional<double> lowest, std::optional<double> highest)
{
    const LimitState s = limitState(angle, lowest, highest);
    if (s == state_ && tenths(angle) == tenths(angle_) && tenths(lowest) == tenths(lowest_) &&
        tenths(highest) == tenths(highest_))
        return;
    angle_ = angle;
    lowest_ = lowest;
    highest_ = highest;
    if (s != state_) {
        state_ = s;
        setProperty("limitState", stateName(s));
        setEnabled(s != LimitState::Unknown);
    }
    setToolTip(s == LimitState::Unknown
                   ? QStringLiteral("J%1: 角度或限位未知").arg(axis_)
                   : QStringLiteral("J%1: %2° (限位 %3° … %4°)")
                         .arg(axis_)
                         .arg(*angle, 0, 'f', 1)
                         .arg(-std::abs(*lowest), 0, 'f', 1)
                         .arg(*highest, 0, 'f', 1));
    update();
}

void JointGauge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor colour = stateColour(state_);
    const QRectF bar(44, 8, width() - 52, height() - 16);
    p.setPen(state_ == LimitState::Unknown ? QColor(150, 150, 150) : Qt::black);
    p.drawText(QRectF(0, 0, 40, height()), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("J%1").arg(axis_));
    p.setPen(QColor(150, 150, 150));
    p.setBrush(QColor(238, 238, 238));
    p.drawRoundedRect(bar, 3, 3);
    if (state_ == LimitState::Unknown) {
        p.drawText(bar, Qt::AlignCenter, angle_ ? QStringLiteral("%1° (限位未知)").arg(*angle_, 0, 'f', 1)
                                                : QStringLiteral("未知"));
        return;
    }
    const double lo = -std::abs(*lowest_);
    const double hi = *highest_;
    const double span = std::max(hi - lo, 1e-6);
    const auto xOf = [&](double v) { return bar.left() + bar.width() * std::clamp((v - lo) / span, 0.0, 1.0); };
    // Zero, and the amber bands at both ends.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 220, 150));
    p.drawRect(QRectF(bar.left(), bar.top(), xOf(lo + kNearLimitDegrees) - bar.left(), bar.height()));
    p.drawRect(QRectF(xOf(hi - kNearLimitDegrees), bar.top(), bar.right() - xOf(hi - kNearLimitDegrees), bar.height()));
    p.setPen(QColor(160, 160, 160));
    p.drawLine(QPointF(xOf(0), bar.top()), QPointF(xOf(0), bar.bottom()));
    // The angle.
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const double x = xOf(*angle_);
    p.drawRect(QRectF(std::min(x, xOf(0)), bar.top() + 3, std::abs(x - xOf(0)), bar.height() - 6));
    p.setBrush(colour.darker(130));
    p.drawRect(QRectF(x - 2, bar.top() - 3, 4, bar.height() + 6));
    p.setPen(Qt::black);
    p.drawText(bar.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignRight, QStringLiteral("%1°").arg(*angle_, 0, 'f', 1));
}

} // namespace vq::view
