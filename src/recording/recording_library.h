#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/executor.h"
#include "base/signal.h"
#include "base/thread_affinity.h"
#include "base/toast_center.h"
#include "model/project.h"
#include "model/recording_files.h"
#include "model/recording_meta.h"
#include "recording/library_error.h"

namespace orvane {

// Where a library keeps its files.
struct LibraryLocation {
    std::filesystem::path recordingsRoot;  // one folder per recording
    std::filesystem::path projectsFile;    // projects.json
    std::filesystem::path recoveredRoot;   // Recovered/

    // The data root: $XDG_DATA_HOME/Orvane/{Recordings,projects.json,Recovered}, after moving a
    // legacy "Zant" folder into place when the data root does not exist yet.
    static LibraryLocation standard();
    // A caller-supplied recordings folder; projects.json and Recovered/ sit in its parent.
    static LibraryLocation explicitRoot(const std::filesystem::path& recordingsRoot);
};

// The recordings on disk and the projects that group them. A main-loop object: debug builds stop at
// once when it is touched from a second thread (only location() and folderOf(), fixed at
// construction, may be read anywhere). Disk work happens in the calls themselves, which is what the
// command-line tool wants; a front end that must not block its loop does the slow part (copying a
// movie in) elsewhere and calls the library back on the loop.
class RecordingLibrary {
public:
    // Creates the folders, runs the recovery pass, then loads projects and recordings. The recovery
    // pass moves captures whose movie (screen.mp4, or screen.mov with alpha) does not play to
    // Recovered/ (posting its toast to `toasts`), and gives captures that were cut off but play (their
    // movie is written in fragments) the duration, size and track flags their files show. A data root
    // that cannot be created leaves the library empty.
    RecordingLibrary(LibraryLocation location, Clock& clock, ToastCenter& toasts);

    const LibraryLocation& location() const { return location_; }
    // Newest first.
    const std::vector<RecordingMeta>& recordings() const {
        affinity_.check();
        return recordings_;
    }
    const std::vector<Project>& projects() const {
        affinity_.check();
        return projects_;
    }

    RecordingFolder folderOf(const Uuid& id) const { return RecordingFolder{location_.recordingsRoot / id.string()}; }

    // Re-reads every recording folder; folders whose meta.json does not decode are skipped.
    void reload();
    // The folders the last reload skipped for a missing or unreadable meta.json, so a window can say
    // that something is there it could not show.
    const std::vector<std::filesystem::path>& unreadableFolders() const { return unreadable_; }

    // A recording named by its full id in any case or by a unique prefix of it.
    const RecordingMeta& find(std::string_view idOrPrefix) const;

    // Copies `file` in as a new recording and answers its metadata. Throws LibraryError::importFailed
    // and leaves no folder behind when anything fails.
    RecordingMeta importVideo(const std::filesystem::path& file);
    RecordingMeta duplicate(const Uuid& id);
    void remove(const Uuid& id);
    RecordingMeta rename(const Uuid& id, std::string_view title);

    Project createProject(std::string_view name);
    void renameProject(const Uuid& projectID, std::string_view name);
    void deleteProject(const Uuid& projectID);
    void addToProject(const Uuid& projectID, const Uuid& recordingID);
    void removeFromProject(const Uuid& projectID, const Uuid& recordingID);
    const Project& findProject(std::string_view idPrefixOrName) const;

    [[nodiscard]] Subscription observeRecordings(std::function<void(const std::vector<RecordingMeta>&)> observer) {
        affinity_.check();
        return recordingsChanged_.subscribe(std::move(observer));
    }
    [[nodiscard]] Subscription observeProjects(std::function<void(const std::vector<Project>&)> observer) {
        affinity_.check();
        return projectsChanged_.subscribe(std::move(observer));
    }

    // Lists the footage of captures that ended without finishing (a crash, a capture error): their
    // meta is completed from the movie, and a movie that does not play is set aside in Recovered/.
    // Runs at launch, and after a capture fails so what it recorded is listed at once. Call reload()
    // afterwards.
    void recoverUnfinishedCaptures();

private:
    void loadProjects();
    void saveProjects();
    Project& projectRef(const Uuid& projectID);

    LibraryLocation location_;
    Clock& clock_;
    ToastCenter& toasts_;
    std::vector<RecordingMeta> recordings_;
    std::vector<Project> projects_;
    std::vector<std::filesystem::path> unreadable_;
    bool projectsFileUnreadable_ = false;
    Signal<std::vector<RecordingMeta>> recordingsChanged_;
    Signal<std::vector<Project>> projectsChanged_;
    ThreadAffinity affinity_;  // a main-loop object
};

// The name shown for a recording: its title, or "Recording" when it has none.
std::string displayTitle(const RecordingMeta& meta);

}  // namespace orvane
