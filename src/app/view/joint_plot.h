// History plots ("jointPlot"): the six joint angles (degrees, left axis)
// and X, Y, Z (mm, right axis) over the last 60 s of the session's
// recording, with Qt Charts. Pause holds the picture while the recording
// goes on; each series can be switched off.
#pragma once

#include <QWidget>

#include <array>

class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
class QPushButton;
class QCheckBox;

namespace vq {
class TelemetryRecorder;
}

namespace vq::view {

class JointPlot : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSeries = 9; // J1..J6, X, Y, Z
    static constexpr double kSeconds = 60;

    JointPlot(const TelemetryRecorder& recorder, QWidget* parent = nullptr);

    // Redraws from the recording up to `now` (seconds of the session),
    // unless paused.
    void refresh(double now);
    bool paused() const { return paused_; }
    void setPaused(bool paused);
    void setSeriesShown(int series, bool shown);
    int pointsShown(int series) const;

private:
    const TelemetryRecorder& recorder_;
    QChart* chart_;
    QChartView* chartView_;
    std::array<QLineSeries*, kSeries> series_{};
    std::array<QCheckBox*, kSeries> choose_{};
    QValueAxis* time_;
    QValueAxis* degrees_;
    QValueAxis* millimetres_;
    QPushButton* pause_;
    bool paused_ = false;
};

} // namespace vq::view
