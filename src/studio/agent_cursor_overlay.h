#pragma once

#include <QElapsedTimer>
#include <QPointF>
#include <QWidget>

#include <filesystem>
#include <optional>

#include "base/geometry.h"
#include "model/agent_action_plan.h"

class QTimer;

namespace orvane::studio {

// The cursor an agent's plan describes, drawn live over the recorded area while the agent's
// recording runs, so whoever watches sees what the export will show. A borderless see-through
// window that takes no input and never activates; the studio's own windows are left out of display
// recordings, so it is never recorded (the export draws the cursor from the plan's telemetry).
// The plan file is read again when it changes, so an agent may extend the plan while it records;
// a file that cannot be read keeps the plan already shown.
class AgentCursorOverlay : public QWidget {
    Q_OBJECT
public:
    static constexpr double kMinimumSide = 10;  // a smaller area shows nothing

    // `area` is the recorded area on the desktop; `planFile` the plan, read at once.
    AgentCursorOverlay(const Rect& area, std::optional<std::filesystem::path> planFile);
    ~AgentCursorOverlay() override;

    // Shows the window and starts the plan's clock at 0.
    void start();
    void stop();

    // Where the cursor is drawn now, in this window's coordinates, and whether its button is down.
    std::optional<QPointF> cursorPoint() const { return point_; }
    bool pressed() const { return pressed_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();
    void readPlanIfChanged();

    std::optional<std::filesystem::path> planFile_;
    std::optional<std::filesystem::file_time_type> planWritten_;
    std::optional<SyntheticCursorTimeline> timeline_;
    QElapsedTimer clock_;
    QTimer* timer_;
    std::optional<QPointF> point_;
    bool pressed_ = false;
    bool shown_ = false;
};

}  // namespace orvane::studio
