#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/services.h"
#include "cloud/auth_store.h"
#include "cloud/remote_edit_poller.h"
#include "editor/editor_session.h"
#include "editor/editor_state.h"
#include "export/export_controller.h"
#include "media/sample_video.h"
#include "media/video_frame.h"
#include "model/cursor_telemetry.h"
#include "model/recording_files.h"
#include "model/time_mapping.h"
#include "playback/preview_coordinator.h"
#include "playback/preview_player.h"
#include "playback/timeline_media.h"
#include "render/backdrop/background_renderer.h"
#include "studio/editor/editor_host.h"
#include "studio/editor/editor_window.h"
#include "studio/editor/inspector_panel.h"
#include "studio/editor/preview_widget.h"
#include "studio/editor/tasks_tray.h"
#include "studio/editor/timeline_widget.h"
#include "studio/home_window.h"
#include "studio/studio_shell.h"
#include "support/http_test_server.h"
#include "support/pulse_test_server.h"
#include "support/required_service.h"
#include "support/scoped_env.h"
#include "support/sink_listener.h"
#include "support/temp_dir.h"
#include "widget_lookup.h"

namespace orvane::studio {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempDir;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Peak signal-to-noise ratio over the colour channels of two same-sized pictures.
double psnr(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double squared = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column) {
            for (int shift : {0, 8, 16}) {
                const double d =
                    static_cast<int>((p[column] >> shift) & 0xff) - static_cast<int>((q[column] >> shift) & 0xff);
                squared += d * d;
            }
        }
    }
    const double mean = squared / (3.0 * x.width() * x.height());
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

// The studio over a library in the standard place under a private XDG tree, so the `orvane`
// command run by a test sees the same recordings.
class EditorTest : public ::testing::Test {
protected:
    EditorTest()
        : home_("HOME", dir_.path().string()),
          data_("XDG_DATA_HOME", (dir_.path() / "data").string()),
          config_("XDG_CONFIG_HOME", (dir_.path() / "config").string()),
          cache_("XDG_CACHE_HOME", (dir_.path() / "cache").string()) {
        app::ServiceLocations locations;
        locations.cacheRoot = dir_.path() / "cache";
        services_ = std::make_unique<app::Services>(locations);
    }
    ~EditorTest() override {
        shell_.reset();
        services_.reset();
    }

    RecordingMeta addRecording(const std::string& title, double seconds = 2.0, bool withTone = false) {
        const fs::path file = dir_.path() / (title + ".mp4");
        SampleVideoLayout layout;
        layout.width = 320;
        layout.height = 200;
        layout.seconds = seconds;
        layout.withAudio = withTone;
        writeSampleVideo(file, layout);
        RecordingMeta meta = services_->library().importVideo(file);
        services_->library().reload();
        return meta;
    }

    RecordingFolder folderOf(const RecordingMeta& meta) { return services_->library().folderOf(meta.id); }

    HomeWindow& start() {
        shell_ = std::make_unique<StudioShell>(*services_);
        shell_->start();
        return shell_->home();
    }

    EditorWindow& open(const RecordingMeta& meta) {
        EditorWindow* window = shell_->openRecording(meta.id.string().substr(0, 8));
        EXPECT_NE(window, nullptr);
        return *window;
    }

    // Waits until the preview shows the frame for the playhead as it is now.
    bool waitForPreview(EditorWindow& window) {
        const double wanted = window.state().values().currentTime;
        return QTest::qWaitFor(
            [&] {
                const auto shown = window.preview()->frameTime();
                return shown && std::abs(*shown - wanted) < 1e-6 &&
                       window.preview()->frame().size() == window.preview()->frameSize();
            },
            20000);
    }

    // Presses the ruler at `from`, drags to `to` and lets go; `pressed` runs while the button is down.
    static void scrubOnRuler(TimelineWidget& timeline, double from, double to,
                             const std::function<void()>& pressed = {}) {
        constexpr int kRulerY = 10;
        QTest::mousePress(&timeline, Qt::LeftButton, {}, QPoint(timeline.xForTime(from), kRulerY));
        if (pressed) pressed();
        const QPointF end(timeline.xForTime(to), kRulerY);
        QMouseEvent drag(QEvent::MouseMove, end, timeline.mapToGlobal(end), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&timeline, &drag);
        QTest::mouseRelease(&timeline, Qt::LeftButton, {}, end.toPoint());
    }

    TempDir dir_;
    ScopedEnv home_;
    ScopedEnv data_;
    ScopedEnv config_;
    ScopedEnv cache_;
    std::unique_ptr<app::Services> services_;
    std::unique_ptr<StudioShell> shell_;
};

TEST_F(EditorTest, OpensFromTheLibraryScrubsAddsAZoomUndoesItAndKeepsItAcrossReopening) {
    const RecordingMeta meta = addRecording("Tour", 4.0);
    HomeWindow& home = start();
    auto* grid = named<QListView>("Recordings");
    ASSERT_NE(grid, nullptr);
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QAction* openAction = actionTitled(home.menuBar()->actions(), "Open");
    ASSERT_NE(openAction, nullptr);
    openAction->trigger();
    EditorWindow* window = shell_->editors().window(meta.id);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(window->problem().isEmpty()) << window->problem().toStdString();
    EditorState& state = window->state();
    EXPECT_NEAR(state.values().edit.timeline.duration, 4.0, 0.05);

    // An imported movie has no cursor data; the banner says so in the product's words.
    auto* banner = named<QLabel>("Automatic zoom status text");
    ASSERT_NE(banner, nullptr);
    EXPECT_TRUE(named<QFrame>("Automatic zoom status")->isVisible());
    EXPECT_EQ(banner->text(), "Imported video — no cursor data, auto-zoom unavailable");

    // Scrub: a press on the ruler seeks, dragging follows, and the time label and preview follow.
    TimelineWidget* timeline = window->timeline();
    scrubOnRuler(*timeline, 1.0, 2.5,
                 [&] { EXPECT_NEAR(state.values().currentTime, timeline->timeForX(timeline->xForTime(1.0)), 1e-9); });
    EXPECT_NEAR(state.values().currentTime, 2.5, 0.05);
    EXPECT_TRUE(named<QLabel>("Playhead time")->text().startsWith("0:02."));
    EXPECT_TRUE(waitForPreview(*window));

    // Arrows step one frame of the recording's rate.
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    const double before = state.values().currentTime;
    QTest::keyClick(window, Qt::Key_Right);
    EXPECT_NEAR(state.values().currentTime, (std::round(before * 30) + 1) / 30, 1e-9);

    // A zoom from the transport, centred on the playhead and selected.
    named<QToolButton>("Add zoom")->click();
    ASSERT_EQ(state.values().edit.timeline.zoomRegions.size(), 1u);
    const ZoomRegion zoom = state.values().edit.timeline.zoomRegions.front();
    EXPECT_EQ(state.values().selectedZoomID, zoom.id);
    EXPECT_LT(zoom.start, state.values().currentTime);
    EXPECT_GT(zoom.end, state.values().currentTime);

    // Its context menu sets the level.
    const QRect box = timeline->itemRect(TimelineWidget::ItemKind::zoom, zoom.id);
    ASSERT_FALSE(box.isEmpty());
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, box.center(), timeline->mapToGlobal(box.center()));
    QApplication::sendEvent(timeline, &rightClick);
    QMenu* menu = named<QMenu>("Zoom menu");
    ASSERT_NE(menu, nullptr);
    QAction* level = actionTitled(menu->actions(), "2.0×");
    ASSERT_NE(level, nullptr);
    level->trigger();
    menu->close();
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.zoomRegions.front().scale, 2.0);

    // Dragging its body moves it by the distance dragged; one undo step for the whole drag.
    const auto undoDepth = state.undoStack().size();
    QTest::mousePress(timeline, Qt::LeftButton, {}, box.center());
    const QPoint target = box.center() - QPoint(timeline->xForTime(0.5) - timeline->xForTime(0), 0);
    for (const QPoint& point : {box.center() - QPoint(4, 0), target}) {
        QMouseEvent move(QEvent::MouseMove, point, timeline->mapToGlobal(QPointF(point)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(timeline, &move);
    }
    QTest::mouseRelease(timeline, Qt::LeftButton, {}, target);
    EXPECT_NEAR(state.values().edit.timeline.zoomRegions.front().start, zoom.start - 0.5, 0.05);
    EXPECT_EQ(state.undoStack().size(), undoDepth + 1);

    // Ctrl+Z walks back: the move, the level, the zoom itself; Ctrl+Shift+Z brings it back.
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NEAR(state.values().edit.timeline.zoomRegions.front().start, zoom.start, 1e-9);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(state.values().edit.timeline.zoomRegions.front().scale, zoom.scale);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(state.values().edit.timeline.zoomRegions.empty());
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(state.values().edit.timeline.zoomRegions.size(), 1u);

    // S splits the screen clip at the playhead; Delete removes the selected zoom, and both undo.
    QTest::keyClick(window, Qt::Key_S);
    ASSERT_EQ(state.values().edit.timeline.clips.size(), 2u);
    EXPECT_NEAR(state.values().edit.timeline.clips.front().sourceEnd, state.values().currentTime, 1e-6);
    state.select(EditorSelectionKind::zoom, state.values().edit.timeline.zoomRegions.front().id);
    QTest::keyClick(window, Qt::Key_Delete);
    EXPECT_TRUE(state.values().edit.timeline.zoomRegions.empty());
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(state.values().edit.timeline.clips.size(), 1u);
    ASSERT_EQ(state.values().edit.timeline.zoomRegions.size(), 1u);

    // Closing saves; the editor opened again by id prefix finds the zoom in the saved edit.
    window->close();
    QTest::qWait(10);
    EXPECT_TRUE(fs::exists(folderOf(meta).sidecarFile()));
    EditorWindow& again = open(meta);
    EXPECT_EQ(again.state().values().edit.timeline.zoomRegions.size(), 1u);
}

TEST_F(EditorTest, AutomaticZoomBannerDeletingSuppressesRegenerationAndReRunBringsItBack) {
    RecordingMeta meta = addRecording("Clicks", 4.0);
    // One click at 1.5 s in the middle of the frame, in 60 Hz samples.
    CursorTelemetry telemetry;
    for (std::int64_t i = 0; i < 240; ++i) {
        const std::int64_t t = i * 1000 / 60;
        telemetry.points.push_back({t, 0.5, 0.5, t >= 1500 && t < 1600});
    }
    std::ofstream(folderOf(meta).cursorFile()) << encodeCursorTelemetry(telemetry);
    meta.hasCursor = true;
    meta.clickCaptureActive = true;
    writeRecordingMeta(folderOf(meta), meta);
    services_->library().reload();
    start();

    EditorWindow* window = &open(meta);
    const auto& zooms = [&]() -> const std::vector<ZoomRegion>& {
        return window->state().values().edit.timeline.zoomRegions;
    };
    ASSERT_EQ(zooms().size(), 1u);
    EXPECT_EQ(named<QLabel>("Automatic zoom status text")->text(),
              "Auto-zoomed 1 click cluster · right-click to delete");

    // "Delete zoom" from the zoom's context menu: gone, and not made again when reopened.
    TimelineWidget* timeline = window->timeline();
    const QRect box = timeline->itemRect(TimelineWidget::ItemKind::zoom, zooms().front().id);
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, box.center(), timeline->mapToGlobal(box.center()));
    QApplication::sendEvent(timeline, &rightClick);
    QMenu* menu = named<QMenu>("Zoom menu");
    ASSERT_NE(menu, nullptr);
    actionTitled(menu->actions(), "Delete zoom")->trigger();
    menu->close();
    EXPECT_TRUE(zooms().empty());
    window->close();
    QTest::qWait(10);
    window = &open(meta);
    EXPECT_TRUE(zooms().empty());
    EXPECT_FALSE(named<QFrame>("Automatic zoom status")->isVisible());

    // Re-running from the menu lifts the suppression and makes the zoom again.
    actionTitled(window->menuBar()->actions(), "Re-run Automatic Zooms")->trigger();
    EXPECT_EQ(zooms().size(), 1u);
    EXPECT_TRUE(named<QFrame>("Automatic zoom status")->isVisible());
}

// Without a sound server the player keeps time on the steady clock. The machine may be busy, so
// times are bounded loosely.
TEST_F(EditorTest, WithoutSoundSpacePlaysOnTheSteadyClockAScrubCarriesOnAndTheEndStops) {
    const RecordingMeta meta = addRecording("Playback", 3.0);
    start();
    EditorWindow& window = open(meta);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_NE(window.player(), nullptr);
    EditorState& state = window.state();

    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(window.isPlaying());
    EXPECT_NE(named<QToolButton>("Pause"), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return state.values().currentTime > 0.3; }, 10000));
    const auto shown = window.preview()->framesShown();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.preview()->framesShown() > shown + 3; }, 10000))
        << "the pictures follow the clock";

    // A scrub while playing moves the playhead at once, and playing carries on from where it ends.
    TimelineWidget* timeline = window.timeline();
    const QPoint at(timeline->xForTime(2.0), 10);
    const double target = timeline->timeForX(at.x());
    QTest::mousePress(timeline, Qt::LeftButton, {}, at);
    EXPECT_TRUE(window.coordinator()->isUserScrubbing());
    EXPECT_DOUBLE_EQ(state.values().currentTime, target);
    QTest::mouseRelease(timeline, Qt::LeftButton, {}, at);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.coordinator()->isUserScrubbing(); }, 2000));
    EXPECT_GE(state.values().currentTime, target - 1e-6);

    // The end of the recording stops playing there; Space plays again from the beginning.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !state.values().isPlaying; }, 10000));
    EXPECT_NEAR(state.values().currentTime, state.clipsDuration(), 0.05);
    EXPECT_NE(named<QToolButton>("Play"), nullptr);
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(QTest::qWaitFor([&] { return state.values().currentTime < 1.0; }, 5000));

    // K pauses and the playhead stays where the sound stopped.
    QTest::keyClick(&window, Qt::Key_K);
    EXPECT_FALSE(state.values().isPlaying);
    QTest::qWait(100);
    const double pausedAt = state.values().currentTime;
    QTest::qWait(400);
    EXPECT_DOUBLE_EQ(state.values().currentTime, pausedAt);
    EXPECT_TRUE(window.player()->lastError().empty()) << window.player()->lastError();
}

// How far `image` differs from `colour` inside `area`: the share of pixels more than a little off.
double shareUnlike(const QImage& image, const QRect& area, QColor colour) {
    int unlike = 0;
    int total = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor seen = image.pixelColor(x, y);
            const int distance = std::abs(seen.red() - colour.red()) + std::abs(seen.green() - colour.green()) +
                                 std::abs(seen.blue() - colour.blue());
            unlike += distance > 40 ? 1 : 0;
            ++total;
        }
    }
    return total ? static_cast<double>(unlike) / total : 0;
}

// The editor on a private sound server: the recording's tone reaches the speakers while the
// playhead follows the sound's clock; the timeline shows the recording's frames and its sound; a
// scrub and a zoom added on the timeline reach the preview, and the zoom undoes.
TEST_F(EditorTest, PlaysTheRecordingsSoundAsThePlayheadMovesAndTheTimelineShowsItsFramesAndWaveform) {
    testing::PulseTestServer sound;
    ORVANE_REQUIRE_SERVICE(sound.unavailableReason().empty(), "no PulseAudio: " << sound.unavailableReason());
    const RecordingMeta meta = addRecording("Tone", 4.0, true);
    start();
    // Asked for by the timeline, not by this test: what arrives was requested by its painting.
    std::vector<fs::path> waveforms;
    std::vector<fs::path> thumbnails;
    auto waveformArrived =
        shell_->editors().waveforms().peaksReady.subscribe([&](const fs::path& file) { waveforms.push_back(file); });
    auto thumbnailArrived = shell_->editors().thumbnails().frameReady.subscribe(
        [&](const ClipFrameKey& key) { thumbnails.push_back(key.url); });
    EditorWindow& window = open(meta);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EditorState& state = window.state();
    std::optional<testing::SinkListener> speakers;
    speakers.emplace(services_->soundServer());

    const fs::path movie = state.values().videoPath;
    TimelineWidget* timeline = window.timeline();
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::count(waveforms.begin(), waveforms.end(), movie) == 1; }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::count(thumbnails.begin(), thumbnails.end(), movie) >= 3; }, 20000));
    QTest::qWait(100);  // the repaint they asked for
    const QImage drawn = timeline->grab().toImage();
    const QRect clip =
        timeline->itemRect(TimelineWidget::ItemKind::clip, state.values().edit.timeline.clips.front().id);
    ASSERT_GT(clip.height(), 40);
    const QColor clipColour(0x4a, 0x55, 0x68);
    // Below the label, the strip is pictures, not the clip's plain colour.
    const QRect frames(clip.left() + 4, clip.top() + 24, clip.width() - 8, 8);
    EXPECT_GT(shareUnlike(drawn, frames, clipColour), 0.6);
    // The waveform's bars light its middle row; its edge stays dark.
    const QRect middle(clip.left() + 4, clip.bottom() - 8, clip.width() - 8, 1);
    const QRect edge(clip.left() + 4, clip.bottom() - 14, clip.width() - 8, 1);
    EXPECT_GT(shareUnlike(drawn, middle, clipColour.darker(165)), 0.3);
    EXPECT_LT(shareUnlike(drawn, edge, clipColour.darker(165)), 0.1);

    // Two seconds of playing: the tone is heard and the playhead moved about as far.
    const auto started = std::chrono::steady_clock::now();
    QTest::keyClick(&window, Qt::Key_Space);
    QTest::qWait(2000);
    const double reached = state.values().currentTime;
    EXPECT_GT(reached, 1.0);
    EXPECT_LT(reached, 2.6);
    EXPECT_TRUE(state.values().isPlaying);
    // Over the whole two seconds: on a loaded machine the sink's monitor may start hearing late.
    EXPECT_GT(speakers->loudness(started, std::chrono::steady_clock::now()), 0.02);
    QTest::keyClick(&window, Qt::Key_K);
    EXPECT_FALSE(state.values().isPlaying);
    QTest::qWait(300);
    const auto quietFrom = std::chrono::steady_clock::now();
    QTest::qWait(500);
    EXPECT_LT(speakers->loudness(quietFrom, std::chrono::steady_clock::now()), 0.005) << "pausing silences it";

    // A paused scrub shows the frame under the playhead where it was let go.
    scrubOnRuler(*timeline, 0.5, 3.0);
    EXPECT_NEAR(state.values().currentTime, 3.0, 0.05);
    EXPECT_TRUE(waitForPreview(window));

    // A double click in the zoom lane adds a zoom there, the preview draws it, and undo takes it away.
    const auto before = window.preview()->framesShown();
    const QRect zooms = timeline->laneRect(TimelineWidget::Lane::zooms);
    QTest::mouseDClick(timeline, Qt::LeftButton, {}, QPoint(timeline->xForTime(2.0), zooms.center().y()));
    ASSERT_EQ(state.values().edit.timeline.zoomRegions.size(), 1u);
    const ZoomRegion zoom = state.values().edit.timeline.zoomRegions.front();
    EXPECT_LT(zoom.start, 2.0);
    EXPECT_GT(zoom.end, 2.0);
    EXPECT_EQ(state.values().selectedZoomID, zoom.id);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.preview()->framesShown() > before; }, 10000));
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(state.values().edit.timeline.zoomRegions.empty());
    EXPECT_TRUE(window.player()->lastError().empty()) << window.player()->lastError();

    // This test's sound server stops with it: what talks to it goes first.
    speakers.reset();
    shell_.reset();
    services_.reset();
}

TEST_F(EditorTest, InspectorControlsWriteThroughTheStateAndUndo) {
    const RecordingMeta meta = addRecording("Styled");
    start();
    EditorWindow& window = open(meta);
    EditorState& state = window.state();
    state.modify([](EditorValues& v) {
        CaptionSegment caption;
        caption.start = 0.2;
        caption.end = 1.2;
        caption.text = "hello world";
        v.edit.captions.captions = {caption};
    });

    named<QSlider>("Inset")->setValue(10);
    EXPECT_DOUBLE_EQ(state.values().edit.frame.inset, 0.10);
    named<QDoubleSpinBox>("Corner radius")->setValue(22);
    EXPECT_DOUBLE_EQ(state.values().edit.frame.cornerRadius, 22);
    auto* title = named<QLineEdit>("Window title");
    EXPECT_FALSE(title->isEnabled()) << "a title needs the title bar";
    named<QCheckBox>("Window title bar")->click();
    EXPECT_TRUE(state.values().edit.frame.showWindowChrome);
    EXPECT_TRUE(title->isEnabled());
    title->setText("Quarterly demo");
    Q_EMIT title->editingFinished();
    EXPECT_EQ(state.values().edit.frame.windowTitle, "Quarterly demo");

    // The pointer style takes the ring away, and the ring's box follows the state.
    auto* style = named<QComboBox>("Cursor style");
    style->setCurrentIndex(style->findText("Pointer"));
    EXPECT_EQ(state.values().edit.cursor.cursorVisualStyle, CursorVisualStyle::pointer);
    EXPECT_FALSE(state.values().edit.cursor.showCursorRing);
    EXPECT_FALSE(named<QCheckBox>("Cursor ring")->isChecked());
    EXPECT_EQ(named<QComboBox>("Click animation")->findText("Brush"), -1);
    named<QCheckBox>("Click sounds")->click();
    EXPECT_TRUE(state.values().edit.cursor.cursorClickSounds);

    named<QSlider>("Recording volume")->setValue(50);
    EXPECT_FLOAT_EQ(state.values().edit.audio.originalAudioVolume, 0.5f);
    named<QCheckBox>("Show captions")->click();
    EXPECT_FALSE(state.values().edit.captions.showCaptions);
    auto* captions = named<QListWidget>("Caption texts");
    ASSERT_EQ(captions->count(), 1);
    captions->item(0)->setText("hello there friends");
    ASSERT_EQ(state.values().edit.captions.captions.size(), 1u);
    EXPECT_EQ(state.values().edit.captions.captions.front().text, "hello there friends");
    EXPECT_EQ(state.values().edit.captions.captions.front().words.size(), 3u);

    const fs::path picture = dir_.path() / "backdrop.png";
    QImage(64, 64, QImage::Format_RGB32).save(QString::fromStdString(picture.string()));
    window.inspector()->chooseCustomBackground(QString::fromStdString(picture.string()));
    EXPECT_EQ(state.values().edit.frame.background, BackgroundStyle::customImage);
    EXPECT_EQ(state.values().edit.frame.customBackgroundPath, picture);

    // Undo walks the styling back step by step, and the controls follow.
    state.undo();
    EXPECT_EQ(state.values().edit.frame.background, BackgroundStyle::bone);
    state.undo();
    EXPECT_EQ(state.values().edit.cursor.cursorVisualStyle, CursorVisualStyle::ring);
    EXPECT_EQ(style->currentText(), "Ring");
    while (state.canUndo()) state.undo();
    EXPECT_DOUBLE_EQ(state.values().edit.frame.inset, 0.04);
    EXPECT_EQ(named<QSlider>("Inset")->value(), 4);
    EXPECT_FALSE(named<QCheckBox>("Window title bar")->isChecked());
}

TEST_F(EditorTest, PreviewFrameIsTheCommandLineRenderAtPreviewSize) {
    const RecordingMeta meta = addRecording("Preview", 3.0);
    start();
    EditorWindow& window = open(meta);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // The command line draws the frame twice as large; scaled down it must be the same picture.
    const auto commandLineFrame = [&](double time, QSize size) {
        const fs::path png = dir_.path() / "frame.png";
        QProcess cli;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
            environment.insert(name, qEnvironmentVariable(name));
        }
        cli.setProcessEnvironment(environment);
        cli.start(ORVANE_CLI_PATH, {"render-frame", QString::fromStdString(meta.id.string()), "--time",
                                    QString::number(time), "--out", QString::fromStdString(png.string()), "--size",
                                    QString("%1x%2").arg(size.width() * 2).arg(size.height() * 2)});
        EXPECT_TRUE(cli.waitForFinished(60000));
        EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        return QImage(QString::fromStdString(png.string()))
            .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };

    // A jump (the preview seeks), then a short step on (it reads on from the frame it has).
    for (double time : {1.4, 1.9}) {
        window.state().seek(time);
        ASSERT_TRUE(waitForPreview(window));
        const QImage preview = window.preview()->frame();
        ASSERT_GT(preview.width(), 100);
        EXPECT_GE(psnr(preview, commandLineFrame(time, preview.size())), 35.0) << "at " << time << " s";
    }

    // A different time is a different picture: the comparison above can fail.
    const QImage later = window.preview()->frame();
    window.state().seek(0.2);
    ASSERT_TRUE(waitForPreview(window));
    EXPECT_LT(psnr(window.preview()->frame(), later), 35.0);
}

TEST_F(EditorTest, AMissingMovieOrUnreadableEditIsSaidInTheWindowAndTheFilesStay) {
    const RecordingMeta gone = addRecording("Gone");
    const RecordingMeta damaged = addRecording("Damaged");
    const RecordingMeta corrupt = addRecording("Corrupt");
    const RecordingMeta pieces = addRecording("Pieces");
    const fs::path movie = folderOf(gone).screenVideoFile(gone);
    fs::remove(movie);
    const std::string noise(4096, '\x5a');
    std::ofstream(folderOf(corrupt).screenVideoFile(corrupt), std::ios::binary | std::ios::trunc) << noise;
    const std::string garbage = "{\"zoomRegions\": [oops";
    std::ofstream(folderOf(damaged).sidecarFile()) << garbage;
    start();

    EditorWindow& missing = open(gone);
    EXPECT_TRUE(missing.problem().contains("missing")) << missing.problem().toStdString();
    EXPECT_TRUE(missing.problem().contains(QString::fromStdString(movie.string())));
    EXPECT_EQ(missing.preview()->message(), missing.problem());
    EXPECT_TRUE(named<QLabel>("Editor problem text")->text().contains("missing"));
    missing.close();
    QTest::qWait(10);
    EXPECT_TRUE(fs::exists(folderOf(gone).metaFile()));
    EXPECT_FALSE(fs::exists(folderOf(gone).sidecarFile())) << "nothing is saved over an edit that was not shown";
    EXPECT_EQ(services_->library().recordings().size(), 4u);

    EditorWindow& unplayable = open(corrupt);
    EXPECT_TRUE(unplayable.problem().contains("can't read")) << unplayable.problem().toStdString();
    EXPECT_EQ(unplayable.preview()->message(), unplayable.problem());
    unplayable.close();
    QTest::qWait(10);
    EXPECT_EQ(readFile(folderOf(corrupt).screenVideoFile(corrupt)), noise);

    EditorWindow& unreadable = open(damaged);
    EXPECT_TRUE(unreadable.problem().contains("could not be read")) << unreadable.problem().toStdString();
    EXPECT_GT(unreadable.state().values().edit.timeline.duration, 0) << "the movie itself still opens";
    unreadable.close();
    QTest::qWait(10);
    EXPECT_EQ(readFile(folderOf(damaged).sidecarFile()), garbage);

    // A clip whose file is gone: the preview gives the player's reason there, and the rest still shows.
    EditorWindow& split = open(pieces);
    ASSERT_NE(split.player(), nullptr);
    split.state().modify([](EditorValues& v) {
        v.edit.timeline.clips.push_back(Clip{Uuid::random(), "gone.mp4", 0, 1, 0});
    });
    split.state().seek(2.5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return split.preview()->message().contains("gone.mp4"); }, 20000))
        << split.preview()->message().toStdString();
    split.state().seek(0.5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return split.preview()->message().isEmpty(); }, 20000));
    EXPECT_TRUE(waitForPreview(split));
}

TEST_F(EditorTest, ChangedBackgroundReachesTheExportedFileThroughTheSheetAndTray) {
    const RecordingMeta meta = addRecording("Exported", 1.0);
    start();
    EditorWindow& window = open(meta);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    auto* swatch = named<QToolButton>("Background Obsidian");
    ASSERT_NE(swatch, nullptr);
    swatch->click();
    EXPECT_EQ(window.state().values().edit.frame.background, BackgroundStyle::obsidian);
    EXPECT_TRUE(swatch->isChecked());
    EXPECT_FALSE(named<QToolButton>("Background Bone")->isChecked());

    named<QToolButton>("Export")->click();
    auto* sheet = named<QDialog>("Export sheet");
    ASSERT_NE(sheet, nullptr);
    const fs::path out = dir_.path() / "out" / "exported.mp4";
    named<QLineEdit>("Export file")->setText(QString::fromStdString(out.string()));
    named<QAbstractButton>("Start export")->click();
    auto* problem = named<QLabel>("Export problem");
    EXPECT_TRUE(problem->isVisible()) << "a folder that does not exist is refused before anything runs";
    EXPECT_TRUE(shell_->editors().exports().tasks().empty());
    fs::create_directories(out.parent_path());
    auto* quality = named<QComboBox>("Quality");
    quality->setCurrentIndex(quality->findText("Compact"));
    named<QAbstractButton>("Start export")->click();

    ExportController& exports = shell_->editors().exports();
    ASSERT_EQ(exports.tasks().size(), 1u);
    const Uuid task = exports.tasks().front().id;
    EXPECT_TRUE(QTest::qWaitFor([&] { return exports.task(task)->stage.finished(); }, 120000));
    ASSERT_EQ(exports.task(task)->stage.kind, ExportTaskStage::Kind::succeeded)
        << exports.task(task)->stage.message.value_or("");
    EXPECT_EQ(shell_->editors().tray().stageText(task), "Done");
    EXPECT_TRUE(named<QAbstractButton>("Show exported file")->isVisible());

    // The corner of a frame is background: the obsidian one, not the default bone.
    const auto frame = extractVideoFrame(out, 0.5, 4096, 4096);
    ASSERT_TRUE(frame.has_value());
    const auto pixel = [](const RgbaImage& image, int x, int y) {
        const auto* p = image.pixels.data() + static_cast<std::size_t>(y) * image.stride + x * 4;
        return std::array<int, 3>{p[2], p[1], p[0]};
    };
    const auto expected = [&](BackgroundStyle style) {
        const auto surface = renderBackground(style, std::nullopt, frame->width, frame->height);
        cairo_surface_flush(surface.get());
        const auto* data = cairo_image_surface_get_data(surface.get());
        const auto* p = data + 4 * cairo_image_surface_get_stride(surface.get()) + 4 * 4;
        return std::array<int, 3>{p[2], p[1], p[0]};
    };
    const auto seen = pixel(*frame, 4, 4);
    const auto distance = [](std::array<int, 3> a, std::array<int, 3> b) {
        return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
    };
    EXPECT_LT(distance(seen, expected(BackgroundStyle::obsidian)), 30);
    EXPECT_GT(distance(seen, expected(BackgroundStyle::bone)), 60);
}

// A recording shared from here follows what an agent changes on the backend while it is open: the
// window shows the change, it is saved at once, and the user is told who changed it.
TEST_F(EditorTest, AnOpenSharedRecordingFollowsTheEditsAnAgentMakesOnTheBackend) {
    using Json = nlohmann::json;
    std::mutex mutex;
    Json record;
    testing::TestHttpServer backend([&](const testing::TestHttpRequest& request) {
        std::lock_guard lock(mutex);
        if (request.path == "/auth/v1/token") {
            return testing::TestHttpResponse::json(200, Json{{"access_token", "access-token-1"},
                                                             {"refresh_token", "refresh-token-1"},
                                                             {"expires_in", 3600},
                                                             {"token_type", "bearer"},
                                                             {"user", {{"id", "user-1"}, {"email", "ada@example.com"}}}}
                                                            .dump());
        }
        if (request.path == "/videos/remote-video-9/edit" &&
            request.header("Authorization").value_or("") == "Bearer access-token-1") {
            if (record.is_null()) return testing::TestHttpResponse::json(404, R"({"detail":"no edits"})");
            return testing::TestHttpResponse::json(200, record.dump());
        }
        return testing::TestHttpResponse::json(404, R"({"detail":"no route"})");
    });
    ScopedEnv authURL("ORVANE_SERVICE_URL_AUTH", backend.baseURL());
    ScopedEnv apiURL("ORVANE_SERVICE_URL_API", backend.baseURL());
    // The session's tokens go to the file keychain: no session bus here.
    ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvane-test-bus");

    const RecordingMeta plain = addRecording("Shared");
    const fs::path metaFile = folderOf(plain).metaFile();
    Json meta = Json::parse(readFile(metaFile));
    meta["remoteVideoID"] = "remote-video-9";
    std::ofstream(metaFile, std::ios::binary | std::ios::trunc) << meta.dump();
    services_->library().reload();
    services_->auth().signIn("ada@example.com", "correct horse");
    start();
    EditorWindow& window = open(plain);
    {
        std::lock_guard lock(mutex);
        record = {{"video_id", "remote-video-9"}, {"updated_at", "2026-12-05T09:00:00Z"}, {"inset", 0.08}};
    }

    ASSERT_TRUE(QTest::qWaitFor([&] { return window.state().values().edit.frame.inset == 0.08; }, 15000))
        << "the poll every few seconds brings the agent's change";
    const Json saved = Json::parse(readFile(folderOf(plain).sidecarFile()));
    EXPECT_NE(saved.dump().find("\"inset\":0.08"), std::string::npos) << saved.dump();
    const auto& toasts = services_->toasts().toasts();
    EXPECT_TRUE(std::any_of(toasts.begin(), toasts.end(),
                            [](const Toast& toast) { return toast.title == kRemoteEditToastTitle; }));
}

}  // namespace
}  // namespace orvane::studio
