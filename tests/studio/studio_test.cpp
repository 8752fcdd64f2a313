#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include <nlohmann/json.hpp>

#include "app/preferences.h"
#include "app/services.h"
#include "media/sample_video.h"
#include "model/recording_files.h"
#include "platform/secret_store.h"
#include "platform/x11/test_display.h"
#include "studio/home_window.h"
#include "studio/library_model.h"
#include "studio/new_recording_dialog.h"
#include "studio/recording_controller.h"
#include "studio/studio_shell.h"
#include "studio/studio_tray.h"
#include "studio/studio_updates.h"
#include "support/http_test_server.h"
#include "support/pulse_test_server.h"
#include "support/required_service.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "update/release_archive_builder.h"
#include "widget_lookup.h"

namespace orvane::studio {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempDir;

QAction* menuBarAction(QMainWindow& window, const QString& title) {
    for (QAction* top : window.menuBar()->actions()) {
        if (top->menu()) {
            if (QAction* found = actionTitled(top->menu(), title)) return found;
        }
    }
    return nullptr;
}

class StudioTest : public ::testing::Test {
protected:
    StudioTest()
        : data_("XDG_DATA_HOME", (dir_.path() / "data").string()),
          config_("XDG_CONFIG_HOME", (dir_.path() / "config").string()),
          cache_("XDG_CACHE_HOME", (dir_.path() / "cache").string()) {
        app::ServiceLocations locations;
        locations.preferencesFile = dir_.path() / "config" / "preferences.json";
        locations.library = LibraryLocation::explicitRoot(dir_.path() / "Library" / "Recordings");
        locations.cacheRoot = dir_.path() / "cache";
        services_ = std::make_unique<app::Services>(locations);
    }
    ~StudioTest() override {
        shell_.reset();
        services_.reset();
    }

    fs::path recordingsRoot() const { return dir_.path() / "Library" / "Recordings"; }

    // The tracks a new recording takes by default; never the face camera, which this machine lacks.
    void recordSound(bool systemAudio, bool microphone) {
        Preferences& preferences = services_->preferences();
        preferences.setDefaultAudioOn(systemAudio);
        preferences.setDefaultMicOn(microphone);
        preferences.setDefaultWebcamOn(false);
    }

    // A recording made `hoursAgo` before now, so the order of the grid does not hang on the clock.
    RecordingMeta addRecording(const std::string& title, double seconds, int hoursAgo = 0) {
        const fs::path file = dir_.path() / (title + ".mp4");
        SampleVideoLayout layout;
        layout.width = 320;
        layout.height = 200;
        layout.seconds = seconds;
        layout.withAudio = false;
        writeSampleVideo(file, layout);
        RecordingMeta meta = services_->library().importVideo(file);
        meta.createdAt -= std::chrono::hours(hoursAgo);
        writeRecordingMeta(services_->library().folderOf(meta.id), meta);
        services_->library().reload();
        return meta;
    }

    HomeWindow& start() {
        shell_ = std::make_unique<StudioShell>(*services_);
        shell_->start();
        return shell_->home();
    }

    QListView* grid() { return named<QListView>("Recordings"); }
    QString titleAt(int row) { return grid()->model()->index(row, 0).data(LibraryModel::TitleRole).toString(); }

    TempDir dir_;
    ScopedEnv data_;
    ScopedEnv config_;
    ScopedEnv cache_;
    std::unique_ptr<app::Services> services_;
    std::unique_ptr<StudioShell> shell_;
};

TEST_F(StudioTest, ShowsThePrivateLibraryAndRenamesSearchesAndDeletesOnDisk) {
    const RecordingMeta older = addRecording("Older take", 2.5, 2);
    const RecordingMeta newer = addRecording("Product tour", 2.5);
    HomeWindow& home = start();

    ASSERT_NE(grid(), nullptr);
    ASSERT_EQ(grid()->model()->rowCount(), 2);
    EXPECT_EQ(titleAt(0), "Product tour") << "newest first";
    EXPECT_EQ(titleAt(1), "Older take");
    EXPECT_EQ(grid()->model()->index(0, 0).data(LibraryModel::DurationRole).toString(), "0:02");

    // Thumbnails are made on the background queue and published through the engine's main loop,
    // which only runs when it is wired into Qt's.
    const auto video = services_->library().folderOf(newer.id).screenVideoFile(newer);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shell_->thumbnails().thumbnail(video) != nullptr; }, 10000));

    // Rename through the dialog: meta.json on disk carries the new title, and the grid shows it.
    grid()->setCurrentIndex(grid()->model()->index(1, 0));
    menuBarAction(home, "Rename...")->trigger();
    auto* rename = named<QInputDialog>("Rename Recording");
    ASSERT_NE(rename, nullptr);
    EXPECT_EQ(rename->textValue(), "Older take");
    rename->setTextValue("Launch demo");
    rename->accept();
    const auto onDisk = readRecordingMeta(services_->library().folderOf(older.id));
    ASSERT_TRUE(onDisk.has_value());
    EXPECT_EQ(onDisk->sourceTitle, "Launch demo");
    EXPECT_EQ(titleAt(1), "Launch demo");

    // Search narrows the grid; no match shows the empty state with what to do.
    auto* search = named<QLineEdit>("Search recordings");
    search->setText("LAUNCH");
    ASSERT_EQ(grid()->model()->rowCount(), 1);
    EXPECT_EQ(titleAt(0), "Launch demo");
    search->setText("nothing like this");
    EXPECT_EQ(grid()->model()->rowCount(), 0);
    auto* empty = named<QLabel>("Empty library");
    EXPECT_TRUE(empty->isVisibleTo(&home));
    EXPECT_TRUE(empty->text().contains("Clear the search"));
    search->clear();

    // Delete asks first: Cancel keeps the folder, Delete removes it from disk and from the grid.
    const fs::path folder = services_->library().folderOf(newer.id).directory;
    grid()->setCurrentIndex(grid()->model()->index(0, 0));
    menuBarAction(home, "Delete...")->trigger();
    auto* confirm = named<QMessageBox>("Delete Recording");
    ASSERT_NE(confirm, nullptr);
    EXPECT_TRUE(confirm->text().contains("Product tour"));
    named<QPushButton>("Cancel")->click();
    EXPECT_TRUE(fs::exists(folder));
    EXPECT_EQ(grid()->model()->rowCount(), 2);
    QTest::qWait(50);  // the cancelled box closes and goes away

    grid()->setCurrentIndex(grid()->model()->index(0, 0));
    menuBarAction(home, "Delete...")->trigger();
    named<QPushButton>("Delete")->click();
    EXPECT_FALSE(fs::exists(folder));
    ASSERT_EQ(grid()->model()->rowCount(), 1);
    EXPECT_EQ(titleAt(0), "Launch demo");

    // Duplicate adds a copy beside it, selected.
    grid()->setCurrentIndex(grid()->model()->index(0, 0));
    menuBarAction(home, "Duplicate")->trigger();
    ASSERT_EQ(grid()->model()->rowCount(), 2);
    EXPECT_EQ(titleAt(grid()->currentIndex().row()), "Launch demo copy");
}

TEST_F(StudioTest, DamagedEntriesShowAnErrorStateAndRecoveredCapturesAToast) {
    // A folder whose meta.json is not JSON, and a capture cut off before its movie could play,
    // there before the library first opens.
    testing::writeTextFile(recordingsRoot() / "BROKEN-META" / "meta.json", "{ this is not json");
    testing::writeTextFile(recordingsRoot() / "CUT-OFF" / "screen.mp4", "not a movie");
    addRecording("Good one", 1.0);
    start();

    ASSERT_EQ(grid()->model()->rowCount(), 1);
    EXPECT_EQ(titleAt(0), "Good one");
    auto* banner = named<QFrame>("Library problem");
    ASSERT_NE(banner, nullptr);
    EXPECT_TRUE(banner->isVisibleTo(&shell_->home()));
    const QString problem = named<QLabel>("Library problem details")->text();
    EXPECT_TRUE(problem.contains("BROKEN-META")) << problem.toStdString();
    EXPECT_TRUE(problem.contains("Reload"));
    EXPECT_TRUE(fs::exists(recordingsRoot() / "BROKEN-META" / "meta.json")) << "a damaged entry is left as it was";

    EXPECT_NE(named<QFrame>("Recovered 1 unfinished recording"), nullptr);
    EXPECT_TRUE(fs::exists(dir_.path() / "Library" / "Recovered" / "CUT-OFF"));

    // Once the folder is dealt with, Reload clears the banner.
    fs::remove_all(recordingsRoot() / "BROKEN-META");
    named<QPushButton>("Reload Library")->click();
    EXPECT_FALSE(banner->isVisibleTo(&shell_->home()));
}

TEST_F(StudioTest, ToastsShowTheirActionsAndLeaveWhenDone) {
    start();
    int performed = 0;
    services_->toasts().post(ToastLevel::warning, "Low disk space", std::string("Only 900 MB free."),
                             {{"Open Folder", [&performed] { ++performed; }}});
    services_->toasts().post(ToastLevel::info, "Exported");
    auto* card = named<QFrame>("Low disk space");
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->property("level").toString(), "warning");
    EXPECT_EQ(named<QLabel>("Low disk space detail")->text(), "Only 900 MB free.");
    named<QPushButton>("Open Folder")->click();
    EXPECT_EQ(performed, 1);
    EXPECT_EQ(services_->toasts().toasts().size(), 1u);
    QTest::qWait(10);
    EXPECT_EQ(named<QFrame>("Low disk space"), nullptr);
    // An info toast leaves by itself after its lifetime: the engine's timer fires through Qt's loop.
    EXPECT_TRUE(QTest::qWaitFor([&] { return services_->toasts().toasts().empty(); }, 8000));
}

TEST_F(StudioTest, SettingsWritePreferencesAndKeepSecretsOutOfThem) {
    HomeWindow& home = start();
    QAction* open = menuBarAction(home, "Settings...");
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->shortcut(), QKeySequence("Ctrl+,"));
    open->trigger();
    auto* systemAudio = named<QCheckBox>("Record system audio");
    ASSERT_NE(systemAudio, nullptr);
    EXPECT_TRUE(systemAudio->window()->isVisible()) << "Ctrl+, opens the settings";
    ASSERT_TRUE(systemAudio->isChecked()) << "the documented default";
    systemAudio->click();
    EXPECT_FALSE(services_->preferences().defaultAudioOn());
    const auto preferencesFile =
        nlohmann::json::parse(testing::readTextFile(dir_.path() / "config" / "preferences.json"));
    EXPECT_EQ(preferencesFile.value("zantDefaultAudioOn", true), false) << preferencesFile.dump();

    auto* token = named<QLineEdit>("Backend token");
    ASSERT_NE(token, nullptr);
    token->setText("s3cret-token");
    Q_EMIT token->editingFinished();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return services_->secrets().read("byoBackendBearerToken") == std::optional<std::string>("s3cret-token");
        },
        5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return token->placeholderText() == "Stored in the keychain"; }, 5000));
    EXPECT_TRUE(token->text().isEmpty()) << "the field never shows the secret";
    const std::string afterSecret = testing::readTextFile(dir_.path() / "config" / "preferences.json");
    EXPECT_EQ(afterSecret.find("s3cret-token"), std::string::npos);
}

TEST_F(StudioTest, OnWaylandTheShortcutsPageShowsTheCommandsToBindAndCopiesThem) {
    HomeWindow& home = start();
    // A Wayland session whose desktop offers no shortcuts portal (no session bus at all here, so no
    // desktop portal the machine has installed can answer), with the command on the path.
    testing::ScopedEnv wayland("WAYLAND_DISPLAY", std::string("wayland-test"));
    testing::ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", std::string("unix:path=/nonexistent/bus"));
    testing::writeTextFile(dir_.path() / "bin" / "orvane", "#!/bin/sh\n");
    fs::permissions(dir_.path() / "bin" / "orvane", fs::perms::owner_all);
    testing::ScopedEnv path("PATH", (dir_.path() / "bin").string() + ":/usr/bin:/bin");
    menuBarAction(home, "Settings...")->trigger();

    EXPECT_EQ(named<QCheckBox>("Global shortcut for a new recording"), nullptr)
        << "no switch for key grabs that would reach nothing";
    auto* note = named<QLabel>("Shortcuts on Wayland");
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->text().contains("Custom Shortcuts"));
    auto* record = named<QLineEdit>("New recording command");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->text(), "orvane open \"orvane://record\"");
    EXPECT_TRUE(record->isReadOnly());
    EXPECT_EQ(named<QLineEdit>("Screenshot command")->text(), "orvane screenshot");

    QApplication::clipboard()->clear();
    named<QPushButton>("Copy new recording command")->click();
    EXPECT_EQ(QApplication::clipboard()->text(), record->text());
}

TEST_F(StudioTest, StartingAndStoppingFromTheRecordingMenuAddsARecording) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    // Screen only: this test is about the window, not the sound server or a camera.
    recordSound(false, false);
    HomeWindow& home = start();
    RecordingController& recording = shell_->recording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.catalogStatus() != CatalogStatus::loading; }, 10000));
    ASSERT_EQ(recording.catalogStatus(), CatalogStatus::loaded) << recording.catalogError().toStdString();

    // "New Recording..." goes through the router to the sheet, which preselects the first display.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return actionTitled(home.recordingMenu(), "New Recording...") != nullptr; }, 2000));
    actionTitled(home.recordingMenu(), "New Recording...")->trigger();
    auto* sheet = named<QDialog>("New Recording");
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    const auto picked = home.newRecordingDialog()->selectedSource();
    ASSERT_TRUE(picked.has_value());
    EXPECT_EQ(sourceID(*picked), sourceID(recording.catalog().displays.front()));
    sheet->reject();

    QSignalSpy finished(&recording, &RecordingController::recordingFinished);
    // The menu is built again on the next turn after each change (and whenever it opens).
    QAction* start = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            start = actionTitled(home.recordingMenu(), "Start Screen Recording");
            return start != nullptr && start->isEnabled();
        },
        2000));
    start->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.phase() == ScreenRecorder::Phase::recording; }, 15000));
    EXPECT_TRUE(named<QWidget>("Recording control")->isVisible());
    EXPECT_EQ(actionTitled(home.recordingMenu(), "New Recording..."), nullptr);
    QTest::qWait(1200);

    // The tray holds the same commands and shows that a recording runs; this one stops it.
    StudioTray& tray = shell_->tray();
    EXPECT_EQ(tray.toolTip(), "Orvane — Recording");
    tray.rebuildMenu();
    EXPECT_NE(actionTitled(home.recordingMenu(), "Stop Recording"), nullptr);
    QAction* stop = actionTitled(tray.menu(), "Stop Recording");
    ASSERT_NE(stop, nullptr);
    stop->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 30000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return tray.toolTip() == "Orvane"; }, 5000));
    ASSERT_EQ(services_->library().recordings().size(), 1u);
    const RecordingMeta& made = services_->library().recordings().front();
    EXPECT_GT(made.durationMs, 500);
    EXPECT_TRUE(fs::exists(services_->library().folderOf(made.id).screenVideoFile(made)));
    EXPECT_EQ(grid()->model()->rowCount(), 1);
    EXPECT_EQ(grid()->currentIndex().row(), 0) << "the new recording is selected";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !named<QWidget>("Recording control")->isVisible(); }, 5000));

    // The source is remembered, so the quick start offers it.
    EXPECT_EQ(services_->preferences().lastUsedSourceID().rfind("display:", 0), 0u);
    auto* quick =
        named<QToolButton>(QString::fromStdString("Start Recording: " + recording.catalog().displays.front().name));
    ASSERT_NE(quick, nullptr);
    // The toolbar lays out a shown widget on its next turn.
    EXPECT_TRUE(QTest::qWaitFor([&] { return quick->isVisibleTo(&home); }, 2000));
}

TEST_F(StudioTest, ARecordingOutlivesItsSoundServerGoingAway) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    auto sound = std::make_unique<testing::PulseTestServer>();
    ORVANE_REQUIRE_SERVICE(sound->unavailableReason().empty(), "a private PulseAudio daemon");
    recordSound(true, true);
    HomeWindow& home = start();
    RecordingController& recording = shell_->recording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.catalogStatus() == CatalogStatus::loaded; }, 10000));
    QSignalSpy finished(&recording, &RecordingController::recordingFinished);
    QAction* begin = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (begin = actionTitled(home.recordingMenu(), "Start Screen Recording")) && begin->isEnabled(); },
        2000));
    begin->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.phase() == ScreenRecorder::Phase::recording; }, 15000));
    QTest::qWait(800);

    // The sound server dies mid-recording: the picture goes on, stopping still finishes the
    // recording, and the studio keeps answering.
    sound.reset();
    QTest::qWait(800);
    QAction* stop = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (stop = actionTitled(home.recordingMenu(), "Stop Recording")); }, 5000));
    stop->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 30000));
    ASSERT_EQ(services_->library().recordings().size(), 1u);
    const RecordingMeta& made = services_->library().recordings().front();
    EXPECT_GT(made.durationMs, 1200);
    EXPECT_TRUE(fs::exists(services_->library().folderOf(made.id).screenVideoFile(made)));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return actionTitled(home.recordingMenu(), "New Recording...") != nullptr; }, 5000));
}

// The recorded window closes mid-recording: the studio says why, lists what was recorded until then
// and is ready for the next recording.
TEST_F(StudioTest, AWindowClosedWhileItIsRecordedKeepsItsFootageAndSaysWhy) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    recordSound(false, false);
    auto look = testing::TestWindow::Look::at(60, 60, 320, 240, 0x2080F0);
    look.title = "Closing Soon";
    auto doomed = std::make_unique<testing::TestWindow>(look);
    HomeWindow& home = start();
    RecordingController& recording = shell_->recording();
    std::optional<RecordingSource> source;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (recording.catalogStatus() != CatalogStatus::loaded) return false;
            for (const WindowSource& window : recording.catalog().windows) {
                if (window.title == "Closing Soon") source = window;
            }
            return source.has_value();
        },
        10000));
    ASSERT_TRUE(recording.startWithSource(source));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.phase() == ScreenRecorder::Phase::recording; }, 15000));
    QTest::qWait(1200);

    doomed.reset();
    const auto said = [&] {
        for (const Toast& toast : services_->toasts().toasts()) {
            if (toast.title == "Recording did not finish cleanly: The window being recorded was closed.") return true;
        }
        return false;
    };
    ASSERT_TRUE(QTest::qWaitFor(said, 15000));
    ASSERT_EQ(services_->library().recordings().size(), 1u) << "what was recorded is listed at once";
    const RecordingMeta& kept = services_->library().recordings().front();
    EXPECT_GT(kept.durationMs, 600);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return actionTitled(home.recordingMenu(), "New Recording...") != nullptr; }, 5000));
}

// Install CLI, the update check and the offer's answers, from the menus a user has. This copy runs
// from the build folder, which is not the installed location.
TEST_F(StudioTest, TheCommandLineLinkAndUpdatesAnswerInTheirOwnWords) {
    const fs::path home = dir_.path() / "home";
    const fs::path installed = home / ".local" / "lib" / "orvane";
    testing::writeTree(installed, {{"bin/orvane", {"#!/bin/sh\n", true}},
                                   {"share/orvane/release.json", {R"({"identifier":"org.orvane.Orvane"})", false}}});
    const auto installedBefore = testing::snapshotTree(installed);
    testing::SigningKey key;
    std::string manifest = R"({"app":{"version":"9.0.0","build":"3","downloadPath":"/downloads/orvane.tar.xz"}})";
    testing::TestHttpServer site([&](const testing::TestHttpRequest& request) {
        if (request.path == "/downloads/manifest.json") return testing::TestHttpResponse::json(200, manifest);
        if (request.path == "/downloads/orvane.tar.xz") return testing::TestHttpResponse{200, {}, "not an archive"};
        if (request.path == "/downloads/orvane.tar.xz.sig")
            return testing::TestHttpResponse{200, {}, key.sign("other")};
        return testing::TestHttpResponse{404, {}, {}};
    });
    testing::writeTextFile(
        dir_.path() / "bundle.json",
        R"({"OrvaneBuildChannel":"production","OrvaneUpdatePublicKey":")" + key.publicKeyBase64() + "\"}");
    ScopedEnv homeEnv("HOME", home.string());
    ScopedEnv bundle("ORVANE_BUNDLE", (dir_.path() / "bundle.json").string());
    ScopedEnv siteURL("ORVANE_SERVICE_URL_SITE", site.baseURL());
    HomeWindow& window = start();

    // Install CLI is offered and answers with the installer's reason; nothing is linked.
    QAction* install = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            shell_->tray().rebuildMenu();
            install = actionTitled(shell_->tray().menu(), "Install Orvane CLI...");
            return install != nullptr;
        },
        2000));
    ASSERT_TRUE(install->isEnabled());
    install->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !services_->toasts().toasts().empty(); }, 5000));
    const Toast toast = services_->toasts().toasts().back();
    EXPECT_EQ(toast.title, "Couldn't install the CLI");
    // The test program has no `orvane` beside it, as a build folder's studio has none.
    EXPECT_EQ(toast.detail, std::optional<std::string>("This Orvane build does not include the command-line tool."));
    EXPECT_FALSE(fs::exists(fs::symlink_status(home / ".local" / "bin" / "orvane")));

    // Asked from the menu, a newer release is offered in the offer's words, and "Later" remembers it.
    StudioUpdates& updates = shell_->updates();
    menuBarAction(window, "Check for Updates...")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return updates.notice() != nullptr; }, 10000));
    EXPECT_EQ(updates.notice()->windowTitle(), "A Orvane update is available");
    EXPECT_NE(updates.notice()->text().indexOf("Version 9.0.0 (3) is ready to install"), -1)
        << updates.notice()->text().toStdString();
    buttonTitled(updates.notice(), "Later")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return updates.notice() == nullptr; }, 2000));
    EXPECT_EQ(services_->preferences().lastPromptedUpdateVersion(), std::optional<std::string>("9.0.0"));

    // An automatic check does not offer the same release twice; a user's check does, and installing
    // an archive whose signature does not verify says so and leaves the installed copy alone.
    const std::size_t asked = site.requestCount();
    updates.check(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return site.requestCount() > asked; }, 10000));
    QTest::qWait(300);
    EXPECT_EQ(updates.notice(), nullptr);
    updates.check(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return updates.notice() != nullptr; }, 10000));
    buttonTitled(updates.notice(), "Install and Relaunch")->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return updates.notice() != nullptr && updates.notice()->windowTitle() == "Could not install the update";
        },
        15000));
    EXPECT_NE(updates.notice()->text().indexOf("You can still download the signed installer manually."), -1)
        << updates.notice()->text().toStdString();
    EXPECT_NE(buttonTitled(updates.notice(), "Download Installer"), nullptr);
    EXPECT_EQ(testing::snapshotTree(installed), installedBefore);
    updates.notice()->close();
}

}  // namespace
}  // namespace orvane::studio

namespace orvane::studio {
namespace {

TEST(DurationText, ShowsMinutesAndSecondsAndHoursOnlyWhenThereAreAny) {
    EXPECT_EQ(durationText(0), "0:00");
    EXPECT_EQ(durationText(-5), "0:00");
    EXPECT_EQ(durationText(7999), "0:07");
    EXPECT_EQ(durationText(750'000), "12:30");
    EXPECT_EQ(durationText(3'599'999), "59:59");
    EXPECT_EQ(durationText(3'723'000), "1:02:03");
}

TEST_F(StudioTest, ProjectsInTheSidebarNarrowTheGridAndFollowTheLibrary) {
    const RecordingMeta member = addRecording("Member", 1.0, 1);
    addRecording("Outsider", 1.0);
    HomeWindow& home = start();

    menuBarAction(home, "New Project...")->trigger();
    auto* dialog = named<QInputDialog>("New Project");
    ASSERT_NE(dialog, nullptr);
    dialog->setTextValue("Launch");
    dialog->accept();
    ASSERT_EQ(services_->library().projects().size(), 1u);
    EXPECT_NE(testing::readTextFile(dir_.path() / "Library" / "projects.json").find("Launch"), std::string::npos);
    services_->library().addToProject(services_->library().projects().front().id, member.id);

    auto* projects = named<QListWidget>("Projects");
    ASSERT_NE(projects, nullptr);
    ASSERT_EQ(projects->count(), 2);
    EXPECT_EQ(projects->item(1)->text(), "Launch");
    projects->setCurrentRow(1);
    ASSERT_EQ(grid()->model()->rowCount(), 1);
    EXPECT_EQ(titleAt(0), "Member");

    // A project deleted elsewhere (the command line) takes the sidebar back to every recording.
    services_->library().deleteProject(services_->library().projects().front().id);
    EXPECT_EQ(projects->count(), 1);
    EXPECT_EQ(projects->currentRow(), 0);
    EXPECT_EQ(grid()->model()->rowCount(), 2);
}

TEST_F(StudioTest, TheSheetAndTheRecordingMenuShareTheTrackSwitches) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    HomeWindow& home = start();
    RecordingController& recording = shell_->recording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.catalogStatus() == CatalogStatus::loaded; }, 10000));

    home.presentNewRecording(std::nullopt);
    auto* displays = named<QListWidget>("Displays");
    ASSERT_NE(displays, nullptr);
    ASSERT_GE(displays->count(), 1);
    EXPECT_TRUE(
        displays->item(0)->text().startsWith(QString::fromStdString(recording.catalog().displays.front().name)));
    auto* microphone = named<QCheckBox>("Record Microphone");
    ASSERT_TRUE(microphone->isChecked()) << "the documented default";
    microphone->click();
    EXPECT_FALSE(services_->preferences().defaultMicOn());
    EXPECT_EQ(named<QComboBox>("Microphone device")->itemText(0), "System Default");
    home.newRecordingDialog()->reject();

    // The menu's switch writes the same preference, and the sheet shows it the next time it opens.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return actionTitled(home.recordingMenu(), "Record Face Camera") != nullptr; }, 2000));
    actionTitled(home.recordingMenu(), "Record Face Camera")->trigger();
    EXPECT_TRUE(services_->preferences().defaultWebcamOn());
    home.presentNewRecording(std::nullopt);
    EXPECT_TRUE(named<QCheckBox>("Record Face Camera")->isChecked());
    EXPECT_FALSE(named<QCheckBox>("Record Microphone")->isChecked());
    home.newRecordingDialog()->reject();
}

TEST_F(StudioTest, CancelOnTheFloatingControlThrowsTheRecordingAway) {
    ORVANE_REQUIRE_SERVICE(std::getenv("DISPLAY") != nullptr, "an X server (run under scripts/with-test-services.sh)");
    recordSound(false, false);
    start();
    RecordingController& recording = shell_->recording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.catalogStatus() == CatalogStatus::loaded; }, 10000));
    ASSERT_TRUE(recording.startWithSource(std::nullopt, RecordingSourceKind::display));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.phase() == ScreenRecorder::Phase::recording; }, 15000));
    QTest::qWait(500);

    named<QPushButton>("Cancel Recording")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recording.phase() == ScreenRecorder::Phase::idle; }, 30000));
    QTest::qWait(100);
    EXPECT_TRUE(services_->library().recordings().empty());
    EXPECT_TRUE(fs::is_empty(recordingsRoot())) << "the discarded folder is gone from disk";
    EXPECT_TRUE(services_->toasts().toasts().empty()) << "a cancel is not an error";
}

}  // namespace
}  // namespace orvane::studio
