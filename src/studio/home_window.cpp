#include "studio/home_window.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

#include "app/preferences.h"
#include "app/services.h"
#include "recording/recording_library.h"
#include "studio/library_model.h"
#include "studio/new_recording_dialog.h"
#include "studio/recording_card_delegate.h"
#include "studio/recording_control.h"
#include "studio/recording_controller.h"
#include "studio/recording_menu.h"
#include "studio/settings_window.h"
#include "studio/studio_shell.h"
#include "studio/studio_updates.h"
#include "studio/toast_area.h"

namespace orvane::studio {

namespace {
constexpr int kAllRecordingsRow = 0;
constexpr int kProjectIDRole = Qt::UserRole + 1;
using Phase = ScreenRecorder::Phase;

bool isIdle(Phase phase) { return phase == Phase::idle || phase == Phase::finished || phase == Phase::failed; }
}  // namespace

HomeWindow::HomeWindow(StudioShell& shell) : shell_(shell) {
    setWindowTitle("Orvane");
    setAccessibleName("Orvane");
    resize(1100, 700);
    RecordingLibrary& library = shell_.services().library();
    model_ = new LibraryModel(library, shell_.thumbnails(), this);

    buildMenus();
    buildToolbar();
    buildCentre();
    newRecording_ = new NewRecordingDialog(shell_.recording(), shell_.services().preferences(), this);
    control_ = std::make_unique<RecordingControl>(shell_.recording());

    RecordingController& recording = shell_.recording();
    connect(&recording, &RecordingController::phaseChanged, this, &HomeWindow::refreshState);
    connect(&recording, &RecordingController::catalogChanged, this, &HomeWindow::refreshState);
    connect(&recording, &RecordingController::recordingFinished, this, [this] {
        show();
        raise();
        activateWindow();
    });
    connect(&shell_, &StudioShell::newRecordingRequested, this, [this](int kind) {
        presentNewRecording(kind < 0 ? std::nullopt : std::optional(static_cast<RecordingSourceKind>(kind)));
    });
    connect(&shell_, &StudioShell::settingsRequested, this, &HomeWindow::presentSettings);
    recordingsSubscription_ = library.observeRecordings([this](const auto&) {
        // The grid was rebuilt; keep the shared selection on screen.
        selectRecording(shell_.selection().selectedRecording());
        refreshState();
    });
    projectsSubscription_ = library.observeProjects([this](const auto&) { fillProjects(); });
    selectionSubscription_ = shell_.selection().observe([this](const auto& selected) { selectRecording(selected); });
    fillProjects();
    refreshState();
}

HomeWindow::~HomeWindow() = default;

void HomeWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    QAction* newRecording = file->addAction("New Recording...", this, [this] { shell_.requestNewRecording(); });
    newRecording->setShortcut(QKeySequence::New);
    QAction* import = file->addAction("Import Video...", this, &HomeWindow::importVideo);
    import->setShortcut(QKeySequence("Ctrl+I"));
    file->addSeparator();
    file->addAction("Check for Updates...", this, [this] { shell_.updates().check(true); });
    QAction* settings = file->addAction("Settings...", this, [this] { shell_.requestSettings(); });
    settings->setShortcut(QKeySequence("Ctrl+,"));
    settings->setShortcutContext(Qt::ApplicationShortcut);
    file->addSeparator();
    QAction* quit = file->addAction("Quit", qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* libraryMenu = menuBar()->addMenu("&Library");
    openAction_ = libraryMenu->addAction("Open", this, &HomeWindow::openSelected);
    openAction_->setShortcut(QKeySequence(Qt::Key_Return));
    renameAction_ = libraryMenu->addAction("Rename...", this, &HomeWindow::renameSelected);
    renameAction_->setShortcut(QKeySequence(Qt::Key_F2));
    duplicateAction_ = libraryMenu->addAction("Duplicate", this, &HomeWindow::duplicateSelected);
    duplicateAction_->setShortcut(QKeySequence("Ctrl+D"));
    deleteAction_ = libraryMenu->addAction("Delete...", this, &HomeWindow::deleteSelected);
    deleteAction_->setShortcut(QKeySequence::Delete);
    libraryMenu->addSeparator();
    libraryMenu->addAction("New Project...", this, &HomeWindow::newProject);
    libraryMenu->addAction("Reload", this, [this] { shell_.services().library().reload(); });

    recordingMenu_ = menuBar()->addMenu("&Recording");
    recordingMenu_->setAccessibleName("Recording");
    // Built again just before it opens, and whenever the recorder or the sources change, so
    // titles and conditions always match the moment.
    connect(recordingMenu_, &QMenu::aboutToShow, this, &HomeWindow::rebuildRecordingMenu);
}

void HomeWindow::buildToolbar() {
    QToolBar* bar = addToolBar("Main");
    bar->setAccessibleName("Main toolbar");
    bar->setMovable(false);
    newRecordingButton_ = new QToolButton(bar);
    newRecordingButton_->setObjectName("primary");
    newRecordingButton_->setText("New Recording...");
    newRecordingButton_->setAccessibleName("New Recording...");
    connect(newRecordingButton_, &QToolButton::clicked, this, [this] { shell_.requestNewRecording(); });
    bar->addWidget(newRecordingButton_);
    quickStart_ = new QToolButton(bar);
    connect(quickStart_, &QToolButton::clicked, this, [this] {
        RecordingController& recording = shell_.recording();
        if (auto source = recording.lastSource()) recording.startWithSource(source);
    });
    quickStartAction_ = bar->addWidget(quickStart_);
    auto* spacer = new QWidget(bar);
    spacer->setAttribute(Qt::WA_TranslucentBackground);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    search_ = new QLineEdit(bar);
    search_->setPlaceholderText("Search recordings");
    search_->setAccessibleName("Search recordings");
    search_->setClearButtonEnabled(true);
    search_->setFixedWidth(260);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_->setSearchText(text);
        refreshState();
    });
    bar->addWidget(search_);
}

void HomeWindow::buildCentre() {
    // The toasts float over the content: a splitter would take any child widget as a pane, so both
    // live in a plain container.
    auto* centre = new QWidget(this);
    auto* centreLayout = new QHBoxLayout(centre);
    centreLayout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = new QSplitter(centre);
    centreLayout->addWidget(splitter);
    projects_ = new QListWidget(splitter);
    projects_->setObjectName("sidebar");
    projects_->setAccessibleName("Projects");
    projects_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(projects_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row <= kAllRecordingsRow) {
            model_->setProject(std::nullopt);
        } else if (auto id = Uuid::parse(projects_->item(row)->data(kProjectIDRole).toString().toStdString())) {
            model_->setProject(*id);
        }
        refreshState();
    });
    connect(projects_, &QListWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QListWidgetItem* item = projects_->itemAt(at);
        if (!item || projects_->row(item) == kAllRecordingsRow) return;
        const auto id = Uuid::parse(item->data(kProjectIDRole).toString().toStdString());
        if (!id) return;
        QMenu menu;
        menu.addAction("Delete Project", this, [this, id] {
            libraryChange("Couldn't delete the project", [&] { shell_.services().library().deleteProject(*id); });
        });
        menu.exec(projects_->viewport()->mapToGlobal(at));
    });

    auto* right = new QWidget(splitter);
    auto* layout = new QVBoxLayout(right);
    layout->setContentsMargins(16, 12, 16, 12);
    errorBanner_ = new QFrame(right);
    errorBanner_->setObjectName("errorBanner");
    errorBanner_->setAccessibleName("Library problem");
    auto* bannerLayout = new QHBoxLayout(errorBanner_);
    errorText_ = new QLabel(errorBanner_);
    errorText_->setWordWrap(true);
    errorText_->setAccessibleName("Library problem details");
    auto* reload = new QPushButton("Reload", errorBanner_);
    reload->setAccessibleName("Reload Library");
    connect(reload, &QPushButton::clicked, this, [this] { shell_.services().library().reload(); });
    bannerLayout->addWidget(errorText_, 1);
    bannerLayout->addWidget(reload);
    layout->addWidget(errorBanner_);

    pages_ = new QStackedWidget(right);
    grid_ = new QListView(pages_);
    grid_->setAccessibleName("Recordings");
    grid_->setModel(model_);
    grid_->setViewMode(QListView::IconMode);
    grid_->setItemDelegate(new RecordingCardDelegate(grid_));
    grid_->setSpacing(6);
    grid_->setResizeMode(QListView::Adjust);
    grid_->setMouseTracking(true);
    grid_->setMovement(QListView::Static);
    grid_->setUniformItemSizes(true);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid_, &QListView::customContextMenuRequested, this, &HomeWindow::showContextMenu);
    connect(grid_, &QListView::activated, this, [this] { openSelected(); });
    connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        const RecordingMeta* meta = model_->recordingAt(index.row());
        const auto& selected = shell_.selection().selectedRecording();
        if (meta && (!selected || selected->id != meta->id)) shell_.selection().select(*meta);
        refreshState();
    });
    empty_ = new QLabel(pages_);
    empty_->setObjectName("emptyState");
    empty_->setAccessibleName("Empty library");
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    pages_->addWidget(grid_);
    pages_->addWidget(empty_);
    layout->addWidget(pages_, 1);
    splitter->addWidget(projects_);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 900});
    setCentralWidget(centre);
    toasts_ = new ToastArea(shell_.services().toasts(), centre);
}

void HomeWindow::fillProjects() {
    const QString current =
        projects_->currentItem() ? projects_->currentItem()->data(kProjectIDRole).toString() : QString();
    const QSignalBlocker blocker(projects_);
    projects_->clear();
    auto* all = new QListWidgetItem("All Recordings", projects_);
    all->setData(Qt::AccessibleTextRole, "All Recordings");
    int selectedRow = kAllRecordingsRow;
    for (const auto& project : shell_.services().library().projects()) {
        auto* item = new QListWidgetItem(QString::fromStdString(project.name), projects_);
        item->setData(kProjectIDRole, QString::fromStdString(project.id.string()));
        item->setData(Qt::AccessibleTextRole, QString::fromStdString(project.name));
        if (item->data(kProjectIDRole).toString() == current) selectedRow = projects_->row(item);
    }
    projects_->setCurrentRow(selectedRow);
    if (selectedRow == kAllRecordingsRow) model_->setProject(std::nullopt);
}

void HomeWindow::refreshState() {
    RecordingController& recording = shell_.recording();
    const RecordingLibrary& library = shell_.services().library();
    const bool idle = isIdle(recording.phase());

    const auto last = recording.lastSource();
    const bool quick = idle && last.has_value();
    quickStartAction_->setVisible(quick);
    if (last) {
        quickStart_->setText(QString::fromStdString("Start Recording: " + sourceTitle(*last)));
        quickStart_->setAccessibleName(quickStart_->text());
    }
    newRecordingButton_->setEnabled(idle);

    const auto& unreadable = library.unreadableFolders();
    errorBanner_->setVisible(!unreadable.empty());
    if (!unreadable.empty()) {
        QStringList names;
        for (const auto& folder : unreadable) names << QString::fromStdString(folder.filename().string());
        errorText_->setText(
            QString("%1 in the library could not be read (its meta.json is missing or damaged): %2. Restore the "
                    "file or move the folder out of %3, then choose Reload.")
                .arg(unreadable.size() == 1 ? QString("One folder") : QString("%1 folders").arg(unreadable.size()))
                .arg(names.join(", "))
                .arg(QString::fromStdString(library.location().recordingsRoot.string())));
    }

    if (model_->rowCount() > 0) {
        pages_->setCurrentWidget(grid_);
    } else {
        if (!library.recordings().empty()) {
            empty_->setText("No recordings match. Clear the search or choose All Recordings.");
        } else {
            empty_->setText(
                "Click New Recording to record a display, window or app; it will appear here when you stop.");
        }
        pages_->setCurrentWidget(empty_);
    }
    const bool haveSelection = selectedRecording().has_value();
    openAction_->setEnabled(haveSelection);
    renameAction_->setEnabled(haveSelection);
    duplicateAction_->setEnabled(haveSelection);
    deleteAction_->setEnabled(haveSelection);
    menuRebuild_.schedule();
}

void HomeWindow::rebuildRecordingMenu() {
    recordingMenu_->clear();
    fillRecordingMenu(recordingMenu_, shell_.commands().menu(shell_.menuState()), this,
                      [this] { menuRebuild_.schedule(); });
}

void HomeWindow::presentNewRecording(std::optional<RecordingSourceKind> preferredKind) {
    if (!isIdle(shell_.recording().phase())) return;
    newRecording_->present(preferredKind);
}

SettingsWindow* HomeWindow::settingsWindow() {
    if (!settings_) {
        settings_ = new SettingsWindow(shell_.services().preferences(), shell_.services().secrets(),
                                       shell_.services().mainLoop(), shell_.background(), this);
    }
    return settings_;
}

void HomeWindow::presentSettings() { settingsWindow()->showPage("General"); }

std::optional<RecordingMeta> HomeWindow::selectedRecording() const {
    const RecordingMeta* meta = model_->recordingAt(grid_->currentIndex().row());
    if (!meta || !grid_->currentIndex().isValid()) return std::nullopt;
    return *meta;
}

void HomeWindow::selectRecording(const std::optional<RecordingMeta>& recording) {
    if (!recording) return;
    const int row = model_->rowOf(recording->id);
    if (row >= 0 && grid_->currentIndex().row() != row) grid_->setCurrentIndex(model_->index(row));
}

template <typename Change>
void HomeWindow::libraryChange(const char* title, Change&& change) {
    try {
        change();
    } catch (const std::exception& e) {
        shell_.services().toasts().post(ToastLevel::error, title, std::string(e.what()));
    }
    refreshState();
}

void HomeWindow::openSelected() {
    if (const auto recording = selectedRecording()) shell_.openRecording(recording->id.string());
}

void HomeWindow::renameSelected() {
    const auto recording = selectedRecording();
    if (!recording) return;
    auto* dialog = new QInputDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle("Rename Recording");
    dialog->setAccessibleName("Rename Recording");
    dialog->setLabelText("New title");
    dialog->setTextValue(QString::fromStdString(displayTitle(*recording)));
    const Uuid id = recording->id;
    connect(dialog, &QInputDialog::textValueSelected, this, [this, id](const QString& title) {
        libraryChange("Couldn't rename the recording",
                      [&] { shell_.services().library().rename(id, title.toStdString()); });
    });
    dialog->open();
}

void HomeWindow::duplicateSelected() {
    const auto recording = selectedRecording();
    if (!recording) return;
    libraryChange("Couldn't duplicate the recording", [&] {
        const RecordingMeta copy = shell_.services().library().duplicate(recording->id);
        shell_.selection().select(copy);
    });
}

void HomeWindow::deleteSelected() {
    const auto recording = selectedRecording();
    if (!recording) return;
    auto* box = new QMessageBox(QMessageBox::Warning, "Delete Recording",
                                QString::fromStdString("Delete \u201c" + displayTitle(*recording) + "\u201d?"),
                                QMessageBox::NoButton, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAccessibleName("Delete Recording");
    box->setInformativeText("Its folder and every file in it are removed from disk. This cannot be undone.");
    QPushButton* confirm = box->addButton("Delete", QMessageBox::DestructiveRole);
    confirm->setAccessibleName("Delete");
    box->addButton(QMessageBox::Cancel)->setAccessibleName("Cancel");
    box->setDefaultButton(QMessageBox::Cancel);
    const Uuid id = recording->id;
    connect(box, &QMessageBox::buttonClicked, this, [this, id, confirm](QAbstractButton* clicked) {
        if (clicked != confirm) return;
        libraryChange("Couldn't delete the recording", [&] { shell_.services().library().remove(id); });
    });
    box->open();
}

void HomeWindow::importVideo() {
    const QString file = QFileDialog::getOpenFileName(this, "Import Video", QString(),
                                                      "Videos (*.mp4 *.mov *.m4v *.mkv *.webm);;All files (*)");
    if (file.isEmpty()) return;
    libraryChange("Couldn't import video", [&] {
        const RecordingMeta imported = shell_.services().library().importVideo(file.toStdString());
        shell_.selection().select(imported);
    });
}

void HomeWindow::newProject() {
    auto* dialog = new QInputDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle("New Project");
    dialog->setAccessibleName("New Project");
    dialog->setLabelText("Name");
    dialog->setTextValue("New Project");
    connect(dialog, &QInputDialog::textValueSelected, this, [this](const QString& name) {
        libraryChange("Couldn't create the project",
                      [&] { shell_.services().library().createProject(name.toStdString()); });
    });
    dialog->open();
}

void HomeWindow::showContextMenu(const QPoint& at) {
    const QModelIndex index = grid_->indexAt(at);
    if (!index.isValid()) return;
    grid_->setCurrentIndex(index);
    const auto recording = selectedRecording();
    if (!recording) return;
    QMenu menu;
    menu.addAction(openAction_);
    menu.addSeparator();
    menu.addAction(renameAction_);
    menu.addAction(duplicateAction_);
    QMenu* addTo = menu.addMenu("Add to Project");
    const auto& projects = shell_.services().library().projects();
    addTo->setEnabled(!projects.empty());
    for (const auto& project : projects) {
        const Uuid projectID = project.id;
        const Uuid recordingID = recording->id;
        addTo->addAction(QString::fromStdString(project.name), this, [this, projectID, recordingID] {
            libraryChange("Couldn't add to the project",
                          [&] { shell_.services().library().addToProject(projectID, recordingID); });
        });
    }
    if (projects_->currentRow() > kAllRecordingsRow) {
        if (auto projectID = Uuid::parse(projects_->currentItem()->data(kProjectIDRole).toString().toStdString())) {
            const Uuid recordingID = recording->id;
            menu.addAction("Remove from Project", this, [this, projectID, recordingID] {
                libraryChange("Couldn't remove from the project",
                              [&] { shell_.services().library().removeFromProject(*projectID, recordingID); });
            });
        }
    }
    menu.addSeparator();
    menu.addAction(deleteAction_);
    menu.exec(grid_->viewport()->mapToGlobal(at));
}

}  // namespace orvane::studio
