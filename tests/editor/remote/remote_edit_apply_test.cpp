#include "editor/remote_edit_apply.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "editor/remote_edit_json.h"

namespace orvane {
namespace {

using json = nlohmann::json;

class RemoteEditApply : public ::testing::Test {
protected:
    EditorState state{Uuid::random(), "/recordings/A/screen.mp4"};
    int notifications = 0;
    Subscription subscription = state.changed.subscribe([this](const EditorChange&) { ++notifications; });

    void apply(json record) {
        record["video_id"] = "v_1";
        const auto edits = videoEditsOutFromJson(record);
        ASSERT_TRUE(edits);
        applyRemoteEdits(state, *edits);
    }
    const EditorValues& values() const { return state.values(); }

    // Local settings that differ from every neutral value.
    void customiseLocally() {
        state.modify([](EditorValues& v) {
            v.edit.timeline.trimStart = 2;
            v.edit.frame.inset = 0.1;
            v.edit.frame.cornerRadius = 4;
            v.edit.timeline.cameraSmoothing = 0.2;
            v.edit.frame.background = BackgroundStyle::obsidian;
            v.edit.frame.chromeStyle = WindowChromeStyle::dark;
            v.edit.frame.showWindowChrome = true;
            v.edit.captions.showCaptions = false;
            v.edit.frame.windowTitle = "Local";
            v.edit.frame.zoomReactiveFaceCamScale = 0.5;
            v.edit.cursor.cursorClickSoundVolume = 1.5f;
            v.edit.audio.backgroundMusicVolume = 0.15f;
            v.edit.frame.exportAspect = ExportAspectRatio::square;
            v.edit.timeline.zoomRegions = {ZoomRegion{}};
        });
        notifications = 0;
    }
};

TEST_F(RemoteEditApply, NeutralValuesOverwriteOnlyWhenNamedInSetFields) {
    const EditorValues pristine = values();
    customiseLocally();
    const json neutral = {{"trim_start", 0.0},         {"inset", 0.04},
                          {"corner_radius", 10.0000001}, {"background", "bone"},
                          {"chrome_style", "auto"},      {"show_window_chrome", false},
                          {"window_chrome_title", ""},   {"camera_smoothing", 0.6},
                          {"show_captions", true},       {"zoom_reactive_face_cam_scale", 0.75},
                          {"cursor_click_sound_volume", 1.0}, {"background_music_volume", 0.3},
                          {"export_aspect", "automatic"}, {"zoom_regions", json::array()}};
    const EditorValues before = values();
    apply(neutral);
    EXPECT_EQ(values(), before);
    EXPECT_EQ(notifications, 0);

    // Just outside the tolerance is a real value.
    apply({{"inset", 0.040002}, {"trim_start", 1e-9}});
    EXPECT_DOUBLE_EQ(values().edit.frame.inset, 0.040002);
    EXPECT_DOUBLE_EQ(values().edit.timeline.trimStart, 1e-9);

    json named = neutral;
    for (const auto& item : neutral.items()) named["set_fields"].push_back(item.key());
    apply(named);
    // Every local setting is overwritten; the neutral values are the defaults but for these two.
    EditorValues expected = pristine;
    expected.edit.frame.cornerRadius = 10.0000001;
    expected.edit.audio.backgroundMusicVolume = 0.3f;
    EXPECT_EQ(values(), expected);
}

TEST_F(RemoteEditApply, ValuesAreClampedMappedAndAppliedInOneUndolessChange) {
    state.modify([](EditorValues& v) { v.edit.timeline.trimEnd = 30; });
    notifications = 0;
    apply({{"zoom_reactive_face_cam_scale", 5},
           {"cursor_click_sound_volume", -1},
           {"trim_end", 0},  // applied whenever present
           {"export_aspect", "vertical"},
           {"chrome_style", "sepia"},  // unknown: ignored
           {"cursor_click_animation_style", "brush"},
           {"cursor_icon_symbol", " hand.tap.fill "},
           {"cursor_ring_style", "Blue"},
           {"draws_synthetic_cursor", true},
           {"original_audio_volume", 0.5},
           {"recording_frame", {{"x", 0.1}, {"y", 0.1}, {"width", 0.8}, {"height", 0.8}}},
           {"crop_rect", {{"x", 0}, {"y", 0}, {"width", 0.5}}}});
    EXPECT_EQ(values().edit.frame.zoomReactiveFaceCamScale, 1.0);
    EXPECT_EQ(values().edit.cursor.cursorClickSoundVolume, 0.0f);
    EXPECT_EQ(values().edit.timeline.trimEnd, 0.0);
    EXPECT_EQ(values().edit.frame.exportAspect, ExportAspectRatio::vertical);
    EXPECT_EQ(values().edit.frame.chromeStyle, WindowChromeStyle::automatic);
    EXPECT_EQ(values().edit.cursor.cursorClickAnimationStyle, CursorClickAnimationStyle::pulse);
    EXPECT_EQ(values().edit.cursor.cursorIconSymbol, "hand.tap.fill");
    EXPECT_EQ(values().edit.cursor.cursorRingStyle, cursorRingStyleNamed("blue"));
    EXPECT_TRUE(values().edit.cursor.drawsSyntheticCursor);
    EXPECT_EQ(values().edit.audio.originalAudioVolume, 0.5f);
    EXPECT_EQ(values().edit.frame.recordingFrame, (Rect{0.1, 0.1, 0.8, 0.8}));
    EXPECT_EQ(values().edit.frame.cropRect, std::nullopt);
    EXPECT_EQ(notifications, 1);
    EXPECT_FALSE(state.canUndo());

    apply({{"zoom_reactive_face_cam_scale", 0.01}, {"cursor_click_sound_volume", 9}, {"cursor_icon_symbol", "rocket"}});
    EXPECT_EQ(values().edit.frame.zoomReactiveFaceCamScale, 0.1);
    EXPECT_EQ(values().edit.cursor.cursorClickSoundVolume, 2.0f);
    EXPECT_EQ(values().edit.cursor.cursorIconSymbol, "sparkle");
}

TEST_F(RemoteEditApply, StylesRederiveAndCustomBackgroundNeedsAPicture) {
    apply({{"cursor_visual_style", "pointer"}});
    EXPECT_EQ(values().edit.cursor.cursorVisualStyle, CursorVisualStyle::pointer);
    EXPECT_FALSE(values().edit.cursor.showCursorRing);
    apply({{"cursor_visual_style", "ring"}, {"set_fields", {"cursor_visual_style"}}});
    EXPECT_TRUE(values().edit.cursor.showCursorRing);
    apply({{"cursor_visual_style", "spinner"}, {"background", "aurora"}});
    EXPECT_EQ(values().edit.cursor.cursorVisualStyle, CursorVisualStyle::ring);
    EXPECT_EQ(values().edit.frame.background, BackgroundStyle::bone);

    apply({{"background", "custom"}});
    EXPECT_EQ(values().edit.frame.background, BackgroundStyle::bone);
    state.modify([](EditorValues& v) { v.edit.frame.customBackgroundPath = "/pictures/desk.png"; });
    apply({{"background", "custom"}});
    EXPECT_EQ(values().edit.frame.background, BackgroundStyle::customImage);
    apply({{"background", "win11Blue"}});
    EXPECT_EQ(values().edit.frame.background, BackgroundStyle::win11Blue);
}

TEST_F(RemoteEditApply, ListsReplaceWhenNamedOrNonEmptyAndAreSorted) {
    customiseLocally();
    const auto localZooms = values().edit.timeline.zoomRegions;
    apply({{"zoom_regions", json::array()}, {"mute_regions", {{{"start", 1}, {"end", 2}}}}});
    EXPECT_EQ(values().edit.timeline.zoomRegions, localZooms);
    ASSERT_EQ(values().edit.audio.muteRegions.size(), 1u);

    // Elements that all fail to decode still make a non-empty list.
    apply({{"mute_regions", {{{"start", 1}}}}});
    EXPECT_TRUE(values().edit.audio.muteRegions.empty());

    apply({{"speed_ramps", {{{"start", 8}, {"end", 9}, {"speed", 2}}, {{"start", 1}, {"end", 3}, {"speed", 0.5}}}},
           {"cursor_style_overrides",
            {{{"id", Uuid::random().string()}, {"startTime", 5}, {"endTime", 6}, {"visualStyle", "touch"},
              {"iconSymbol", "sparkle"}},
             {{"id", Uuid::random().string()}, {"startTime", 2}, {"endTime", 3}, {"visualStyle", "icon"},
              {"iconSymbol", "scope"}}}},
           {"annotations", {{{"time", 1}, {"cx", 0.5}, {"cy", 0.5}}}},
           {"cursor_interactions",
            {{{"kind", "tap"}, {"startTime", 1}, {"endTime", 1.2}, {"startX", 0.2}, {"startY", 0.3}, {"endX", 0.2},
              {"endY", 0.3}}}}});
    ASSERT_EQ(values().edit.timeline.speedRamps.size(), 2u);
    EXPECT_EQ(values().edit.timeline.speedRamps[0].start, 1.0);
    EXPECT_EQ(values().edit.timeline.speedRamps[1].start, 8.0);
    ASSERT_EQ(values().edit.cursor.cursorStyleOverrides.size(), 2u);
    EXPECT_EQ(values().edit.cursor.cursorStyleOverrides[0].startTime, 2.0);
    EXPECT_EQ(values().edit.cursor.cursorStyleOverrides[1].visualStyle, CursorVisualStyle::touch);
    EXPECT_EQ(values().edit.cursor.annotations.size(), 1u);
    EXPECT_EQ(values().edit.cursor.cursorInteractions.size(), 1u);

    apply({{"speed_ramps", json::array()},
           {"annotations", json::array()},
           {"set_fields", {"speed_ramps", "annotations", "zoom_regions"}}});
    EXPECT_TRUE(values().edit.timeline.speedRamps.empty());
    EXPECT_TRUE(values().edit.cursor.annotations.empty());
    EXPECT_EQ(values().edit.timeline.zoomRegions, localZooms);  // named, but not in the record
    EXPECT_EQ(values().edit.cursor.cursorInteractions.size(), 1u);
}

using json = nlohmann::json;

VideoEditsOut read(const json& record) {
    auto edits = videoEditsOutFromJson(record);
    EXPECT_TRUE(edits) << record.dump();
    return edits.value_or(VideoEditsOut{});
}

TEST(RemoteEditRecord, ReadsSnakeCaseKeysAndDropsValuesOfTheWrongType) {
    const auto edits = read(json::parse(R"({
        "video_id": "v_123", "updated_at": "2026-12-05T10:00:00.250Z",
        "trim_start": 1, "trim_end": 9.5, "inset": "0.1", "corner_radius": null,
        "background": "chalk", "show_window_chrome": 1, "window_chrome_title": "Demo",
        "crop_rect": {"x": 0.1, "y": 0.2, "width": 0.5, "height": 0.6},
        "recording_frame": {"x": 0.1, "y": 0.2, "width": 0.5},
        "clips": [{"sourceFile": "screen.mp4"}], "zoom_regions": "none",
        "set_fields": ["inset", 7, "zoom_regions"], "unknown_key": true
    })"));
    EXPECT_EQ(edits.videoID, "v_123");
    EXPECT_EQ(edits.updatedAt, "2026-12-05T10:00:00.250Z");
    const auto& frame = edits.values.frame;
    EXPECT_EQ(edits.values.timeline.trimStart, 1.0);
    EXPECT_EQ(edits.values.timeline.trimEnd, 9.5);
    EXPECT_EQ(frame.windowTitle, "Demo");
    EXPECT_EQ(frame.cropRect, (Rect{0.1, 0.2, 0.5, 0.6}));
    // A string where a number belongs, null, 1 for a boolean, a rectangle without height and a
    // list that is not one are not applied.
    EXPECT_EQ(edits.applies, (std::set<std::string, std::less<>>{"trim_start", "trim_end", "background",
                                                                 "window_chrome_title", "crop_rect"}));
    EXPECT_EQ(edits.clipsJson, R"([{"sourceFile":"screen.mp4"}])");
    EXPECT_EQ(edits.setFields, (std::set<std::string>{"inset", "zoom_regions"}));

    std::string error;
    EXPECT_FALSE(videoEditsOutFromJson(json::parse(R"({"trim_start": 1})"), &error));
    EXPECT_EQ(error, "VideoEditsOut: \"video_id\" is missing or not a string");
    EXPECT_FALSE(videoEditsOutFromJson(json::parse(R"({"video_id": 12})")));
    EXPECT_FALSE(videoEditsOutFromJson(json::parse("[]"), &error));
    EXPECT_EQ(read(json{{"video_id", "v"}}).setFields, std::nullopt);
}

TEST(RemoteEditRecord, FromTextFillsTheVideoAndRefusesWhatIsNotJsonWithoutThrowing) {
    std::string error;
    const auto local = videoEditsOutFromText(R"({"trim_start": 1.5})", "local", &error);
    ASSERT_TRUE(local);
    EXPECT_EQ(local->videoID, "local");
    EXPECT_TRUE(local->applies.contains("trim_start"));
    EXPECT_EQ(videoEditsOutFromText(R"({"video_id": "v_9"})", "local")->videoID, "v_9");

    // A number past the double range is an out-of-range error to the parser, not a parse error; it
    // once escaped the command's "not valid JSON" handling.
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    for (const std::string& bad :
         std::vector<std::string>{R"({"trim_start": 1.5e100000000000000})", R"({"trim_start": 1)", deep}) {
        error.clear();
        EXPECT_FALSE(videoEditsOutFromText(bad, "local", &error)) << bad;
        EXPECT_EQ(error, "is not valid JSON") << bad;
    }
    EXPECT_FALSE(videoEditsOutFromText("[1]", "local", &error));
    EXPECT_EQ(error, "is not an edit record: VideoEditsOut: expected an object");
}

TEST(RemoteEditRecord, ListElementsAreReadLooselyAndMalformedOnesDropped) {
    const auto edits = read(json::parse(R"({
        "video_id": "v",
        "zoom_regions": [{"start": 1, "end": 3, "scale": 2},
                         {"start": 4, "end": 6, "scale": 1.5, "x": 0.2, "focusX": 0.9, "focusY": 0.3,
                          "followCursor": true, "ease_speed": 0.8},
                         {"start": 1, "end": 2}, 17],
        "mute_regions": [{"start": 2, "end": 4}, {"start": 5}],
        "speed_ramps": [{"start": 0, "end": 2, "speed": 20}, {"start": 3, "end": 3, "speed": 2}],
        "annotations": [{"time": 1.5, "cx": 0.25, "cy": 0.75, "id": "0f8fad5b-d9cb-469f-a165-70867728950e",
                         "label": "Save", "color": "red", "enabled": false},
                        {"time": 2, "cx": 0.5, "cy": 0.5, "id": "not-a-uuid", "color": "magenta"},
                        {"time": 2, "cx": 0.5}],
        "cursor_interactions": [{"kind": "swipe", "start_time": 1, "endTime": 2, "startTime": 9,
                                 "start_x": 0.1, "startY": 0.2, "end_x": 0.3, "end_y": 0.4},
                                {"kind": "wave", "start_time": 1, "end_time": 2, "start_x": 0, "start_y": 0,
                                 "end_x": 0, "end_y": 0},
                                {"kind": "tap", "start_time": 1, "end_time": 2}],
        "cursor_style_overrides": [{"id": "0f8fad5b-d9cb-469f-a165-70867728950e", "startTime": 1, "endTime": 2,
                                    "visualStyle": "icon", "iconSymbol": " scope "},
                                   {"id": "0f8fad5b-d9cb-469f-a165-70867728950e", "startTime": 3, "endTime": 4,
                                    "visualStyle": "icon", "iconSymbol": "rocket", "ringStyleName": "blue"},
                                   {"startTime": 5, "endTime": 6, "visualStyle": "sparkles", "iconSymbol": "scope"}]
    })"));
    const auto given = *Uuid::parse("0F8FAD5B-D9CB-469F-A165-70867728950E");

    ASSERT_TRUE(edits.applies.contains("zoom_regions"));
    ASSERT_EQ(edits.values.timeline.zoomRegions.size(), 2u);
    const auto& plain = edits.values.timeline.zoomRegions[0];
    EXPECT_EQ((std::tuple{plain.start, plain.end, plain.scale, plain.focusX, plain.focusY, plain.followCursor,
                          plain.easeSpeed}),
              (std::tuple{1.0, 3.0, 2.0, 0.5, 0.5, false, 0.5}));
    const auto& spelled = edits.values.timeline.zoomRegions[1];
    EXPECT_EQ((std::tuple{spelled.focusX, spelled.focusY, spelled.followCursor, spelled.easeSpeed}),
              (std::tuple{0.2, 0.3, true, 0.8}));
    EXPECT_NE(plain.id, spelled.id);

    ASSERT_EQ(edits.values.audio.muteRegions.size(), 1u);
    EXPECT_EQ(edits.values.audio.muteRegions[0].end, 4.0);
    ASSERT_EQ(edits.values.timeline.speedRamps.size(), 1u);
    EXPECT_EQ(edits.values.timeline.speedRamps[0].speed, 8.0);

    ASSERT_EQ(edits.values.cursor.annotations.size(), 2u);
    const auto& kept = edits.values.cursor.annotations[0];
    EXPECT_EQ(kept.id, given);
    EXPECT_EQ((std::tuple{kept.time, kept.cx, kept.cy, kept.label, kept.color, kept.enabled}),
              (std::tuple{1.5, 0.25, 0.75, std::string("Save"), AnnotationColor::red, false}));
    EXPECT_EQ(kept.animationStyle, std::nullopt);
    EXPECT_EQ(kept.clickSoundEnabled, std::nullopt);
    const auto& defaulted = edits.values.cursor.annotations[1];
    EXPECT_FALSE(defaulted.id.isNil());
    EXPECT_NE(defaulted.id, given);
    EXPECT_EQ((std::tuple{defaulted.label, defaulted.color, defaulted.enabled}),
              (std::tuple{std::string(), AnnotationColor::accent, true}));

    ASSERT_EQ(edits.values.cursor.cursorInteractions.size(), 1u);
    const auto& swipe = edits.values.cursor.cursorInteractions[0];
    EXPECT_EQ(swipe.kind, CursorInteraction::Kind::swipe);
    EXPECT_EQ((std::tuple{swipe.startTime, swipe.endTime, swipe.startX, swipe.startY, swipe.endX, swipe.endY}),
              (std::tuple{1.0, 2.0, 0.1, 0.2, 0.3, 0.4}));  // the snake_case spelling wins

    ASSERT_EQ(edits.values.cursor.cursorStyleOverrides.size(), 2u);
    EXPECT_EQ(edits.values.cursor.cursorStyleOverrides[0].iconSymbol, "scope");
    EXPECT_EQ(edits.values.cursor.cursorStyleOverrides[1].iconSymbol, "sparkle");
    EXPECT_EQ(edits.values.cursor.cursorStyleOverrides[1].ringStyleName, "blue");
    EXPECT_NE(edits.values.cursor.cursorStyleOverrides[0].id, given);
    EXPECT_NE(edits.values.cursor.cursorStyleOverrides[0].id, edits.values.cursor.cursorStyleOverrides[1].id);
}

}  // namespace
}  // namespace orvane
