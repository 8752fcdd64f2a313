#include <algorithm>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/text.h"
#include "recording/recording_library.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {}

void RecordingLibrary::loadProjects() {
    projects_.clear();
    std::error_code missing;
    if (!fs::exists(location_.projectsFile, missing)) return;  // no projects yet
    const auto text = readFileContents(location_.projectsFile, kSmallFileLimit);
    if (auto decoded = text ? decodeProjects(*text) : std::nullopt) {
        projects_ = std::move(*decoded);
    } else {
        // Keep the unreadable file until the user changes projects; it is backed up before replacing it.
        projectsFileUnreadable_ = true;
        log::skippedFile(log_area::kLibrary, "projects file", location_.projectsFile,
                         text ? "not a valid projects list" : "unreadable file", "starting with no projects");
    }
    projectsChanged_.emit(projects_);
}

void RecordingLibrary::saveProjects() {
    try {
        if (projectsFileUnreadable_) {
            auto backup = location_.projectsFile;
            backup += ".corrupt";
            fs::copy_file(location_.projectsFile, backup, fs::copy_options::overwrite_existing);
            log::warning(log_area::kLibrary, "kept the unreadable projects file as %s", backup.c_str());
            projectsFileUnreadable_ = false;
        }
        writeFileAtomically(location_.projectsFile, encodeProjects(projects_));
    } catch (const std::exception& e) {
        throw LibraryError(LibraryError::Code::writeFailed, std::string("Couldn't save projects: ") + e.what());
    }
    projectsChanged_.emit(projects_);
}

Project& RecordingLibrary::projectRef(const Uuid& projectID) {
    auto it = std::find_if(projects_.begin(), projects_.end(), [&](const Project& p) { return p.id == projectID; });
    if (it == projects_.end()) {
        throw LibraryError(LibraryError::Code::projectNotFound, "No project has the id " + projectID.string());
    }
    return *it;
}

const Project& RecordingLibrary::findProject(std::string_view idPrefixOrName) const {
    affinity_.check();
    const std::string wanted = trimWhitespaceAndNewlines(idPrefixOrName);
    const std::string wantedLower = toLowerAscii(wanted);
    std::vector<const Project*> matches;
    for (const auto& project : projects_) {
        if (project.name == wanted || toLowerAscii(project.id.string()) == wantedLower) return project;
    }
    for (const auto& project : projects_) {
        if (!wantedLower.empty() && toLowerAscii(project.id.string()).rfind(wantedLower, 0) == 0) {
            matches.push_back(&project);
        }
    }
    if (matches.size() == 1) return *matches.front();
    throw LibraryError(LibraryError::Code::projectNotFound,
                       matches.empty() ? "No project matches \"" + wanted + "\""
                                       : "\"" + wanted + "\" matches more than one project");
}

Project RecordingLibrary::createProject(std::string_view name) {
    affinity_.check();
    Project project{Uuid::random(), projectNameFromInput(name), {}, clock_.wallNow()};
    projects_.push_back(project);
    saveProjects();
    return project;
}

void RecordingLibrary::renameProject(const Uuid& projectID, std::string_view name) {
    affinity_.check();
    projectRef(projectID).name = projectNameFromInput(name);
    saveProjects();
}

void RecordingLibrary::deleteProject(const Uuid& projectID) {
    affinity_.check();
    projectRef(projectID);  // refuses an unknown id
    std::erase_if(projects_, [&](const Project& p) { return p.id == projectID; });
    saveProjects();
}

void RecordingLibrary::addToProject(const Uuid& projectID, const Uuid& recordingID) {
    affinity_.check();
    auto& members = projectRef(projectID).recordingIDs;
    if (std::find(members.begin(), members.end(), recordingID) != members.end()) return;
    members.push_back(recordingID);
    saveProjects();
}

void RecordingLibrary::removeFromProject(const Uuid& projectID, const Uuid& recordingID) {
    affinity_.check();
    if (std::erase(projectRef(projectID).recordingIDs, recordingID) > 0) saveProjects();
}

}  // namespace orvane
