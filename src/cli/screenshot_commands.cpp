#include <CLI/CLI.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/analytics.h"
#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/number_arguments.h"
#include "cli/output.h"
#include "recording/screenshots/screenshot_crop.h"
#include "recording/screenshots/screenshot_service.h"

namespace orvane::cli {

void registerScreenshotCommand(CLI::App& app, app::Services& services) {
    struct Options {
        std::optional<std::string> project;
        bool desktop = false;
        std::optional<std::string> crop;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    auto* command = app.add_subcommand("screenshot", "Save a PNG of the display under the pointer");
    command->add_option("--project", options->project,
                        "File it under this project in Pictures/Orvane Screenshots");
    command->add_flag("--desktop", options->desktop, "Save to the Desktop instead (overrides the preference)");
    command->add_option("--crop", options->crop, "Then crop the saved picture to X,Y,W,H pixels");
    command->add_flag("--json", options->json, "Print JSON");
    command->callback([options, &services] {
        std::optional<Rect> crop;
        if (options->crop) {
            crop = parseCropRect(*options->crop);
            if (!crop) throw CLI::ValidationError("--crop", "expected X,Y,W,H, e.g. 0,0,800,600");
        }
        Preferences& preferences = services.preferences();
        std::optional<ScreenshotResult> shot;
        try {
            ScreenshotService service(services.screenCapture(), services.pointer(), screenshotDestination(preferences),
                                      services.toasts(), services.mainLoop());
            service.useDesktopScreenshots(services.desktopScreenshot());
            shot = service.capture(options->project, options->desktop ? std::optional(ScreenshotDestination::desktop)
                                                                      : std::nullopt);
        } catch (const std::exception& e) {
            services.analytics().track(AnalyticsEvent::screenshotFailed, analyticsFailureProperties(e));
            throw std::runtime_error(std::string("Screenshot failed: ") + e.what());
        }
        services.analytics().track(AnalyticsEvent::screenshotCaptured,
                                   {{"destination", std::string(rawValue(shot->destination))}});
        int width = shot->width;
        int height = shot->height;
        if (crop) {
            try {
                const auto saved = saveCroppedScreenshot(shot->file, crop);
                width = saved.width;
                height = saved.height;
            } catch (const std::exception& e) {
                // The uncropped screenshot is already safe on disk.
                throw std::runtime_error(cropperStatusText(&e) + " (" + shot->file.string() + " kept uncropped)");
            }
        }
        if (options->json) {
            printJson({{"file", shot->file.string()},
                       {"width", width},
                       {"height", height},
                       {"destination", std::string(rawValue(shot->destination))}});
        } else {
            std::printf("%s\n", shot->file.c_str());
        }
    });
}

}  // namespace orvane::cli
