#include <gtest/gtest.h>

#include "app/preference_adapters.h"
#include "base/manual_executor.h"
#include "platform/linux/json_preferences_store.h"
#include "recording/panels/panel_frame_text.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

class PreferenceAdaptersTest : public ::testing::Test {
protected:
    testing::TempDir dir_;
    JsonPreferencesStore store_{dir_ / "preferences.json"};
    Preferences preferences_{store_};
};

TEST_F(PreferenceAdaptersTest, RecordingOptionsComeFromThePreferencesAndTheCursorModeIsRemembered) {
    auto options = optionsFromPreferences(preferences_);
    // System audio and the microphone are on for new users; the camera and window chrome are off.
    EXPECT_TRUE(options.includeSystemAudio && options.includeMicrophone);
    EXPECT_FALSE(options.includeWebcam || options.includeWindowChrome);
    EXPECT_TRUE(options.activateSource);
    EXPECT_FALSE(options.showSystemCursor);  // "pointer" by default: the editor draws it
    EXPECT_TRUE(options.captureCursorTelemetry);

    preferences_.setDefaultAudioOn(false);
    preferences_.setDefaultWebcamOn(true);
    preferences_.setDefaultIncludeWindowChrome(true);
    preferences_.setDefaultCursorVisualStyle("outline");
    options = optionsFromPreferences(preferences_);
    EXPECT_FALSE(options.includeSystemAudio);
    EXPECT_TRUE(options.includeWebcam && options.includeMicrophone && options.includeWindowChrome);
    EXPECT_EQ(options.preferredCursorVisualStyle, "outline");

    applyCursorMode(options, "system", preferences_);
    EXPECT_TRUE(options.showSystemCursor);
    EXPECT_FALSE(options.preferredCursorVisualStyle) << "a burned-in pointer has no style of ours";
    EXPECT_EQ(preferences_.defaultRecordingCursorMode(), "system");
    EXPECT_FALSE(preferences_.defaultMobileTouchMode());
    EXPECT_TRUE(optionsFromPreferences(preferences_).showSystemCursor) << "the next recording starts in that mode";
    applyCursorMode(options, "touch", preferences_);
    EXPECT_FALSE(options.showSystemCursor);
    EXPECT_EQ(options.preferredCursorVisualStyle, "touch");
    EXPECT_TRUE(preferences_.defaultMobileTouchMode());
    applyCursorMode(options, "largePointer", preferences_);
    EXPECT_EQ(preferences_.defaultRecordingCursorMode(), "pointer");
    EXPECT_EQ(options.preferredCursorVisualStyle, "outline");
    EXPECT_TRUE(options.includeWebcam);  // the mode leaves the other choices alone

    rememberLastUsedSource(preferences_)("window:12");
    EXPECT_EQ(preferences_.lastUsedSourceID(), "window:12");
}

TEST_F(PreferenceAdaptersTest, PanelsScreenshotsAndTheEditorReadWhatWasStoredAndStoreWhatChanges) {
    FaceCameraPanel face(faceCameraPanelMemory(preferences_));
    face.restore(faceCameraPanelSettings(preferences_));
    EXPECT_EQ(face.cornerRadius(), FaceCameraPanel::kDefaultCornerRadius);
    face.setScreenFrame({40, 60, 300, 200});
    face.setCornerRadius(30);
    face.setFlipped(true);
    FaceCameraPanel again(faceCameraPanelMemory(preferences_));
    again.restore(faceCameraPanelSettings(preferences_));
    EXPECT_EQ(again.screenFrame(), (Rect{40, 60, 300, 200}));
    EXPECT_EQ(again.cornerRadius(), 30);
    EXPECT_TRUE(again.isFlipped());

    ManualExecutor main;
    {
        TeleprompterController teleprompter(teleprompterSettings(preferences_), teleprompterMemory(preferences_), main);
        teleprompter.setFontSize(44);
        teleprompter.setOpacity(0.2);
        teleprompter.setScrollSpeed(12);
        teleprompter.setFrame({100, 80, 600, 300});
    }
    TeleprompterController reopened(teleprompterSettings(preferences_), teleprompterMemory(preferences_), main);
    EXPECT_EQ(reopened.fontSize(), 44);
    EXPECT_EQ(reopened.opacity(), 0.2);
    EXPECT_EQ(reopened.scrollSpeed(), 12);
    EXPECT_EQ(reopened.storedFrame(), (Rect{100, 80, 600, 300}));

    EXPECT_EQ(screenshotDestination(preferences_), ScreenshotDestination::project);
    preferences_.setScreenshotDestination("desktop");
    EXPECT_EQ(screenshotDestination(preferences_), ScreenshotDestination::desktop);

    auto settings = editorSettings(preferences_);
    EXPECT_TRUE(settings.autoZoomOnClicks);
    EXPECT_FALSE(settings.autoZoomCinematic || settings.unifiedLayerModel);
    preferences_.setAutoZoomOnClicks(false);
    preferences_.setAutoZoomCinematic(true);
    preferences_.setUnifiedLayerModelEnabled(true);
    settings = editorSettings(preferences_);
    EXPECT_FALSE(settings.autoZoomOnClicks);
    EXPECT_TRUE(settings.autoZoomCinematic && settings.unifiedLayerModel);
}

TEST_F(PreferenceAdaptersTest, TheAccountSessionIsKeptAndForgottenWithoutTouchingOtherPreferences) {
    preferences_.setDefaultMicOn(false);
    EXPECT_FALSE(storedAuthSession(preferences_).expiresAt);
    const auto keep = keepAuthSession(preferences_);
    keep(StoredAuthSession{"2026-12-01T01:00:00Z", "{\"id\":\"user-1\"}"});
    const auto stored = storedAuthSession(preferences_);
    EXPECT_EQ(stored.expiresAt, "2026-12-01T01:00:00Z");
    EXPECT_EQ(stored.user, "{\"id\":\"user-1\"}");
    keep(std::nullopt);
    EXPECT_FALSE(preferences_.authExpiresAt() || preferences_.authCachedUser());
    EXPECT_FALSE(store_.get(preference_keys::authExpiresAt)) << "removed, not set to a blank";
    EXPECT_FALSE(preferences_.defaultMicOn());
}

}  // namespace
}  // namespace orvane
