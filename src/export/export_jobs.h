#pragma once

// The work behind each kind of export task. These run on the controller's background executor and
// touch nothing of the controller: they talk back only through the job context.

#include <filesystem>
#include <memory>
#include <optional>

#include "export/export_controller.h"

namespace orvane {

// Output length of the edit: the trim window less what speed ramps save.
double exportDuration(const SceneRenderSnapshot& snapshot);
// No clips or no length: the controller refuses with "Nothing to export.".
bool isEmptyTimeline(const SceneRenderSnapshot& snapshot);
// Throws ExportError: emptyTimeline as above, tooLong past kMaximumEditLength (an edit from a damaged
// sidecar must not render a day's frames).
void requireExportableTimeline(const SceneRenderSnapshot& snapshot);

// The recording's size counts as the base only when it is smaller than the preset's frame, the
// preset is a landscape one and no shape was asked for: a small recording is not blown up, and
// a vertical or square preset keeps its shape. Anything else starts from the preset's frame.
// A snapshot without a measured size is measured from its video file.
std::optional<Size> exportSourceSize(const SceneRenderSnapshot& snapshot, const ExportSettings& settings,
                                     ExportPreset preset);
OutputProfile exportProfile(const SceneRenderSnapshot& snapshot, const ExportSettings& settings, ExportPreset preset,
                            ProfileOptions options = {});

// Renders (or takes from the export cache), adds audio and writes `destination`. Nothing is left at
// the destination unless the whole export succeeded; a file already there is replaced only then.
void exportMovieFile(const ExportServices& services, const ExportJobContext& context,
                     const std::shared_ptr<const SceneRenderSnapshot>& snapshot, const ExportSettings& settings,
                     const VideoExportOptions& options, const std::filesystem::path& destination,
                     ProfileOptions profileOptions = {});

// The gif preset's profile: the video is rendered as for an MP4, then ffmpeg converts it when
// installed and works, otherwise the built-in writer turns its frames into the GIF.
void exportGifFile(const ExportServices& services, const ExportJobContext& context,
                   const std::shared_ptr<const SceneRenderSnapshot>& snapshot, const ExportSettings& settings,
                   const std::filesystem::path& destination);

// Exports, checks the size against the share limit and uploads (or replaces `existing`).
ShareResult shareMovie(const ExportServices& services, const ExportJobContext& context,
                       const std::shared_ptr<const SceneRenderSnapshot>& snapshot, const ExportSettings& settings,
                       const VideoExportOptions& options, const ShareRequest& request,
                       const std::optional<ShareResult>& existing);

// The page where a platform takes an upload; nothing for platforms without one.
std::optional<std::string> socialUploadPage(SocialPlatform platform);

// The ffmpeg filter graph that turns a video into a GIF with a palette made from the clip.
std::string gifFilterGraph(const OutputProfile& profile);

}  // namespace orvane
