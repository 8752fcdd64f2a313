#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "app/services.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "recording/recording_thumbnail_cache.h"

namespace orvane::cli {

namespace fs = std::filesystem;

namespace {

std::string sizeText(const RecordingMeta& meta) {
    return std::to_string(meta.displayWidth) + "x" + std::to_string(meta.displayHeight);
}

std::string sourceText(const RecordingMeta& meta) {
    return meta.sourceKind ? std::string(rawValue(*meta.sourceKind)) : std::string("-");
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        // The edit lock is how writers take turns, not one of the recording's files.
        if (entry.path().filename() != kEditLockFileName) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> projectNamesContaining(const RecordingLibrary& library, const Uuid& id) {
    std::vector<std::string> names;
    for (const auto& project : library.projects()) {
        if (std::find(project.recordingIDs.begin(), project.recordingIDs.end(), id) != project.recordingIDs.end()) {
            names.push_back(project.name);
        }
    }
    return names;
}

void printRecording(app::Services& services, const RecordingMeta& meta, bool json) {
    RecordingLibrary& library = services.library();
    const auto folder = library.folderOf(meta.id);
    if (json) {
        auto value = recordingJson(meta, folder);
        value["files"] = filesIn(folder.directory);
        value["projects"] = projectNamesContaining(library, meta.id);
        value["edit"] = editOfRecording(services, meta.id.string());
        printJson(value);
        return;
    }
    std::string files, projects;
    for (const auto& name : filesIn(folder.directory)) files += (files.empty() ? "" : ", ") + name;
    for (const auto& name : projectNamesContaining(library, meta.id)) projects += (projects.empty() ? "" : ", ") + name;
    printTable({{"ID", meta.id.string()},
                {"Title", displayTitle(meta)},
                {"Created", formatLocalDate(meta.createdAt)},
                {"Duration", formatDuration(meta.durationMs)},
                {"Size", sizeText(meta)},
                {"Source", sourceText(meta)},
                {"Folder", folder.directory.string()},
                {"Files", files},
                {"Projects", projects.empty() ? "-" : projects}});
}

void printListing(RecordingLibrary& library, bool json) {
    if (json) {
        auto array = nlohmann::json::array();
        for (const auto& meta : library.recordings()) array.push_back(recordingJson(meta, library.folderOf(meta.id)));
        printJson(array);
        return;
    }
    if (library.recordings().empty()) {
        std::printf("No recordings in %s\n", library.location().recordingsRoot.c_str());
        return;
    }
    std::vector<std::vector<std::string>> rows{{"ID", "CREATED", "DURATION", "SIZE", "SOURCE", "TITLE"}};
    for (const auto& meta : library.recordings()) {
        rows.push_back({meta.id.string(), formatLocalDate(meta.createdAt), formatDuration(meta.durationMs),
                        sizeText(meta), sourceText(meta), displayTitle(meta)});
    }
    printTable(rows);
}

}  // namespace

void printLibraryListing(RecordingLibrary& library, bool json) { printListing(library, json); }

void registerLibraryCommands(CLI::App& app, app::Services& services) {
    struct Options {
        bool json = false;
        std::string id;
        std::string file;
        std::string title;
        std::string out;
    };
    auto options = std::make_shared<Options>();

    auto* list = app.add_subcommand("list", "List the recordings, newest first");
    list->add_flag("--json", options->json, "Print JSON");
    list->callback([&services, options] { printListing(services.library(), options->json); });

    auto* show = app.add_subcommand("show", "Show one recording");
    show->add_option("ID", options->id, "Recording id or unique prefix")->required();
    show->add_flag("--json", options->json, "Print JSON");
    show->callback([&services, options] {
        auto& library = services.library();
        printRecording(services, library.find(options->id), options->json);
    });

    auto* import = app.add_subcommand("import", "Import a video file as a new recording");
    import->add_option("FILE", options->file, "Video file")->required();
    import->add_flag("--json", options->json, "Print JSON");
    import->callback([&services, options] {
        auto& library = services.library();
    printRecording(services, library.importVideo(options->file), options->json);
});

    auto* rename = app.add_subcommand("rename", "Rename a recording (an empty title removes it)");
    rename->add_option("ID", options->id, "Recording id or unique prefix")->required();
    rename->add_option("TITLE", options->title, "New title")->required();
    rename->callback([&services, options] {
        auto& library = services.library();
        const auto meta = library.rename(library.find(options->id).id, options->title);
        if (meta.sourceTitle) {
            std::printf("Renamed %s to \"%s\"\n", meta.id.string().c_str(),
                        terminalSafeText(*meta.sourceTitle).c_str());
        } else {
            std::printf("Removed the title of %s\n", meta.id.string().c_str());
        }
    });

    auto* duplicate = app.add_subcommand("duplicate", "Copy a recording with all its files");
    duplicate->add_option("ID", options->id, "Recording id or unique prefix")->required();
    duplicate->add_flag("--json", options->json, "Print JSON");
    duplicate->callback([&services, options] {
        auto& library = services.library();
        printRecording(services, library.duplicate(library.find(options->id).id), options->json);
    });

    auto* remove = app.add_subcommand("delete", "Delete a recording and its files");
    remove->add_option("ID", options->id, "Recording id or unique prefix")->required();
    remove->callback([&services, options] {
        auto& library = services.library();
        const auto meta = library.find(options->id);
        library.remove(meta.id);
        std::printf("Deleted %s (%s)\n", meta.id.string().c_str(), terminalSafeText(displayTitle(meta)).c_str());
    });

    auto* thumbnail = app.add_subcommand("thumbnail", "Write the recording's thumbnail as PNG");
    thumbnail->add_option("ID", options->id, "Recording id or unique prefix")->required();
    thumbnail->add_option("--out", options->out, "PNG file to write")->required();
    thumbnail->callback([&services, options] {
        requireWritableOutput(services, options->out);
        auto& library = services.library();
        const auto& meta = library.find(options->id);
        const auto video = library.folderOf(meta.id).screenVideoFile(meta);
        const auto image = RecordingThumbnailCache::generate(video);
        if (!image) throw std::runtime_error("Couldn't make a thumbnail from " + video.string());
        if (!writePng(*image, options->out)) throw std::runtime_error("Couldn't write " + options->out);
        std::printf("Wrote %s (%dx%d)\n", options->out.c_str(), image->width, image->height);
    });
}

}  // namespace orvane::cli
