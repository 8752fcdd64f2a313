#include "studio/editor/timeline_widget.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "editor/editor_state.h"
#include "model/time_mapping.h"
#include "playback/playback_bundle.h"
#include "playback/timeline_media.h"

namespace orvane::studio {

namespace {

constexpr int kLabelWidth = 108;
constexpr int kRulerHeight = 22;
constexpr int kLaneHeight = 26;
constexpr int kClipLaneHeight = 58;   // a strip of frames over the sound's waveform
constexpr int kAudioLaneHeight = 36;  // room for a waveform under the label
constexpr int kClipWaveformHeight = 16;
constexpr int kLaneCount = 7;
// Peaks kept per file: a view never draws more than 4000 points, and a clip shows part of its file.
constexpr int kWaveformPeaks = 4000;
constexpr int kRightMargin = 10;
constexpr int kEdgeGrip = 5;                // pixels at either end of an item that trim instead of move
constexpr double kMinimumItemLength = 0.1;  // seconds an item keeps while trimmed
constexpr double kMinimumZoomLength = 0.4;  // as short as an added zoom may be
constexpr std::array kZoomLevels = {1.2, 1.5, 1.8, 2.0, 2.5, 3.0};

const char* laneTitle(TimelineWidget::Lane lane) {
    switch (lane) {
        case TimelineWidget::Lane::overlays: return "Overlays";
        case TimelineWidget::Lane::zooms: return "Zooms";
        case TimelineWidget::Lane::clips: return "Video";
        case TimelineWidget::Lane::captions: return "Captions";
        case TimelineWidget::Lane::audio: return "Voice & music";
        case TimelineWidget::Lane::mutes: return "Mutes & cuts";
        case TimelineWidget::Lane::speedRamps: return "Speed";
    }
    return "";
}

int laneHeight(TimelineWidget::Lane lane) {
    switch (lane) {
        case TimelineWidget::Lane::clips: return kClipLaneHeight;
        case TimelineWidget::Lane::audio: return kAudioLaneHeight;
        default: return kLaneHeight;
    }
}

int lanesBottom() {
    int bottom = kRulerHeight;
    for (int i = 0; i < kLaneCount; ++i) bottom += laneHeight(static_cast<TimelineWidget::Lane>(i));
    return bottom;
}

// Fills `cell` with `image`, cropped to the cell's shape around its centre.
void drawCovering(QPainter& painter, const QRectF& cell, const RgbaImage& image) {
    const QImage picture(image.pixels.data(), image.width, image.height, image.stride,
                         QImage::Format_ARGB32_Premultiplied);
    QRectF source(0, 0, image.width, image.height);
    const double cellAspect = cell.width() / std::max(cell.height(), 1.0);
    if (source.width() / source.height() > cellAspect) {
        const double width = source.height() * cellAspect;
        source.adjust((source.width() - width) / 2, 0, -(source.width() - width) / 2, 0);
    } else {
        const double height = source.width() / cellAspect;
        source.adjust(0, (source.height() - height) / 2, 0, -(source.height() - height) / 2);
    }
    painter.drawImage(cell, picture, source);
}

QColor colourOf(TimelineWidget::ItemKind kind) {
    switch (kind) {
        case TimelineWidget::ItemKind::overlay: return {0x8e, 0x6c, 0xd8};
        case TimelineWidget::ItemKind::zoom: return {0x3d, 0x8b, 0xfd};
        case TimelineWidget::ItemKind::clip: return {0x4a, 0x55, 0x68};
        case TimelineWidget::ItemKind::caption: return {0xc9, 0xa2, 0x27};
        case TimelineWidget::ItemKind::voiceClip: return {0x2f, 0xa8, 0x84};
        case TimelineWidget::ItemKind::music: return {0x23, 0x7a, 0x9c};
        case TimelineWidget::ItemKind::mute: return {0xb0, 0x4a, 0x4a};
        case TimelineWidget::ItemKind::cut: return {0x6e, 0x2c, 0x2c};
        case TimelineWidget::ItemKind::speedRamp: return {0xd9, 0x7a, 0x2b};
    }
    return Qt::gray;
}

}  // namespace

TimelineWidget::TimelineWidget(EditorState& state, ClipFrameCache& thumbnails, WaveformCache& waveforms,
                               QWidget* parent)
    : QWidget(parent), state_(state), thumbnails_(thumbnails), waveforms_(waveforms) {
    setAccessibleName("Timeline");
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    subscription_ = state_.changed.subscribe([this](const EditorChange& change) { stateChanged(change); });
    thumbnailArrived_ = thumbnails_.frameReady.subscribe([this](const ClipFrameKey&) { update(); });
    waveformArrived_ = waveforms_.peaksReady.subscribe([this](const std::filesystem::path&) { update(); });
}

void TimelineWidget::stateChanged(const EditorChange& change) {
    // While playing only the playhead moves: the strips it leaves and enters are all that change.
    if (!change.persisted && paintedPlayheadX_ && items() == paintedItems_) {
        const auto strip = [this](int x) { return QRect(x - 8, 0, 16, height()); };
        const int x = xForTime(state_.values().currentTime);
        if (x != *paintedPlayheadX_) update(strip(*paintedPlayheadX_).united(strip(x)));
        return;
    }
    update();
}

QSize TimelineWidget::sizeHint() const { return {900, lanesBottom() + 6}; }
QSize TimelineWidget::minimumSizeHint() const { return {400, lanesBottom() + 6}; }

TimelineWidget::Lane TimelineWidget::laneOf(ItemKind kind) {
    switch (kind) {
        case ItemKind::overlay: return Lane::overlays;
        case ItemKind::zoom: return Lane::zooms;
        case ItemKind::clip: return Lane::clips;
        case ItemKind::caption: return Lane::captions;
        case ItemKind::voiceClip:
        case ItemKind::music: return Lane::audio;
        case ItemKind::mute:
        case ItemKind::cut: return Lane::mutes;
        case ItemKind::speedRamp: return Lane::speedRamps;
    }
    return Lane::clips;
}

QRect TimelineWidget::laneRect(Lane lane) const {
    int top = kRulerHeight;
    for (int i = 0; i < static_cast<int>(lane); ++i) top += laneHeight(static_cast<Lane>(i));
    return {kLabelWidth, top, width() - kLabelWidth, laneHeight(lane)};
}

double TimelineWidget::span() const {
    const auto& timeline = state_.values().edit.timeline;
    return std::max({timeline.duration, state_.clipsDuration(), 0.1});
}

int TimelineWidget::xForTime(double time) const {
    const double usable = std::max(1, width() - kLabelWidth - kRightMargin);
    return kLabelWidth + static_cast<int>(std::lround(time / span() * usable));
}

double TimelineWidget::timeForX(int x) const {
    const double usable = std::max(1, width() - kLabelWidth - kRightMargin);
    return std::clamp((x - kLabelWidth) / usable * span(), 0.0, span());
}

std::vector<TimelineWidget::Item> TimelineWidget::items() const {
    const auto& v = state_.values();
    const auto& edit = v.edit;
    std::vector<Item> result;
    const auto layout = clipLayout(edit.timeline.clips);
    for (std::size_t i = 0; i < edit.timeline.clips.size(); ++i) {
        const auto& clip = edit.timeline.clips[i];
        result.push_back({ItemKind::clip, clip.id, layout[i].compositionStart, layout[i].compositionEnd,
                          QString::fromStdString(clip.sourceFile), v.selectedScreenClipID == clip.id});
    }
    for (const auto& zoom : edit.timeline.zoomRegions) {
        result.push_back({ItemKind::zoom, zoom.id, zoom.start, zoom.end, QString::number(zoom.scale, 'f', 1) + "×",
                          v.selectedZoomID == zoom.id});
    }
    for (const auto& ramp : edit.timeline.speedRamps) {
        result.push_back({ItemKind::speedRamp, ramp.id, ramp.start, ramp.end, QString::number(ramp.speed, 'g', 3) + "×",
                          v.selectedSpeedRampID == ramp.id});
    }
    for (const auto& cut : edit.timeline.cutRegions) {
        result.push_back({ItemKind::cut, cut.id, cut.start, cut.end, "Cut", false});
    }
    for (const auto& mute : edit.audio.muteRegions) {
        result.push_back({ItemKind::mute, mute.id, mute.start, mute.end, "Muted", v.selectedMuteID == mute.id});
    }
    for (const auto& clip : edit.audio.voiceClips) {
        result.push_back({ItemKind::voiceClip, clip.id, clip.startTime, clip.startTime + clip.duration,
                          QString::fromStdString(clip.label.empty() ? clip.path.filename().string() : clip.label),
                          v.selectedClipID == clip.id});
    }
    if (edit.audio.backgroundMusicPath) {
        result.push_back({ItemKind::music, Uuid(), 0, span(),
                          "Music: " + QString::fromStdString(edit.audio.backgroundMusicPath->filename().string()),
                          false});
    }
    for (const auto& caption : edit.captions.captions) {
        result.push_back(
            {ItemKind::caption, caption.id, caption.start, caption.end, QString::fromStdString(caption.text), false});
    }
    for (const auto& overlay : edit.overlays.videoOverlays) {
        result.push_back(
            {ItemKind::overlay, overlay.id, overlay.startTime, overlay.startTime + overlay.duration,
             QString::fromStdString(overlay.label.empty() ? overlay.path.filename().string() : overlay.label),
             v.selectedVideoOverlayID == overlay.id});
    }
    return result;
}

QRect TimelineWidget::itemRect(ItemKind kind, const Uuid& id) const {
    for (const auto& item : items()) {
        if (item.kind != kind || item.id != id) continue;
        const QRect lane = laneRect(laneOf(kind));
        const int left = xForTime(item.start);
        const int right = std::max(left + 3, xForTime(item.end));
        return {left, lane.top() + 3, right - left, lane.height() - 6};
    }
    return {};
}

std::optional<TimelineWidget::Item> TimelineWidget::itemAt(const QPoint& point) const {
    // Later items are drawn on top, so they are hit first.
    const auto all = items();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        if (itemRect(it->kind, it->id).adjusted(-1, 0, 1, 0).contains(point)) return *it;
    }
    return std::nullopt;
}

void TimelineWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colours = palette();
    painter.fillRect(rect(), colours.color(QPalette::Base));

    // Ruler: a tick every second, labelled at a spacing that keeps labels apart.
    painter.setPen(colours.color(QPalette::PlaceholderText));
    const double total = span();
    const double pixelsPerSecond = (width() - kLabelWidth - kRightMargin) / total;
    double labelStep = 1;
    for (double step : {1.0, 2.0, 5.0, 10.0, 30.0, 60.0, 300.0, 600.0}) {
        labelStep = step;
        if (step * pixelsPerSecond >= 60) break;
    }
    const double tickStep = pixelsPerSecond >= 8 ? 1.0 : labelStep;
    for (double t = 0; t <= total + 1e-9; t += tickStep) {
        const int x = xForTime(t);
        const bool labelled = std::fmod(t + 1e-9, labelStep) < 1e-6;
        painter.drawLine(x, kRulerHeight - (labelled ? 8 : 4), x, kRulerHeight - 1);
        if (labelled) {
            const int whole = static_cast<int>(t);
            painter.drawText(x + 3, 13, QString("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0')));
        }
    }

    // Lanes with their titles.
    for (int i = 0; i < kLaneCount; ++i) {
        const auto lane = static_cast<Lane>(i);
        const QRect area = laneRect(lane);
        painter.fillRect(QRect(0, area.top(), width(), area.height()),
                         i % 2 ? colours.color(QPalette::Base) : colours.color(QPalette::AlternateBase));
        painter.setPen(colours.color(QPalette::PlaceholderText));
        painter.drawText(QRect(8, area.top(), kLabelWidth - 12, area.height()), Qt::AlignVCenter | Qt::AlignLeft,
                         laneTitle(lane));
    }

    // The exported range: outside it the lanes are dimmed.
    const auto& timeline = state_.values().edit.timeline;
    if (timeline.trimEnd > timeline.trimStart) {
        const QColor shade(0, 0, 0, 90);
        const int top = kRulerHeight;
        const int bottom = lanesBottom();
        painter.fillRect(QRect(QPoint(kLabelWidth, top), QPoint(xForTime(timeline.trimStart), bottom)), shade);
        painter.fillRect(QRect(QPoint(xForTime(timeline.trimEnd), top), QPoint(width(), bottom)), shade);
    }

    const QColor accent = colours.color(QPalette::Highlight);
    // The files and source ranges the clips play, resolved as the preview resolves them.
    const PlaybackSnapshot media = makePlaybackSnapshot(state_.values());
    paintedItems_ = items();
    for (const auto& item : paintedItems_) {
        const QRect box = itemRect(item.kind, item.id);
        if (!box.adjusted(-2, -2, 2, 2).intersects(event->rect())) continue;
        QPainterPath path;
        path.addRoundedRect(QRectF(box), 4, 4);
        painter.fillPath(path, colourOf(item.kind));
        painter.save();
        painter.setClipPath(path);
        paintItemMedia(painter, item, box, media);
        painter.restore();
        if (item.selected) {
            painter.setPen(QPen(accent.lighter(150), 2));
            painter.drawPath(path);
        }
        const QString label =
            painter.fontMetrics().elidedText(item.label, Qt::ElideRight, std::max(0, box.width() - 10));
        // Over pictures and waveforms the label sits on a shade of its own, at the top.
        const bool overMedia =
            item.kind == ItemKind::clip || item.kind == ItemKind::voiceClip || item.kind == ItemKind::music;
        const int textHeight = painter.fontMetrics().height();
        const QRect textBox =
            overMedia
                ? QRect(box.left() + 3, box.top() + 2,
                        std::min(box.width() - 6, painter.fontMetrics().horizontalAdvance(label) + 8), textHeight + 2)
                : box.adjusted(6, 0, -4, 0);
        if (overMedia && textBox.width() > 0) painter.fillRect(textBox, QColor(0, 0, 0, 120));
        painter.setPen(Qt::white);
        painter.drawText(overMedia ? textBox.adjusted(4, 0, 0, 0) : textBox, Qt::AlignVCenter | Qt::AlignLeft, label);
    }

    // The playhead over everything.
    const int x = xForTime(state_.values().currentTime);
    paintedPlayheadX_ = x;
    painter.setPen(QPen(QColor(0xff, 0x4d, 0x4d), 2));
    painter.drawLine(x, 0, x, height());
    painter.setBrush(QColor(0xff, 0x4d, 0x4d));
    painter.drawPolygon(QPolygon({QPoint(x - 6, 0), QPoint(x + 6, 0), QPoint(x, 8)}));
}

void TimelineWidget::paintItemMedia(QPainter& painter, const Item& item, const QRect& box,
                                    const PlaybackSnapshot& media) {
    const QColor wave(255, 255, 255, 150);
    const QRectF inset = QRectF(box).adjusted(0, 3, 0, -3);
    const auto& values = state_.values();
    if (item.kind == ItemKind::clip) {
        const auto& clips = values.edit.timeline.clips;
        const auto index = static_cast<std::size_t>(
            std::find_if(clips.begin(), clips.end(), [&](const Clip& clip) { return clip.id == item.id; }) -
            clips.begin());
        if (index >= media.clips.size()) return;
        const ClipSpec& clip = media.clips[index];
        const QRectF strip(box.left(), box.top(), box.width(), box.height() - kClipWaveformHeight);
        paintFrameStrip(painter, strip, clip.sourceURL, clip.sourceStart, clip.sourceStart + clip.sourceDuration);
        const QRectF sound(box.left(), strip.bottom(), box.width(), kClipWaveformHeight);
        painter.fillRect(sound, QColor(0, 0, 0, 90));
        paintWaveform(painter, sound.adjusted(0, 1, 0, -1), clip.sourceURL, clip.sourceStart, clip.sourceDuration,
                      wave);
    } else if (item.kind == ItemKind::voiceClip) {
        for (const auto& voice : values.edit.audio.voiceClips) {
            if (voice.id == item.id) paintWaveform(painter, inset, voice.path, voice.sourceStart, voice.duration, wave);
        }
    } else if (item.kind == ItemKind::music && values.edit.audio.backgroundMusicPath) {
        paintWaveform(painter, inset, *values.edit.audio.backgroundMusicPath, 0, item.end - item.start, wave);
    }
}

void TimelineWidget::paintFrameStrip(QPainter& painter, const QRectF& strip, const std::filesystem::path& file,
                                     double sourceStart, double sourceEnd) {
    const Size video = state_.values().edit.frame.videoSize;
    const double aspect = video.width > 0 && video.height > 0 ? video.width / video.height : 16.0 / 9.0;
    if (strip.width() < 1 || strip.height() < 1) return;
    // Cells as wide as a frame of the strip's height, stretched a little to fill the clip exactly.
    const int count = std::max(1, static_cast<int>(std::ceil(strip.width() / (strip.height() * aspect))));
    const double cellWidth = strip.width() / count;
    const auto times = clipFrameStripTimes(sourceStart, sourceEnd, count);
    for (int i = 0; i < count; ++i) {
        const QRectF cell(strip.left() + i * cellWidth, strip.top(), cellWidth, strip.height());
        if (const auto image =
                thumbnails_.frame(file, times[static_cast<std::size_t>(i)], cell.width(), cell.height())) {
            drawCovering(painter, cell.adjusted(0.5, 0, -0.5, 0), *image);
        }
    }
}

void TimelineWidget::paintWaveform(QPainter& painter, const QRectF& area, const std::filesystem::path& file,
                                   double sourceStart, double duration, const QColor& colour) {
    const auto waveform = waveforms_.peaks(file, kWaveformPeaks);
    if (!waveform || waveform->peaks.empty()) return;
    const auto range = waveformPeakRange(waveform->peaks.size(), waveform->mediaDuration, sourceStart, duration);
    if (range.last <= range.first) return;
    const std::span<const float> shown(waveform->peaks.data() + range.first, range.last - range.first);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    for (const WaveformBar& bar : layoutWaveformBars(shown, area.width(), area.height())) {
        painter.drawRoundedRect(QRectF(area.left() + bar.x, area.top() + bar.y, bar.width, bar.height),
                                bar.cornerRadius, bar.cornerRadius);
    }
}

void TimelineWidget::select(const Item& item) {
    switch (item.kind) {
        case ItemKind::zoom: state_.select(EditorSelectionKind::zoom, item.id); break;
        case ItemKind::mute: state_.select(EditorSelectionKind::mute, item.id); break;
        case ItemKind::voiceClip: state_.select(EditorSelectionKind::audioClip, item.id); break;
        case ItemKind::clip: state_.select(EditorSelectionKind::screenClip, item.id); break;
        case ItemKind::overlay: state_.select(EditorSelectionKind::overlay, item.id); break;
        case ItemKind::speedRamp: state_.selectSpeedRamp(item.id); break;
        case ItemKind::caption:
        case ItemKind::cut:
        case ItemKind::music: break;
    }
}

void TimelineWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const QPoint point = event->position().toPoint();
    drag_ = {};
    drag_.pressTime = timeForX(point.x());
    const auto hit = point.y() >= kRulerHeight ? itemAt(point) : std::nullopt;
    if (!hit || hit->kind == ItemKind::music || hit->kind == ItemKind::cut) {
        drag_.mode = DragMode::scrub;
        Q_EMIT scrubStarted();
        Q_EMIT scrubbedTo(drag_.pressTime);
        return;
    }
    select(*hit);
    const QRect box = itemRect(hit->kind, hit->id);
    drag_.item = *hit;
    drag_.originStart = hit->start;
    drag_.originEnd = hit->end;
    if (hit->kind == ItemKind::clip) {
        for (const auto& clip : state_.values().edit.timeline.clips) {
            if (clip.id != hit->id) continue;
            drag_.originSourceStart = clip.sourceStart;
            drag_.originEnd = clip.sourceEnd;  // clips trim on their source clock
        }
    }
    if (point.x() <= box.left() + kEdgeGrip) {
        drag_.mode = DragMode::trimStart;
    } else if (point.x() >= box.right() - kEdgeGrip) {
        drag_.mode = DragMode::trimEnd;
    } else {
        // A screen clip's place is its order in the list; it moves by trimming, not dragging.
        drag_.mode = hit->kind == ItemKind::clip ? DragMode::none : DragMode::move;
    }
}

void TimelineWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (drag_.mode == DragMode::none) {
        const auto hit = point.y() >= kRulerHeight ? itemAt(point) : std::nullopt;
        const QRect box = hit ? itemRect(hit->kind, hit->id) : QRect();
        const bool onEdge = hit && (point.x() <= box.left() + kEdgeGrip || point.x() >= box.right() - kEdgeGrip);
        setCursor(onEdge ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    if (!(event->buttons() & Qt::LeftButton)) return;
    const double time = timeForX(point.x());
    if (drag_.mode == DragMode::scrub) {
        Q_EMIT scrubbedTo(time);
        return;
    }
    applyDrag(time);
}

void TimelineWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    if (drag_.mode == DragMode::scrub) Q_EMIT scrubEnded();
    drag_ = {};
}

void TimelineWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !laneRect(Lane::zooms).contains(point) || itemAt(point)) {
        return QWidget::mouseDoubleClickEvent(event);
    }
    state_.seek(timeForX(point.x()));
    state_.addZoomAtPlayhead();
}

void TimelineWidget::applyDrag(double time) {
    const double delta = time - drag_.pressTime;
    if (!drag_.moved && std::abs(xForTime(time) - xForTime(drag_.pressTime)) < 2) return;
    drag_.moved = true;
    // A drag is one undo step, recorded when it begins to change something.
    if (!drag_.undoRecorded) {
        state_.pushUndo();
        drag_.undoRecorded = true;
    }
    const double total = span();
    const double minimum = drag_.item.kind == ItemKind::zoom ? kMinimumZoomLength : kMinimumItemLength;
    double start = drag_.originStart;
    double end = drag_.originEnd;
    if (drag_.item.kind != ItemKind::clip) {
        switch (drag_.mode) {
            case DragMode::move: {
                const double length = end - start;
                start = std::clamp(start + delta, 0.0, std::max(0.0, total - length));
                end = start + length;
                break;
            }
            case DragMode::trimStart: start = std::clamp(start + delta, 0.0, end - minimum); break;
            case DragMode::trimEnd: end = std::clamp(end + delta, start + minimum, total); break;
            default: return;
        }
    }
    const Uuid& id = drag_.item.id;
    switch (drag_.item.kind) {
        case ItemKind::zoom:
            state_.updateZoom(id, [&](ZoomRegion& zoom) {
                zoom.start = start;
                zoom.end = end;
            });
            break;
        case ItemKind::mute:
        case ItemKind::speedRamp:
        case ItemKind::caption:
            state_.modify([&](EditorValues& v) {
                const auto place = [&](auto& list) {
                    for (auto& item : list) {
                        if (item.id != id) continue;
                        item.start = start;
                        item.end = end;
                    }
                };
                if (drag_.item.kind == ItemKind::mute) place(v.edit.audio.muteRegions);
                if (drag_.item.kind == ItemKind::speedRamp) place(v.edit.timeline.speedRamps);
                if (drag_.item.kind == ItemKind::caption) place(v.edit.captions.captions);
            });
            break;
        case ItemKind::voiceClip:
        case ItemKind::overlay:
            state_.modify([&](EditorValues& v) {
                const auto place = [&](auto& list) {
                    for (auto& item : list) {
                        if (item.id != id) continue;
                        if (drag_.mode == DragMode::trimStart) {
                            // The picture or sound under the trimmed edge stays where it was.
                            item.sourceStart = std::max(0.0, item.sourceStart + (start - item.startTime));
                        }
                        item.startTime = start;
                        item.duration = end - start;
                    }
                };
                if (drag_.item.kind == ItemKind::voiceClip) place(v.edit.audio.voiceClips);
                if (drag_.item.kind == ItemKind::overlay) place(v.edit.overlays.videoOverlays);
            });
            break;
        case ItemKind::clip:
            if (drag_.mode == DragMode::trimStart) state_.setClipSourceStart(id, drag_.originSourceStart + delta);
            if (drag_.mode == DragMode::trimEnd) state_.setClipSourceEnd(id, drag_.originEnd + delta);
            break;
        case ItemKind::cut:
        case ItemKind::music: break;
    }
}

QMenu* TimelineWidget::makeZoomMenu(const Uuid& zoomID) {
    const auto& zooms = state_.values().edit.timeline.zoomRegions;
    const auto zoom = std::find_if(zooms.begin(), zooms.end(), [&](const ZoomRegion& z) { return z.id == zoomID; });
    if (zoom == zooms.end()) return nullptr;
    auto* menu = new QMenu(this);
    menu->setAccessibleName("Zoom menu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QMenu* levels = menu->addMenu("Zoom level");
    for (double level : kZoomLevels) {
        QAction* action = levels->addAction(QString::number(level, 'f', 1) + "×");
        action->setCheckable(true);
        action->setChecked(std::abs(zoom->scale - level) < 1e-6);
        connect(action, &QAction::triggered, this, [this, zoomID, level] {
            state_.pushUndo();
            state_.updateZoom(zoomID, [level](ZoomRegion& z) { z.scale = level; });
        });
    }
    QAction* follow = menu->addAction("Follow cursor");
    follow->setCheckable(true);
    follow->setChecked(zoom->followCursor);
    connect(follow, &QAction::triggered, this, [this, zoomID](bool on) {
        state_.pushUndo();
        state_.updateZoom(zoomID, [on](ZoomRegion& z) { z.followCursor = on; });
    });
    menu->addSeparator();
    connect(menu->addAction("Delete zoom"), &QAction::triggered, this, [this, zoomID] {
        state_.select(EditorSelectionKind::zoom, zoomID);
        state_.removeSelectedZoom();
    });
    return menu;
}

void TimelineWidget::contextMenuEvent(QContextMenuEvent* event) {
    const auto hit = itemAt(event->pos());
    if (!hit || hit->kind != ItemKind::zoom) return;
    select(*hit);
    if (QMenu* menu = makeZoomMenu(hit->id)) menu->popup(event->globalPos());
}

}  // namespace orvane::studio
