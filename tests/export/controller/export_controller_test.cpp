#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "base/log.h"
#include "editor/editor_state.h"
#include "editor/scene_snapshot_builder.h"
#include "export/export_jobs.h"
#include "export/export_prerender.h"
#include "export_test_support.h"
#include "platform/url_opener.h"

namespace orvane {
namespace {

using namespace orvane::testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

// A strategy that writes `content` as its movie, or throws when `content` is empty.
AudioStrategy strategy(std::string success, std::string silent, std::string failed, std::string content,
                       bool reportsLevel = false) {
    AudioStrategy s{std::move(success), std::move(silent), std::move(failed), reportsLevel, {}};
    s.run = [content](const fs::path& video, const SceneRenderSnapshot&, const fs::path& folder, std::stop_token) {
        if (content.empty()) throw std::runtime_error("mix broke");
        EXPECT_TRUE(fs::exists(video));
        const auto out = folder / "mixed.mp4";
        writeTextFile(out, content);
        return out;
    };
    return s;
}

// The first, level-reporting strategy with its real texts.
AudioStrategy mainMix(std::string content) {
    return strategy("MP4 exported with mixed audio", "Composition audio mix was silent",
                    "Native audio mix failed; trying fallback", std::move(content), true);
}

// Loudness read from the fake movie's text: "silent", "quiet", "unknown" or anything else (loud).
std::optional<double> fakeLoudness(const fs::path& movie) {
    const auto text = readTextFile(movie);
    if (text == "silent") return -std::numeric_limits<double>::infinity();
    if (text == "quiet") return -60.0;
    if (text == "unknown") return std::nullopt;
    return -16.0;
}

class FakeCache : public ExportCacheAccess {
public:
    explicit FakeCache(fs::path folder) : folder_(std::move(folder)) {}
    ExportCacheEntry lookup(const SceneRenderSnapshot&, const ExportSettings&, const OutputProfile& profile,
                            ExportPreset preset) override {
        if (broken) throw std::runtime_error("index unreadable");
        const auto key = std::string(rawValue(preset)) + "-" + std::to_string(profile.width);
        const auto file = folder_ / (key + (preset == ExportPreset::gif ? ".gif" : ".mp4"));
        return {key, file, fs::exists(file)};
    }
    void store(const fs::path& file, const std::optional<fs::path>& sidecar, const ExportCacheEntry& entry) override {
        fs::copy_file(file, entry.cachedFile, fs::copy_options::overwrite_existing);
        storedSidecars.push_back(sidecar);
    }
    bool broken = false;
    std::vector<std::optional<fs::path>> storedSidecars;

private:
    fs::path folder_;
};

class ExportControllerTest : public ExportServicesTest {
protected:
    ExportControllerTest() { services.loudness = fakeLoudness; }

    ExportController& controller() {
        if (!controller_) controller_ = std::make_unique<ExportController>(main, background, services);
        return *controller_;
    }
    const ExportTask& taskOf(const Uuid& id) { return *controller().task(id); }
    std::vector<std::string> logLines() {
        std::vector<std::string> lines;
        std::string line;
        std::istringstream in(controller().log());
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }

    std::unique_ptr<ExportController> controller_;
};

TEST_F(ExportControllerTest, RunsOneTaskAtATimeInOrderAndKeepsGoingAfterFailures) {
    std::vector<std::string> ran;
    auto work = [&ran](std::string name, bool fails) {
        return [&ran, name, fails](ExportJobContext& context) -> ExportOutcome {
            ran.push_back(name);
            context.report(0.25, name + " working");
            if (fails) throw ExportError::writerSetup();
            return ExportOutcome::file("/out/" + name);
        };
    };
    auto& c = controller();
    const auto first = c.enqueue("First", "", ExportKind{"web1080"}, work("first", true));
    const auto second = c.enqueue("Second", "", ExportKind{"web1080"}, work("second", false));
    EXPECT_EQ(taskOf(first).stage, ExportTaskStage::running());
    EXPECT_EQ(taskOf(second).stage, ExportTaskStage::queued());
    // Only the running task's work has been handed to the background.
    EXPECT_EQ(background.pendingCount(), 1u);

    background.runPending();
    EXPECT_TRUE(ran == std::vector<std::string>{"first"});
    main.runPending();
    EXPECT_EQ(taskOf(first).stage, ExportTaskStage::failed("Could not configure the video writer."));
    EXPECT_EQ(taskOf(second).stage.kind, ExportTaskStage::Kind::running);

    run();
    EXPECT_THAT(ran, ElementsAre("first", "second"));
    EXPECT_EQ(taskOf(second).stage, ExportTaskStage::succeeded(ExportOutcome::file("/out/second")));
    EXPECT_EQ(taskOf(second).progress, 1.0);
    EXPECT_EQ(c.state(), (ExportControllerState{ExportControllerState::Kind::done, "/out/second"}));
    EXPECT_FALSE(c.currentRunningID());
    ASSERT_EQ(c.tasks().size(), 2u);
    EXPECT_EQ(c.tasks()[0].title, "First");
}

TEST_F(ExportControllerTest, CancelledTasksLeaveNothingAndTheQueueMovesOn) {
    writeTextFile(temp / "out" / "a.mp4", "old export");
    auto& c = controller();
    const auto snapshot = snapshotOfLength(2);
    std::optional<Uuid> running;
    renderer->during = [&] {
        if (running && renderer->profiles.size() == 1) c.cancel(*running);
    };
    running = c.exportVideo(snapshot, {}, temp / "out" / "a.mp4");
    const auto queued = c.exportVideo(snapshot, {}, temp / "out" / "b.mp4");
    const auto last = c.exportVideo(snapshot, {}, temp / "out" / "c.mp4");
    c.cancel(queued);
    EXPECT_EQ(taskOf(queued).stage, ExportTaskStage::cancelled());

    run();
    EXPECT_EQ(taskOf(*running).stage, ExportTaskStage::cancelled());
    EXPECT_EQ(taskOf(last).stage.kind, ExportTaskStage::Kind::succeeded);
    // The queued task never rendered; the cancelled one kept the earlier file in place.
    EXPECT_EQ(renderer->profiles.size(), 2u);
    EXPECT_EQ(readTextFile(temp / "out" / "a.mp4"), "old export");
    EXPECT_FALSE(fs::exists(temp / "out" / "b.mp4"));
    EXPECT_EQ(readTextFile(temp / "out" / "c.mp4"), "video 1920x1080");
    EXPECT_THAT(entriesOf(temp / "out"), ::testing::UnorderedElementsAre("a.mp4", "c.mp4", "c.zant.json"));
    EXPECT_TRUE(entriesOf(temp / "tmp").empty());
    // Cancelling a finished task changes nothing.
    c.cancel(last);
    EXPECT_EQ(taskOf(last).stage.kind, ExportTaskStage::Kind::succeeded);
}

TEST_F(ExportControllerTest, FailuresKeepTheDestinationAndReportTheirText) {
    writeTextFile(temp / "out" / "keep.mp4", "old export");
    renderer->failWith = std::make_exception_ptr(std::runtime_error("disk full"));
    auto& c = controller();
    const auto failed = c.exportVideo(snapshotOfLength(2), {}, temp / "out" / "keep.mp4");
    // Finite but absurd, as a damaged sidecar may hold: refused before anything is rendered.
    const auto endless = c.exportVideo(snapshotOfLength(1e308), {}, temp / "out" / "l.mp4");
    SceneRenderSnapshot empty;
    const auto nothing = c.exportVideo(std::make_shared<const SceneRenderSnapshot>(empty), {}, temp / "out" / "e.mp4");
    run();
    EXPECT_EQ(taskOf(failed).stage, ExportTaskStage::failed("disk full"));
    EXPECT_EQ(taskOf(endless).stage,
              ExportTaskStage::failed("The edit runs longer than 24 hours; shorten it to export it."));
    EXPECT_EQ(taskOf(nothing).stage, ExportTaskStage::failed("Nothing to export."));
    EXPECT_EQ(c.state(), (ExportControllerState{ExportControllerState::Kind::failed, "Nothing to export."}));
    EXPECT_EQ(renderer->profiles.size(), 1u);
    EXPECT_EQ(readTextFile(temp / "out" / "keep.mp4"), "old export");
    EXPECT_THAT(entriesOf(temp / "out"), ElementsAre("keep.mp4"));
    EXPECT_TRUE(entriesOf(temp / "tmp").empty());
}

TEST_F(ExportControllerTest, AudioStrategiesFallThroughWithTheirTexts) {
    services.audioStrategies = {
        mainMix(""),
        strategy("MP4 exported with composed audio", "Timeline audio fallback was silent",
                 "Timeline audio fallback failed", "silent"),
        strategy("MP4 exported with original audio", "Original audio was silent",
                 "Original audio passthrough failed; retrying", "original mix"),
    };
    const auto id = controller().exportVideo(snapshotOfLength(3), {}, temp / "out" / "x.mp4");
    run();
    EXPECT_EQ(taskOf(id).stage.kind, ExportTaskStage::Kind::succeeded);
    EXPECT_EQ(readTextFile(temp / "out" / "x.mp4"), "original mix");
    EXPECT_THAT(logLines(), ElementsAre("Native audio mix failed; trying fallback",
                                        "Timeline audio fallback was silent", "MP4 exported with original audio"));
    EXPECT_TRUE(entriesOf(temp / "tmp").empty());
}

TEST_F(ExportControllerTest, MainMixNamesAQuietOrUnmeasuredLevelAndAFailedOneLeavesTheSilentVideo) {
    std::vector<std::string> platformLog;
    log::ScopedSink sink([&](log::Level, const std::string& line) { platformLog.push_back(line); });
    for (const auto& [content, lines] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"quiet", {"MP4 exported with mixed audio (low level)"}},
             {"unknown", {"MP4 exported with mixed audio (loudness probe was inconclusive)"}},
             {"loud", {"MP4 exported with mixed audio"}},
             {"",
              {"Native audio mix failed; trying fallback", "MP4 exported without audio (audio mux unavailable)"}}}) {
        services.audioStrategies = {mainMix(content)};
        controller_.reset();
        const auto id = controller().exportVideo(snapshotOfLength(1), {}, temp / "out" / "x.mp4");
        run();
        EXPECT_EQ(taskOf(id).stage.kind, ExportTaskStage::Kind::succeeded);
        EXPECT_EQ(logLines(), lines);
    }
    EXPECT_EQ(readTextFile(temp / "out" / "x.mp4"), "video 1920x1080");
    EXPECT_THAT(platformLog,
                ::testing::Contains("[Orvane.Export] audio mux unavailable (mix broke); exporting silent video"));
}

TEST_F(ExportControllerTest, AnEditWithoutSoundExportsWithoutAudioQuietly) {
    std::vector<std::string> platformLog;
    log::ScopedSink sink([&](log::Level, const std::string& line) { platformLog.push_back(line); });
    bool mixed = false;
    AudioStrategy mix = mainMix("");
    mix.run = [&mixed](const fs::path&, const SceneRenderSnapshot&, const fs::path&, std::stop_token) -> fs::path {
        mixed = true;
        throw std::runtime_error("no input with audio to mix");
    };
    services.audioStrategies = {mix};
    services.hasSound = [](const SceneRenderSnapshot&) { return false; };
    const auto id = controller().exportVideo(snapshotOfLength(1), {}, temp / "out" / "x.mp4");
    run();
    EXPECT_EQ(taskOf(id).stage.kind, ExportTaskStage::Kind::succeeded);
    EXPECT_EQ(readTextFile(temp / "out" / "x.mp4"), "video 1920x1080");
    EXPECT_FALSE(mixed);
    EXPECT_TRUE(logLines().empty());
    for (const auto& line : platformLog) {
        EXPECT_THAT(line, ::testing::Not(HasSubstr("audio mux unavailable")));
        EXPECT_THAT(line, ::testing::Not(HasSubstr("failed")));
    }

    // With sound the mix runs as before.
    services.hasSound = [](const SceneRenderSnapshot&) { return true; };
    controller_.reset();
    controller().exportVideo(snapshotOfLength(1), {}, temp / "out" / "x.mp4");
    run();
    EXPECT_TRUE(mixed);
    EXPECT_THAT(logLines(), ElementsAre("Native audio mix failed; trying fallback",
                                        "MP4 exported without audio (audio mux unavailable)"));
}

TEST_F(ExportControllerTest, ExportCacheHitsCopyAndMissesStore) {
    auto cache = std::make_shared<FakeCache>(temp / "cache");
    fs::create_directories(temp / "cache");
    services.cache = cache;
    auto& c = controller();
    const auto snapshot = snapshotOfLength(2);
    VideoExportOptions options;
    c.exportVideo(snapshot, {}, temp / "out" / "first.mp4", options);
    run();
    EXPECT_EQ(renderer->profiles.size(), 1u);
    // The record written beside the export is kept with it.
    ASSERT_EQ(cache->storedSidecars.size(), 1u);
    EXPECT_EQ(cache->storedSidecars[0], temp / "out" / "first.zant.json");

    // Same inputs again: copied from the cache without rendering.
    writeTextFile(temp / "cache" / "web1080-1920.mp4", "cached export");
    const auto hit = c.exportVideo(snapshot, {}, temp / "out" / "second.mp4", options);
    run();
    EXPECT_EQ(renderer->profiles.size(), 1u);
    EXPECT_EQ(taskOf(hit).stage.kind, ExportTaskStage::Kind::succeeded);
    EXPECT_EQ(readTextFile(temp / "out" / "second.mp4"), "cached export");
    EXPECT_TRUE(fs::exists(temp / "out" / "second.zant.json")) << "a cached export gets its record too";
    EXPECT_EQ(logLines().back(), "Using cached export");

    // A cache that cannot be read never fails the export.
    cache->broken = true;
    const auto plain = c.exportVideo(snapshot, {}, temp / "out" / "third.mp4", options);
    run();
    EXPECT_EQ(taskOf(plain).stage.kind, ExportTaskStage::Kind::succeeded);
    EXPECT_EQ(renderer->profiles.size(), 2u);
}

class FakeShareClient : public ShareClient {
public:
    std::int64_t defaultMaxUploadBytes() const override { return 1'000'000; }
    bool revisionsNeedSidecar() const override { return editable; }
    ShareResult upload(const fs::path& file, const ShareRequest& request, std::stop_token) override {
        uploads.push_back(readTextFile(file) + " " + request.permission);
        if (tooLargeOnce && uploads.size() == 1) throw ShareTooLargeError("413 payload too large");
        return {"https://share.example/v/1", "video-1", "token-1", request.permission, std::nullopt, std::nullopt};
    }
    ShareResult update(const fs::path& file, const ShareRequest&, const ShareResult& existing,
                       std::stop_token) override {
        updates.push_back(readTextFile(file) + " " + existing.videoID.value_or(""));
        return existing;
    }
    bool tooLargeOnce = false;
    bool editable = false;
    std::vector<std::string> uploads;
    std::vector<std::string> updates;
};

TEST_F(ExportControllerTest, SharesUploadRetryCompactAndUpdateInPlace) {
    const auto notConfigured = controller().share(snapshotOfLength(1), {}, "public");
    run();
    EXPECT_EQ(
        taskOf(notConfigured).stage,
        ExportTaskStage::failed("Sharing is not configured. Add backend URL, access key, and bucket in Settings."));
    EXPECT_TRUE(renderer->profiles.empty());

    auto client = std::make_shared<FakeShareClient>();
    client->tooLargeOnce = true;
    services.shareClient = client;
    controller_.reset();
    auto& c = controller();
    const auto shared = c.share(snapshotOfLength(1), {}, "team");
    run();
    EXPECT_EQ(taskOf(shared).stage, ExportTaskStage::succeeded(ExportOutcome::shared("https://share.example/v/1")));
    EXPECT_EQ(c.state(), (ExportControllerState{ExportControllerState::Kind::shared, "https://share.example/v/1"}));
    EXPECT_THAT(logLines(), ::testing::Contains("Share upload was too large; retrying compact export"));
    ASSERT_EQ(renderer->profiles.size(), 2u);
    EXPECT_EQ(renderer->profiles[1].quality, ExportQuality::compact);
    EXPECT_EQ(client->uploads.size(), 2u);

    // Every step of an update says so once.
    std::vector<std::string> steps;
    const auto watch = c.changed.subscribe([&] {
        for (const auto& task : c.tasks()) {
            if (task.stage.kind == ExportTaskStage::Kind::running && task.stage.message &&
                (steps.empty() || steps.back() != *task.stage.message))
                steps.push_back(*task.stage.message);
        }
    });
    const auto update = c.updateShare(snapshotOfLength(1), {}, std::nullopt);
    run();
    EXPECT_EQ(taskOf(update).stage.kind, ExportTaskStage::Kind::succeeded);
    EXPECT_THAT(steps, ::testing::Contains("Updating share \u00b7 Uploading"));
    for (const auto& step : steps) {
        EXPECT_THAT(step, ::testing::StartsWith("Updating share \u00b7 "));
        EXPECT_THAT(step, ::testing::Not(HasSubstr("Updating share \u00b7 Updating share")));
    }
    EXPECT_THAT(client->updates, ElementsAre("video 1920x1080 video-1"));
    EXPECT_TRUE(entriesOf(temp / "tmp").empty());

    // A backend that revises the shared edit in place refuses, before rendering, an update without one.
    client->editable = true;
    const auto rendered = renderer->profiles.size();
    const auto withoutSidecar = c.updateShare(snapshotOfLength(1), {}, std::nullopt);
    run();
    EXPECT_EQ(taskOf(withoutSidecar).stage,
              ExportTaskStage::failed("Editable share revisions require a Orvane sidecar."));
    EXPECT_EQ(renderer->profiles.size(), rendered);
    EXPECT_EQ(client->updates.size(), 1u);
}

class FakeOpener : public UrlOpener {
public:
    void open(const std::string& url) override { calls.push_back("open " + url); }
    void revealFile(const fs::path& file) override { calls.push_back("reveal " + file.filename().string()); }
    std::vector<std::string> calls;
};

TEST_F(ExportControllerTest, PostsWriteTheFileThenOpenTheUploadPage) {
    auto opener = std::make_shared<FakeOpener>();
    services.urlOpener = opener;
    auto& c = controller();
    const auto toYouTube = c.post(snapshotOfLength(1), {}, SocialPlatform::youtube, temp / "out" / "yt.mp4");
    const auto toMessages = c.post(snapshotOfLength(1), {}, SocialPlatform::messages, temp / "out" / "msg.mp4");
    run();
    EXPECT_EQ(taskOf(toYouTube).stage,
              ExportTaskStage::succeeded(ExportOutcome::file((temp / "out" / "yt.mp4").string())));
    EXPECT_EQ(taskOf(toMessages).stage.kind, ExportTaskStage::Kind::succeeded);
    EXPECT_TRUE(fs::exists(temp / "out" / "msg.mp4"));
    EXPECT_THAT(opener->calls, ElementsAre("reveal yt.mp4", "open https://www.youtube.com/upload"));
}

TEST(ExportFailureMessage, MapsBackendAndPlatformTexts) {
    EXPECT_EQ(exportFailureMessage(ExportError::audioMixFailed()), "Could not mix export audio.");
    EXPECT_EQ(exportFailureMessage(std::runtime_error("HTTP 413: Payload Too Large")),
              "This video is over the hosted-share size limit. Try a shorter recording or a lower export resolution.");
    EXPECT_EQ(exportFailureMessage(std::runtime_error("The operation couldn\u2019t be completed. (error 5)")),
              "The export could not be completed.");
    EXPECT_EQ(exportFailureMessage(std::runtime_error("No space left on device")), "No space left on device");
}

TEST(ExportProfileForEdit, SmallRecordingsAreNotBlownUp) {
    auto snapshot = *snapshotOfLength(2);
    snapshot.edit.frame.videoSize = {1280, 720};
    EXPECT_EQ(exportProfile(snapshot, {}, ExportPreset::web1080).width, 1280);
    // A shaped preset or an asked-for shape keeps the preset's frame.
    EXPECT_EQ(exportProfile(snapshot, {}, ExportPreset::vertical).height, 1920);
    ExportSettings square;
    square.aspect = ExportAspectRatio::square;
    EXPECT_EQ(exportProfile(snapshot, square, ExportPreset::web1080).width, 1080);
    snapshot.edit.frame.videoSize = {3024, 1898};
    EXPECT_EQ(exportProfile(snapshot, {}, ExportPreset::web1080).width, 1920);
}

// Remembers where each render wrote and whether it had been told to stop.
class RecordingRenderer : public ExportVideoRenderer {
public:
    void render(std::shared_ptr<const SceneRenderSnapshot>, const OutputProfile& profile, const fs::path& output,
                ExportProgress, std::stop_token stop) override {
        if (stop.stop_requested()) throw ExportCancelled();
        writeTextFile(output, "segments");
        outputs.push_back(output);
        profiles.push_back(profile);
    }
    std::vector<fs::path> outputs;
    std::vector<OutputProfile> profiles;
};

TEST(ExportPreRender, RendersTheLatestEditWithTheExportSettingsAndKeepsNoFile) {
    ManualExecutor background;
    auto renderer = std::make_shared<RecordingRenderer>();
    ExportSettings compact;
    compact.quality = ExportQuality::compact;
    const auto hook = makeExportPreRenderHook(
        background, [&] { return compact; }, ExportPreset::vertical, renderer);

    EditorState state(Uuid::random(), "/recordings/A/screen.mp4");
    // Nothing to render before the edit has a clip with a length.
    EXPECT_FALSE(hook(std::make_shared<const SceneRenderSnapshot>(makeSceneRenderSnapshot(state))));

    state.appendClip("screen.mp4", 3);
    state.setMeasuredDuration(3);
    const auto snapshot = std::make_shared<const SceneRenderSnapshot>(makeSceneRenderSnapshot(state));
    const auto first = hook(snapshot);
    const auto second = hook(snapshot);
    ASSERT_TRUE(first && second);
    first();
    second();  // a newer save: the first pre-render is now out of date
    background.runPending();

    ASSERT_EQ(renderer->profiles.size(), 1u);
    EXPECT_EQ(renderer->profiles[0].quality, ExportQuality::compact);
    EXPECT_EQ(renderer->profiles[0].height, 1920);
    EXPECT_FALSE(fs::exists(renderer->outputs[0]));
}

}  // namespace
}  // namespace orvane
