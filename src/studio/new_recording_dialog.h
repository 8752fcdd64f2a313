#pragma once

#include <QDialog>

#include <optional>
#include <vector>

#include "recording/recording_source.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace orvane {
class Preferences;
}

namespace orvane::studio {

class RecordingController;

// The new-recording sheet: what to record (displays and windows as pictures, applications as a
// list), which tracks, how the pointer looks, and Start. The toggles and devices are the user's
// preferences, shared with the Recording menu.
class NewRecordingDialog : public QDialog {
    Q_OBJECT
public:
    NewRecordingDialog(RecordingController& recording, Preferences& preferences, QWidget* parent);

    // Shows the sheet with the default source for `preferredKind` (the last used one without it).
    void present(std::optional<RecordingSourceKind> preferredKind);
    std::optional<RecordingSource> selectedSource() const;

private:
    void fillSources();
    void fillDevices();
    void selectSource(const std::string& id);
    void startRecording();

    RecordingController& recording_;
    Preferences& preferences_;
    std::optional<RecordingSourceKind> preferredKind_;
    std::vector<RecordingSource> displayed_;
    QTabWidget* tabs_;
    QListWidget* displays_;
    QListWidget* windows_;
    QListWidget* applications_;
    QLabel* status_;
    QCheckBox* microphone_;
    QCheckBox* systemAudio_;
    QCheckBox* camera_;
    QComboBox* microphoneDevice_;
    QComboBox* cameraDevice_;
    QComboBox* cursorMode_;
    QPushButton* start_;
};

}  // namespace orvane::studio
