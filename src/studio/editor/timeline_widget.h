#pragma once

#include <QWidget>

#include <optional>
#include <vector>

#include "base/signal.h"
#include "base/uuid.h"

class QMenu;

namespace orvane {
class EditorState;
}

namespace orvane::studio {

// The edit laid out in time, custom painted: a ruler with the playhead, then one lane per kind of
// item (overlays, zooms, screen clips, captions, audio, mutes and cuts, speed ramps). Clicking the
// ruler or empty space moves the playhead (dragging scrubs); clicking an item selects it; dragging
// an item moves it and dragging its edge trims it. Every change goes through the EditorState, the
// widget keeps only the geometry of what it drew.
class TimelineWidget : public QWidget {
    Q_OBJECT
public:
    enum class Lane { overlays, zooms, clips, captions, audio, mutes, speedRamps };
    enum class ItemKind { overlay, zoom, clip, caption, voiceClip, music, mute, cut, speedRamp };

    struct Item {
        ItemKind kind = ItemKind::clip;
        Uuid id;
        double start = 0;  // composition time
        double end = 0;
        QString label;
        bool selected = false;
    };

    explicit TimelineWidget(EditorState& state, QWidget* parent = nullptr);

    // What is drawn now, from the state.
    std::vector<Item> items() const;
    // Where an item is drawn; empty when it is not on the timeline.
    QRect itemRect(ItemKind kind, const Uuid& id) const;
    int xForTime(double time) const;
    double timeForX(int x) const;
    static Lane laneOf(ItemKind kind);
    QRect laneRect(Lane lane) const;

    // The right-click menu of a zoom: "Zoom level", "Follow cursor", "Delete zoom".
    QMenu* makeZoomMenu(const Uuid& zoomID);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // A scrub began or ended (playback pauses while the playhead is dragged).
    void scrubStarted();
    void scrubEnded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    enum class DragMode { none, scrub, move, trimStart, trimEnd };
    struct Drag {
        DragMode mode = DragMode::none;
        Item item;
        double pressTime = 0;
        // The item's values when the drag began (clips: their source range).
        double originStart = 0;
        double originEnd = 0;
        double originSourceStart = 0;
        bool undoRecorded = false;
        bool moved = false;
    };

    std::optional<Item> itemAt(const QPoint& point) const;
    void select(const Item& item);
    void applyDrag(double time);
    double span() const;

    EditorState& state_;
    Drag drag_;
    Subscription subscription_;
};

}  // namespace orvane::studio
