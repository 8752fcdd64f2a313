#include "studio/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QPixmap>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "app/services.h"
#include "editor/editor_state.h"
#include "studio/editor/editor_host.h"
#include "studio/editor/editor_window.h"
#include "studio/editor/tasks_tray.h"
#include "studio/home_window.h"
#include "studio/new_recording_dialog.h"
#include "studio/settings_window.h"
#include "studio/studio_shell.h"

namespace orvane::studio {

namespace {
// Time for the sources, devices and thumbnails to arrive before the first picture, and for a
// window to lay itself out before each one.
constexpr int kSettleMilliseconds = 2500;
constexpr int kLayoutMilliseconds = 400;

bool knownShot(const QString& name) {
    return name == "toast" || name == "home" || name == "new-recording" || name == "settings" || name == "editor" ||
           name == "inspector" || name == "tasks";
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
                "settings, editor, inspector, tasks (the last three with --open ID): " +
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
    // An export needs a moment to show progress, and the preview to draw the new zoom.
    const int settle = shot.name == "tasks" || shot.name == "editor" ? 3000 : kLayoutMilliseconds;
    QTimer::singleShot(settle, this, [this] {
        take(shots_[position_]);
        ++position_;
        next();
    });
}

void ScreenshotRun::take(const Shot& shot) {
    HomeWindow& home = shell_.home();
    QWidget* widget = &home;
    if (shot.name == "new-recording") widget = home.newRecordingDialog();
    if (shot.name == "settings") widget = home.settingsWindow();
    EditorWindow* editor = shell_.editors().anyWindow();
    if (shot.name == "editor" || shot.name == "inspector" || shot.name == "tasks") {
        if (!editor) {
            std::fprintf(stderr, "orvane-studio: the %s picture needs --open ID\n",
                         shot.name.toLocal8Bit().constData());
            ++failures_;
            return;
        }
        widget = editor;
        if (shot.name == "inspector") widget = editor->findChild<QDockWidget*>("inspector");
        if (shot.name == "tasks") widget = &shell_.editors().tray();
    }
    if (!widget->grab().save(shot.file, "PNG")) {
        std::fprintf(stderr, "orvane-studio: could not write %s\n", shot.file.toLocal8Bit().constData());
        ++failures_;
    }
    if (widget != &home && shot.name != "editor" && shot.name != "inspector") widget->hide();
}

}  // namespace orvane::studio
