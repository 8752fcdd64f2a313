#pragma once

#include <QWidget>

#include <map>

#include "base/signal.h"
#include "model/background_style.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QSlider;
class QToolButton;

namespace orvane {
class EditorState;
}

namespace orvane::studio {

// The look of the edit, in sections: Frame (background, inset, corners, window chrome and title),
// Cursor, Audio and Captions. Controls mirror the state and write through its operations, so each
// change saves and undoes as the command line's edits do.
class InspectorPanel : public QWidget {
    Q_OBJECT
public:
    explicit InspectorPanel(EditorState& state, QWidget* parent = nullptr);

    // Chooses the custom background picture, as the "Custom picture..." button does after its dialog.
    void chooseCustomBackground(const QString& file);

private:
    QWidget* buildFrame();
    QWidget* buildCursor();
    QWidget* buildAudio();
    QWidget* buildCaptions();
    void refresh();
    void captionEdited(QListWidgetItem* item);

    EditorState& state_;
    std::map<BackgroundStyle, QToolButton*> swatches_;
    QSlider* inset_ = nullptr;
    QDoubleSpinBox* corners_ = nullptr;
    QCheckBox* chrome_ = nullptr;
    QComboBox* chromeStyle_ = nullptr;
    QLineEdit* title_ = nullptr;
    QComboBox* cursorStyle_ = nullptr;
    QCheckBox* ring_ = nullptr;
    QComboBox* clickAnimation_ = nullptr;
    QCheckBox* clickSounds_ = nullptr;
    QSlider* originalVolume_ = nullptr;
    QSlider* voiceVolume_ = nullptr;
    QSlider* musicVolume_ = nullptr;
    QCheckBox* showCaptions_ = nullptr;
    QListWidget* captions_ = nullptr;
    bool refreshing_ = false;
    Subscription subscription_;
};

}  // namespace orvane::studio
