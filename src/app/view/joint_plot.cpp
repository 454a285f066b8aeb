#include "joint_plot.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

#include "telemetry/recorder.h"

namespace vq::view {

namespace {

const char* const kNames[JointPlot::kSeries] = {"J1", "J2", "J3", "J4", "J5", "J6", "X", "Y", "Z"};
// Joints in solid colours, the position dashed in the base axes' colours.
const QColor kColours[JointPlot::kSeries] = {QColor(31, 119, 180), QColor(255, 127, 14), QColor(44, 160, 44),
                                             QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194),
                                             QColor(220, 40, 40), QColor(30, 160, 60), QColor(40, 80, 230)};

// Axis range with a margin, widened to at least `least`.
void fit(QValueAxis* axis, double lo, double hi, double least)
{
    if (!(lo <= hi)) {
        lo = -least;
        hi = least;
    }
    const double mid = (lo + hi) / 2;
    const double half = std::max((hi - lo) / 2 * 1.1, least / 2);
    axis->setRange(mid - half, mid + half);
}

} // namespace

JointPlot::JointPlot(const TelemetryRecorder& recorder, QWidget* parent)
    : QWidget(parent), recorder_(recorder), chart_(new QChart), time_(new QValueAxis), degrees_(new QValueAxis),
      millimetres_(new QValueAxis)
{
    chart_->legend()->setAlignment(Qt::AlignRight);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    time_->setTitleText(QStringLiteral("时间 (s)"));
    time_->setLabelFormat("%.0f");
    degrees_->setTitleText(QStringLiteral("角度 (°)"));
    millimetres_->setTitleText(QStringLiteral("位置 (mm)"));
    chart_->addAxis(time_, Qt::AlignBottom);
    chart_->addAxis(degrees_, Qt::AlignLeft);
    chart_->addAxis(millimetres_, Qt::AlignRight);

    auto* row = new QHBoxLayout;
    pause_ = new QPushButton(QStringLiteral("暂停"), this);
    pause_->setObjectName("jointPlotPause");
    connect(pause_, &QPushButton::clicked, this, [this] { setPaused(!paused_); });
    row->addWidget(pause_);
    for (int i = 0; i < kSeries; ++i) {
        auto* s = new QLineSeries(this);
        s->setName(QString::fromLatin1(kNames[i]));
        QPen pen(kColours[i], 1.5);
        if (i >= 6) pen.setStyle(Qt::DashLine);
        s->setPen(pen);
        chart_->addSeries(s);
        s->attachAxis(time_);
        s->attachAxis(i < 6 ? degrees_ : millimetres_);
        series_[static_cast<std::size_t>(i)] = s;
        auto* box = new QCheckBox(QString::fromLatin1(kNames[i]), this);
        box->setObjectName(QStringLiteral("jointPlotSeries_%1").arg(kNames[i]));
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, [this, i](bool on) { setSeriesShown(i, on); });
        choose_[static_cast<std::size_t>(i)] = box;
        row->addWidget(box);
    }
    row->addStretch(1);

    chartView_ = new QChartView(chart_, this);
    chartView_->setObjectName("jointPlot");
    chartView_->setAccessibleDescription("jointPlot");
    chartView_->setRenderHint(QPainter::Antialiasing, false);
    chartView_->setMinimumHeight(200);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(row);
    layout->addWidget(chartView_, 1);
    time_->setRange(-kSeconds, 0);
    fit(degrees_, 0, 0, 10);
    fit(millimetres_, 0, 0, 10);
}

void JointPlot::setPaused(bool paused)
{
    paused_ = paused;
    pause_->setText(paused ? QStringLiteral("继续") : QStringLiteral("暂停"));
}

void JointPlot::setSeriesShown(int series, bool shown)
{
    if (series < 0 || series >= kSeries) return;
    series_[static_cast<std::size_t>(series)]->setVisible(shown);
    if (choose_[static_cast<std::size_t>(series)]->isChecked() != shown)
        choose_[static_cast<std::size_t>(series)]->setChecked(shown);
}

int JointPlot::pointsShown(int series) const
{
    const auto* s = series_[static_cast<std::size_t>(series)];
    return s->isVisible() ? static_cast<int>(s->count()) : 0;
}

void JointPlot::refresh(double now)
{
    if (paused_) return;
    std::array<QList<QPointF>, kSeries> points;
    double dlo = INFINITY, dhi = -INFINITY, mlo = INFINITY, mhi = -INFINITY;
    for (std::size_t i = recorder_.firstAtOrAfter(now - kSeconds); i < recorder_.size(); ++i) {
        const TelemetrySample& s = recorder_.at(i);
        const double t = s.time - now;
        for (std::size_t k = 0; k < kSeries; ++k) {
            const float v = k < 6 ? s.joint[k] : s.pose[k - 6];
            if (!std::isfinite(v)) continue;
            points[k].append(QPointF(t, v));
            if (!series_[k]->isVisible()) continue;
            if (k < 6) {
                dlo = std::min<double>(dlo, v);
                dhi = std::max<double>(dhi, v);
            } else {
                mlo = std::min<double>(mlo, v);
                mhi = std::max<double>(mhi, v);
            }
        }
    }
    for (std::size_t k = 0; k < kSeries; ++k) series_[k]->replace(points[k]);
    fit(degrees_, dlo, dhi, 10);
    fit(millimetres_, mlo, mhi, 10);
}

} // namespace vq::view
