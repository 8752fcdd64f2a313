#include "studio/deep_link_runner.h"

#include <exception>
#include <variant>

#include "app/agent_recording.h"
#include "app/configuration.h"
#include "app/preference_adapters.h"
#include "app/preferences.h"
#include "app/services.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "editor/editor_session.h"
#include "export/export_controller.h"
#include "net/url_components.h"
#include "platform/url_opener.h"
#include "recording/recording_library.h"
#include "studio/agent_cursor_overlay.h"
#include "studio/home_window.h"
#include "studio/recording_controller.h"
#include "studio/studio_shell.h"

namespace orvane::studio {

namespace fs = std::filesystem;
using Phase = ScreenRecorder::Phase;

namespace {

// The local file a file: URL names; nothing for any other URL.
std::optional<fs::path> localFile(const std::optional<std::string>& url) {
    if (!url) return std::nullopt;
    const auto parsed = URLComponents::parse(*url);
    if (!parsed || parsed->scheme() != "file" || parsed->path().empty()) return std::nullopt;
    return fs::path(parsed->path());
}

// The desktop rectangle an agent's plan is performed in: the source's frame, cropped as asked.
Rect performArea(const RecordingSource& source, const std::optional<Rect>& crop) {
    Rect frame = std::visit(
        [](const auto& s) -> Rect {
            using S = std::decay_t<decltype(s)>;
            if constexpr (std::is_same_v<S, ApplicationSource>) {
                return s.displayFrame;
            } else {
                return s.frame;
            }
        },
        source);
    if (crop) {
        frame = Rect{frame.x + crop->x * frame.width, frame.y + crop->y * frame.height, crop->width * frame.width,
                     crop->height * frame.height};
    }
    return frame;
}

std::string kindText(const RecordingMeta& meta) {
    return meta.sourceKind ? std::string(rawValue(*meta.sourceKind)) : std::string();
}

}  // namespace

struct DeepLinkRunner::AgentRun {
    AgentRecordingRequest request;
    std::optional<SyntheticCursorTimeline> timeline;
    RecordingSource source;
    std::unique_ptr<InputSynthesizer> input;
    std::unique_ptr<AgentPlanPerformer> performer;
    std::unique_ptr<AgentCursorOverlay> overlay;
    TimerHandle durationTimer;
    bool timerStarted = false;
    QMetaObject::Connection phaseConnection;
    std::optional<Uuid> exportID;
    fs::path destination;
    std::string kind;
    std::string sourceTitle;

    ~AgentRun() {
        durationTimer.cancel();
        if (performer) performer->stop();
        QObject::disconnect(phaseConnection);
    }
};

DeepLinkRunner::DeepLinkRunner(StudioShell& shell, QObject* parent) : QObject(parent), shell_(shell) {
    app::Services& services = shell_.services();
    std::shared_ptr<UrlOpener> opener = makeXdgUrlOpener();
    link_ = std::make_unique<DeepLink>(services.configuration().acceptedURLSchemes(), services.mainLoop(),
                                       shell_.background(), services.httpTransport(), std::move(opener));
    linkSubscription_ = link_->observe([this] { schedule(); });
    // A link that came before the sources were listed waits for them.
    connect(&shell_.recording(), &RecordingController::catalogChanged, this, [this] {
        if (link_->pending().request || link_->pending().agentRecordingRequest) schedule();
    });
}

DeepLinkRunner::~DeepLinkRunner() {
    agent_.reset();
    exportSubscription_ = {};
    exports_.reset();
    exportQueue_.reset();
}

void DeepLinkRunner::route(const InstanceMessage& arguments) {
    if (arguments.empty()) {
        // A bare second start: the user wants the studio they already have.
        HomeWindow& home = shell_.home();
        home.show();
        home.raise();
        home.activateWindow();
        return;
    }
    for (const auto& argument : arguments) {
        if (argument.starts_with(kOpenRecordingArgument)) {
            shell_.openRecording(argument.substr(kOpenRecordingArgument.size()));
            continue;
        }
        if (argument.find(':') == std::string::npos) {
            log::warning(log_area::kStudio, "ignoring a handed-over argument that is not a link");
            continue;
        }
        link_->handle(argument);
    }
}

void DeepLinkRunner::ready() {
    ready_ = true;
    schedule();
}

void DeepLinkRunner::schedule() {
    if (!ready_ || scheduled_) return;
    scheduled_ = true;
    std::weak_ptr<DeepLinkRunner*> weak = self_;
    // Performed on the next turn, so a link handled from inside another observer never re-enters it.
    shell_.services().mainLoop().post([weak] {
        if (auto self = weak.lock()) (*self)->performPending();
    });
}

bool DeepLinkRunner::catalogReady() const { return shell_.recording().catalogStatus() != CatalogStatus::loading; }

void DeepLinkRunner::performPending() {
    scheduled_ = false;
    DeepLinkPending& pending = link_->pending();
    if (pending.request && catalogReady()) {
        const RecordRequest request = *pending.request;
        pending.request.reset();
        performRecord(request);
    }
    if (pending.agentRecordingRequest && catalogReady()) {
        const AgentRecordingRequest request = *pending.agentRecordingRequest;
        pending.agentRecordingRequest.reset();
        pending.agentRecordingBypassesAuth = false;
        performAgentRecording(request);
    }
    if (pending.importURL) performImport();
    if (pending.permissionSetupRequestID) {
        // An X11 session grants screen capture and input to every client: nothing to walk through,
        // so the studio just comes forward.
        pending.permissionSetupRequestID.reset();
        pending.permissionSetupStep.reset();
        pending.permissionSetupBypassesAuth = false;
        route({});
    }
}

void DeepLinkRunner::performRecord(const RecordRequest& request) {
    RecordingController& recording = shell_.recording();
    if (agent_ || recording.phase() != Phase::idle) {
        log::info(log_area::kStudio, "recording link refused: a recording is running");
        link_->replyFailure(kAlreadyRecording);
        return;
    }
    log::info(log_area::kStudio, "recording link: starting a recording");
    RecordingRequest start;
    start.preferredKind = request.preferredKind;
    start.options = optionsFromPreferences(shell_.services().preferences());
    std::weak_ptr<DeepLinkRunner*> weak = self_;
    auto answered = std::make_shared<bool>(false);
    start.reply = [weak, answered](const RecordingReply& reply) {
        *answered = true;
        auto self = weak.lock();
        if (!self) return;
        DeepLinkRunner& runner = **self;
        if (!reply.succeeded || !reply.recording) {
            runner.link_->replyFailure(reply.message);
            return;
        }
        const RecordingMeta& meta = *reply.recording;
        const fs::path file = runner.shell_.services().library().folderOf(meta.id).screenVideoFile(meta);
        runner.link_->replySuccessWithExport(file, kindText(meta), meta.sourceTitle.value_or(""));
    };
    // A recorder that could not even be made says so in a toast; the caller still gets its answer.
    if (!recording.start(std::move(start)) && !*answered) link_->replyFailure("Recording did not start.");
}

void DeepLinkRunner::performAgentRecording(const AgentRecordingRequest& request) {
    RecordingController& recording = shell_.recording();
    if (agent_ || recording.phase() != Phase::idle) {
        log::info(log_area::kStudio, "agent recording link refused: a recording is running");
        link_->replyFailure(kAlreadyRecording);
        return;
    }
    const auto source = agentRecordingSource(recording.catalog(), request);
    if (!source) {
        link_->replyFailure("No matching recording source was available.");
        return;
    }
    auto run = std::make_unique<AgentRun>();
    run->request = request;
    run->source = *source;
    std::optional<AgentActionPlan> plan;
    if (const auto file = localFile(request.actionPlanURL)) {
        try {
            plan = readAgentActionPlan(*file);
            validateAgentActionPlan(*plan);
            run->timeline = buildTimeline(*plan);
        } catch (const std::exception& e) {
            // The recording still runs; it just has no synthetic cursor.
            log::warning(log_area::kStudio, "agent plan not used: %s", e.what());
            plan.reset();
        }
    }
    const bool perform = request.controlMode == "perform" || (plan && planPerformsActions(*plan));
    if (const auto file = localFile(request.actionPlanURL)) {
        run->overlay = std::make_unique<AgentCursorOverlay>(performArea(*source, request.cropRect), *file);
    }
    if (perform && run->timeline) {
        try {
            run->input = makeX11InputSynthesizer();
        } catch (const std::exception& e) {
            link_->replyFailure(std::string("Agent browser actions did not run: ") + e.what());
            return;
        }
    }

    Preferences& preferences = shell_.services().preferences();
    RecordingRequest start;
    start.source = *source;
    start.options = agentRecordingOptions(request, run->timeline.has_value(), preferences.defaultMobileTouchMode());
    start.agent = AgentRecordingContext{};
    start.agent->request = request;
    start.agent->suppressActivationOnStop = true;
    std::weak_ptr<DeepLinkRunner*> weak = self_;
    start.reply = [weak](const RecordingReply& reply) {
        if (auto self = weak.lock()) (*self)->agentRecorded(reply);
    };
    run->phaseConnection =
        connect(&recording, &RecordingController::phaseChanged, this, &DeepLinkRunner::agentPhaseChanged);
    agent_ = std::move(run);
    log::info(log_area::kStudio, "agent recording of %s for %.1f s", sourceID(*source).c_str(), request.duration);
    if (!recording.start(std::move(start)) && agent_ && !agent_->exportID) finishAgent("Recording did not start.");
}

void DeepLinkRunner::agentPhaseChanged() {
    if (!agent_) return;
    RecordingController& recording = shell_.recording();
    const Phase phase = recording.phase();
    if (phase == Phase::stopping) {
        if (agent_->performer) agent_->performer->stop();
        if (agent_->overlay) agent_->overlay->stop();
    }
    if (phase != Phase::recording || agent_->timerStarted) return;
    agent_->timerStarted = true;
    if (agent_->overlay) agent_->overlay->start();
    EventLoop& loop = shell_.services().mainLoop();
    if (agent_->input && agent_->timeline) {
        agent_->performer = std::make_unique<AgentPlanPerformer>(loop, *agent_->input, *agent_->timeline,
                                                                 performArea(agent_->source, agent_->request.cropRect));
        agent_->performer->start();
    }
    std::weak_ptr<DeepLinkRunner*> weak = self_;
    agent_->durationTimer = loop.postAfter(
        std::chrono::duration_cast<Duration>(std::chrono::duration<double>(agent_->request.duration)), [weak] {
            if (auto self = weak.lock()) (*self)->shell_.recording().stop();
        });
}

void DeepLinkRunner::agentRecorded(const RecordingReply& reply) {
    if (!agent_) return;
    agent_->durationTimer.cancel();
    if (agent_->performer) agent_->performer->stop();
    agent_->overlay.reset();
    QObject::disconnect(agent_->phaseConnection);
    if (!reply.succeeded || !reply.recording) {
        finishAgent(reply.message.empty() ? std::string("Recording did not start.") : reply.message);
        return;
    }
    app::Services& services = shell_.services();
    RecordingLibrary& library = services.library();
    RecordingMeta meta = *reply.recording;
    const RecordingFolder folder = library.folderOf(meta.id);
    std::shared_ptr<const SceneRenderSnapshot> snapshot;
    try {
        if (agent_->timeline) {
            try {
                writeAgentCursorTrack(folder, meta, *agent_->timeline);
            } catch (const std::exception& e) {
                finishAgent(std::string("Agent cursor track could not be saved: ") + e.what());
                return;
            }
            library.reload();
        }
        std::vector<AudioClip> clips;
        if (const auto voiceover = localFile(agent_->request.voiceoverURL)) {
            try {
                clips = agentNarrationClips({*voiceover}, agent_->timeline.value_or(SyntheticCursorTimeline{}),
                                            static_cast<double>(meta.durationMs) / 1000.0);
            } catch (const std::exception& e) {
                finishAgent(std::string("Generated voiceover could not be loaded: ") + e.what());
                return;
            }
        }
        EditorSession session(folder, meta, editorSettings(services.preferences()), EditorSession::Access::edit);
        for (const auto& clip : clips) session.state().addVoiceClip(clip);
        session.saveOrThrow();
        snapshot = std::make_shared<const SceneRenderSnapshot>(session.renderSnapshot());
    } catch (const std::exception& e) {
        log::error(log_area::kStudio, "agent recording could not be prepared: %s", e.what());
        finishAgent("Agent export did not complete.");
        return;
    }

    if (!exports_) {
        exportQueue_ = std::make_unique<SerialQueue>("orvane.agentexp");
        exports_ = std::make_unique<ExportController>(services.mainLoop(), *exportQueue_, services.exportServices());
        exportSubscription_ = exports_->changed.subscribe([this] { agentExportChanged(); });
    }
    VideoExportOptions options;
    options.preset = ExportPreset::web1080;
    if (fs::exists(folder.sidecarFile())) options.sidecar = folder.sidecarFile();
    options.title = displayTitle(meta);
    agent_->destination = folder.directory / ("orvane-agent-" + meta.id.string().substr(0, 8) + ".mp4");
    agent_->kind = kindText(meta);
    agent_->sourceTitle = meta.sourceTitle.value_or(sourceTitle(agent_->source));
    agent_->exportID = exports_->exportVideo(snapshot, ExportSettings{}, agent_->destination, options);
}

void DeepLinkRunner::agentExportChanged() {
    if (!agent_ || !agent_->exportID) return;
    const ExportTask* task = exports_->task(*agent_->exportID);
    if (!task || !task->stage.finished()) return;
    if (task->stage.kind == ExportTaskStage::Kind::succeeded) {
        log::info(log_area::kStudio, "agent recording exported");
        link_->replySuccessWithExport(agent_->destination, agent_->kind, agent_->sourceTitle);
        agent_.reset();
        return;
    }
    if (task->stage.message) log::error(log_area::kStudio, "agent export failed: %s", task->stage.message->c_str());
    finishAgent("Agent export did not complete.");
}

void DeepLinkRunner::finishAgent(std::optional<std::string> failure) {
    if (failure) {
        log::warning(log_area::kStudio, "agent recording failed: %s", failure->c_str());
        link_->replyFailure(*failure);
    }
    agent_.reset();
}

void DeepLinkRunner::performImport() {
    DeepLinkPending& pending = link_->pending();
    const auto url = pending.importURL;
    const auto title = pending.importTitle;
    pending.importURL.reset();
    pending.importOpensEditor = false;
    pending.importSidecarURL.reset();
    pending.importShareToken.reset();
    pending.importAPIBaseURL.reset();
    pending.importTitle.reset();
    pending.importPermission.reset();
    pending.shareEditingBypassesAuth = false;
    const auto file = localFile(url);
    if (!file) {
        link_->replyFailure("Only files on this computer can be imported: " + url.value_or(""));
        return;
    }
    try {
        RecordingMeta meta = shell_.services().library().importVideo(*file);
        pending.recentlyImportedRecordingID = meta.id;
        shell_.selection().select(meta);
        link_->replySuccessWithExport(*file, kindText(meta), title.value_or(displayTitle(meta)));
    } catch (const std::exception& e) {
        shell_.services().toasts().post(ToastLevel::error, "Couldn't import the video", std::string(e.what()));
        link_->replyFailure(e.what());
    }
}

}  // namespace orvane::studio
