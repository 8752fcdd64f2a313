#include "studio/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "app/preference_adapters.h"
#include "app/services.h"
#include "editor/editor_state.h"
#include "studio/editor/editor_host.h"
#include "studio/editor/editor_window.h"
#include "studio/editor/tasks_tray.h"
#include "studio/home_window.h"
#include "studio/new_recording_dialog.h"
#include "studio/panels/recording_panels.h"
#include "studio/panels/teleprompter_window.h"
#include "studio/recording_controller.h"
#include "studio/settings_window.h"
#include "studio/studio_shell.h"

namespace orvane::studio {

namespace {
// Time for the sources, devices and thumbnails to arrive before the first picture, and for a
// window to lay itself out before each one.
constexpr int kSettleMilliseconds = 2500;
constexpr int kLayoutMilliseconds = 400;
constexpr int kRecordingMilliseconds = 2500;

bool knownShot(const QString& name) {
    return name == "toast" || name == "home" || name == "new-recording" || name == "settings" || name == "editor" ||
           name == "inspector" || name == "timeline" || name == "tasks" || name == "panels";
}
}  // namespace

std::vector<ScreenshotRun::Shot> ScreenshotRun::parse(const QStringList& arguments) {
    std::vector<Shot> shots;
    for (const QString& argument : arguments) {
        const auto at = argument.indexOf('=');
        const QString name = argument.left(at);
        if (at <= 0 || at == argument.size() - 1 || !knownShot(name)) {
            throw std::invalid_argument(
                "--screenshot takes NAME=FILE with NAME one of toast, home, new-recording, "
                "settings, panels, editor, inspector, timeline, tasks (the last four with --open ID): " +
                argument.toStdString());
        }
        shots.push_back({name, argument.mid(at + 1)});
    }
    return shots;
}

ScreenshotRun::ScreenshotRun(StudioShell& shell, std::vector<Shot> shots) : shell_(shell), shots_(std::move(shots)) {
    QTimer::singleShot(kSettleMilliseconds, this, &ScreenshotRun::next);
}

void ScreenshotRun::next() {
    if (position_ >= shots_.size()) {
        QApplication::exit(failures_ == 0 ? 0 : 1);
        return;
    }
    const Shot& shot = shots_[position_];
    HomeWindow& home = shell_.home();
    ToastCenter& toasts = shell_.services().toasts();
    if (shot.name == "home") {
        // The home picture shows the library itself, without start-up notices over it.
        const auto current = toasts.toasts();
        for (const auto& toast : current) toasts.dismiss(toast.id);
    } else if (shot.name == "new-recording") {
        home.presentNewRecording(std::nullopt);
    } else if (shot.name == "settings") {
        home.presentSettings();
    } else if (shot.name == "panels") {
        showPanelsWhileRecording();
    } else if (EditorWindow* editor = shell_.editors().anyWindow(); editor && shot.name == "editor") {
        // A zoom under the playhead, selected, as someone shaping the edit would have it.
        editor->state().seek(std::min(1.5, editor->state().values().edit.timeline.duration / 2));
        editor->addZoom();
    } else if (editor && shot.name == "tasks") {
        ExportSheet::Choice choice;
        choice.settings.maxLongEdge = 640;
        choice.destination = (QDir::tempPath() + "/orvane-screenshot-export.mp4").toStdString();
        editor->startExport(choice);
        choice.destination = (QDir::tempPath() + "/orvane-screenshot-export.gif").toStdString();
        choice.preset = ExportPreset::gif;
        editor->startExport(choice);
    }
    // An export needs a moment to show progress, the preview to draw the new zoom, and a recording
    // its first frames.
    const int settle = shot.name == "tasks" || shot.name == "editor" ? 3000
                       : shot.name == "panels"                       ? kRecordingMilliseconds
                                                                     : kLayoutMilliseconds;
    QTimer::singleShot(settle, this, [this] {
        take(shots_[position_]);
        ++position_;
        next();
    });
}

// A display recording in progress with the face-camera bubble, the teleprompter and the recording
// control over the home window; the recording is thrown away after the picture.
void ScreenshotRun::showPanelsWhileRecording() {
    RecordingController& recording = shell_.recording();
    RecordingPanels& panels = recording.panels();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    panels.faceCamera().setCornerRadius(FaceCameraPanel::kCircularRadius);
    panels.faceCamera().setScreenFrame(Rect{area.right() - 300.0, area.bottom() - 300.0, 260, 260});
    panels.faceCamera().setVisible(true);
    panels.teleprompter().setScript(
        "Welcome to the product tour.\n\nToday: the new library, projects in the sidebar, and sharing a "
        "recording with your team in two clicks.");
    panels.teleprompter().setVisible(true);
    panels.teleprompterWindow().move(area.left() + 40, area.bottom() - panels.teleprompterWindow().height() - 40);
    // The picture is about the panels: no sound server or camera is needed for the recording itself.
    RecordingRequest request;
    request.preferredKind = RecordingSourceKind::display;
    request.options = optionsFromPreferences(shell_.services().preferences());
    request.options.includeSystemAudio = false;
    request.options.includeMicrophone = false;
    request.options.includeWebcam = false;
    recording.start(std::move(request));
}

void ScreenshotRun::take(const Shot& shot) {
    HomeWindow& home = shell_.home();
    if (shot.name == "panels") {
        // Several windows at once: the screen itself, as the user sees it while recording.
        if (!QGuiApplication::primaryScreen()->grabWindow(0).save(shot.file, "PNG")) {
            std::fprintf(stderr, "orvane-studio: could not write %s\n", shot.file.toLocal8Bit().constData());
            ++failures_;
        }
        shell_.recording().discard();
        shell_.recording().panels().faceCamera().setVisible(false);
        shell_.recording().panels().teleprompter().setVisible(false);
        return;
    }
    QWidget* widget = &home;
    if (shot.name == "new-recording") widget = home.newRecordingDialog();
    if (shot.name == "settings") widget = home.settingsWindow();
    EditorWindow* editor = shell_.editors().anyWindow();
    if (shot.name == "editor" || shot.name == "inspector" || shot.name == "timeline" || shot.name == "tasks") {
        if (!editor) {
            std::fprintf(stderr, "orvane-studio: the %s picture needs --open ID\n",
                         shot.name.toLocal8Bit().constData());
            ++failures_;
            return;
        }
        widget = editor;
        if (shot.name == "inspector") widget = editor->findChild<QDockWidget*>("inspector");
        if (shot.name == "timeline") widget = editor->findChild<QDockWidget*>("timeline");
        if (shot.name == "tasks") widget = &shell_.editors().tray();
    }
    if (!widget->grab().save(shot.file, "PNG")) {
        std::fprintf(stderr, "orvane-studio: could not write %s\n", shot.file.toLocal8Bit().constData());
        ++failures_;
    }
    if (widget != &home && shot.name != "editor" && shot.name != "inspector" && shot.name != "timeline") widget->hide();
}

}  // namespace orvane::studio
