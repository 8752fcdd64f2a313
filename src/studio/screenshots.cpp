#include "studio/screenshots.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <stdexcept>

#include "app/services.h"
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
    return name == "toast" || name == "home" || name == "new-recording" || name == "settings";
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
                "settings: " +
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
    }
    QTimer::singleShot(kLayoutMilliseconds, this, [this] {
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
    if (!widget->grab().save(shot.file, "PNG")) {
        std::fprintf(stderr, "orvane-studio: could not write %s\n", shot.file.toLocal8Bit().constData());
        ++failures_;
    }
    if (widget != &home) widget->hide();
}

}  // namespace orvane::studio
