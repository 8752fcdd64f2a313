#include <gtest/gtest.h>

#include <algorithm>

#include "studio/recording_menu.h"

namespace orvane::studio {
namespace {

using Phase = ScreenRecorder::Phase;

std::vector<std::string> titles(const std::vector<MenuEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& entry : entries) {
        if (!entry.separator) out.push_back(entry.title);
    }
    return out;
}

const MenuEntry& entryTitled(const std::vector<MenuEntry>& entries, const std::string& prefix) {
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const MenuEntry& e) { return e.title.rfind(prefix, 0) == 0; });
    if (found == entries.end()) throw std::runtime_error("no entry " + prefix);
    return *found;
}

bool has(const std::vector<MenuEntry>& entries, const std::string& title) {
    const auto all = titles(entries);
    return std::find(all.begin(), all.end(), title) != all.end();
}

TEST(RecordingMenu, StartAndStopCommandsFollowTheRecorderPhase) {
    RecordingMenuState state;
    state.catalog = CatalogStatus::loaded;
    state.screenCount = 1;
    auto idle = recordingMenuEntries(state);
    EXPECT_FALSE(has(idle, "Stop Recording"));
    EXPECT_EQ(titles(idle).front(), "New Recording...") << "no quick start without a known last source";
    EXPECT_TRUE(has(idle, "Start Screen Recording"));
    EXPECT_TRUE(has(idle, "Choose in Recording Picker..."));

    state.lastSourceName = "Main Display";
    idle = recordingMenuEntries(state);
    EXPECT_EQ(titles(idle).front(), "Start Recording: Main Display");
    EXPECT_EQ(idle.front().command, MenuCommand::startLastSource);

    // A finished or failed recorder offers a new start, like idle.
    state.phase = Phase::failed;
    EXPECT_EQ(titles(recordingMenuEntries(state)).front(), "Start Recording: Main Display");

    state.phase = Phase::recording;
    auto recording = recordingMenuEntries(state);
    EXPECT_EQ(titles(recording).front(), "Stop Recording");
    EXPECT_FALSE(has(recording, "New Recording..."));

    state.phase = Phase::starting;
    EXPECT_EQ(recordingMenuEntries(state).front().command, MenuCommand::cancelStarting);
    EXPECT_EQ(recordingMenuEntries(state).front().title, "Cancel Starting Recording");

    state.phase = Phase::stopping;
    const auto stopping = recordingMenuEntries(state);
    EXPECT_EQ(stopping.front().title, "Finalizing Recording");
    EXPECT_FALSE(stopping.front().enabled);
    // Always there, whatever the phase.
    for (const char* always :
         {"Record Face Camera", "Record Microphone", "Record System Audio", "Refresh Capture Sources", "Settings"}) {
        EXPECT_TRUE(has(stopping, always)) << always;
    }
}

TEST(RecordingMenu, DeviceMenusNameTheChoiceAndListTheCatalogue) {
    RecordingMenuState state;
    state.catalog = CatalogStatus::loaded;
    state.screenCount = 1;
    state.includeWebcam = false;
    state.includeMicrophone = true;
    state.microphones = {{"mic-a", "USB Mic"}, {"mic-b", "Headset"}};
    auto entries = recordingMenuEntries(state);
    EXPECT_EQ(entryTitled(entries, "Face Camera").title, "Face Camera Off");
    const MenuEntry& cameras = entryTitled(entries, "Face Camera");
    ASSERT_EQ(cameras.children.size(), 1u);
    EXPECT_EQ(cameras.children[0].title, "No cameras found");
    EXPECT_FALSE(cameras.children[0].enabled);

    const MenuEntry& mics = entryTitled(entries, "Microphone");
    EXPECT_EQ(mics.title, "Microphone: Default");
    ASSERT_EQ(titles(mics.children), (std::vector<std::string>{"System Default", "USB Mic", "Headset"}));
    EXPECT_TRUE(*mics.children[0].checked);
    EXPECT_EQ(mics.children[0].argument, "") << "System Default clears the stored identifier";
    EXPECT_EQ(mics.children[2].argument, "mic-b");

    state.microphoneID = "mic-b";
    entries = recordingMenuEntries(state);
    const MenuEntry& chosen = entryTitled(entries, "Microphone");
    EXPECT_EQ(chosen.title, "Microphone: Headset");
    EXPECT_FALSE(*chosen.children[0].checked);
    EXPECT_TRUE(*chosen.children[2].checked);
    EXPECT_TRUE(*entryTitled(entries, "Record Microphone").checked);
    EXPECT_FALSE(*entryTitled(entries, "Record Face Camera").checked);
}

TEST(RecordingMenu, SourceNotesSayWhereTheCatalogueStands) {
    RecordingMenuState state;
    EXPECT_TRUE(has(recordingMenuEntries(state), "Loading screens..."));
    EXPECT_FALSE(entryTitled(recordingMenuEntries(state), "Start Screen Recording").enabled);
    state.catalog = CatalogStatus::failed;
    EXPECT_TRUE(has(recordingMenuEntries(state), "Sources need refresh"));
    state.catalog = CatalogStatus::loaded;
    EXPECT_TRUE(has(recordingMenuEntries(state), "No screens found"));
    state.refreshing = true;
    const auto busy = recordingMenuEntries(state);
    EXPECT_TRUE(has(busy, "Refreshing Sources..."));
    EXPECT_FALSE(entryTitled(busy, "Refreshing Sources...").enabled);
    state.refreshing = false;
    state.screenCount = 2;
    const auto ready = recordingMenuEntries(state);
    EXPECT_FALSE(has(ready, "No screens found"));
    EXPECT_FALSE(has(ready, "Loading screens..."));
}

}  // namespace
}  // namespace orvane::studio
