#include <CLI/CLI.hpp>
#include <cstdio>

#include "app/services.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"

namespace orvane::cli {

void registerProjectCommands(CLI::App& app, app::Services& services) {
    struct Options {
        bool json = false;
        std::string project;
        std::string name;
        std::string recording;
    };
    auto options = std::make_shared<Options>();

    auto* projects = app.add_subcommand("projects", "List the projects");
    projects->add_flag("--json", options->json, "Print JSON");
    projects->callback([&services, options] {
        auto& library = services.library();
        if (options->json) {
            auto array = nlohmann::json::array();
            for (const auto& project : library.projects()) array.push_back(projectJson(project));
            printJson(array);
            return;
        }
        if (library.projects().empty()) {
            std::printf("No projects\n");
            return;
        }
        std::vector<std::vector<std::string>> rows{{"ID", "CREATED", "RECORDINGS", "NAME"}};
        for (const auto& project : library.projects()) {
            rows.push_back({project.id.string(), formatLocalDate(project.createdAt),
                            std::to_string(project.recordingIDs.size()), project.name});
        }
        printTable(rows);
    });

    auto* project = app.add_subcommand("project", "Create, rename or delete a project, or change its members");
    project->require_subcommand(1);

    auto* create = project->add_subcommand("create", "Create a project");
    create->add_option("NAME", options->name, "Name (\"New Project\" when empty)");
    create->add_flag("--json", options->json, "Print JSON");
    create->callback([&services, options] {
        const auto created = services.library().createProject(options->name);
        if (options->json) {
            printJson(projectJson(created));
        } else {
            std::printf("Created project %s (%s)\n", terminalSafeText(created.name).c_str(),
                        created.id.string().c_str());
        }
    });

    auto* rename = project->add_subcommand("rename", "Rename a project");
    rename->add_option("PROJECT", options->project, "Project name, id or unique id prefix")->required();
    rename->add_option("NAME", options->name, "New name")->required();
    rename->callback([&services, options] {
        auto& library = services.library();
        const auto id = library.findProject(options->project).id;
        library.renameProject(id, options->name);
        std::printf("Renamed project %s\n", id.string().c_str());
    });

    auto* remove = project->add_subcommand("delete", "Delete a project (its recordings stay)");
    remove->add_option("PROJECT", options->project, "Project name, id or unique id prefix")->required();
    remove->callback([&services, options] {
        auto& library = services.library();
        const auto found = library.findProject(options->project);
        library.deleteProject(found.id);
        std::printf("Deleted project %s\n", terminalSafeText(found.name).c_str());
    });

    auto* add = project->add_subcommand("add", "Add a recording to a project");
    add->add_option("PROJECT", options->project, "Project name, id or unique id prefix")->required();
    add->add_option("RECORDING", options->recording, "Recording id or unique prefix")->required();
    add->callback([&services, options] {
        auto& library = services.library();
        const auto projectID = library.findProject(options->project).id;
        const auto recordingID = library.find(options->recording).id;
        library.addToProject(projectID, recordingID);
        std::printf("Added %s to %s\n", recordingID.string().c_str(),
                    terminalSafeText(library.findProject(options->project).name).c_str());
    });

    auto* drop = project->add_subcommand("remove", "Remove a recording from a project");
    drop->add_option("PROJECT", options->project, "Project name, id or unique id prefix")->required();
    drop->add_option("RECORDING", options->recording, "Recording id or unique prefix")->required();
    drop->callback([&services, options] {
        auto& library = services.library();
        const auto projectID = library.findProject(options->project).id;
        const auto recordingID = library.find(options->recording).id;
        library.removeFromProject(projectID, recordingID);
        std::printf("Removed %s from %s\n", recordingID.string().c_str(),
                    terminalSafeText(library.findProject(options->project).name).c_str());
    });
}

}  // namespace orvane::cli
