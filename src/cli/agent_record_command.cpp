#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "app/agent_recording.h"
#include "app/configuration.h"
#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "base/file_descriptor.h"
#include "base/text.h"
#include "cli/command_error.h"
#include "cli/commands.h"
#include "cli/export_runner.h"
#include "cli/output.h"
#include "cli/recording_run.h"
#include "editor/editor_session.h"
#include "net/service_url.h"
#include "net/url_components.h"
#include "platform/linux/instance_channel.h"
#include "recording/recording_flow.h"
#include "recording/screen_recorder.h"

namespace orvane::cli {

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

struct AgentArguments {
    std::string plan;
    std::string source;
    std::optional<double> duration;
    std::vector<std::string> narration;
    bool perform = false;
    std::string out;
    bool json = false;
};

// "display:N", "window:ID", "app:NAME" as `orvane sources` prints them; anything else is a target
// matched by name.
void applySource(AgentRecordingRequest& request, const std::string& source) {
    if (source.empty()) return;
    auto number = [&](std::string_view prefix) -> std::optional<std::uint32_t> {
        if (source.rfind(prefix, 0) != 0) return std::nullopt;
        try {
            std::size_t used = 0;
            const auto value = std::stoul(source.substr(prefix.size()), &used, 0);
            if (used == source.size() - prefix.size() && value <= UINT32_MAX) return static_cast<std::uint32_t>(value);
        } catch (const std::exception&) {
        }
        throw CommandFailed(kUsage, "--source " + source + ": expected a number after \"" + std::string(prefix) + "\"");
    };
    if (auto id = number("display:")) {
        request.displayID = id;
    } else if (auto window = number("window:")) {
        request.windowID = window;
    } else if (source.rfind("app:", 0) == 0) {
        request.appName = source.substr(4);
    } else {
        request.target = source;
    }
}

Json timingJson(const SyntheticCursorTimeline& timeline) {
    Json keyframes = Json::array();
    for (const auto& k : timeline.keyframes) keyframes.push_back({{"time", k.time}, {"x", k.x}, {"y", k.y}});
    Json presses = Json::array();
    for (const auto& p : timeline.presses) presses.push_back({{"start", p.start}, {"end", p.end}});
    Json actions = Json::array();
    for (const auto& a : timeline.actions) {
        Json action{{"time", a.time}, {"action", a.action}};
        if (a.hasPoint) {
            action["x"] = a.x;
            action["y"] = a.y;
        }
        if (!a.label.empty()) action["label"] = a.label;
        actions.push_back(std::move(action));
    }
    return {{"keyframes", keyframes}, {"presses", presses}, {"actions", actions}, {"end", timeline.endTime()}};
}

// Waits for the studio's one reply to our loopback address. A GET whose query names the outcome.
class ReplyListener {
public:
    ReplyListener() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (socket_.get() < 0) throw std::system_error(errno, std::generic_category(), "socket");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(socket_.get(), 4) != 0 ||
            ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::system_error(errno, std::generic_category(), "Couldn't listen for the studio's reply");
        }
        port_ = ntohs(address.sin_port);
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/agent-reply"; }

    // The reply's query items, or nothing when none came in time.
    std::optional<std::vector<QueryItem>> wait(std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd waiting{socket_.get(), POLLIN, 0};
            if (::poll(&waiting, 1, 500) <= 0) continue;
            FileDescriptor client(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client.get() < 0) continue;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n") == std::string::npos && request.size() < 65536) {
                pollfd readable{client.get(), POLLIN, 0};
                if (::poll(&readable, 1, 2000) <= 0) break;
                const auto n = ::read(client.get(), buffer, sizeof buffer);
                if (n <= 0) break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            static constexpr std::string_view kOK = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            (void)!::write(client.get(), kOK.data(), kOK.size());
            // "GET /agent-reply?... HTTP/1.1"
            const auto line = request.substr(0, request.find("\r\n"));
            const auto first = line.find(' ');
            const auto last = line.rfind(' ');
            if (line.rfind("GET ", 0) != 0 || first == last) continue;
            const auto url = URLComponents::parse("http://127.0.0.1" + line.substr(first + 1, last - first - 1));
            if (url && url->path() == "/agent-reply") return url->queryItems();
        }
        return std::nullopt;
    }

private:
    FileDescriptor socket_;
    int port_ = 0;
};

// Hands the request to a running studio; false when none is running.
bool recordInStudio(app::Services& services, const AgentArguments& arguments, const fs::path& plan, double duration) {
    const auto socket = InstanceChannel::defaultSocketPath();
    std::error_code error;
    if (!fs::exists(socket, error)) return false;
    ReplyListener listener;
    const auto schemes = services.configuration().acceptedURLSchemes();
    const std::string scheme = schemes.count("orvane") ? "orvane" : *schemes.begin();
    std::string url = scheme + "://agent-record?actionPlan=" + percentEncode(fileURL(plan.string())) +
                      "&duration=" + std::to_string(duration) + "&return=" + percentEncode(listener.url());
    if (!arguments.source.empty()) {
        AgentRecordingRequest request;
        applySource(request, arguments.source);
        if (request.displayID) url += "&displayID=" + std::to_string(*request.displayID);
        if (request.windowID) url += "&windowID=" + std::to_string(*request.windowID);
        if (request.appName) url += "&appName=" + percentEncode(*request.appName);
        if (request.target) url += "&target=" + percentEncode(*request.target);
    }
    // The link names one voiceover; more narration files need the command's own flow.
    if (!arguments.narration.empty()) {
        url += "&voiceover=" + percentEncode(fileURL(fs::absolute(arguments.narration.front()).string()));
    }
    if (arguments.perform) url += "&controlMode=perform";
    if (!InstanceChannel::handOver({url}, socket)) return false;
    std::fprintf(stderr, "Handed the recording to the running studio; waiting for its export...\n");
    const auto reply = listener.wait(std::chrono::seconds(static_cast<int>(duration) + 900));
    if (!reply) throw CommandFailed(kFailure, "Timed out waiting for the agent export.");
    std::optional<std::string> exported, failure;
    for (const auto& item : *reply) {
        if (item.name == "orvaneExportURL" || item.name == "orvaneShareURL") exported = item.value;
        if (item.name == "error") failure = item.value;
    }
    if (failure || !exported) throw CommandFailed(kFailure, failure.value_or("Agent export did not complete."));
    std::string file = *exported;
    if (const auto parsed = URLComponents::parse(file); parsed && parsed->scheme() == "file") file = parsed->path();
    if (arguments.json) {
        printJson({{"file", file}, {"studio", "running"}});
    } else {
        std::printf("%s\n", file.c_str());
    }
    return true;
}

void recordHeadless(app::Services& services, const AgentArguments& arguments, const AgentActionPlan& plan,
                    const SyntheticCursorTimeline& timeline, double duration) {
    RecordingRun run(services);
    EventLoop& loop = services.mainLoop();

    AgentRecordingRequest agentRequest;
    agentRequest.duration = duration;
    agentRequest.controlMode = plan.controlMode;
    agentRequest.actionPlanURL = fileURL(fs::absolute(arguments.plan).string());
    applySource(agentRequest, arguments.source);
    const auto catalog = loadCatalog(services.screenCapture());
    const auto source = agentRecordingSource(catalog, agentRequest);
    if (!source) throw CommandFailed(kNotFound, "No matching recording source was available.");

    const bool perform = arguments.perform || planPerformsActions(plan);
    std::unique_ptr<InputSynthesizer> input;
    if (perform) {
        try {
            input = makeX11InputSynthesizer();
        } catch (const InputSynthesisError& e) {
            throw CommandFailed(kFailure, e.what());
        }
    }

    Preferences& preferences = services.preferences();
    RecordingRequest request;
    request.source = source;
    request.options = agentRecordingOptions(agentRequest, true, preferences.defaultMobileTouchMode());
    request.agent = AgentRecordingContext{};
    request.agent->request = agentRequest;
    request.agent->suppressActivationOnStop = true;

    TimerHandle durationTimer;
    std::unique_ptr<AgentPlanPerformer> performer;
    const auto reply =
        run.run(std::move(request), catalog, [&](ScreenRecorder& recorder, const ScreenRecorder::State& state) {
            if (state.phase == ScreenRecorder::Phase::stopping && performer) performer->stop();
            if (state.phase != ScreenRecorder::Phase::recording || durationTimer.isCancelled() || performer) return;
            std::fprintf(stderr, "Recording %s (%s) for %.1f s\n", sourceID(*source).c_str(),
                         terminalSafeText(sourceTitle(*source)).c_str(), duration);
            if (input) {
                performer = std::make_unique<AgentPlanPerformer>(loop, *input, timeline, recorder.lastSourceFrame());
                performer->start();
            }
            durationTimer =
                loop.postAfter(std::chrono::duration_cast<Duration>(std::chrono::duration<double>(duration)),
                               [&recorder] { recorder.stop(); });
        });
    durationTimer.cancel();
    if (performer) performer->stop();
    ScreenRecorder& recorder = run.recorder();
    if (!reply || !reply->succeeded || !reply->recording) {
        std::string failure = recorder.state().failure;
        if (failure.empty()) failure = reply ? reply->message : "Recording did not start.";
        throw CommandFailed(reply && reply->failure == RecordingReply::Failure::noSource ? kNotFound : kFailure,
                            failure);
    }

    RecordingMeta meta = *reply->recording;
    const RecordingFolder folder = services.library().folderOf(meta.id);
    writeAgentCursorTrack(folder, meta, timeline);
    services.library().reload();

    std::vector<fs::path> narrationFiles(arguments.narration.begin(), arguments.narration.end());
    const auto clips = agentNarrationClips(narrationFiles, timeline, static_cast<double>(meta.durationMs) / 1000.0);
    std::shared_ptr<const SceneRenderSnapshot> snapshot;
    {
        EditorSession session(folder, meta, editorSettings(preferences), EditorSession::Access::edit);
        for (const auto& clip : clips) session.state().addVoiceClip(clip);
        session.saveOrThrow();
        snapshot = std::make_shared<const SceneRenderSnapshot>(session.renderSnapshot());
    }

    ExportRequest exportRequest;
    exportRequest.snapshot = snapshot;
    exportRequest.preset = ExportPreset::web1080;
    exportRequest.destination =
        fs::absolute(arguments.out.empty() ? fs::path("orvane-agent-" + meta.id.string().substr(0, 8) + ".mp4")
                                           : fs::path(arguments.out));
    if (fs::exists(folder.sidecarFile())) exportRequest.sidecar = folder.sidecarFile();
    exportRequest.title = displayTitle(meta);
    const auto outcome = runExports(loop, services.exportServices(), {exportRequest});
    const auto& result = outcome.results.front();
    if (outcome.interrupted || result.stage.kind == ExportTaskStage::Kind::cancelled) {
        throw CommandFailed(kFailure, "Agent export did not complete.");
    }
    if (result.stage.kind != ExportTaskStage::Kind::succeeded) {
        throw CommandFailed(kFailure, "Agent export did not complete." +
                                          (result.stage.message ? " " + *result.stage.message : std::string()));
    }
    if (arguments.json) {
        printJson({{"id", meta.id.string()},
                   {"file", exportRequest.destination.string()},
                   {"source", sourceID(*source)},
                   {"folder", folder.directory.string()},
                   {"performed", perform},
                   {"duration", duration},
                   {"plan", timingJson(timeline)}});
    } else {
        std::printf("%s\n", exportRequest.destination.c_str());
    }
}

}  // namespace

void registerAgentRecordCommand(CLI::App& app, app::Services& services) {
    auto arguments = std::make_shared<AgentArguments>();
    auto* command = app.add_subcommand(
        "agent-record", "Record an action plan with a synthetic cursor, export it and print the exported file");
    command->add_option("--plan", arguments->plan, "The action plan (JSON)")->required();
    command->add_option("--source", arguments->source, "display:N, window:ID or app:NAME (default: the first display)");
    command->add_option("--duration", arguments->duration,
                        "Seconds to record, 1...3600 (default: the plan's length + 1 s)");
    command->add_option("--narration", arguments->narration, "Audio files placed at the plan's narration steps")
        ->check(CLI::ExistingFile);
    command->add_flag("--perform", arguments->perform, "Also move, click and type for real inside the recorded area");
    command->add_option("--out", arguments->out, "The exported MP4 (default: orvane-agent-<id>.mp4 here)");
    command->add_flag("--json", arguments->json, "Print the recording id, the file and the plan's timing as JSON");
    command->callback([&services, arguments] {
        if (arguments->duration &&
            !(std::isfinite(*arguments->duration) && *arguments->duration >= 1 && *arguments->duration <= 3600)) {
            throw CommandFailed(kUsage, "--duration must be between 1 and 3600 seconds");
        }
        const fs::path plan = fs::absolute(arguments->plan);
        AgentActionPlan decoded;
        try {
            decoded = readAgentActionPlan(plan);
            validateAgentActionPlan(decoded);
        } catch (const AgentPlanError& e) {
            throw CommandFailed(kUsage, e.what());
        }
        const auto timeline = buildTimeline(decoded);
        const double duration =
            arguments->duration.value_or(std::clamp(std::ceil(timeline.endTime()) + 1.0, 1.0, 3600.0));
        if (!arguments->out.empty() && !fs::is_directory(fs::absolute(arguments->out).parent_path())) {
            throw CommandFailed(kUsage, "The folder of --out does not exist: " + arguments->out);
        }
        try {
            if (recordInStudio(services, *arguments, plan, duration)) return;
            recordHeadless(services, *arguments, decoded, timeline, duration);
        } catch (const AgentRecordingError& e) {
            throw CommandFailed(kFailure, e.what());
        }
    });
}

}  // namespace orvane::cli
