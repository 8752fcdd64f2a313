#include "editor/remote_edit_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace orvane {
namespace {

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
    EXPECT_EQ(edits.trimStart, 1.0);
    EXPECT_EQ(edits.trimEnd, 9.5);
    EXPECT_EQ(edits.inset, std::nullopt);         // a string where a number belongs
    EXPECT_EQ(edits.cornerRadius, std::nullopt);  // null is absent
    EXPECT_EQ(edits.showWindowChrome, std::nullopt);
    EXPECT_EQ(edits.windowChromeTitle, "Demo");
    EXPECT_EQ(edits.cropRect, (Rect{0.1, 0.2, 0.5, 0.6}));
    EXPECT_EQ(edits.recordingFrame, std::nullopt);  // no height
    EXPECT_EQ(edits.zoomRegions, std::nullopt);
    EXPECT_EQ(edits.clipsJson, R"([{"sourceFile":"screen.mp4"}])");
    EXPECT_EQ(edits.setFields, (std::set<std::string>{"inset", "zoom_regions"}));

    std::string error;
    EXPECT_FALSE(videoEditsOutFromJson(json::parse(R"({"trim_start": 1})"), &error));
    EXPECT_EQ(error, "VideoEditsOut: \"video_id\" is missing or not a string");
    EXPECT_FALSE(videoEditsOutFromJson(json::parse(R"({"video_id": 12})")));
    EXPECT_FALSE(videoEditsOutFromJson(json::parse("[]"), &error));
    EXPECT_EQ(read(json{{"video_id", "v"}}).setFields, std::nullopt);
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

    ASSERT_TRUE(edits.zoomRegions);
    EXPECT_EQ(edits.zoomRegions->receivedCount, 4u);
    ASSERT_EQ(edits.zoomRegions->items.size(), 2u);
    const auto& plain = edits.zoomRegions->items[0];
    EXPECT_EQ((std::tuple{plain.start, plain.end, plain.scale, plain.focusX, plain.focusY, plain.followCursor,
                          plain.easeSpeed}),
              (std::tuple{1.0, 3.0, 2.0, 0.5, 0.5, false, 0.5}));
    const auto& spelled = edits.zoomRegions->items[1];
    EXPECT_EQ((std::tuple{spelled.focusX, spelled.focusY, spelled.followCursor, spelled.easeSpeed}),
              (std::tuple{0.2, 0.3, true, 0.8}));
    EXPECT_NE(plain.id, spelled.id);

    ASSERT_EQ(edits.muteRegions->items.size(), 1u);
    EXPECT_EQ(edits.muteRegions->items[0].end, 4.0);
    ASSERT_EQ(edits.speedRamps->items.size(), 1u);
    EXPECT_EQ(edits.speedRamps->items[0].speed, 8.0);

    ASSERT_EQ(edits.annotations->items.size(), 2u);
    const auto& kept = edits.annotations->items[0];
    EXPECT_EQ(kept.id, given);
    EXPECT_EQ((std::tuple{kept.time, kept.cx, kept.cy, kept.label, kept.color, kept.enabled}),
              (std::tuple{1.5, 0.25, 0.75, std::string("Save"), AnnotationColor::red, false}));
    EXPECT_EQ(kept.animationStyle, std::nullopt);
    EXPECT_EQ(kept.clickSoundEnabled, std::nullopt);
    const auto& defaulted = edits.annotations->items[1];
    EXPECT_FALSE(defaulted.id.isNil());
    EXPECT_NE(defaulted.id, given);
    EXPECT_EQ((std::tuple{defaulted.label, defaulted.color, defaulted.enabled}),
              (std::tuple{std::string(), AnnotationColor::accent, true}));

    ASSERT_EQ(edits.cursorInteractions->items.size(), 1u);
    const auto& swipe = edits.cursorInteractions->items[0];
    EXPECT_EQ(swipe.kind, CursorInteraction::Kind::swipe);
    EXPECT_EQ((std::tuple{swipe.startTime, swipe.endTime, swipe.startX, swipe.startY, swipe.endX, swipe.endY}),
              (std::tuple{1.0, 2.0, 0.1, 0.2, 0.3, 0.4}));  // the snake_case spelling wins

    ASSERT_EQ(edits.cursorStyleOverrides->items.size(), 2u);
    EXPECT_EQ(edits.cursorStyleOverrides->items[0].iconSymbol, "scope");
    EXPECT_EQ(edits.cursorStyleOverrides->items[1].iconSymbol, "sparkle");
    EXPECT_EQ(edits.cursorStyleOverrides->items[1].ringStyleName, "blue");
    EXPECT_NE(edits.cursorStyleOverrides->items[0].id, given);
    EXPECT_NE(edits.cursorStyleOverrides->items[0].id, edits.cursorStyleOverrides->items[1].id);
}

}  // namespace
}  // namespace orvane
