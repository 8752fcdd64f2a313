#pragma once

// The controller's view of a share backend: upload a finished file, or replace the file behind an
// earlier share. The cloud clients implement it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

#include "model/export_profile.h"

namespace orvane {

struct ShareRequest {
    std::string title;
    std::string permission;
    ExportPreset preset = ExportPreset::web1080;   // travels as export_kind
    std::optional<std::filesystem::path> sidecar;  // the project sidecar, for editable shares
    // A still for the share page, and the files the sidecar refers to (background image, music); a
    // backend that already holds an asset with the same content is not sent it again.
    std::optional<std::filesystem::path> thumbnail;
    std::vector<std::filesystem::path> assets;
    // What the uploaded file is, as the share page describes it; filled in by the share task.
    int width = 0;
    int height = 0;
    int fps = 0;
    double durationSeconds = 0;
    // Called with the fraction of the video sent so far, from the uploading thread.
    std::function<void(double)> uploadProgress = {};
};

// What a backend answers for an upload. Hosted shares also name the video, its token and
// permission so a later update can replace it in place.
struct ShareResult {
    std::string url;
    std::optional<std::string> videoID;
    std::optional<std::string> token;
    std::optional<std::string> permission;
    // The hosted share's own id and the backend that holds it, so the share can be revised later.
    std::optional<std::string> shareID;
    std::optional<std::string> apiBaseURL;
};

// The backend refused the file for its size; the controller tries again with a smaller export.
class ShareTooLargeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ShareClient {
public:
    virtual ~ShareClient() = default;
    // The largest file this backend takes, in bytes.
    virtual std::int64_t defaultMaxUploadBytes() const = 0;
    // Whether update() replaces the shared edit in place, which needs the project sidecar.
    virtual bool revisionsNeedSidecar() const { return false; }
    // Both throw ShareTooLargeError, or any error whose what() is shown to the user.
    virtual ShareResult upload(const std::filesystem::path& file, const ShareRequest& request,
                               std::stop_token stop) = 0;
    virtual ShareResult update(const std::filesystem::path& file, const ShareRequest& request,
                               const ShareResult& existing, std::stop_token stop) = 0;
};

}  // namespace orvane
