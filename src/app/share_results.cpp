#include "app/share_results.h"

#include <stdexcept>

#include "model/recording_files.h"
#include "recording/recording_library.h"

namespace orvane::app {

RecordingMeta storeShareResult(RecordingLibrary& library, const Uuid& id, const ShareResult& result) {
    const auto folder = library.folderOf(id);
    // Another process (the studio) may have renamed the recording while the upload ran.
    auto meta = readRecordingMeta(folder);
    if (!meta) throw std::runtime_error("The recording's meta.json could not be read; the share link was not saved.");
    if (!result.token) return *meta;
    meta->hostedShareToken = result.token;
    meta->hostedShareURL = result.url;
    meta->hostedSharePermission = result.permission;
    meta->hostedShareAPIBaseURL = result.apiBaseURL;
    meta->remoteVideoID = result.videoID;
    writeRecordingMeta(folder, *meta);
    library.reload();
    return *meta;
}

}  // namespace orvane::app
