#include "studio/new_recording_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "model/recording_cursor_mode.h"
#include "studio/panels/recording_panels.h"
#include "studio/recording_controller.h"

namespace orvane::studio {

namespace {

constexpr QSize kPictureSize(200, 125);
constexpr int kSourceIDRole = Qt::UserRole + 1;
// Window pictures cost one X round trip each; beyond this many the list shows names only.
constexpr std::size_t kMaxWindowPictures = 12;

QListWidget* sourceList(const QString& accessibleName, bool pictures, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setAccessibleName(accessibleName);
    if (pictures) {
        list->setViewMode(QListView::IconMode);
        list->setIconSize(kPictureSize);
        list->setGridSize(kPictureSize + QSize(24, 56));
        list->setResizeMode(QListView::Adjust);
        list->setMovement(QListView::Static);
        list->setSpacing(8);
        list->setWordWrap(true);
    }
    return list;
}

// A picture of what is on screen now, taken through the display server; nothing when it cannot.
QIcon picture(const QRect& area, WId window) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QPixmap grabbed = window != 0 ? screen->grabWindow(window)
                                        : screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (grabbed.isNull()) return {};
    return QIcon(grabbed.scaled(kPictureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void addSource(QListWidget* list, const RecordingSource& source, const QString& text, const QIcon& icon) {
    auto* item = new QListWidgetItem(icon, text, list);
    item->setData(kSourceIDRole, QString::fromStdString(sourceID(source)));
    item->setData(Qt::AccessibleTextRole, text);
}

struct CursorModeChoice {
    const char* raw;
    const char* label;
};
// The modes a new recording offers: every stored mode normalises to one of these three.
constexpr CursorModeChoice kCursorModes[] = {
    {"pointer", "Redrawn pointer"}, {"touch", "Touch (mobile)"}, {"system", "System cursor"}};

}  // namespace

NewRecordingDialog::NewRecordingDialog(RecordingController& recording, Preferences& preferences, QWidget* parent)
    : QDialog(parent), recording_(recording), preferences_(preferences) {
    setWindowTitle("New Recording");
    setAccessibleName("New Recording");
    setWindowModality(Qt::WindowModal);
    resize(760, 560);

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    tabs_->setAccessibleName("Source kind");
    displays_ = sourceList("Displays", true, this);
    windows_ = sourceList("Windows", true, this);
    applications_ = sourceList("Applications", false, this);
    tabs_->addTab(displays_, "Displays");
    tabs_->addTab(windows_, "Windows");
    tabs_->addTab(applications_, "Applications");
    layout->addWidget(tabs_, 1);
    status_ = new QLabel(this);
    status_->setObjectName("hint");
    status_->setAccessibleName("Source status");
    status_->setWordWrap(true);
    layout->addWidget(status_);

    auto* options = new QFormLayout;
    microphone_ = new QCheckBox("Record Microphone", this);
    microphoneDevice_ = new QComboBox(this);
    microphoneDevice_->setAccessibleName("Microphone device");
    systemAudio_ = new QCheckBox("Record System Audio", this);
    camera_ = new QCheckBox("Record Face Camera", this);
    cameraDevice_ = new QComboBox(this);
    cameraDevice_->setAccessibleName("Face camera device");
    cursorMode_ = new QComboBox(this);
    cursorMode_->setAccessibleName("Cursor mode");
    for (const auto& mode : kCursorModes) cursorMode_->addItem(mode.label, QString(mode.raw));
    for (QCheckBox* box : {microphone_, systemAudio_, camera_}) box->setAccessibleName(box->text());
    auto* micRow = new QHBoxLayout;
    micRow->addWidget(microphone_);
    micRow->addWidget(microphoneDevice_, 1);
    auto* cameraRow = new QHBoxLayout;
    cameraRow->addWidget(camera_);
    cameraRow->addWidget(cameraDevice_, 1);
    options->addRow(micRow);
    options->addRow(systemAudio_);
    options->addRow(cameraRow);
    options->addRow("Cursor", cursorMode_);
    options->addRow(new PanelOptions(recording_.panels(), this));
    layout->addLayout(options);

    auto* buttons = new QDialogButtonBox(this);
    start_ = buttons->addButton("Start Recording", QDialogButtonBox::AcceptRole);
    start_->setObjectName("primary");
    start_->setAccessibleName("Start Recording");
    start_->setDefault(true);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setAccessibleName("Cancel");
    layout->addWidget(buttons);

    // Each switch is the user's default at once, as in the Recording menu.
    connect(microphone_, &QCheckBox::toggled, this, [this](bool on) { preferences_.setDefaultMicOn(on); });
    connect(systemAudio_, &QCheckBox::toggled, this, [this](bool on) { preferences_.setDefaultAudioOn(on); });
    connect(camera_, &QCheckBox::toggled, this, [this](bool on) { preferences_.setDefaultWebcamOn(on); });
    connect(microphoneDevice_, &QComboBox::activated, this, [this](int index) {
        preferences_.setDefaultMicrophoneID(microphoneDevice_->itemData(index).toString().toStdString());
    });
    connect(cameraDevice_, &QComboBox::activated, this, [this](int index) {
        preferences_.setDefaultCameraID(cameraDevice_->itemData(index).toString().toStdString());
    });
    connect(start_, &QPushButton::clicked, this, &NewRecordingDialog::startRecording);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(&recording_, &RecordingController::catalogChanged, this, [this] {
        if (isVisible()) fillSources();
    });
    for (QListWidget* list : {displays_, windows_, applications_}) {
        connect(list, &QListWidget::itemDoubleClicked, this, &NewRecordingDialog::startRecording);
    }
}

void NewRecordingDialog::present(std::optional<RecordingSourceKind> preferredKind) {
    preferredKind_ = preferredKind;
    microphone_->setChecked(preferences_.defaultMicOn());
    systemAudio_->setChecked(preferences_.defaultAudioOn());
    camera_->setChecked(preferences_.defaultWebcamOn());
    const auto stored = rawValue(normalizedRecordingCursorMode(preferences_.defaultRecordingCursorMode()));
    const int mode = cursorMode_->findData(QString::fromUtf8(stored.data(), static_cast<int>(stored.size())));
    cursorMode_->setCurrentIndex(mode >= 0 ? mode : 0);
    fillSources();
    open();
}

void NewRecordingDialog::fillSources() {
    const auto& catalog = recording_.catalog();
    displays_->clear();
    windows_->clear();
    applications_->clear();
    for (const auto& display : catalog.displays) {
        addSource(
            displays_, display,
            QString("%1 (%2×%3)").arg(QString::fromStdString(display.name)).arg(display.width).arg(display.height),
            picture(QRect(display.frame.x, display.frame.y, display.width, display.height), 0));
    }
    std::size_t pictures = 0;
    for (const auto& window : catalog.windows) {
        const QString title = QString::fromStdString(sourceTitle(window));
        const QString app = QString::fromStdString(window.appName);
        const QIcon icon = pictures++ < kMaxWindowPictures ? picture({}, static_cast<WId>(window.id)) : QIcon();
        addSource(windows_, window, title, icon);
        windows_->item(windows_->count() - 1)
            ->setToolTip(title == app || app.isEmpty() ? title : title + " (" + app + ")");
    }
    for (const auto& application : catalog.applications) {
        addSource(applications_, application, QString::fromStdString(application.name), {});
    }
    switch (recording_.catalogStatus()) {
        case CatalogStatus::loading: status_->setText("Loading screens..."); break;
        case CatalogStatus::failed: status_->setText(recording_.catalogError()); break;
        case CatalogStatus::loaded: status_->setText(catalog.displays.empty() ? "No screens found" : QString()); break;
    }
    const auto chosen = defaultSource(catalog, preferences_.lastUsedSourceID(), preferredKind_);
    start_->setEnabled(chosen.has_value());
    if (chosen) selectSource(sourceID(*chosen));
    fillDevices();
}

void NewRecordingDialog::fillDevices() {
    const auto fill = [](QComboBox* box, const std::vector<CaptureDeviceInfo>& devices, const std::string& chosen) {
        box->clear();
        box->addItem("System Default", QString());
        for (const auto& device : devices) {
            box->addItem(QString::fromStdString(device.localizedName), QString::fromStdString(device.uniqueID));
        }
        const int index = box->findData(QString::fromStdString(chosen));
        box->setCurrentIndex(index >= 0 ? index : 0);
    };
    fill(microphoneDevice_, recording_.microphones(), preferences_.defaultMicrophoneID());
    fill(cameraDevice_, recording_.cameras(), preferences_.defaultCameraID());
}

void NewRecordingDialog::selectSource(const std::string& id) {
    const QString wanted = QString::fromStdString(id);
    for (QListWidget* list : {displays_, windows_, applications_}) {
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->data(kSourceIDRole).toString() == wanted) {
                list->setCurrentRow(row);
                tabs_->setCurrentWidget(list);
                return;
            }
        }
    }
}

std::optional<RecordingSource> NewRecordingDialog::selectedSource() const {
    const auto* list = qobject_cast<QListWidget*>(tabs_->currentWidget());
    if (!list || !list->currentItem()) return std::nullopt;
    return findSource(recording_.catalog(), list->currentItem()->data(kSourceIDRole).toString().toStdString());
}

void NewRecordingDialog::startRecording() {
    const auto source = selectedSource();
    if (!source) return;
    RecordingRequest request;
    request.source = source;
    request.options = optionsFromPreferences(preferences_);
    applyCursorMode(request.options, cursorMode_->currentData().toString().toStdString(), preferences_);
    accept();
    recording_.start(std::move(request));
}

}  // namespace orvane::studio
