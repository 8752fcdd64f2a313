#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/cli_context.h"
#include "cli/commands.h"
#include "editor/editor_session.h"
#include "media/video_frame.h"
#include "model/time_mapping.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/preferences.h"
#include "render/background_renderer.h"
#include "render/background_swatches.h"
#include "render/caption_render_cache.h"
#include "render/compositor.h"
#include "render/scene_layers.h"
#include "render/scene_snapshot.h"

namespace orvane::cli {

namespace {

// Large enough to keep any recording at its own pixel size.
constexpr int kNativeSize = 16384;

// The pictures of the overlays shown at `compositionTime`, decoded from their files.
struct OverlayPictures {
    std::vector<RgbaImage> images;
    std::vector<cairo::Surface> surfaces;
    std::vector<OverlayFrame> frames;
};

OverlayPictures overlayPictures(const SceneRenderSnapshot& snapshot, double compositionTime) {
    OverlayPictures pictures;
    pictures.images.reserve(snapshot.videoOverlays.size());
    for (const auto& clip : snapshot.videoOverlays) {
        const auto mediaTime = mediaTimeAt(clip, compositionTime);
        if (!mediaTime) continue;
        cairo::Surface surface;
        if (clip.mediaKind == VideoOverlayClip::MediaKind::video) {
            auto image = extractVideoFrame(clip.url, *mediaTime, kNativeSize, kNativeSize);
            if (!image) continue;
            pictures.images.push_back(std::move(*image));
            surface = surfaceForImage(pictures.images.back());
        } else {
            surface = loadStillImage(clip.url);
        }
        if (!surface) continue;
        pictures.frames.push_back(OverlayFrame{clip, surface.get()});
        pictures.surfaces.push_back(std::move(surface));
    }
    return pictures;
}

std::pair<int, int> parseSize(const std::string& text) {
    int width = 0, height = 0;
    char separator = 0;
    if (std::sscanf(text.c_str(), "%d%c%d", &width, &separator, &height) != 3 || (separator != 'x' && separator != 'X') ||
        width < 16 || height < 16 || width > 8192 || height > 8192) {
        throw CLI::ValidationError("--size takes WIDTHxHEIGHT between 16 and 8192, got \"" + text + "\"");
    }
    return {width, height};
}

}  // namespace

void registerRenderCommands(CLI::App& app, CliContext& context) {
    struct Options {
        std::string out;
        int width = 1920;
        int height = 1080;
    };
    auto o = std::make_shared<Options>();

    struct FrameOptions {
        std::string id;
        double time = 0;
        std::string out;
        std::string size = "1920x1080";
    };
    auto f = std::make_shared<FrameOptions>();
    auto* frame = app.add_subcommand("render-frame", "Render the finished output frame at an output time as PNG");
    frame->add_option("ID", f->id, "Recording id or unique prefix")->required();
    frame->add_option("--time", f->time, "Output time in seconds (after trim and speed ramps)")->required();
    frame->add_option("--out", f->out, "PNG file to write")->required();
    frame->add_option("--size", f->size, "Output size, WIDTHxHEIGHT (default 1920x1080)");
    frame->callback([&context, f] {
        const auto [width, height] = parseSize(f->size);
        auto& library = context.library();
        const auto& meta = library.find(f->id);
        JsonPreferencesStore store;
        Preferences preferences(store);
        EditorSession session(library.folderOf(meta.id), meta, preferences);
        auto snapshot = std::make_shared<const SceneRenderSnapshot>(makeSceneRenderSnapshot(session.state(), std::nullopt));

        // Output time -> composition time (trim, ramps) -> the clip and source time under it.
        const double compositionTime = compositionTimeForOutputTime(f->time, snapshot->trimStart, snapshot->speedRamps);
        SceneFrameInput input;
        input.compositionTime = compositionTime;
        std::optional<RgbaImage> sourceImage;
        cairo::Surface source;
        if (const auto mapping = clipMapping(compositionTime, snapshot->clips)) {
            input.sourceTime = mapping->sourceTime;
            sourceImage = extractVideoFrame(session.folder().directory / mapping->sourceFile, mapping->sourceTime,
                                            kNativeSize, kNativeSize);
            if (sourceImage) source = surfaceForImage(*sourceImage);
        }
        input.source = source.get();
        const auto background = renderBackground(snapshot->background, snapshot->customBackgroundURL, width, height);
        input.background = background.get();
        const auto overlays = overlayPictures(*snapshot, compositionTime);
        input.overlays = overlays.frames;

        auto captions = std::make_shared<CaptionRenderCache>(snapshot->captions, Rect{0, 0, double(width), double(height)});
        SceneCompositor compositor(snapshot, sceneLayerPainters(captions));
        const auto image = compositor.renderFrame(width, height, input);
        if (!image) throw std::runtime_error("Couldn't render the frame");
        if (!writePng(*image, f->out)) throw std::runtime_error("Couldn't write " + f->out);
        std::printf("Wrote %s (%dx%d, output %.3f s = composition %.3f s%s)\n", f->out.c_str(), width, height, f->time,
                    compositionTime, source ? "" : ", no recording frame here");
    });

    auto* backgrounds = app.add_subcommand("backgrounds", "Write one PNG per background style");
    backgrounds->add_option("--out", o->out, "Folder to write into (created when missing)")->required();
    backgrounds->add_option("--width", o->width, "Width in pixels")->check(CLI::Range(16, 8192));
    backgrounds->add_option("--height", o->height, "Height in pixels")->check(CLI::Range(16, 8192));
    backgrounds->callback([o] {
        std::string error;
        const auto written = writeBackgroundSwatches(o->out, o->width, o->height, &error);
        if (written.empty()) throw std::runtime_error("Couldn't write the backgrounds: " + error);
        for (const auto& file : written) std::printf("%s\n", file.c_str());
    });
}

}  // namespace orvane::cli
