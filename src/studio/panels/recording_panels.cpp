#include "studio/panels/recording_panels.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPlainTextEdit>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "recording/tracks/side_track_starters.h"
#include "studio/panels/camera_preview.h"
#include "studio/panels/face_camera_window.h"
#include "studio/panels/teleprompter_window.h"

namespace orvane::studio {

RecordingPanels::RecordingPanels(app::Services& services, QObject* parent) : QObject(parent), services_(services) {
    Preferences& preferences = services_.preferences();
    faceCamera_ = std::make_unique<FaceCameraPanel>(faceCameraPanelMemory(preferences));
    faceCamera_->restore(faceCameraPanelSettings(preferences));
    teleprompter_ = std::make_unique<TeleprompterController>(teleprompterSettings(preferences),
                                                             teleprompterMemory(preferences), services_.mainLoop());
    preview_ = std::make_unique<CameraPreview>(services_.cameraSystem());
    faceCameraWindow_ = std::make_unique<FaceCameraWindow>(*faceCamera_, *preview_);
    teleprompterWindow_ = std::make_unique<TeleprompterWindow>(*teleprompter_);
    bubbleChanged_ = faceCamera_->changed.subscribe([this] {
        followBubble();
        Q_EMIT changed();
    });
    teleprompterChanged_ = teleprompter_->changed.subscribe([this] { Q_EMIT changed(); });
}

RecordingPanels::~RecordingPanels() {
    // The windows observe the models and the preview, so they go first.
    faceCameraWindow_.reset();
    teleprompterWindow_.reset();
    preview_.reset();
}

std::function<void(const CameraFrame&)> RecordingPanels::handCameraToRecording() {
    cameraHeld_ = true;
    return preview_->showFramesFromElsewhere();
}

void RecordingPanels::cameraReleasedByRecording() {
    if (!cameraHeld_) return;
    cameraHeld_ = false;
    preview_->stop();
    followBubble();
}

void RecordingPanels::followBubble() {
    if (faceCamera_->isVisible() && !cameraHeld_) {
        std::optional<CameraDeviceInfo> device;
        try {
            device = resolveCamera(services_.cameraSystem(), services_.preferences().defaultCameraID());
        } catch (const std::exception&) {
            // The preview reports the missing camera itself.
        }
        preview_->start(device);
    } else if (!cameraHeld_) {
        preview_->stop();
    }
}

std::vector<std::uint64_t> RecordingPanels::ownWindowIDs() {
    std::vector<std::uint64_t> ids;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        // Menus and tooltips come and go with the pointer; everything else may be on screen while recording.
        const Qt::WindowType type = widget->windowType();
        if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::Desktop) continue;
        ids.push_back(static_cast<std::uint64_t>(widget->winId()));
    }
    return ids;
}

PanelOptions::PanelOptions(RecordingPanels& panels, QWidget* parent) : QWidget(parent), panels_(panels) {
    auto* layout = new QFormLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    bubble_ = new QCheckBox("Show Face Camera Bubble", this);
    teleprompter_ = new QCheckBox("Show Teleprompter", this);
    for (QCheckBox* box : {bubble_, teleprompter_}) box->setAccessibleName(box->text());
    script_ = new QPlainTextEdit(this);
    script_->setAccessibleName("Teleprompter script");
    script_->setPlaceholderText("What the teleprompter scrolls while you record.");
    script_->setMaximumHeight(72);
    auto* row = new QHBoxLayout;
    row->addWidget(bubble_);
    row->addWidget(teleprompter_);
    row->addStretch(1);
    layout->addRow(row);
    layout->addRow("Script", script_);

    connect(bubble_, &QCheckBox::toggled, this, [this](bool on) { panels_.faceCamera().setVisible(on); });
    connect(teleprompter_, &QCheckBox::toggled, this, [this](bool on) { panels_.teleprompter().setVisible(on); });
    connect(script_, &QPlainTextEdit::textChanged, this, [this] {
        const std::string text = script_->toPlainText().toStdString();
        if (text != panels_.teleprompter().script()) panels_.teleprompter().setScript(text);
    });
    connect(&panels_, &RecordingPanels::changed, this, &PanelOptions::follow);
    follow();
}

void PanelOptions::follow() {
    const QSignalBlocker blockBubble(bubble_), blockTeleprompter(teleprompter_);
    bubble_->setChecked(panels_.faceCamera().isVisible());
    teleprompter_->setChecked(panels_.teleprompter().isVisible());
    const QString script = QString::fromStdString(panels_.teleprompter().script());
    if (script != script_->toPlainText()) {
        const QSignalBlocker blockScript(script_);
        script_->setPlainText(script);
    }
}

}  // namespace orvane::studio
