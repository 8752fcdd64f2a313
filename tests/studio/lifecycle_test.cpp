#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <nlohmann/json.hpp>

#include "app/preferences.h"
#include "app/services.h"
#include "cli/cli_runner.h"
#include "net/service_url.h"
#include "net/url_components.h"
#include "platform/linux/instance_channel.h"
#include "platform/x11/test_display.h"
#include "studio/agent_cursor_overlay.h"
#include "studio/deep_link_runner.h"
#include "studio/home_window.h"
#include "studio/instance_listener.h"
#include "studio/recording_controller.h"
#include "studio/studio_hotkeys.h"
#include "studio/studio_shell.h"
#include "support/http_test_server.h"
#include "support/required_service.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "widget_lookup.h"

namespace orvane::studio {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempDir;
using Phase = ScreenRecorder::Phase;

// A studio in this process, listening on the session socket of a private runtime folder, with the
// real `orvane` and `orvane-studio` programs as the other side.
class LifecycleTest : public ::testing::Test {
protected:
    LifecycleTest()
        : data_("XDG_DATA_HOME", (dir_.path() / "data").string()),
          config_("XDG_CONFIG_HOME", (dir_.path() / "config").string()),
          cache_("XDG_CACHE_HOME", (dir_.path() / "cache").string()),
          runtime_("XDG_RUNTIME_DIR", (dir_.path() / "run").string()),
          // The X helpers use the display the studio draws on rather than one of their own.
          testDisplay_("ORVANE_TEST_DISPLAY",
                       std::getenv("DISPLAY") ? std::optional<std::string>(std::getenv("DISPLAY")) : std::nullopt) {
        fs::create_directories(dir_.path() / "run");
        ::chmod((dir_.path() / "run").c_str(), 0700);
        fs::create_directories(dir_.path() / "home");
        app::ServiceLocations locations;
        locations.preferencesFile = dir_.path() / "config" / "Orvane" / "preferences.json";
        locations.library = LibraryLocation::explicitRoot(recordingsRoot());
        locations.cacheRoot = dir_.path() / "cache";
        services_ = std::make_unique<app::Services>(locations);
        Preferences& preferences = services_->preferences();
        // Screen only: these tests are about the wiring, not the sound server or a camera.
        preferences.setDefaultAudioOn(false);
        preferences.setDefaultMicOn(false);
        preferences.setDefaultWebcamOn(false);
    }
    ~LifecycleTest() override {
        hotkeys_.reset();
        listener_.reset();
        links_.reset();
        shell_.reset();
        channel_.reset();
        services_.reset();
    }

    fs::path recordingsRoot() const { return dir_.path() / "Library" / "Recordings"; }

    void start(bool withHotkeys = false) {
        channel_ = std::make_unique<InstanceChannel>();
        const auto fd = channel_->listen();
        ASSERT_TRUE(fd.has_value());
        shell_ = std::make_unique<StudioShell>(*services_);
        links_ = std::make_unique<DeepLinkRunner>(*shell_);
        listener_ =
            std::make_unique<InstanceListener>(*channel_, *fd, [this](const InstanceMessage& m) { links_->route(m); });
        shell_->start();
        if (withHotkeys) hotkeys_ = std::make_unique<StudioHotkeys>(*shell_);
        links_->ready();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return shell_->recording().catalogStatus() != CatalogStatus::loading; }, 10000));
        ASSERT_EQ(shell_->recording().catalogStatus(), CatalogStatus::loaded);
    }

    // `orvane` with this test's runtime folder, so it finds the studio's socket.
    testing::CliResult orvane(const std::vector<std::string>& arguments) {
        return testing::runOrvane(dir_.path() / "home", arguments,
                                  {"XDG_RUNTIME_DIR=" + (dir_.path() / "run").string()});
    }

    // A second `orvane-studio` start; answers its exit code, or -1 when it did not end in time.
    int secondStudio(const QStringList& arguments) {
        QProcess process;
        process.setProgram(ORVANE_STUDIO_PATH);
        process.setArguments(arguments);
        process.start();
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    void stopFromTheMenu() {
        QAction* stop = nullptr;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return (stop = actionTitled(shell_->home().recordingMenu(), "Stop Recording")) != nullptr; }, 5000));
        stop->trigger();
    }

    std::size_t recordingCount() { return services_->library().recordings().size(); }

    TempDir dir_;
    ScopedEnv data_;
    ScopedEnv config_;
    ScopedEnv cache_;
    ScopedEnv runtime_;
    ScopedEnv testDisplay_;
    std::unique_ptr<app::Services> services_;
    std::unique_ptr<InstanceChannel> channel_;
    std::unique_ptr<StudioShell> shell_;
    std::unique_ptr<DeepLinkRunner> links_;
    std::unique_ptr<InstanceListener> listener_;
    std::unique_ptr<StudioHotkeys> hotkeys_;
};

TEST_F(LifecycleTest, LinksHandedOverStartRecordingsRefuseWhileBusyAndReplyToTheCaller) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    start();
    testing::TestHttpServer caller([](const testing::TestHttpRequest&) { return testing::TestHttpResponse(200); });
    const std::string returnTo = percentEncode(caller.baseURL() + "/done");

    // `orvane open` hands a record link to this studio, which starts a display recording.
    const auto opened = orvane({"open", "orvane://record?source=display&session=first&return=" + returnTo});
    ASSERT_EQ(opened.exitCode, 0) << opened.err;
    EXPECT_NE(opened.out.find("Handed the link to the running studio"), std::string::npos) << opened.out;
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell_->recording().phase() == Phase::recording; }, 15000));

    // Links that are not well-formed requests of ours change nothing, and a second studio started
    // with one still hands it over and leaves.
    EXPECT_EQ(secondStudio({"orvane://no-such-host?source=display"}), 0);
    EXPECT_EQ(secondStudio({"zant://import"}), 0);  // the required video is missing
    QTest::qWait(500);
    EXPECT_EQ(caller.requestCount(), 0u);
    EXPECT_EQ(shell_->recording().phase(), Phase::recording);

    // The menu ends it; the recording lands in the library and the caller hears of it, once.
    QTest::qWait(800);
    stopFromTheMenu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recordingCount() == 1 && caller.requestCount() == 1; }, 30000));
    const auto reply = caller.requests().front();
    EXPECT_EQ(reply.path, "/done");
    EXPECT_EQ(reply.queryValue("session"), "first");
    EXPECT_EQ(reply.queryValue("kind"), "display");
    const RecordingMeta made = services_->library().recordings().front();
    EXPECT_EQ(reply.queryValue("orvaneExportURL"),
              fileURL(services_->library().folderOf(made.id).screenVideoFile(made).string()));

    // A link while a recording runs is refused with the reply the caller waits for, and the
    // recording goes on. This one arrives through a second studio start, as a browser hands it.
    const auto again = orvane({"open", "zant://record?source=screen"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell_->recording().phase() == Phase::recording; }, 15000));
    EXPECT_EQ(secondStudio({QString::fromStdString("orvane://record?session=second&return=" + returnTo)}), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return caller.requestCount() == 2; }, 10000));
    const auto refused = caller.requests().back();
    EXPECT_EQ(refused.queryValue("error"), DeepLinkRunner::kAlreadyRecording);
    EXPECT_EQ(refused.queryValue("session"), "second");
    EXPECT_EQ(shell_->recording().phase(), Phase::recording);
    stopFromTheMenu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recordingCount() == 2; }, 30000));
    QTest::qWait(300);
    EXPECT_EQ(caller.requestCount(), 2u) << "the refused caller is answered once";
}

TEST_F(LifecycleTest, TheNewRecordingHotKeyOpensTheSheetAndFollowsItsSwitch) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    testing::testDisplayName();
    services_->preferences().setHotkeyNewRecordingEnabled(true);
    start(true);
    ASSERT_NE(hotkeys_->wiring(), nullptr);
    using testing::kKeyAlt;
    using testing::kKeyControl;
    using testing::kKeyShift;
    constexpr unsigned long kKey6 = 0x36;

    // Ctrl+Shift+6 reaches the studio whichever window has the focus, and opens the sheet.
    auto sheetShown = [] {
        auto* sheet = named<QDialog>("New Recording");
        return sheet != nullptr && sheet->isVisible();
    };
    testing::typeChord({kKeyControl, kKeyShift, kKey6});
    ASSERT_TRUE(QTest::qWaitFor(sheetShown, 5000));
    named<QAbstractButton>("Start Recording")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell_->recording().phase() == Phase::recording; }, 15000));
    QTest::qWait(800);
    stopFromTheMenu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recordingCount() == 1; }, 30000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !sheetShown(); }, 2000));

    // The Alt variant works too; switching the shortcut off in the settings ungrabs both at once.
    testing::typeChord({kKeyControl, kKeyShift, kKeyAlt, kKey6});
    ASSERT_TRUE(QTest::qWaitFor(sheetShown, 5000));
    named<QDialog>("New Recording")->reject();
    services_->preferences().setHotkeyNewRecordingEnabled(false);
    QTest::qWait(300);
    testing::typeChord({kKeyControl, kKeyShift, kKey6});
    testing::typeChord({kKeyControl, kKeyShift, kKeyAlt, kKey6});
    QTest::qWait(700);
    EXPECT_FALSE(sheetShown());

    // Another program holding the chord: switching it back on says so, in the toast's words.
    testing::ForeignKeyGrab taken(kKey6, kHotkeyControl | kHotkeyShift);
    testing::ForeignKeyGrab takenWithAlt(kKey6, kHotkeyControl | kHotkeyShift | kHotkeyAlt);
    ASSERT_TRUE(taken.held() && takenWithAlt.held());
    services_->preferences().setHotkeyNewRecordingEnabled(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !services_->toasts().toasts().empty(); }, 3000));
    const auto& toast = services_->toasts().toasts().back();
    EXPECT_EQ(toast.title, "Couldn't bind the shortcut");
    EXPECT_EQ(toast.detail, std::optional<std::string>(GlobalHotkeyWiring::kBindFailedDetail));
}

TEST_F(LifecycleTest, AnAgentPlansCursorIsDrawnOverTheRecordedAreaWhileItRecords) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    start();
    const Rect display = shell_->recording().catalog().displays.front().frame;
    const fs::path plan = dir_.path() / "plan.json";
    std::ofstream(plan) << R"({"steps": [{"action": "move", "x": 0.25, "y": 0.25, "time": 0.1}]})";
    links_->route(
        {"orvane://agent-record?source=display&duration=3&actionPlan=" + percentEncode(fileURL(plan.string()))});
    ASSERT_TRUE(QTest::qWaitFor([&] { return shell_->recording().phase() == Phase::recording; }, 15000));

    // A see-through window over the recorded display draws the plan's cursor where the plan says.
    AgentCursorOverlay* overlay = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (overlay = named<AgentCursorOverlay>("Agent cursor")) != nullptr && overlay->isVisible(); },
        5000));
    EXPECT_EQ(overlay->geometry(), QRect(static_cast<int>(display.x), static_cast<int>(display.y),
                                         static_cast<int>(display.width), static_cast<int>(display.height)));
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
    const auto near = [&](double x, double y) {
        const auto point = overlay->cursorPoint();
        return point && std::abs(point->x() - x * display.width) < 1.5 &&
               std::abs(point->y() - y * display.height) < 1.5;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return near(0.25, 0.25); }, 3000));

    // The agent extends its plan while recording: the cursor follows the file as it changes.
    { std::ofstream(plan) << R"({"steps": [{"action": "move", "x": 0.75, "y": 0.5, "time": 0.1}]})"; }
    EXPECT_TRUE(QTest::qWaitFor([&] { return near(0.75, 0.5); }, 3000));

    // The overlay lives only as long as the agent's recording.
    ASSERT_TRUE(QTest::qWaitFor([&] { return recordingCount() == 1; }, 40000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return named<AgentCursorOverlay>("Agent cursor") == nullptr; }, 5000));
}

// The real programs: a studio process, and `orvane agent-record` getting its export from it.
TEST(StudioProgram, AnAgentRecordingHandedToTheRunningStudioIsAnsweredWithItsExport) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    TempDir dir;
    const fs::path run = dir.path() / "run";
    fs::create_directories(run);
    ::chmod(run.c_str(), 0700);
    QProcess studio;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(run.string()));
    environment.insert("XDG_DATA_HOME", QString::fromStdString((dir.path() / "data").string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((dir.path() / "config").string()));
    environment.insert("XDG_CACHE_HOME", QString::fromStdString((dir.path() / "cache").string()));
    environment.insert("HOME", QString::fromStdString(dir.path().string()));
    studio.setProcessEnvironment(environment);
    studio.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    studio.start(ORVANE_STUDIO_PATH, {});
    ASSERT_TRUE(studio.waitForStarted(10000));
    const fs::path socket = run / "orvane" / "studio.sock";
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(socket); }, 20000)) << "the studio never listened";

    const fs::path plan = dir.path() / "plan.json";
    std::ofstream(plan) << R"({"steps": [{"action": "move", "x": 0.3, "y": 0.3, "time": 0.2},
                                       {"x": 0.6, "y": 0.5, "at": 0.8}]})";
    fs::create_directories(dir.path() / "cli");
    const auto result =
        testing::runOrvane(dir.path() / "cli", {"agent-record", "--plan", plan.string(), "--duration", "1.5", "--json"},
                           {"XDG_RUNTIME_DIR=" + run.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("Handed the recording to the running studio"), std::string::npos) << result.err;
    const auto json = nlohmann::json::parse(result.out);
    EXPECT_EQ(json["studio"], "running");
    const fs::path file = json["file"].get<std::string>();
    EXPECT_TRUE(fs::is_regular_file(file)) << file;
    EXPECT_GT(fs::file_size(file), 1000u);
    // Recorded and exported by the studio: the file sits in the studio's own library, beside the
    // plan's cursor track.
    const fs::path library = dir.path() / "data" / "Orvane" / "Recordings";
    EXPECT_EQ(file.string().rfind(library.string(), 0), 0u) << file;
    EXPECT_TRUE(fs::exists(file.parent_path() / "cursor.json"));

    // A bare second start hands over and leaves the first one running.
    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(ORVANE_STUDIO_PATH, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(studio.state(), QProcess::Running);

    studio.terminate();
    if (!studio.waitForFinished(10000)) {
        studio.kill();
        studio.waitForFinished();
    }
}

}  // namespace
}  // namespace orvane::studio

namespace orvane::studio {
namespace {

TEST(StudioProgram, RegistersAsTheLinkHandlerInTheUsersOwnFoldersAndRemovesItsEntry) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    TempDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", QString::fromStdString((dir.path() / "data").string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((dir.path() / "config").string()));
    environment.insert("HOME", QString::fromStdString(dir.path().string()));
    auto run = [&](const QString& option) {
        QProcess studio;
        studio.setProcessEnvironment(environment);
        studio.start(ORVANE_STUDIO_PATH, {option});
        EXPECT_TRUE(studio.waitForFinished(20000));
        return studio.exitCode();
    };

    ASSERT_EQ(run("--install-desktop-entry"), 0);
    const fs::path entry = dir.path() / "data" / "applications" / "orvane-studio.desktop";
    std::ifstream in(entry);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("MimeType=x-scheme-handler/orvane;x-scheme-handler/zant;"), std::string::npos) << text;
    EXPECT_NE(text.find("Exec=" + fs::canonical(ORVANE_STUDIO_PATH).string() + " %u"), std::string::npos) << text;
    // The desktop's own tool made it the default handler, in the user's configuration.
    if (!QStandardPaths::findExecutable("xdg-mime").isEmpty()) {
        std::ifstream list(dir.path() / "config" / "mimeapps.list");
        const std::string defaults((std::istreambuf_iterator<char>(list)), std::istreambuf_iterator<char>());
        EXPECT_NE(defaults.find("x-scheme-handler/orvane=orvane-studio.desktop"), std::string::npos) << defaults;
    }

    ASSERT_EQ(run("--remove-desktop-entry"), 0);
    EXPECT_FALSE(fs::exists(entry));
}

}  // namespace
}  // namespace orvane::studio
