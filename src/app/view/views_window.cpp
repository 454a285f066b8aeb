#include "views_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTextBlock>
#include <QVBoxLayout>

#include <cmath>

#include "arm_view.h"
#include "joint_gauge.h"
#include "joint_plot.h"
#include "link/slots.h"
#include "program/program_moves.h"
#include "program/runner.h"

namespace vq::view {

ViewsWindow::ViewsWindow(Board& board, QPlainTextEdit* editor, const ProgramRunner* runner, bool simulate,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), board_(board), editor_(editor), runner_(runner), simulator_(simulate),
      armShown_(simulate)
{
    clock_.start();
    setObjectName("viewsWindow");
    setWindowTitle(QStringLiteral("Velquor 图形视图"));

    resize(1100, 820);

    frameTimer_.setInterval(kFrameMs);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { frame(); });
    if (editor_) {
        connect(editor_, &QPlainTextEdit::textChanged, this, [this] { programDirty_ = true; });
        connect(editor_, &QPlainTextEdit::cursorPositionChanged, this, [this] {
            selectedLine_ = static_cast<std::size_t>(editor_->textCursor().blockNumber());
            armDirty_ = true;
        });
    }
    updateGeometry();
}

ViewsWindow::~ViewsWindow() = default;

void ViewsWindow::setVisible(bool visible)
{
    if (visible) build();
    QWidget::setVisible(visible);
}

void ViewsWindow::build()
{
    if (built_) return;
    built_ = true;
    armView_ = new ArmView(model_, this);
    armView_->setObjectName("armView");
    armView_->setAccessibleDescription("armView");
    armView_->setAccessibleName(QStringLiteral("三维路径"));

    auto* tools = new QHBoxLayout;
    const auto preset = [&](const char* objectName, const QString& caption, Camera (*camera)()) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(objectName);
        connect(b, &QPushButton::clicked, this, [this, camera] { armView_->setCamera(camera()); });
        tools->addWidget(b);
    };
    preset("armViewReset", QStringLiteral("复位视图"), &Camera::standard);
    preset("armViewTop", QStringLiteral("俯视"), &Camera::top);
    preset("armViewFront", QStringLiteral("正视"), &Camera::front);
    preset("armViewSide", QStringLiteral("侧视"), &Camera::side);
    showArm_ = new QCheckBox(QStringLiteral("显示机械臂"), this);
    showArm_->setObjectName("armViewShowArm");
    showArm_->setChecked(armShown_);
    showArm_->setToolTip(simulator_ ? QStringLiteral("按模拟器的机械臂几何画出机械臂和 MOVJ 目标点")
                                  : QStringLiteral("控制器不报告真实机械臂的几何尺寸: 勾选后按模拟器的机械臂几何"
                                                   "(机械参数)画出，与真实机械臂可能不符"));
    connect(showArm_, &QCheckBox::toggled, this, [this](bool on) {
        armShown_ = on;
        updateGeometry();
    });
    tools->addWidget(showArm_);
    tools->addStretch(1);
    auto* viewPanel = new QWidget(this);
    auto* viewLayout = new QVBoxLayout(viewPanel);
    viewLayout->setContentsMargins(0, 0, 0, 0);
    viewLayout->addLayout(tools);
    viewLayout->addWidget(armView_, 1);

    auto* gaugePanel = new QWidget(this);
    auto* gaugeLayout = new QVBoxLayout(gaugePanel);
    for (int axis = 6; axis >= 1; --axis) { // axis 1 at the bottom, as in the main window
        auto* g = new JointGauge(axis, gaugePanel);
        gauges_[static_cast<std::size_t>(axis - 1)] = g;
        gaugeLayout->addWidget(g);
    }
    gaugeLayout->addStretch(1);

    auto* top = new QSplitter(Qt::Horizontal, this);
    top->addWidget(viewPanel);
    top->addWidget(gaugePanel);
    top->setStretchFactor(0, 3);
    top->setStretchFactor(1, 1);

    plot_ = new JointPlot(recorder_, this);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(top);
    split->addWidget(plot_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
    connect(armView_, &ArmView::linePicked, this, [this](std::size_t line) {
        if (!editor_) return;
        const QTextBlock block = editor_->document()->findBlockByNumber(static_cast<int>(line));
        if (!block.isValid()) return;
        QTextCursor c(block);
        editor_->setTextCursor(c);
        editor_->ensureCursorVisible();
    });
}

void ViewsWindow::listenTo(ReplyHandler& replies)
{
    BlockListener l;
    l.status = [this](const StatusBlock& s) { onStatus(s); };
    l.pose = [this](const PoseBlock& p) { onPose(p); };
    l.floats = [this](std::uint16_t block, const FloatBlock& v) { onFloats(block, v); };
    replies.listen(std::move(l));
}

void ViewsWindow::showAndRaise()
{
    show();
    raise();
    activateWindow();
}

void ViewsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    armDirty_ = gaugesDirty_ = plotDirty_ = true;
    lastPlot_ = -kIdleRepaintSeconds;
    frame();
    frameTimer_.start();
}

void ViewsWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    frameTimer_.stop();
}

void ViewsWindow::onStatus(const StatusBlock& status)
{
    recorder_.status(status);
    for (std::size_t i = 0; i < 6; ++i) {
        if (status.servo[i]) model_.servoOn[i] = *status.servo[i] == 1;
        if (status.alarm[i]) model_.alarm[i] = *status.alarm[i];
    }
}

void ViewsWindow::onPose(const PoseBlock& pose)
{
    model_.now = now();
    recorder_.pose(model_.now, pose);
    const auto all = [](const Axes<float>& v) {
        for (const auto& x : v)
            if (!x || !std::isfinite(*x)) return false;
        return true;
    };
    bool moved = false;
    if (all(pose.joint)) {
        kin::Joints q{};
        for (std::size_t i = 0; i < 6; ++i) q[i] = *pose.joint[i];
        moved = moved || model_.joints != q;
        model_.joints = q;
    }
    if (all(pose.pose)) {
        const auto& v = pose.pose;
        const kin::Pose p{*v[0], *v[1], *v[2], *v[3], *v[4], *v[5]};
        moved = moved || !model_.pose || model_.pose->x != p.x || model_.pose->y != p.y || model_.pose->z != p.z ||
                model_.pose->a != p.a || model_.pose->b != p.b || model_.pose->c != p.c;
        model_.pose = p;
        const Vector3d at(p.x, p.y, p.z);
        if (model_.trail.empty() || (model_.trail.back().at - at).norm() > 0.05)
            model_.trail.push_back({model_.now, at});
        else
            model_.trail.back().time = model_.now; // standing still: one point, kept fresh
        if (runner_ == nullptr || board_.enabled(Ctl::RunButton)) {
            // Not running: the program starts where the arm stands.
            if (!programStart_ || (*programStart_ - at).norm() > 0.5) {
                programStart_ = at;
                programDirty_ = true;
            }
        }
    }
    model_.pruneTrail();
    // An arm standing still changes no picture: the view repaints for the
    // trail's fading and the plot scrolls on their own slower clocks.
    if (moved) armDirty_ = gaugesDirty_ = plotDirty_ = true;
}

void ViewsWindow::onFloats(std::uint16_t block, const FloatBlock& values)
{
    const auto take = [&](std::array<std::optional<double>, 6>& into) {
        for (std::size_t i = 0; i < 6; ++i)
            if (values.value[i]) into[i] = *values.value[i];
        gaugesDirty_ = true;
    };
    switch (block) {
    case reg::kMaxPositive: take(model_.highest); break;
    case reg::kMaxNegative: take(model_.lowest); break;
    case reg::kMechanical:
        for (std::size_t i = 0; i < 6; ++i)
            if (values.value[i]) mechanical_[i] = *values.value[i];
        mechanicalKnown_ = true;
        updateGeometry();
        break;
    case reg::kTool:
        for (std::size_t i = 0; i < 3; ++i)
            if (values.value[i]) tool_[i] = *values.value[i];
        updateGeometry();
        break;
    default: break;
    }
}

void ViewsWindow::updateGeometry()
{
    if (!armShown_) {
        model_.geometry.reset();
    } else {
        kin::ArmGeometry g = mechanicalKnown_ ? kin::ArmGeometry::fromMechanical(mechanical_, tool_) : kin::ArmGeometry{};
        model_.geometry = g.valid() ? std::optional(g) : std::nullopt;
    }
    programDirty_ = armDirty_ = true;
}

void ViewsWindow::rebuildProgram()
{
    const std::string text = editor_ ? board_.text(Ctl::ProgramEditor) : std::string();
    model_.program = programScene(programMoves(text), programStart_, model_.geometry);
    programDirty_ = false;
    armDirty_ = true;
}

void ViewsWindow::frame()
{
    if (!isVisible()) return;
    model_.now = now();
    if (programDirty_) rebuildProgram();
    // The line running now (the last one the runner took), else the one the
    // operator has the cursor in.
    std::optional<std::size_t> lit = selectedLine_;
    if (runner_ && !board_.enabled(Ctl::RunButton) && runner_->lineIndex() > 0) lit = runner_->lineIndex() - 1;
    // A MOVC's continuation line belongs to its move: the move a line is
    // part of is the last one starting at or before it.
    if (lit) {
        std::optional<std::size_t> move;
        for (const ProgramPiece& piece : model_.program.pieces)
            if (piece.line <= *lit) move = piece.line;
        lit = move;
    }
    if (lit != model_.highlightLine) {
        model_.highlightLine = lit;
        armDirty_ = true;
    }
    if (!model_.trail.empty() && model_.now - lastArmPaint_ >= kIdleRepaintSeconds) armDirty_ = true;
    if (armDirty_ && armView_->isVisible()) {
        armView_->update();
        armDirty_ = false;
        lastArmPaint_ = model_.now;
        ++frames_;
    }
    if (gaugesDirty_) {
        for (std::size_t i = 0; i < 6; ++i) {
            std::optional<double> angle;
            if (model_.joints) angle = (*model_.joints)[i];
            gauges_[i]->setReading(angle, model_.lowest[i], model_.highest[i]);
        }
        gaugesDirty_ = false;
    }
    const double sincePlot = model_.now - lastPlot_;
    if (plot_->isVisible() && ((plotDirty_ && sincePlot >= kPlotSeconds) || sincePlot >= kIdleRepaintSeconds)) {
        plot_->refresh(model_.now);
        plotDirty_ = false;
        lastPlot_ = model_.now;
    }
}

} // namespace vq::view
