#include "studio/editor/editor_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "app/preference_adapters.h"
#include "app/services.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "cloud/remote_edit_poller.h"
#include "editor/auto_zoom_status.h"
#include "editor/editor_autosave.h"
#include "editor/editor_session.h"
#include "editor/editor_state.h"
#include "export/export_controller.h"
#include "export/export_jobs.h"
#include "media/media_probe.h"
#include "playback/preview_coordinator.h"
#include "playback/preview_player.h"
#include "playback/preview_scene.h"
#include "recording/recording_library.h"
#include "studio/editor/editor_host.h"
#include "studio/editor/inspector_panel.h"
#include "studio/editor/preview_widget.h"
#include "studio/editor/tasks_tray.h"
#include "studio/editor/timeline_widget.h"
#include "studio/toast_area.h"

namespace orvane::studio {

namespace fs = std::filesystem;

namespace {

QString clockText(double seconds) {
    const double safe = std::max(0.0, seconds);
    const int whole = static_cast<int>(safe);
    const int hundredths = static_cast<int>((safe - whole) * 100);
    return QString("%1:%2.%3").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0')).arg(hundredths, 2, 10, QChar('0'));
}

QFrame* banner(const QString& name, QLabel*& text, const QString& colour) {
    auto* frame = new QFrame;
    frame->setAccessibleName(name);
    frame->setStyleSheet(QString("QFrame { background: %1; border-radius: 6px; }").arg(colour));
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(10, 6, 10, 6);
    text = new QLabel;
    text->setWordWrap(true);
    text->setAccessibleName(name + " text");
    row->addWidget(text, 1);
    return frame;
}

// The width over the height of the frame the export draws for `scene`.
double exportAspect(const SceneRenderSnapshot& scene) {
    ExportSettings settings;
    settings.aspect = scene.edit.frame.exportAspect;
    const auto profile = exportProfile(scene, settings, ExportPreset::web1080);
    return profile.height > 0 ? static_cast<double>(profile.width) / profile.height : 16.0 / 9.0;
}

}  // namespace

EditorWindow::EditorWindow(EditorHost& host, const RecordingMeta& meta) : host_(host), meta_(meta) {
    setWindowTitle(QString::fromStdString(displayTitle(meta_)) + " — Orvane");
    setAccessibleName("Editor");
    resize(1280, 820);
    load();

    centre_.reset(buildCentre());
    setCentralWidget(centre_.get());
    buildDocks();
    buildMenus();
    new ToastArea(host_.services().toasts(), this);
    if (!state().values().loadError) startPreview();

    subscription_ = state().changed.subscribe([this](const EditorChange& change) { stateChanged(change); });
    refreshBanner();
    refreshTransport();
}

EditorWindow::~EditorWindow() {
    if (remoteEdits_) remoteEdits_->stop();
    subscription_ = {};
    if (preview_) preview_->attach(nullptr);
    if (autosave_ && autosave_->savePending()) autosave_->save();
}

EditorState& EditorWindow::state() { return session_->state(); }

QString EditorWindow::problem() const { return problem_; }

void EditorWindow::load() {
    app::Services& services = host_.services();
    const RecordingFolder folder = services.library().folderOf(meta_.id);
    const EditorSettings settings = editorSettings(services.preferences());
    // Opened for viewing: the autosave takes the edit lock for each write, so the command line can
    // change the same recording between saves.
    session_ = std::make_shared<EditorSession>(folder, meta_, settings);
    autosave_ = std::make_unique<EditorAutosave>(session_->state(), services.mainLoop(), settings);

    const auto& values = session_->state().values();
    std::error_code error;
    QString movieProblem;
    if (!fs::exists(values.videoPath, error)) {
        movieProblem = QString(
                           "The screen video of this recording is missing (%1). Put the file back to edit "
                           "it; the recording stays in the library.")
                           .arg(QString::fromStdString(values.videoPath.string()));
    } else if (values.edit.timeline.duration <= 0) {
        movieProblem = QString(
                           "Orvane can't read the screen video of this recording (%1). It may be damaged or "
                           "incomplete; the recording stays in the library.")
                           .arg(QString::fromStdString(values.videoPath.string()));
    }
    if (!movieProblem.isEmpty()) {
        log::warning(log_area::kStudio, "editor: %s", movieProblem.toStdString().c_str());
        session_->state().modify([&](EditorValues& v) { v.loadError = movieProblem.toStdString(); },
                                 ChangeSource::loading);
        problem_ = movieProblem;
    }
    if (session_->loadResult().sidecar == SidecarLoadOutcome::unreadable) {
        autosave_->keepUnreadableSidecar();
        const QString note = QString(
                                 "The saved edit %1 could not be read (%2). The editor opened the default "
                                 "edit and keeps that file as it is until you change something.")
                                 .arg(QString::fromStdString(folder.sidecarFile().string()),
                                      QString::fromStdString(session_->loadResult().sidecarProblem));
        problem_ = problem_.isEmpty() ? note : problem_ + "\n" + note;
    }
    // A shared recording follows the edits an agent makes to it while it is open, as
    // `orvane pull-edits --watch` does; each applied record is written at once.
    if (movieProblem.isEmpty()) {
        remoteEdits_ = services.remoteEditPoller(
            meta_, RemoteEditTarget{std::shared_ptr<EditorState>(session_, &session_->state()), [this] {
                                        if (autosave_) autosave_->save();
                                    }});
        if (remoteEdits_) remoteEdits_->start();
    }
}

QWidget* EditorWindow::buildCentre() {
    auto* centre = new QWidget;
    auto* column = new QVBoxLayout(centre);
    column->setContentsMargins(12, 12, 12, 6);
    problemBanner_ = banner("Editor problem", problemText_, "#5a2a2a");
    problemText_->setText(problem_);
    problemBanner_->setVisible(!problem_.isEmpty());
    column->addWidget(problemBanner_);

    preview_ = new PreviewWidget;
    if (state().values().loadError) preview_->setMessage(QString::fromStdString(*state().values().loadError));
    column->addWidget(preview_, 1);

    auto* transport = new QHBoxLayout;
    const auto tool = [&](const QString& text, const QString& name, auto slot) {
        auto* button = new QToolButton;
        button->setText(text);
        button->setAccessibleName(name);
        button->setToolTip(name);
        connect(button, &QToolButton::clicked, this, slot);
        transport->addWidget(button);
        return button;
    };
    tool("‹", "Step back", [this] { stepFrames(-1); });
    playButton_ = tool("▶", "Play", [this] { togglePlayback(); });
    tool("›", "Step forward", [this] { stepFrames(1); });
    time_ = new QLabel;
    time_->setAccessibleName("Playhead time");
    time_->setMinimumWidth(150);
    transport->addWidget(time_);
    transport->addStretch();
    tool("Add Zoom", "Add zoom", [this] { addZoom(); })->setToolTip("Add a zoom region centered at the playhead (Z)");
    tool("Split", "Split at playhead", [this] { splitAtPlayhead(); });
    tool("Export...", "Export", [this] { presentExport(); });
    tool("Tasks", "Show background tasks", [this] { host_.showTray(); });
    column->addLayout(transport);
    return centre;
}

void EditorWindow::buildDocks() {
    inspector_ = new InspectorPanel(state());
    auto* scroll = new QScrollArea;
    scroll->setWidget(inspector_);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumWidth(320);
    inspectorDock_ = std::make_unique<QDockWidget>("Inspector", this);
    inspectorDock_->setObjectName("inspector");
    inspectorDock_->setWidget(scroll);
    inspectorDock_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::RightDockWidgetArea, inspectorDock_.get());

    auto* bottom = new QWidget;
    auto* column = new QVBoxLayout(bottom);
    column->setContentsMargins(8, 4, 8, 8);
    zoomBanner_ = banner("Automatic zoom status", zoomBannerText_, "#23324a");
    auto* rerun = new QPushButton("Re-run");
    rerun->setAccessibleName("Re-run automatic zooms");
    connect(rerun, &QPushButton::clicked, this, &EditorWindow::rerunAutoZooms);
    zoomBanner_->layout()->addWidget(rerun);
    column->addWidget(zoomBanner_);
    timeline_ = new TimelineWidget(state(), host_.thumbnails(), host_.waveforms());
    // Scrubbing goes through the preview's coordinator, which keeps the player from being flooded
    // with seeks; with nothing to play the playhead simply moves.
    connect(timeline_, &TimelineWidget::scrubStarted, this, [this] {
        if (coordinator_) coordinator_->beginScrub(isPlaying());
    });
    connect(timeline_, &TimelineWidget::scrubbedTo, this,
            [this](double time) { coordinator_ ? coordinator_->scrub(time) : state().seek(time); });
    connect(timeline_, &TimelineWidget::scrubEnded, this, [this] {
        if (coordinator_) coordinator_->endScrub();
    });
    column->addWidget(timeline_);
    timelineDock_ = std::make_unique<QDockWidget>("Timeline", this);
    timelineDock_->setObjectName("timeline");
    timelineDock_->setWidget(bottom);
    timelineDock_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::BottomDockWidgetArea, timelineDock_.get());
}

void EditorWindow::startPreview() {
    app::Services& services = host_.services();
    const QSize size = preview_->frameSize();
    try {
        player_ =
            std::make_unique<PreviewPlayer>(services.mainLoop(), services.soundOutput(), size.width(), size.height());
    } catch (const std::exception& e) {
        // A sound server that refuses a stream leaves the preview silent, not gone.
        log::warning(log_area::kStudio, "editor: the preview plays without sound: %s", e.what());
        player_ = std::make_unique<PreviewPlayer>(services.mainLoop(), nullptr, size.width(), size.height());
    }
    preview_->attach(player_.get());
    player_->setProblemSink([this](const std::string& problem) {
        preview_->setMessage(problem.empty()
                                 ? QString()
                                 : "Orvane can't show this part of the edit: " + QString::fromStdString(problem));
    });
    // Each file is asked once per window: the bundle is rebuilt on every clip edit.
    auto sounding = std::make_shared<std::map<fs::path, bool>>();
    const auto hasAudio = [sounding](const fs::path& file) {
        const auto known = sounding->find(file);
        if (known != sounding->end()) return known->second;
        const auto probe = probeMedia(file);
        return (*sounding)[file] = probe && probe->hasAudio;
    };
    coordinator_ =
        std::make_unique<PreviewCoordinator>(state(), *player_, services.mainLoop(), hasAudio,
                                             [this](const EditorState& editor) { return previewScene(editor); });
}

std::shared_ptr<const SceneRenderSnapshot> EditorWindow::previewScene(const EditorState& editor) {
    auto scene = makePreviewScene(editor, screenTrackSource(session_->settings()));
    // Any edit may change the export's shape; the player then draws at the new size.
    preview_->setAspect(exportAspect(*scene));
    return scene;
}

void EditorWindow::buildMenus() {
    const auto add = [this](QMenu* menu, const QString& text, const QKeySequence& keys, auto slot) {
        QAction* action = menu->addAction(text, this, slot);
        action->setShortcut(keys);
        return action;
    };
    QMenu* file = menuBar()->addMenu("&File");
    add(file, "Export...", QKeySequence("Ctrl+E"), [this] { presentExport(); });
    add(file, "Background Tasks", QKeySequence(), [this] { host_.showTray(); });
    file->addSeparator();
    add(file, "Close", QKeySequence::Close, [this] { close(); });

    QMenu* edit = menuBar()->addMenu("&Edit");
    undo_ = add(edit, "Undo", QKeySequence("Ctrl+Z"), [this] { state().undo(); });
    redo_ = add(edit, "Redo", QKeySequence("Ctrl+Shift+Z"), [this] { state().redo(); });
    edit->addSeparator();
    add(edit, "Add Zoom at Playhead", QKeySequence("Z"), [this] { addZoom(); });
    add(edit, "Split at Playhead", QKeySequence("S"), [this] { splitAtPlayhead(); });
    add(edit, "Delete Selection", QKeySequence::Delete, [this] { deleteSelection(); });
    add(edit, "Add 2× at Playhead", QKeySequence(), [this] { state().addSpeedRamp(5.0, 2.0); });
    add(edit, "Re-run Automatic Zooms", QKeySequence(), [this] { rerunAutoZooms(); });

    QMenu* playback = menuBar()->addMenu("&Playback");
    add(playback, "Play/Pause", QKeySequence(Qt::Key_Space), [this] { togglePlayback(); });
    add(playback, "Play", QKeySequence("L"), [this] { play(); });
    add(playback, "Pause", QKeySequence("K"), [this] { pause(); });
    add(playback, "Back One Second", QKeySequence("J"), [this] {
        pause();
        state().seek(std::max(0.0, state().values().currentTime - 1));
    });
    add(playback, "Previous Frame", QKeySequence(Qt::Key_Left), [this] { stepFrames(-1); });
    add(playback, "Next Frame", QKeySequence(Qt::Key_Right), [this] { stepFrames(1); });
}

void EditorWindow::stateChanged(const EditorChange& change) {
    if (change.persisted) snapshot_.reset();
    refreshBanner();
    refreshTransport();
}

void EditorWindow::refreshBanner() {
    const auto shown = autoZoomBanner(state().values().autoZoomStatus);
    zoomBanner_->setVisible(shown.has_value());
    if (shown) zoomBannerText_->setText(QString::fromStdString(shown->text));
}

void EditorWindow::refreshTransport() {
    const auto& values = state().values();
    time_->setText(clockText(values.currentTime) + " / " + clockText(values.edit.timeline.duration));
    playButton_->setText(values.isPlaying ? "||" : "▶");
    playButton_->setAccessibleName(values.isPlaying ? "Pause" : "Play");
    if (undo_) undo_->setEnabled(state().canUndo());
    if (redo_) redo_->setEnabled(state().canRedo());
}

std::shared_ptr<const SceneRenderSnapshot> EditorWindow::snapshot() {
    if (!snapshot_) snapshot_ = std::make_shared<const SceneRenderSnapshot>(session_->renderSnapshot());
    return snapshot_;
}

bool EditorWindow::isPlaying() const { return session_->state().values().isPlaying; }

void EditorWindow::play() {
    // The coordinator starts the player, from the beginning again when it stands at the end.
    if (!coordinator_ || isPlaying()) return;
    state().modify([](EditorValues& v) { v.isPlaying = true; });
}

void EditorWindow::pause() {
    if (!isPlaying()) return;
    state().modify([](EditorValues& v) { v.isPlaying = false; });
}

void EditorWindow::togglePlayback() { isPlaying() ? pause() : play(); }

void EditorWindow::stepFrames(int count) {
    pause();
    const auto& values = state().values();
    const double fps = values.nominalFrameRate > 0 ? values.nominalFrameRate : 30;
    // Stepping lands on frame boundaries, so repeated steps never drift between frames.
    const double frame = std::round(values.currentTime * fps) + count;
    state().seek(std::clamp(frame / fps, 0.0, std::max(0.0, values.edit.timeline.duration)));
}

void EditorWindow::addZoom() { state().addZoomAtPlayhead(); }

void EditorWindow::splitAtPlayhead() { state().splitAtPlayhead(state().values().currentTime); }

void EditorWindow::deleteSelection() {
    const auto& values = state().values();
    if (values.selectedZoomID) {
        state().removeSelectedZoom();
    } else if (values.selectedMuteID) {
        state().removeSelectedMute();
    } else if (values.selectedClipID) {
        state().removeVoiceClip(*values.selectedClipID);
    } else if (values.selectedVideoOverlayID) {
        state().removeOverlay(*values.selectedVideoOverlayID);
    } else if (values.selectedScreenClipID) {
        state().deleteClip(*values.selectedScreenClipID);
    }
}

void EditorWindow::rerunAutoZooms() {
    try {
        if (!session_->rerunAutoZooms()) {
            host_.services().toasts().post(ToastLevel::warning, "No clicks to zoom on",
                                           "The cursor track of this recording holds no clicks.");
        }
    } catch (const std::exception& e) {
        host_.services().toasts().post(ToastLevel::error, "Couldn't re-run automatic zooms", std::string(e.what()));
    }
}

void EditorWindow::presentExport() {
    if (state().values().loadError) return;
    pause();
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty() || !fs::is_directory(folder.toStdString())) {
        folder = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    }
    const fs::path suggested = fs::path(folder.toStdString()) / (displayTitle(meta_) + ".mp4");
    auto* sheet = new ExportSheet(
        snapshot(), suggested, [this](const ExportSheet::Choice& choice) { startExport(choice); }, this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
}

Uuid EditorWindow::startExport(const ExportSheet::Choice& choice) {
    // The cached export is keyed by the saved edit, so it is written first.
    saveNow();
    VideoExportOptions options;
    options.preset = choice.preset;
    options.title = displayTitle(meta_);
    if (fs::exists(session_->folder().sidecarFile())) options.sidecar = session_->folder().sidecarFile();
    ExportController& exports = host_.exports();
    const fs::path destination = fs::absolute(choice.destination);
    const Uuid id = choice.preset == ExportPreset::gif
                        ? exports.exportGIF(snapshot(), choice.settings, destination, options)
                        : exports.exportVideo(snapshot(), choice.settings, destination, options);
    host_.showTray();
    return id;
}

void EditorWindow::saveNow() {
    if (autosave_->savePending()) autosave_->save();
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    pause();
    saveNow();
    QMainWindow::closeEvent(event);
    host_.closed(meta_.id);
}

}  // namespace orvane::studio
