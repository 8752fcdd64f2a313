#include <CLI/CLI.hpp>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/preference_adapters.h"
#include "app/services.h"
#include "base/event_loop.h"
#include "base/iso8601.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cloud/remote_edit_poller.h"
#include "editor/editor_session.h"
#include "platform/linux/stop_signals.h"

namespace orvane::cli {

using Json = nlohmann::json;

namespace {

constexpr const char* kSignInFirst = "Not signed in. Run `orvane login --email ADDRESS`.";

// A backend call with the account, the refused token refreshed once; signed out reads as a hint.
template <typename Call>
auto accountCall(app::Services& services, Call&& call) -> decltype(call()) {
    try {
        return services.withAccount(std::forward<Call>(call));
    } catch (const RemoteAPIError& error) {
        if (error.kind() == RemoteAPIError::Kind::missingAuth) throw CommandFailed(kFailure, kSignInFirst);
        throw;
    }
}

template <typename Value>
Json optional(const std::optional<Value>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json teamJson(const ZantTeam& team) {
    return {{"id", team.id},
            {"name", team.name},
            {"slug", optional(team.slug)},
            {"role", optional(team.role)},
            {"isPersonal", team.isPersonal.value_or(false)},
            {"joinedAt", optional(team.joinedAt)}};
}

Json libraryItemJson(const ZantTeamLibraryItem& item) {
    return {{"videoID", item.videoID},
            {"teamID", item.teamID},
            {"title", optional(item.title)},
            {"ownerName", optional(item.ownerName)},
            {"ownerEmail", optional(item.ownerEmail)},
            {"durationSeconds", optional(item.durationSeconds)},
            {"folderName", optional(item.folderName)},
            {"shareURL", item.shareURL},
            {"sharePermission", item.sharePermission},
            {"sharedAt", optional(item.sharedAt)},
            {"views", item.shareViewCount},
            {"uniqueViewers", item.uniqueViewers},
            {"comments", item.commentsCount},
            {"reactions", item.reactionsCount}};
}

// The library of one team, every page of it.
std::vector<ZantTeamLibraryItem> wholeLibrary(app::Services& services, const std::string& teamID) {
    constexpr int kPage = 50;
    std::vector<ZantTeamLibraryItem> items;
    for (int offset = 0;; offset += kPage) {
        auto page = accountCall(services, [&] { return services.remoteAPI()->teamLibrary(teamID, kPage, offset); });
        const bool last = page.size() < static_cast<std::size_t>(kPage);
        items.insert(items.end(), std::make_move_iterator(page.begin()), std::make_move_iterator(page.end()));
        if (last) return items;
    }
}

// The team named by id, slug or name; without one, the personal team, else the first.
ZantTeam chooseTeam(const std::vector<ZantTeam>& teams, const std::string& wanted) {
    if (teams.empty()) throw CommandFailed(kNotFound, "You are not a member of any team.");
    if (wanted.empty()) {
        for (const auto& team : teams) {
            if (team.isPersonal.value_or(false)) return team;
        }
        return teams.front();
    }
    for (const auto& team : teams) {
        if (team.id == wanted || team.slug == wanted || toLowerAscii(team.name) == toLowerAscii(wanted)) return team;
    }
    throw CommandFailed(kNotFound, "No team matches \"" + wanted + "\". Run `orvane teams` to list yours.");
}

std::string durationText(const std::optional<double>& seconds) {
    if (!seconds) return "-";
    const auto whole = static_cast<long long>(*seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

const char* outcomeText(RemoteEditPollOutcome outcome) {
    switch (outcome) {
        case RemoteEditPollOutcome::applied: return "Applied the latest remote edits.";
        case RemoteEditPollOutcome::echoed:
        case RemoteEditPollOutcome::unchanged: return "Already up to date.";
        case RemoteEditPollOutcome::noRecord: return "The backend holds no edits for this video.";
        case RemoteEditPollOutcome::failed:
        case RemoteEditPollOutcome::editorGone: break;
    }
    return "";
}

}  // namespace

void registerTeamCommands(CLI::App& app, app::Services& services) {
    auto teamsJson = std::make_shared<bool>(false);
    auto* teams = app.add_subcommand("teams", "List the teams of the signed-in account");
    teams->add_flag("--json", *teamsJson, "Print the teams as JSON");
    teams->callback([&services, teamsJson] {
        const auto list = accountCall(services, [&] { return services.remoteAPI()->teams(); });
        if (*teamsJson) {
            auto json = Json::array();
            for (const auto& team : list) json.push_back(teamJson(team));
            printJson(json);
            return;
        }
        if (list.empty()) {
            std::printf("No teams\n");
            return;
        }
        std::vector<std::vector<std::string>> rows{{"ID", "NAME", "ROLE", "PERSONAL"}};
        for (const auto& team : list) {
            rows.push_back({team.id, terminalSafeText(team.name), team.role.value_or("-"),
                            team.isPersonal.value_or(false) ? "yes" : "no"});
        }
        printTable(rows);
    });

    struct LibraryOptions {
        std::string team;
        bool json = false;
    };
    auto libraryOptions = std::make_shared<LibraryOptions>();
    auto* library = app.add_subcommand("library", "List the videos shared with a team");
    library->add_option("--team", libraryOptions->team, "Team id, slug or name (default: your personal team)");
    library->add_flag("--json", libraryOptions->json, "Print the videos as JSON");
    library->callback([&services, libraryOptions] {
        const auto team =
            chooseTeam(accountCall(services, [&] { return services.remoteAPI()->teams(); }), libraryOptions->team);
        const auto items = wholeLibrary(services, team.id);
        if (libraryOptions->json) {
            auto json = Json::array();
            for (const auto& item : items) json.push_back(libraryItemJson(item));
            printJson({{"team", teamJson(team)}, {"videos", json}});
            return;
        }
        if (items.empty()) {
            std::printf("No videos shared with %s\n", terminalSafeText(team.name).c_str());
            return;
        }
        std::vector<std::vector<std::string>> rows{{"TITLE", "OWNER", "LENGTH", "VIEWS", "LINK"}};
        for (const auto& item : items) {
            rows.push_back({terminalSafeText(item.title.value_or("Untitled")),
                            terminalSafeText(item.ownerName.value_or(item.ownerEmail.value_or("-"))),
                            durationText(item.durationSeconds), std::to_string(item.shareViewCount),
                            terminalSafeText(item.shareURL)});
        }
        printTable(rows);
    });

    auto code = std::make_shared<std::string>();
    auto* invite = app.add_subcommand("invite", "Team invitations");
    invite->require_subcommand(1);
    auto* accept = invite->add_subcommand("accept", "Join a team with the code from an invitation");
    accept->add_option("CODE", *code, "The invitation's code")->required();
    accept->callback([&services, code] {
        const auto token = trimWhitespaceAndNewlines(*code);
        if (token.empty()) throw CLI::ValidationError("the invitation code is empty");
        accountCall(services, [&] { services.remoteAPI()->acceptInvitation(token); });
        std::printf("Invitation accepted.\n");
    });
}

void registerPullEditsCommand(CLI::App& app, app::Services& services) {
    struct Options {
        std::string id;
        bool watch = false;
    };
    auto o = std::make_shared<Options>();
    auto* command = app.add_subcommand("pull-edits", "Apply the edits an agent made to a shared recording");
    command->add_option("ID", o->id, "Recording id or unique prefix")->required();
    command->add_flag("--watch", o->watch, "Keep the recording open and apply each new change every 5 s until Ctrl-C");
    command->callback([&services, o] {
        auto& library = services.library();
        const auto meta = library.find(o->id);
        const auto remoteID = trimWhitespaceAndNewlines(meta.remoteVideoID.value_or(""));
        if (remoteID.empty()) {
            throw CommandFailed(kNotFound, "This recording has not been shared, so it has no remote edits.");
        }
        std::shared_ptr<RemoteEditPoller> poller;
        // Ctrl-C must reach the loop, not kill the process: set up before any worker thread starts.
        std::optional<StopSignals> stopSignals;
        if (o->watch) {
            stopSignals.emplace(services.mainLoop(), [&services, &poller] {
                if (poller) poller->stop();
                services.mainLoop().stop();
            });
        }

        // The edit lock is held as long as the session is open, as an editor window holds it.
        auto session = std::make_shared<EditorSession>(
            library.folderOf(meta.id), meta, editorSettings(services.preferences()), EditorSession::Access::edit);
        warnIfSavedEditUnreadable(*session);
        poller = services.remoteEditPoller(meta, session);
        std::string error;
        const auto first = poller->pollNow({}, &error);
        if (first == RemoteEditPollOutcome::failed) {
            if (error.find("Not signed in.") != std::string::npos) throw CommandFailed(kFailure, kSignInFirst);
            throw CommandFailed(kFailure, "Couldn't fetch the remote edits: " + error);
        }
        std::printf("%s\n", outcomeText(first));
        std::fflush(stdout);
        if (!o->watch) return;

        poller->onPolled([](RemoteEditPollOutcome outcome) {
            if (outcome != RemoteEditPollOutcome::applied) return;
            std::printf("%s\n", outcomeText(outcome));
            std::fflush(stdout);
        });
        poller->start(RemoteEditPoller::kEditorInterval);
        std::fprintf(stderr, "Watching for remote edits of %s (Ctrl-C stops)\n", terminalSafeText(remoteID).c_str());
        services.mainLoop().run();
        poller->stop();
    });
}

}  // namespace orvane::cli
