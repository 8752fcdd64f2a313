#pragma once

#include <QMainWindow>

#include <memory>
#include <optional>

#include "app/recording_commands.h"
#include "base/signal.h"
#include "model/recording_meta.h"
#include "studio/recording_menu.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QMenu;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace orvane::studio {

class LibraryModel;
class NewRecordingDialog;
class RecordingControl;
class SettingsWindow;
class StudioShell;
class ToastArea;

// The home window: record or open something at a glance. A toolbar with New Recording and the
// last-source quick start, projects in a sidebar, the library as a grid of thumbnails with search,
// and the menu bar whose Recording menu holds the recording commands.
class HomeWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit HomeWindow(StudioShell& shell);
    ~HomeWindow() override;

    LibraryModel& libraryModel() { return *model_; }
    QMenu* recordingMenu() const { return recordingMenu_; }
    NewRecordingDialog* newRecordingDialog() const { return newRecording_; }
    SettingsWindow* settingsWindow();

    void presentNewRecording(std::optional<RecordingSourceKind> preferredKind);
    void presentSettings();

    // Opens the selected recording in the editor.
    void openSelected();
    // Library actions on the selected recording; each asks first where the change loses data.
    void renameSelected();
    void duplicateSelected();
    void deleteSelected();
    void importVideo();
    void newProject();

private:
    void buildMenus();
    void buildToolbar();
    void buildCentre();
    void rebuildRecordingMenu();
    void refreshState();
    void showContextMenu(const QPoint& at);
    void fillProjects();
    std::optional<RecordingMeta> selectedRecording() const;
    void selectRecording(const std::optional<RecordingMeta>& recording);
    // Runs a library change; a failure becomes an error toast with the library's own words.
    template <typename Change>
    void libraryChange(const char* title, Change&& change);

    StudioShell& shell_;
    LibraryModel* model_;
    QMenu* recordingMenu_ = nullptr;
    QToolButton* newRecordingButton_ = nullptr;
    QToolButton* quickStart_ = nullptr;
    QAction* quickStartAction_ = nullptr;  // a toolbar widget is shown and hidden through its action
    QLineEdit* search_ = nullptr;
    QListWidget* projects_ = nullptr;
    QListView* grid_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QLabel* empty_ = nullptr;
    QFrame* errorBanner_ = nullptr;
    QLabel* errorText_ = nullptr;
    ToastArea* toasts_ = nullptr;
    NewRecordingDialog* newRecording_ = nullptr;
    SettingsWindow* settings_ = nullptr;
    // A window of its own (no parent), so the home window owns it directly.
    std::unique_ptr<RecordingControl> control_;
    QAction* openAction_ = nullptr;
    QAction* renameAction_ = nullptr;
    QAction* duplicateAction_ = nullptr;
    QAction* deleteAction_ = nullptr;
    DeferredMenuRebuild menuRebuild_{this, [this] { rebuildRecordingMenu(); }};
    Subscription recordingsSubscription_;
    Subscription projectsSubscription_;
    Subscription selectionSubscription_;
};

}  // namespace orvane::studio
