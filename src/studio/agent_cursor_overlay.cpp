#include "studio/agent_cursor_overlay.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include "app/agent_recording.h"
#include "base/log.h"
#include "base/log_areas.h"

namespace orvane::studio {

namespace fs = std::filesystem;

AgentCursorOverlay::AgentCursorOverlay(const Rect& area, std::optional<fs::path> planFile)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint | Qt::Tool),
      planFile_(std::move(planFile)),
      timer_(new QTimer(this)) {
    setAccessibleName("Agent cursor");
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_NoSystemBackground);
    shown_ = area.width > kMinimumSide && area.height > kMinimumSide;
    setGeometry(static_cast<int>(area.x), static_cast<int>(area.y), static_cast<int>(area.width),
                static_cast<int>(area.height));
    timer_->setInterval(1000 / 30);
    connect(timer_, &QTimer::timeout, this, &AgentCursorOverlay::tick);
    readPlanIfChanged();
}

AgentCursorOverlay::~AgentCursorOverlay() = default;

void AgentCursorOverlay::start() {
    clock_.start();
    if (!shown_) return;
    show();
    timer_->start();
    tick();
}

void AgentCursorOverlay::stop() {
    timer_->stop();
    hide();
}

void AgentCursorOverlay::readPlanIfChanged() {
    if (!planFile_) return;
    std::error_code error;
    const auto written = fs::last_write_time(*planFile_, error);
    if (error || written == planWritten_) return;
    planWritten_ = written;
    try {
        const AgentActionPlan plan = readAgentActionPlan(*planFile_);
        validateAgentActionPlan(plan);
        timeline_ = buildTimeline(plan);
    } catch (const std::exception& e) {
        log::warning(log_area::kStudio, "agent cursor keeps its plan: %s", e.what());
    }
}

void AgentCursorOverlay::tick() {
    readPlanIfChanged();
    const double seconds = clock_.isValid() ? static_cast<double>(clock_.nsecsElapsed()) / 1e9 : 0;
    std::optional<QPointF> point;
    bool pressed = false;
    if (timeline_) {
        if (const auto at = timeline_->positionAt(seconds)) point = QPointF(at->x * width(), at->y * height());
        pressed = timeline_->pressedAt(seconds);
    }
    // Drawn again only when something changed: a still cursor costs nothing.
    if (point == point_ && pressed == pressed_) return;
    point_ = point;
    pressed_ = pressed;
    update();
}

void AgentCursorOverlay::paintEvent(QPaintEvent*) {
    if (!point_) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(*point_);
    if (pressed_) {
        painter.setPen(QPen(QColor(255, 255, 255, 220), 2.5));
        painter.setBrush(QColor(90, 140, 255, 90));
        painter.drawEllipse(QPointF(0, 0), 16, 16);
    }
    // The familiar arrow, its tip on the point.
    QPainterPath arrow;
    arrow.moveTo(0, 0);
    arrow.lineTo(0, 17);
    arrow.lineTo(4.5, 13);
    arrow.lineTo(7.5, 20);
    arrow.lineTo(10.5, 18.6);
    arrow.lineTo(7.6, 12);
    arrow.lineTo(13, 12);
    arrow.closeSubpath();
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(Qt::black);
    painter.drawPath(arrow);
}

}  // namespace orvane::studio
