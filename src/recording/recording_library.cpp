#include "recording/recording_library.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/atomic_file.h"
#include "base/folder_lock.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "media/media_probe.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

bool isPlayable(const MediaProbe& info) {
    if (!info || !info->hasVideo || !info->durationSeconds) return false;
    const double duration = *info->durationSeconds;
    return std::isfinite(duration) && duration > 0;
}

bool nonEmptyFile(const fs::path& file) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    return !error && size > 0;
}

// A capture whose process died before it stopped: the movie plays (it is written in fragments) but
// meta.json still holds what was known at the start, or no longer decodes at all. Fills in what the
// files on disk say, so the recording keeps its place in the library. Answers whether anything was
// written.
bool repairUnfinishedMeta(const fs::path& directory, const fs::path& movie, const MediaInfo& info,
                          SystemTime fallbackCreatedAt) {
    const RecordingFolder folder{directory};
    std::error_code error;
    auto meta = readRecordingMeta(folder);
    if (meta && meta->durationMs > 0) return false;  // it stopped properly
    if (!meta) {
        const auto id = Uuid::parse(directory.filename().string());
        if (!id) return false;  // not one of ours: leave it alone
        // Whatever the old file still says is kept (its title, rate, date...); only what it no longer
        // holds comes from the movie or the defaults. The file itself is kept beside, never lost.
        auto fallback = makeNewRecordingMeta(*id, fallbackCreatedAt);
        fallback.sourceKind = RecordingSourceKind::display;
        if (info.frameRate && *info.frameRate >= 1) fallback.fps = std::llround(*info.frameRate);
        if (const auto text = readFileContents(folder.metaFile())) {
            fs::copy_file(folder.metaFile(), directory / "meta.json.corrupt", fs::copy_options::overwrite_existing, error);
            if (error) return false;
            meta = salvageRecordingMeta(*text, fallback);
        } else {
            meta = fallback;
        }
        meta->id = *id;  // the folder is how the library finds it
    }
    // Readers open the movie the metadata names, so it must name the one that is there.
    if (screenVideoFileName(*meta) != movie.filename()) meta->recordedWithAlpha = movie.filename() == "screen.mov";
    if (meta->durationMs <= 0) meta->durationMs = static_cast<std::int64_t>(*info.durationSeconds * 1000.0);
    if (info.videoSize && (meta->displayWidth <= 0 || meta->displayHeight <= 0)) {
        meta->displayWidth = static_cast<std::int64_t>(info.videoSize->width);
        meta->displayHeight = static_cast<std::int64_t>(info.videoSize->height);
    }
    meta->hasSystemAudio = info.hasAudio;
    meta->hasMicrophone = nonEmptyFile(folder.micFile());
    meta->hasWebcam = nonEmptyFile(folder.webcamFile());
    meta->hasCursor = false;
    if (auto text = readFileContents(folder.cursorFile(), kTelemetryFileLimit))
        meta->hasCursor = decodeCursorTelemetry(*text).has_value();
    if (!meta->hasCursor) meta->clickCaptureActive.reset();
    try {
        writeRecordingMeta(folder, *meta);
    } catch (const std::exception& e) {
        log::warning(log_area::kLibrary, "could not repair %s: %s", directory.c_str(), e.what());
        return false;
    }
    return true;
}

// The movie a capture folder records to: the one its meta.json names (screen.mov when the capture
// kept alpha), else whichever of screen.mp4 and screen.mov is there. Nothing when it has neither.
std::optional<fs::path> capturedMovie(const fs::path& directory) {
    const RecordingFolder folder{directory};
    std::error_code error;
    if (const auto meta = readRecordingMeta(folder)) {
        auto named = folder.screenVideoFile(*meta);
        if (fs::exists(named, error)) return named;
    }
    for (const char* name : {"screen.mp4", "screen.mov"}) {
        if (fs::exists(directory / name, error)) return directory / name;
    }
    return std::nullopt;
}

// When the process died, roughly: the movie's last write less its length.
SystemTime estimatedStart(const fs::path& movie, double durationSeconds, SystemTime otherwise) {
    std::error_code error;
    const auto written = fs::last_write_time(movie, error);
    if (error) return otherwise;
    const auto wall = std::chrono::file_clock::to_sys(written);
    return std::chrono::time_point_cast<SystemTime::duration>(wall) -
           std::chrono::duration_cast<SystemTime::duration>(std::chrono::duration<double>(durationSeconds));
}

// "~/.local/share/Orvane/Recovered/" rather than an absolute path full of the user's home folder.
std::string friendlyFolder(const fs::path& folder) {
    std::string text = folder.string();
    if (const char* home = std::getenv("HOME"); home && *home) {
        const std::string prefix = std::string(home) + "/";
        if (text.rfind(prefix, 0) == 0) text = "~/" + text.substr(prefix.size());
    }
    if (text.empty() || text.back() != '/') text += '/';
    return text;
}

}  // namespace

std::string displayTitle(const RecordingMeta& meta) { return meta.sourceTitle.value_or("Recording"); }

RecordingLibrary::RecordingLibrary(LibraryLocation location, Clock& clock, ToastCenter& toasts)
    : location_(std::move(location)), clock_(clock), toasts_(toasts) {
    std::error_code error;
    fs::create_directories(location_.recordingsRoot, error);
    if (error) {
        log::error(log_area::kLibrary, "cannot create recordings folder %s: %s", location_.recordingsRoot.c_str(),
                   error.message().c_str());
        return;
    }
    recoverUnfinishedCaptures();
    loadProjects();
    reload();
}

void RecordingLibrary::recoverUnfinishedCaptures() {
    std::error_code error;
    fs::directory_iterator entries(location_.recordingsRoot, error);
    if (error) return;

    // Each folder's lock is held from its check to its move, so a capture cannot start in it meanwhile.
    std::vector<std::pair<fs::path, FolderLock>> unplayable;
    for (const auto& entry : entries) {
        if (!entry.is_directory(error) || entry.path().filename() == "Recovered") continue;
        const auto found = capturedMovie(entry.path());
        if (!found) continue;
        const auto& movie = *found;
        // A capture still running holds its folder's lock; its movie may not play yet. Shared is
        // enough to keep a capture out, and lets another process list the folder meanwhile instead
        // of taking it for a capture in progress.
        auto lock = FolderLock::tryLock(entry.path(), FolderLock::Mode::shared);
        if (!lock) {
            log::info(log_area::kLibrary, "left %s alone: a capture is still writing it", entry.path().c_str());
            continue;
        }
        const auto info = probeMedia(movie);
        if (!isPlayable(info)) {
            unplayable.emplace_back(entry.path(), std::move(*lock));
        } else if (repairUnfinishedMeta(entry.path(), movie, *info,
                                        estimatedStart(movie, *info->durationSeconds, clock_.wallNow()))) {
            log::info(log_area::kLibrary, "repaired the metadata of unfinished recording %s (%.1f s)",
                      entry.path().c_str(), *info->durationSeconds);
        }
    }

    int moved = 0;
    for (const auto& [folder, lock] : unplayable) {
        const auto destination = location_.recoveredRoot / folder.filename();
        fs::create_directories(location_.recoveredRoot, error);
        fs::remove_all(destination, error);
        fs::rename(folder, destination, error);
        if (error) {
            log::warning(log_area::kLibrary, "could not move unfinished recording %s: %s", folder.c_str(),
                         error.message().c_str());
            continue;
        }
        log::info(log_area::kLibrary, "moved unfinished recording %s to %s", folder.c_str(), destination.c_str());
        ++moved;
    }
    if (moved > 0) {
        toasts_.post(ToastLevel::warning,
                     "Recovered " + std::to_string(moved) + " unfinished recording" + (moved == 1 ? "" : "s"),
                     "Orvane was force-quit during capture. The partial files were moved to " +
                         friendlyFolder(location_.recoveredRoot) + ".");
    }
}

void RecordingLibrary::reload() {
    affinity_.check();
    std::vector<RecordingMeta> found;
    std::vector<fs::path> unreadable;
    std::error_code error;
    fs::directory_iterator entries(location_.recordingsRoot, error);
    if (!error) {
        for (const auto& entry : entries) {
            if (!entry.is_directory(error)) continue;
            // A capture in progress is not a recording yet.
            if (!FolderLock::tryLock(entry.path(), FolderLock::Mode::shared)) continue;
            if (auto meta = readRecordingMeta(RecordingFolder{entry.path()})) {
                found.push_back(std::move(*meta));
            } else {
                log::debug(log_area::kLibrary, "skipping %s: no readable meta.json", entry.path().c_str());
                unreadable.push_back(entry.path());
            }
        }
    }
    // Ties broken by id so the order is the same on every listing.
    std::sort(found.begin(), found.end(), [](const RecordingMeta& a, const RecordingMeta& b) {
        if (a.createdAt != b.createdAt) return a.createdAt > b.createdAt;
        return a.id < b.id;
    });
    std::sort(unreadable.begin(), unreadable.end());
    recordings_ = std::move(found);
    unreadable_ = std::move(unreadable);
    recordingsChanged_.emit(recordings_);
}

const RecordingMeta& RecordingLibrary::find(std::string_view idOrPrefix) const {
    affinity_.check();
    const std::string wanted = toLowerAscii(trimWhitespaceAndNewlines(idOrPrefix));
    const RecordingMeta* match = nullptr;
    if (!wanted.empty()) {
        for (const auto& meta : recordings_) {
            const auto id = toLowerAscii(meta.id.string());
            if (id == wanted) return meta;
            if (id.rfind(wanted, 0) == 0) {
                if (match) {
                    throw LibraryError(LibraryError::Code::ambiguousRecording,
                                       "\"" + std::string(idOrPrefix) + "\" matches more than one recording");
                }
                match = &meta;
            }
        }
    }
    if (!match) {
        throw LibraryError(LibraryError::Code::recordingNotFound,
                           "No recording matches \"" + std::string(idOrPrefix) + "\"");
    }
    return *match;
}

RecordingMeta RecordingLibrary::importVideo(const fs::path& file) {
    affinity_.check();
    const auto id = Uuid::random();
    const RecordingFolder folder{location_.recordingsRoot / id.string()};
    std::error_code error;
    auto abandon = [&](const char* why) {
        log::warning(log_area::kLibrary, "import of %s failed: %s", file.c_str(), why);
        fs::remove_all(folder.directory, error);
        return LibraryError::importFailed();
    };

    if (!fs::is_regular_file(file, error)) throw abandon("not a readable file");
    if (!fs::create_directories(folder.directory, error) || error) throw abandon("cannot create the folder");

    // Copy under a temporary name so a half-copied file is never taken for a recording.
    const auto partial = folder.directory / "screen.importing.mp4";
    const auto screen = folder.directory / "screen.mp4";
    fs::copy_file(file, partial, fs::copy_options::overwrite_existing, error);
    if (error) throw abandon(error.message().c_str());
    fs::rename(partial, screen, error);
    if (error) throw abandon(error.message().c_str());

    const auto info = probeMedia(screen);
    if (!info) throw abandon(describe(*info.failure()).data());
    if (!info->hasVideo || !info->durationSeconds || !(*info->durationSeconds > 0)) throw abandon("no playable video");

    RecordingMeta meta = makeNewRecordingMeta(id, clock_.wallNow());
    if (info->videoSize) {
        meta.displayWidth = static_cast<std::int64_t>(info->videoSize->width);
        meta.displayHeight = static_cast<std::int64_t>(info->videoSize->height);
    }
    // The movie's own rate rather than the capture default, so later exports at "auto" keep it.
    if (info->frameRate && *info->frameRate >= 1) meta.fps = std::lround(*info->frameRate);
    meta.durationMs = static_cast<std::int64_t>(*info->durationSeconds * 1000.0);
    meta.sourceKind = RecordingSourceKind::imported;
    if (auto title = trimWhitespaceAndNewlines(file.stem().string()); !title.empty()) meta.sourceTitle = title;
    try {
        writeRecordingMeta(folder, meta);
    } catch (const std::exception& e) {
        throw abandon(e.what());
    }
    log::info(log_area::kLibrary, "imported %s as %s", file.c_str(), id.string().c_str());
    reload();
    return meta;
}

RecordingMeta RecordingLibrary::duplicate(const Uuid& id) {
    affinity_.check();
    const RecordingMeta original = find(id.string());
    const auto source = folderOf(original.id);
    RecordingMeta copy = original;
    copy.id = Uuid::random();
    copy.createdAt = clock_.wallNow();
    copy.sourceTitle = displayTitle(original) + " copy";
    const auto target = folderOf(copy.id);

    std::error_code error;
    fs::copy(source.directory, target.directory, fs::copy_options::recursive, error);
    if (!error) {
        try {
            writeRecordingMeta(target, copy);
        } catch (const std::system_error& e) {
            error = e.code();
        }
    }
    if (error) {
        fs::remove_all(target.directory);
        throw LibraryError(LibraryError::Code::writeFailed, "Couldn't duplicate recording: " + error.message());
    }
    reload();
    return copy;
}

void RecordingLibrary::remove(const Uuid& id) {
    affinity_.check();
    std::error_code error;
    fs::remove_all(folderOf(id).directory, error);
    if (error) {
        throw LibraryError(LibraryError::Code::writeFailed, "Couldn't delete recording: " + error.message());
    }
    bool projectsChanged = false;
    for (auto& project : projects_) {
        projectsChanged |= std::erase(project.recordingIDs, id) > 0;
    }
    if (projectsChanged) saveProjects();
    reload();
}

RecordingMeta RecordingLibrary::rename(const Uuid& id, std::string_view title) {
    affinity_.check();
    RecordingMeta meta = find(id.string());
    applyRename(meta, title);
    try {
        writeRecordingMeta(folderOf(id), meta);
    } catch (const std::system_error& e) {
        throw LibraryError(LibraryError::Code::writeFailed, std::string("Couldn't rename recording: ") + e.what());
    }
    reload();
    return meta;
}

}  // namespace orvane
