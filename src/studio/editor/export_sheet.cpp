#include "studio/editor/export_sheet.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "export/export_jobs.h"
#include "model/export_aspect_ratio.h"

namespace orvane::studio {

namespace fs = std::filesystem;

namespace {

QString presetTitle(ExportPreset preset) {
    switch (preset) {
        case ExportPreset::web1080: return "1080p for the web";
        case ExportPreset::fourK: return "4K";
        case ExportPreset::vertical: return "Vertical (stories, shorts)";
        case ExportPreset::square: return "Square";
        case ExportPreset::gif: return "GIF";
    }
    return {};
}

QString aspectTitle(ExportAspectRatio aspect) {
    switch (aspect) {
        case ExportAspectRatio::automatic: return "As the preset";
        case ExportAspectRatio::widescreen: return "Widescreen 16:9";
        case ExportAspectRatio::vertical: return "Vertical 9:16";
        case ExportAspectRatio::square: return "Square 1:1";
    }
    return {};
}

}  // namespace

ExportSheet::ExportSheet(std::shared_ptr<const SceneRenderSnapshot> snapshot, fs::path suggestedFile, Start start,
                         QWidget* parent)
    : QDialog(parent), snapshot_(std::move(snapshot)), start_(std::move(start)) {
    setWindowTitle("Export");
    setAccessibleName("Export sheet");
    auto* form = new QFormLayout(this);

    preset_ = new QComboBox;
    preset_->setAccessibleName("Preset");
    for (ExportPreset preset : kAllExportPresets) preset_->addItem(presetTitle(preset), static_cast<int>(preset));
    form->addRow("Preset", preset_);

    aspect_ = new QComboBox;
    aspect_->setAccessibleName("Aspect");
    for (ExportAspectRatio aspect : kAllExportAspectRatios)
        aspect_->addItem(aspectTitle(aspect), static_cast<int>(aspect));
    form->addRow("Aspect", aspect_);

    fps_ = new QComboBox;
    fps_->setAccessibleName("Frame rate");
    fps_->addItem("As the preset", static_cast<int>(ExportFPSOption::automatic));
    fps_->addItem("24 fps", static_cast<int>(ExportFPSOption::fps24));
    fps_->addItem("30 fps", static_cast<int>(ExportFPSOption::fps30));
    fps_->addItem("60 fps", static_cast<int>(ExportFPSOption::fps60));
    form->addRow("Frame rate", fps_);

    quality_ = new QComboBox;
    quality_->setAccessibleName("Quality");
    for (ExportQuality quality : kAllExportQualities) {
        quality_->addItem(QString::fromUtf8(label(quality).data(), static_cast<int>(label(quality).size())),
                          static_cast<int>(quality));
    }
    form->addRow("Quality", quality_);

    size_ = new QComboBox;
    size_->setAccessibleName("Size");
    size_->addItem("Full size", 0);
    for (int edge : {1920, 1280, 960, 640}) size_->addItem(QString("At most %1 px wide").arg(edge), edge);
    form->addRow("Size", size_);

    auto* fileRow = new QHBoxLayout;
    file_ = new QLineEdit(QString::fromStdString(suggestedFile.string()));
    file_->setAccessibleName("Export file");
    auto* browse = new QPushButton("Choose...");
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getSaveFileName(this, "Export to", file_->text());
        if (!file.isEmpty()) file_->setText(file);
    });
    fileRow->addWidget(file_);
    fileRow->addWidget(browse);
    form->addRow("File", fileRow);

    summary_ = new QLabel;
    summary_->setAccessibleName("Export profile");
    form->addRow(summary_);
    error_ = new QLabel;
    error_->setAccessibleName("Export problem");
    error_->setWordWrap(true);
    error_->setStyleSheet("color: #ff6b6b");
    error_->hide();
    form->addRow(error_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    QPushButton* exportButton = buttons->addButton("Export", QDialogButtonBox::AcceptRole);
    exportButton->setAccessibleName("Start export");
    exportButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(exportButton, &QPushButton::clicked, this, &ExportSheet::startExport);
    form->addRow(buttons);

    for (QComboBox* box : {preset_, aspect_, fps_, quality_, size_}) {
        connect(box, &QComboBox::currentIndexChanged, this, &ExportSheet::updateSummary);
    }
    // A GIF preset writes a .gif: the file's extension follows the preset.
    connect(preset_, &QComboBox::currentIndexChanged, this, [this] {
        fs::path file = file_->text().toStdString();
        file.replace_extension(choice().preset == ExportPreset::gif ? ".gif" : ".mp4");
        file_->setText(QString::fromStdString(file.string()));
    });
    updateSummary();
}

ExportSheet::Choice ExportSheet::choice() const {
    Choice choice;
    choice.preset = static_cast<ExportPreset>(preset_->currentData().toInt());
    choice.settings.aspect = static_cast<ExportAspectRatio>(aspect_->currentData().toInt());
    choice.settings.fps = static_cast<ExportFPSOption>(fps_->currentData().toInt());
    choice.settings.quality = static_cast<ExportQuality>(quality_->currentData().toInt());
    if (const int edge = size_->currentData().toInt(); edge > 0) choice.settings.maxLongEdge = edge;
    choice.destination = file_->text().trimmed().toStdString();
    return choice;
}

void ExportSheet::updateSummary() {
    const auto profile = exportProfile(*snapshot_, choice().settings, choice().preset);
    summary_->setText(QString::fromStdString(displayText(profile)));
}

void ExportSheet::startExport() {
    const Choice chosen = choice();
    // Checked here so the sheet stays open with the choices while the user fixes the file.
    QString problem;
    if (chosen.destination.empty()) {
        problem = "Choose a file to export to.";
    } else if (!fs::is_directory(fs::absolute(chosen.destination).parent_path())) {
        problem = QString("The folder %1 does not exist.")
                      .arg(QString::fromStdString(fs::absolute(chosen.destination).parent_path().string()));
    } else if (fs::is_directory(chosen.destination)) {
        problem = "That is a folder; give a file name.";
    }
    if (!problem.isEmpty()) {
        error_->setText(problem);
        error_->show();
        return;
    }
    start_(chosen);
    accept();
}

}  // namespace orvane::studio
