#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>

#include "cli/cli_context.h"
#include "cli/commands.h"
#include "media/sample_video.h"

namespace orvane::cli {

namespace fs = std::filesystem;

// The end-to-end job on built-in material: make a sample screen video, import it into a
// throw-away library and list that library. Needs no display and touches no user data.
void registerDemoCommand(CLI::App& app, CliContext& context) {
    struct Options {
        bool keep = false;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    auto* demo = app.add_subcommand("demo", "Import a generated sample video into a temporary library and list it");
    demo->add_flag("--keep", options->keep, "Keep the temporary library and print where it is");
    demo->add_flag("--json", options->json, "Print the listing as JSON");
    demo->callback([&context, options] {
        std::string pattern = (fs::temp_directory_path() / "orvane-demo-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("Couldn't create a temporary folder");
        const fs::path root = pattern;
        struct Cleanup {
            fs::path root;
            bool keep;
            ~Cleanup() {
                std::error_code ignored;
                if (!keep) fs::remove_all(root, ignored);
            }
        } cleanup{root, options->keep};

        const auto sample = root / "  Orvane demo  .mp4";
        SampleVideoSpec video;
        video.width = 1280;
        video.height = 720;
        video.seconds = 3.0;
        writeSampleVideo(sample, video);

        RecordingLibrary library(LibraryLocation::explicitRoot(root / "Library" / "Recordings"), context.mainLoop(),
                                 context.toasts());
        const auto imported = library.importVideo(sample);
        library.createProject("Demo project");
        library.addToProject(library.projects().front().id, imported.id);
        if (!options->json) std::printf("Imported a generated sample into %s\n\n", library.location().recordingsRoot.c_str());
        printLibraryListing(library, options->json);
        if (options->keep && !options->json) std::printf("\nKept the demo library at %s\n", root.c_str());
    });
}

}  // namespace orvane::cli
