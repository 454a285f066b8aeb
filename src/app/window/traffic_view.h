// The traffic log as a table (time, direction, hex, meaning). It reads the
// core's TrafficLog and formats only the rows in sight; while the view is
// hidden it does nothing at all, and while shown it catches up four times
// a second.
#pragma once

#include <QTableView>

#include <cstdint>

namespace vq {

class TrafficLog;
class TrafficModel;

class TrafficView : public QTableView {
    Q_OBJECT
public:
    explicit TrafficView(QWidget* parent = nullptr);
    ~TrafficView() override;

    void setLog(const TrafficLog* log);
    // Brings the rows up to date with the log now.
    void refresh();
    int rows() const;
    // The row's cells joined by blanks, as exported lines read.
    QString rowText(int row) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TrafficModel* model_;
    int timer_ = 0;
    void timerEvent(QTimerEvent* event) override;
};

} // namespace vq
