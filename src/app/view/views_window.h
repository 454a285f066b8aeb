// The picture window, opened from menu 功能 beside the main window (whose
// controls stay where they are, the program editor in view): the 3D path
// view with the program's moves, the six joint gauges and the history
// plots. It follows the arm through the reply handler's listener, records
// the session for the CSV export, and repaints at most 15 times a second
// (the plots 4), only while shown and only what changed; an arm standing
// still costs one repaint a second (the trail fades, the plot scrolls).
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <optional>
#include <string_view>

#include "arm_model.h"
#include "telemetry/recorder.h"
#include "telemetry/reply_handler.h"

class QCheckBox;
class QPlainTextEdit;

namespace vq {
class Board;
class ProgramRunner;
} // namespace vq

namespace vq::view {

// Its entries in menu 功能 (layout table rows).
inline constexpr std::string_view kShowViewsItem = "showViews";
inline constexpr std::string_view kExportRecordingItem = "exportRecording";

class ArmView;
class JointGauge;
class JointPlot;

class ViewsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFrameMs = 67;            // at most 15 repaints a second
    static constexpr double kPlotSeconds = 0.25;   // the plots at most 4 times a second
    static constexpr double kIdleRepaintSeconds = 1; // trail fading and plot scrolling while nothing moves

    // `simulate`: the arm is the simulator's, so its geometry is drawn
    // from the start ("显示机械臂" on).
    ViewsWindow(Board& board, QPlainTextEdit* editor, const ProgramRunner* runner, bool simulate,
                QWidget* parent = nullptr);
    ~ViewsWindow() override;

    // Follow the decoded replies from here on.
    void listenTo(ReplyHandler& replies);
    void showAndRaise();

    const TelemetryRecorder& recorder() const { return recorder_; }
    const ArmModel& model() const { return model_; }
    // The widgets, made when the window is first shown (so a console whose
    // pictures are never opened pays nothing for them but the recording).
    ArmView& armView() { return build(), *armView_; }
    JointPlot& plot() { return build(), *plot_; }
    JointGauge& gauge(int axis) { return build(), *gauges_[static_cast<std::size_t>(axis - 1)]; }
    QCheckBox& showArm() { return build(), *showArm_; }
    void setVisible(bool visible) override;
    int framesPainted() const { return frames_; }

    // Seconds since the session began.
    double now() const { return clock_.elapsed() / 1000.0; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void build();
    void onStatus(const StatusBlock& status);
    void onPose(const PoseBlock& pose);
    void onFloats(std::uint16_t block, const FloatBlock& values);
    void frame();
    void rebuildProgram();
    void updateGeometry();

    Board& board_;
    QPlainTextEdit* editor_;
    const ProgramRunner* runner_;
    QElapsedTimer clock_;
    TelemetryRecorder recorder_;
    ArmModel model_;
    std::array<float, 6> mechanical_{};
    std::array<float, 3> tool_{};
    bool mechanicalKnown_ = false;

    bool simulator_;
    bool armShown_; // "显示机械臂"
    bool built_ = false;
    ArmView* armView_ = nullptr;
    std::array<JointGauge*, 6> gauges_{};
    JointPlot* plot_ = nullptr;
    QCheckBox* showArm_ = nullptr;
    QTimer frameTimer_;
    bool armDirty_ = true;
    bool gaugesDirty_ = true;
    bool plotDirty_ = true;
    bool programDirty_ = true;
    std::optional<std::size_t> selectedLine_;
    std::optional<Vector3d> programStart_;
    int frames_ = 0;
    double lastArmPaint_ = 0;
    double lastPlot_ = 0;
};

} // namespace vq::view
