#include "update/update_checker.h"

#include <chrono>

#include "base/log.h"
#include "base/log_areas.h"
#include "net/http_transport.h"
#include "net/service_url.h"

namespace orvane {

UpdateCheckResult checkForUpdates(HttpTransport& transport, const UpdateCheckRequest& request, std::stop_token stop) {
    UpdateCheckResult result;
    // Staging and development builds are installed by hand and must not be replaced by a release.
    if (request.buildChannel != "production") return result;

    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    HttpRequest manifestRequest;
    manifestRequest.url =
        joinURL(request.webSiteOrigin, {"downloads", "manifest.json"}, {{"t", std::to_string(now.count())}});
    manifestRequest.timeout = std::chrono::seconds(30);

    const auto unreachable = [&] {
        result.outcome = UpdateCheckResult::Outcome::unreachable;
        if (request.userInitiated) {
            result.notice =
                UpdateNotice{"Could not check for updates", "The update manifest is not reachable right now.", {}};
        }
        return result;
    };
    HttpResponse answer;
    try {
        answer = transport.send(manifestRequest, stop);
    } catch (const HttpTransportError& error) {
        log::info(log_area::kApp, "update check failed: %s", error.what());
        return unreachable();
    }
    if (!answer.ok()) {
        log::info(log_area::kApp, "update check failed with HTTP %d", answer.status);
        return unreachable();
    }

    UpdateManifest manifest;
    try {
        manifest = UpdateManifest::decode(answer.body);
    } catch (const ManifestDecodeError& error) {
        result.outcome = UpdateCheckResult::Outcome::undecodable;
        if (request.userInitiated) result.notice = UpdateNotice{"Could not check for updates", error.what(), {}};
        return result;
    }

    if (!manifest.app || compareReleaseVersions(manifest.app->releaseVersion(), request.running) <= 0) {
        result.outcome = UpdateCheckResult::Outcome::upToDate;
        if (request.userInitiated) {
            result.notice =
                UpdateNotice{"Orvane is up to date", "You are already on the latest published version.", {}};
        }
        return result;
    }
    result.release = manifest.app;
    if (!request.userInitiated && request.lastPromptedVersion == manifest.app->version) {
        result.outcome = UpdateCheckResult::Outcome::alreadyOffered;
        return result;
    }
    result.outcome = UpdateCheckResult::Outcome::available;
    result.notice =
        UpdateNotice{"A Orvane update is available",
                     "You have " + request.running.display() + ". Version " + manifest.app->releaseVersion().display() +
                         " is ready to install. Orvane will download the signed update, replace " +
                         request.installedLocation.string() + ", and relaunch.",
                     {kInstallAndRelaunch, kLater}};
    return result;
}

UpdateNotice installFailureNotice(const std::string& reason) {
    return {"Could not install the update",
            reason + "\n\nYou can still download the signed installer manually.",
            {kDownloadInstaller}};
}

}  // namespace orvane
