#include "app/recording_commands.h"

#include <gtest/gtest.h>

#include "app/preferences.h"
#include "platform/linux/json_preferences_store.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using Phase = ScreenRecorder::Phase;

class RecordingCommandsTest : public ::testing::Test {
protected:
    RecordingCommandsTest() {
        actions.startRecording = [this](const RecordingSource& source) { started.push_back(sourceID(source)); };
        actions.stopRecording = [this] { ++stops; };
        actions.refreshSources = [this] { ++refreshes; };
        actions.installCLI = [this] { ++installs; };
        state.sourcesStatus = RecordingMenuState::Sources::ready;
        DisplaySource main;
        main.id = 1;
        main.name = "Main Display";
        DisplaySource second;
        second.id = 2;
        second.name = "Display 2";
        state.sources.displays = {main, second};
        WindowSource window;
        window.id = 77;
        window.title = "Notes";
        window.appName = "Editor";
        state.sources.windows = {window};
    }

    std::vector<RecordingMenuItem> menu() { return RecordingCommands(preferences, router, actions).menu(state); }

    static const RecordingMenuItem* find(const std::vector<RecordingMenuItem>& items, std::string_view title) {
        for (const auto& item : items) {
            if (item.title == title) return &item;
        }
        return nullptr;
    }
    static std::vector<std::string> titles(const std::vector<RecordingMenuItem>& items) {
        std::vector<std::string> out;
        for (const auto& item : items) {
            if (!item.isSeparator()) out.push_back(item.title);
        }
        return out;
    }

    testing::TempDir dir;
    JsonPreferencesStore store{dir / "preferences.json"};
    Preferences preferences{store};
    RecordingCommandRouter router;
    RecordingMenuActions actions;
    RecordingMenuState state;
    std::vector<std::string> started;
    int stops = 0, refreshes = 0, installs = 0;
};

TEST_F(RecordingCommandsTest, RecordingItemsFollowTheRecorderPhase) {
    // Idle without a remembered source: no quick-start item; screen recording uses the first display.
    auto items = menu();
    EXPECT_EQ(find(items, "Stop Recording"), nullptr);
    ASSERT_NE(find(items, "Start Screen Recording"), nullptr);
    find(items, "Start Screen Recording")->perform();
    EXPECT_EQ(started, std::vector<std::string>{"display:1"});

    preferences.setLastUsedSourceID("window:77");
    items = menu();
    ASSERT_NE(find(items, "Start Recording: Notes"), nullptr);
    find(items, "Start Recording: Notes")->perform();
    EXPECT_EQ(started.back(), "window:77");
    // A remembered source that is gone is not offered.
    preferences.setLastUsedSourceID("window:78");
    EXPECT_EQ(titles(menu())[0], "New Recording...");
    // The last display recorded is the chosen one.
    preferences.setLastUsedSourceID("display:2");
    find(menu(), "Start Screen Recording")->perform();
    EXPECT_EQ(started.back(), "display:2");

    std::optional<Uuid> first;
    find(menu(), "New Recording...")->perform();
    first = router.newRecordingRequest()->id;
    EXPECT_EQ(router.newRecordingRequest()->kind, std::nullopt);
    find(menu(), "Choose in Recording Picker...")->perform();
    EXPECT_NE(router.newRecordingRequest()->id, *first);

    state.phase = Phase::recording;
    items = menu();
    EXPECT_EQ(find(items, "New Recording..."), nullptr);
    find(items, "Stop Recording")->perform();
    state.phase = Phase::starting;
    find(menu(), "Cancel Starting Recording")->perform();
    EXPECT_EQ(stops, 2);
    state.phase = Phase::stopping;
    ASSERT_NE(find(menu(), "Finalizing Recording"), nullptr);
    EXPECT_FALSE(find(menu(), "Finalizing Recording")->enabled);
    state.phase = Phase::failed;
    EXPECT_NE(find(menu(), "New Recording..."), nullptr);

    // Without displays there is nothing to start a screen recording on.
    state.phase = Phase::idle;
    state.sources = {};
    EXPECT_FALSE(find(menu(), "Start Screen Recording")->enabled);
    EXPECT_NE(find(menu(), "No screens found"), nullptr);
}

TEST_F(RecordingCommandsTest, TogglesAndDeviceMenusWriteThePreferences) {
    state.cameras = {{"cam-a", "Front Cam"}, {"cam-b", "USB Cam"}};
    auto items = menu();
    // Defaults: face camera off, microphone and system audio on.
    EXPECT_FALSE(find(items, "Record Face Camera")->checked);
    EXPECT_TRUE(find(items, "Record Microphone")->checked);
    EXPECT_TRUE(find(items, "Record System Audio")->checked);
    ASSERT_NE(find(items, "Face Camera Off"), nullptr);
    ASSERT_NE(find(items, "Microphone: Default"), nullptr);
    EXPECT_EQ(titles(find(items, "Microphone: Default")->submenu), std::vector<std::string>{"No microphones found"});

    find(items, "Record Face Camera")->perform();
    find(items, "Record System Audio")->perform();
    EXPECT_TRUE(preferences.defaultWebcamOn());
    EXPECT_FALSE(preferences.defaultAudioOn());

    items = menu();
    const auto* cameras = find(items, "Face Camera: Default");
    ASSERT_NE(cameras, nullptr);
    EXPECT_EQ(titles(cameras->submenu), (std::vector<std::string>{"System Default", "Front Cam", "USB Cam"}));
    EXPECT_TRUE(cameras->submenu[0].checked);
    cameras->submenu[2].perform();
    EXPECT_EQ(preferences.defaultCameraID(), "cam-b");

    items = menu();
    cameras = find(items, "Face Camera: USB Cam");
    ASSERT_NE(cameras, nullptr);
    EXPECT_FALSE(cameras->submenu[0].checked);
    EXPECT_TRUE(cameras->submenu[2].checked);
    cameras->submenu[0].perform();
    EXPECT_EQ(preferences.defaultCameraID(), "");

    // An unplugged remembered camera reads as the default.
    preferences.setDefaultCameraID("gone");
    EXPECT_NE(find(menu(), "Face Camera: Default"), nullptr);
}

TEST_F(RecordingCommandsTest, SourceStatusCliAndSettingsItems) {
    state.sourcesStatus = RecordingMenuState::Sources::loading;
    auto items = menu();
    EXPECT_FALSE(find(items, "Loading screens...")->enabled);
    find(items, "Refresh Capture Sources")->perform();
    EXPECT_EQ(refreshes, 1);
    state.refreshingSources = true;
    state.sourcesStatus = RecordingMenuState::Sources::needRefresh;
    items = menu();
    EXPECT_EQ(find(items, "Refresh Capture Sources"), nullptr);
    EXPECT_FALSE(find(items, "Refreshing Sources...")->enabled);
    EXPECT_FALSE(find(items, "Sources need refresh")->enabled);

    find(items, "Install Orvane CLI...")->perform();
    EXPECT_EQ(installs, 1);
    state.cliInstalled = true;
    // No remover wired yet: shown, but not clickable.
    EXPECT_FALSE(find(menu(), "Remove Orvane CLI...")->enabled);

    int changes = 0;
    const auto subscription = router.observe([&] { ++changes; });
    find(menu(), "Settings")->perform();
    const auto firstSettings = router.settingsRequestID();
    find(menu(), "Settings")->perform();
    EXPECT_NE(router.settingsRequestID(), firstSettings);
    EXPECT_EQ(changes, 2);
}

}  // namespace
}  // namespace orvane
