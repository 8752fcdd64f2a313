#pragma once

#include <QMainWindow>

#include <memory>
#include <optional>

#include "base/signal.h"
#include "base/uuid.h"
#include "model/recording_meta.h"
#include "model/scene_render_snapshot.h"
#include "studio/editor/export_sheet.h"

class QAction;
class QDockWidget;
class QFrame;
class QLabel;
class QPushButton;
class QToolButton;

namespace orvane {
class PreviewCoordinator;
class PreviewPlayer;
class EditorAutosave;
class RemoteEditPoller;
class EditorSession;
class EditorState;
struct EditorChange;
}  // namespace orvane

namespace orvane::studio {

class EditorHost;
class InspectorPanel;
class PreviewWidget;
class TimelineWidget;

// One recording being edited: the preview in the centre with the transport under it, the
// inspector on the right, the timeline along the bottom with the automatic-zoom banner above it.
// The edit lives in the EditorState of an EditorSession; the window saves it shortly after each
// change through EditorAutosave, and holds no edit values of its own. One preview player draws
// every picture (playing, paused, scrubbed, edited) and plays the sound to the session's sound
// output, whose clock then drives the playhead; without a sound server it plays silently on the
// steady clock.
class EditorWindow : public QMainWindow {
    Q_OBJECT
public:
    EditorWindow(EditorHost& host, const RecordingMeta& meta);
    ~EditorWindow() override;

    const RecordingMeta& recording() const { return meta_; }
    EditorState& state();
    EditorSession& session() { return *session_; }
    PreviewWidget* preview() const { return preview_; }
    TimelineWidget* timeline() const { return timeline_; }
    InspectorPanel* inspector() const { return inspector_; }
    // Null when the recording's movie cannot be opened (problem() says why).
    PreviewPlayer* player() const { return player_.get(); }
    PreviewCoordinator* coordinator() const { return coordinator_.get(); }
    // Why the recording cannot be edited, or what was set aside while opening it; empty when none.
    QString problem() const;

    bool isPlaying() const;
    void play();
    void pause();
    void togglePlayback();
    void stepFrames(int count);
    void addZoom();
    void splitAtPlayhead();
    void deleteSelection();
    void rerunAutoZooms();

    // The edit as an export renders it now.
    std::shared_ptr<const SceneRenderSnapshot> snapshot();
    void presentExport();
    // Queues an export of the current edit; answers the task's id.
    Uuid startExport(const ExportSheet::Choice& choice);
    // Writes pending changes now (closing does too).
    void saveNow();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void load();
    void buildMenus();
    QWidget* buildCentre();
    void buildDocks();
    void startPreview();
    std::shared_ptr<const SceneRenderSnapshot> previewScene(const EditorState& editor);
    void stateChanged(const EditorChange& change);
    void refreshBanner();
    void refreshTransport();

    EditorHost& host_;
    RecordingMeta meta_;
    // Shared so the remote-edit poller can hold the state weakly.
    std::shared_ptr<EditorSession> session_;
    std::unique_ptr<EditorAutosave> autosave_;
    std::shared_ptr<RemoteEditPoller> remoteEdits_;  // null unless the recording was shared
    // The views observe the session's state, so they are destroyed before it (members after it
    // are destroyed first; Qt's own deletion of children would come too late).
    std::unique_ptr<QWidget> centre_;
    std::unique_ptr<QDockWidget> inspectorDock_;
    std::unique_ptr<QDockWidget> timelineDock_;
    // Destroyed before the views and the state they use: the coordinator, which drives the player,
    // then the player, which draws into the preview.
    std::unique_ptr<PreviewPlayer> player_;
    std::unique_ptr<PreviewCoordinator> coordinator_;
    std::shared_ptr<const SceneRenderSnapshot> snapshot_;  // null when the edit changed since
    QString problem_;

    PreviewWidget* preview_ = nullptr;
    TimelineWidget* timeline_ = nullptr;
    InspectorPanel* inspector_ = nullptr;
    QFrame* problemBanner_ = nullptr;
    QLabel* problemText_ = nullptr;
    QFrame* zoomBanner_ = nullptr;
    QLabel* zoomBannerText_ = nullptr;
    QLabel* time_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    Subscription subscription_;
};

}  // namespace orvane::studio
