#include "update/update_installer.h"

#include <unistd.h>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/uuid.h"
#include "net/http_transport.h"
#include "platform/linux/detached_launch.h"
#include "update/release_archive.h"
#include "update/release_signature.h"
#include "update/update_errors.h"
#include "update/update_scripts.h"

namespace fs = std::filesystem;

namespace orvane {

namespace {

// A folder removed with everything in it unless the work that made it succeeded.
class FolderGuard {
public:
    explicit FolderGuard(fs::path folder) : folder_(std::move(folder)) {}
    FolderGuard(const FolderGuard&) = delete;
    FolderGuard& operator=(const FolderGuard&) = delete;
    ~FolderGuard() {
        if (folder_.empty()) return;
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    void keep() { folder_.clear(); }

private:
    fs::path folder_;
};

bool folderIsWritable(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    return !error && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string archiveFileName(const std::string& url) {
    auto path = url.substr(0, url.find_first_of("?#"));
    const auto slash = path.find_last_of('/');
    auto name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") name = "release.tar";
    return name;
}

}  // namespace

UpdateInstaller::UpdateInstaller(std::shared_ptr<HttpTransport> transport, UpdateSettings settings)
    : transport_(std::move(transport)), settings_(std::move(settings)) {}

std::string UpdateInstaller::downloadURL(const AppRelease& release) const {
    if (release.downloadURL && !release.downloadURL->empty()) return *release.downloadURL;
    if (release.downloadPath && !release.downloadPath->empty()) {
        std::string origin = settings_.webSiteOrigin;
        while (!origin.empty() && origin.back() == '/') origin.pop_back();
        const auto& path = *release.downloadPath;
        return origin + (path.starts_with('/') ? path : "/" + path);
    }
    throw UpdateInstallError::missingDownloadURL();
}

UpdateInstallPlan UpdateInstaller::prepare(const AppRelease& release, const Progress& progress, std::stop_token stop) {
    const std::string url = downloadURL(release);
    // Checked first: without a key nothing downloaded could ever be trusted.
    if (settings_.publicKeyBase64.empty()) throw UpdateInstallError::noSigningKey();

    const fs::path download = fs::temp_directory_path() / ("orvane-update-" + Uuid::random().string());
    fs::create_directories(download);
    FolderGuard downloadGuard(download);

    HttpRequest request;
    request.url = url;
    request.timeout = std::chrono::minutes(30);
    request.responseFile = download / archiveFileName(url);
    request.downloadProgress = progress;
    log::info(log_area::kApp, "downloading %s", url.c_str());
    const auto answer = transport_->send(request, stop);
    if (!answer.ok()) throw UpdateInstallError::downloadFailed(answer.status);

    HttpRequest signatureRequest;
    signatureRequest.url = url + ".sig";
    const auto signature = transport_->send(signatureRequest, stop);
    if (!signature.ok()) throw UpdateInstallError::downloadFailed(signature.status);
    if (!verifyReleaseSignature(*request.responseFile, signature.body, settings_.publicKeyBase64)) {
        log::warning(log_area::kApp, "the signature of %s does not verify", url.c_str());
        throw UpdateInstallError::invalidAppBundle();
    }

    // Unpacked beside the installed location when the user may write there, so the swap is a
    // rename on one file system; otherwise (a system-wide install) in the user's updates folder.
    const fs::path target = settings_.installedLocation;
    const std::string id = Uuid::random().string();
    fs::path stagingFolder = target.parent_path() / (".orvane-update-" + id);
    if (!folderIsWritable(target.parent_path())) stagingFolder = settings_.updatesFolder / id;
    fs::create_directories(stagingFolder);
    FolderGuard stagingGuard(stagingFolder);

    const fs::path staged = unpackReleaseArchive(*request.responseFile, stagingFolder / "unpacked");
    const auto identity = ReleaseIdentity::read(staged);
    if (!identity || ::access((staged / "bin" / "orvane").c_str(), X_OK) != 0) {
        throw UpdateInstallError::noAppInArchive();
    }
    if (identity->identifier != settings_.expectedIdentifier) throw UpdateInstallError::invalidAppBundle();
    if (identity->version != release.version) {
        throw UpdateInstallError::invalidAppVersion(identity->version, release.version);
    }

    UpdateInstallPlan plan;
    plan.stagingFolder = stagingFolder;
    plan.staged = staged;
    plan.target = target;
    plan.trashed = target.parent_path() / (".orvane-previous-" + id);
    plan.replaceScript = stagingFolder / "replace-app.sh";
    plan.launcherScript = stagingFolder / "install-and-relaunch.sh";
    plan.log = settings_.updatesFolder / "install.log";
    plan.version = release.version;
    fs::create_directories(settings_.updatesFolder);
    writeFileAtomically(plan.replaceScript, update_scripts::kReplaceApp, 0755);
    writeFileAtomically(plan.launcherScript, update_scripts::kInstallAndRelaunch, 0755);
    stagingGuard.keep();
    log::info(log_area::kApp, "staged %s in %s", release.version.c_str(), staged.c_str());
    return plan;
}

std::vector<std::string> UpdateInstaller::launcherArguments(const UpdateInstallPlan& plan, pid_t appPid,
                                                            const std::string& fallbackURL,
                                                            const std::vector<std::string>& relaunch) {
    std::vector<std::string> arguments{plan.launcherScript.string(),
                                       std::to_string(appPid),
                                       plan.replaceScript.string(),
                                       plan.target.string(),
                                       fallbackURL,
                                       plan.log.string(),
                                       plan.stagingFolder.string(),
                                       plan.staged.string(),
                                       plan.trashed.string(),
                                       plan.version};
    arguments.insert(arguments.end(), relaunch.begin(), relaunch.end());
    return arguments;
}

void UpdateInstaller::launch(const UpdateInstallPlan& plan, const std::vector<std::string>& relaunch) const {
    launchDetached("/bin/sh", launcherArguments(plan, ::getpid(), settings_.fallbackURL, relaunch));
}

}  // namespace orvane
