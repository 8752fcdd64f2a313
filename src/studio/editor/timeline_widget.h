#pragma once

#include <QWidget>

#include <filesystem>
#include <optional>
#include <vector>

#include "base/signal.h"
#include "base/uuid.h"

class QMenu;
class QPainter;
class QRectF;

namespace orvane {
class ClipFrameCache;
class EditorState;
class WaveformCache;
struct EditorChange;
struct PlaybackSnapshot;
}

namespace orvane::studio {

// The edit laid out in time, custom painted: a ruler with the playhead, then one lane per kind of
// item (overlays, zooms, screen clips, captions, audio, mutes and cuts, speed ramps). Screen clips
// show a strip of their frames over the waveform of their sound, voice clips and music their
// waveform; both come from the shared caches, made off the main loop, and the lanes repaint as they
// arrive. Pressing on the ruler or empty space starts a scrub the owner carries out (the preview's
// rules); clicking an item selects it; dragging an item moves it and dragging its edge trims it;
// a double click on free space in the zoom lane adds a zoom there.
// Every change goes through the EditorState, the widget keeps only the geometry of what it drew.
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

        bool operator==(const Item&) const = default;
    };

    TimelineWidget(EditorState& state, ClipFrameCache& thumbnails, WaveformCache& waveforms, QWidget* parent = nullptr);

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
    // A press on the ruler or empty space begins a scrub, the drag moves it, the release ends it.
    void scrubStarted();
    void scrubbedTo(double time);
    void scrubEnded();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
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
    void stateChanged(const EditorChange& change);
    void paintItemMedia(QPainter& painter, const Item& item, const QRect& box, const PlaybackSnapshot& media);
    void paintFrameStrip(QPainter& painter, const QRectF& strip, const std::filesystem::path& file, double sourceStart,
                         double sourceEnd);
    void paintWaveform(QPainter& painter, const QRectF& area, const std::filesystem::path& file, double sourceStart,
                       double duration, const QColor& colour);
    void select(const Item& item);
    void applyDrag(double time);
    double span() const;

    EditorState& state_;
    ClipFrameCache& thumbnails_;
    WaveformCache& waveforms_;
    Drag drag_;
    // What the last paint drew, so a change that only moves the playhead repaints just around it.
    std::vector<Item> paintedItems_;
    std::optional<int> paintedPlayheadX_;
    Subscription subscription_;
    Subscription thumbnailArrived_;
    Subscription waveformArrived_;
};

}  // namespace orvane::studio
