#pragma once

#include <QDialog>

#include <filesystem>
#include <functional>
#include <memory>

#include "model/export_profile.h"
#include "model/scene_render_snapshot.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace orvane::studio {

// The export choices: preset, aspect, frame rate, quality, size and the file. Shows the output
// profile they make before anything renders; Export hands them to `start` and closes.
class ExportSheet : public QDialog {
    Q_OBJECT
public:
    struct Choice {
        ExportPreset preset = ExportPreset::web1080;
        ExportSettings settings;
        std::filesystem::path destination;
    };
    using Start = std::function<void(const Choice&)>;

    ExportSheet(std::shared_ptr<const SceneRenderSnapshot> snapshot, std::filesystem::path suggestedFile, Start start,
                QWidget* parent = nullptr);

    Choice choice() const;

private:
    void updateSummary();
    void startExport();

    std::shared_ptr<const SceneRenderSnapshot> snapshot_;
    Start start_;
    QComboBox* preset_ = nullptr;
    QComboBox* aspect_ = nullptr;
    QComboBox* fps_ = nullptr;
    QComboBox* quality_ = nullptr;
    QComboBox* size_ = nullptr;
    QLineEdit* file_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* error_ = nullptr;
};

}  // namespace orvane::studio
