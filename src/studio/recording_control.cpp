#include "studio/recording_control.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "studio/library_model.h"
#include "studio/recording_controller.h"

namespace orvane::studio {

using Phase = ScreenRecorder::Phase;

RecordingControl::RecordingControl(RecordingController& recording)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), recording_(recording) {
    setObjectName("recordingControl");
    setAccessibleName("Recording control");
    setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    elapsed_ = new QLabel("0:00", this);
    elapsed_->setObjectName("elapsed");
    elapsed_->setAccessibleName("Elapsed time");
    elapsed_->setMinimumWidth(64);
    stop_ = new QPushButton("Stop", this);
    stop_->setObjectName("primary");
    stop_->setAccessibleName("Stop Recording");
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setAccessibleName("Cancel Recording");
    layout->addWidget(elapsed_);
    layout->addWidget(stop_);
    layout->addWidget(cancel_);

    connect(stop_, &QPushButton::clicked, this, [this] { recording_.stop(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { recording_.discard(); });
    connect(&recording_, &RecordingController::phaseChanged, this, &RecordingControl::update);
    connect(&recording_, &RecordingController::elapsedChanged, this,
            [this](double seconds) { elapsed_->setText(durationText(static_cast<std::int64_t>(seconds * 1000))); });
    update();
}

void RecordingControl::update() {
    const Phase phase = recording_.phase();
    const bool active = phase == Phase::starting || phase == Phase::recording || phase == Phase::stopping;
    if (phase == Phase::starting) elapsed_->setText("Starting");
    if (phase == Phase::stopping) elapsed_->setText("Saving");
    stop_->setEnabled(phase == Phase::recording);
    cancel_->setEnabled(phase == Phase::starting || phase == Phase::recording);
    if (active && !isVisible()) {
        adjustSize();
        placeOnScreen();
        show();
    } else if (!active && isVisible()) {
        hide();
    }
}

void RecordingControl::placeOnScreen() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center().x() - width() / 2, area.top() + 24);
    }
}

}  // namespace orvane::studio
