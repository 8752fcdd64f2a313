#include "model/project_sidecar.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::readTextFile;
using testing::TempDir;
using testing::writeTextFile;

// The smallest document that decodes: only required keys.
nlohmann::json minimalSidecar() {
    return {{"version", 1},
            {"exportKind", "draft"},
            {"sourceVideo", "screen.mp4"},
            {"duration", 30.0},
            {"trimStart", 0.0},
            {"trimEnd", 0.0},
            {"background", "bone"},
            {"zooms", nlohmann::json::array()},
            {"mutes", nlohmann::json::array()},
            {"voiceClips", nlohmann::json::array()},
            {"videoOverlays", nlohmann::json::array()}};
}

ProjectSidecar decoded(const nlohmann::json& json, const std::filesystem::path& folder = "/recordings/A") {
    std::string error;
    auto sidecar = decodeProjectSidecar(json.dump(), folder, &error);
    EXPECT_TRUE(sidecar) << error;
    return sidecar.value_or(ProjectSidecar{});
}

// Decodes `json` and applies it over `edit`, as opening a recording does.
Edit applied(const nlohmann::json& json, Edit edit, const std::filesystem::path& folder = "/recordings/A") {
    applyProjectSidecar(decoded(json, folder), edit);
    return edit;
}

TEST(ProjectSidecarCoding, RoundTripsInTheFilesKeyOrderWithFilesByNameInTheFolder) {
    TempDir folder;
    TempDir elsewhere;
    writeTextFile(folder / "wall.png", "png");
    writeTextFile(elsewhere / "voice.m4a", "m4a");
    Edit edit;
    edit.timeline.duration = 12;
    edit.timeline.trimEnd = 11.5;
    edit.audio.backgroundMusicVolume = 0.3f;
    edit.audio.originalAudioVolume = 0.15f;
    edit.frame.background = BackgroundStyle::customImage;
    edit.frame.customBackgroundPath = folder / "wall.png";
    edit.timeline.zoomRegions = {ZoomRegion{.start = 1, .end = 2.5}};
    AudioClip voice;
    voice.path = elsewhere / "voice.m4a";
    voice.duration = 3;
    edit.audio.voiceClips = {voice};
    const auto sidecar = makeProjectSidecar(edit, folder / "screen.mp4", dateFromSecondsSinceReferenceDate(86400.5));
    const auto text = encodeProjectSidecar(sidecar);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    const std::string head =
        "{\"originalAudioVolume\":0.15,\"voiceTrackVolume\":1.0,\"version\":1,\"exportKind\":\"draft\"";
    EXPECT_EQ(text.rfind(head, 0), 0u) << text;
    EXPECT_NE(text.find("\"background\":\"custom\",\"backgroundImageFile\":\"wall.png\""), std::string::npos);
    EXPECT_NE(text.find("\"file\":" + nlohmann::json((elsewhere / "voice.m4a").string()).dump()), std::string::npos);
    EXPECT_NE(text.find("\"lastAppliedRemoteUpdatedAt\":86400.5"), std::string::npos);
    EXPECT_LT(text.find("\"zooms\""), text.find("\"clips\""));

    const auto back = decodeProjectSidecar(text, folder.path());
    ASSERT_TRUE(back);
    EXPECT_EQ(encodeProjectSidecar(*back), text);  // items get fresh ids: compare what is stored
    EXPECT_EQ(secondsSinceReferenceDate(*back->lastAppliedRemoteUpdatedAt), 86400.5);
}

TEST(ProjectSidecarCoding, DecodingRequiresEveryRequiredKeyAndIgnoresUnknownOnes) {
    auto json = minimalSidecar();
    json["somethingNewer"] = {{"a", 1}};
    EXPECT_TRUE(decodeProjectSidecar(json.dump(), "/r"));

    for (const char* key : {"version", "exportKind", "sourceVideo", "duration", "trimStart", "trimEnd", "background",
                            "zooms", "mutes", "voiceClips", "videoOverlays"}) {
        auto missing = minimalSidecar();
        missing.erase(key);
        std::string error;
        EXPECT_FALSE(decodeProjectSidecar(missing.dump(), "/r", &error)) << key;
        EXPECT_NE(error.find(key), std::string::npos) << error;
    }

    auto nested = minimalSidecar();
    nested["zooms"] = {{{"start", 1}, {"end", 2}, {"scale", 1.5}, {"focusX", 0.5}, {"focusY", 0.5}}};
    std::string error;
    EXPECT_FALSE(decodeProjectSidecar(nested.dump(), "/r", &error));
    EXPECT_NE(error.find("followCursor"), std::string::npos) << error;

    auto wrongType = minimalSidecar();
    wrongType["cropRect"] = "wide";
    EXPECT_FALSE(decodeProjectSidecar(wrongType.dump(), "/r"));
    EXPECT_FALSE(decodeProjectSidecar("{\"version\": 1,", "/r"));

    // Numbers too large for a double are not numbers a file may hold, and an edit holding one is
    // never written.
    auto huge = minimalSidecar().dump();
    huge.replace(huge.find("30.0"), 4, "1e400");
    EXPECT_FALSE(decodeProjectSidecar(huge, "/r"));
    Edit broken;
    broken.frame.inset = std::nan("");
    EXPECT_THROW(encodeProjectSidecar(makeProjectSidecar(broken, "/r/screen.mp4", std::nullopt)), std::domain_error);
}

TEST(ProjectSidecarCoding, ExportCopyIsPrettyWithSortedKeysBesideTheVideo) {
    TempDir folder;
    ProjectSidecar sidecar = decoded(minimalSidecar(), folder.path());
    sidecar.exportKind = "web1080";
    writeExportSidecar(folder / "Demo.mp4", sidecar);
    EXPECT_EQ(exportSidecarPath("/out/Demo.mp4"), std::filesystem::path("/out/Demo.zant.json"));
    const auto text = readTextFile(folder / "Demo.zant.json");
    EXPECT_EQ(text.rfind("{\n  \"background\": \"bone\",\n  \"duration\": 30.0,\n  \"exportKind\": \"web1080\"", 0), 0u)
        << text;
    EXPECT_EQ(decodeProjectSidecar(text, folder.path()), sidecar);
}

TEST(ProjectSidecarApply, UnsetTimesStayAndNumbersAndStylesAreClampedOrSkipped) {
    Edit before;
    before.timeline.trimStart = 1.5;
    before.timeline.trimEnd = 9;
    before.cursor.cursorClickAnimationStyle = CursorClickAnimationStyle::ripple;
    auto json = minimalSidecar();
    json.update({{"trimEnd", 20.0},
                 {"cursorClickSoundVolume", 5},
                 {"zoomReactiveFaceCamScale", 0},
                 {"background", "plaid"},
                 {"chromeStyle", "auto"},
                 {"exportAspect", "square"},
                 {"inset", 0.9},
                 {"cornerRadius", -3},
                 {"cursorClickAnimationStyle", "brush"}});
    const auto edit = applied(json, before);

    EXPECT_DOUBLE_EQ(edit.timeline.trimStart, 1.5);  // a stored 0 is not applied
    EXPECT_DOUBLE_EQ(edit.timeline.trimEnd, 20);
    EXPECT_FLOAT_EQ(edit.cursor.cursorClickSoundVolume, 2);
    EXPECT_DOUBLE_EQ(edit.frame.zoomReactiveFaceCamScale, 0.1);
    EXPECT_EQ(edit.frame.background, BackgroundStyle::bone);
    EXPECT_EQ(edit.frame.chromeStyle, WindowChromeStyle::automatic);
    EXPECT_EQ(edit.frame.exportAspect, ExportAspectRatio::square);
    EXPECT_DOUBLE_EQ(edit.frame.inset, 0.5);
    EXPECT_DOUBLE_EQ(edit.frame.cornerRadius, 0);
    // A project keeps the click animation it stored, even one no longer offered.
    EXPECT_EQ(edit.cursor.cursorClickAnimationStyle, CursorClickAnimationStyle::brush);
}

TEST(ProjectSidecarApply, TimedItemsGetDefaultsFreshIdsAndBadEntriesAreSkipped) {
    auto json = minimalSidecar();
    json["zooms"] = {
        {{"start", 1}, {"end", 2}, {"scale", 1.5}, {"focusX", 0.2}, {"focusY", 0.3}, {"followCursor", false}},
        {{"start", 3}, {"end", 4}, {"scale", 1e12}, {"focusX", 0.5}, {"focusY", 0.5}, {"followCursor", false}}};
    json["speedRamps"] = {{{"start", 4}, {"end", 4}, {"speed", 2}}, {{"start", 5}, {"end", 6}, {"speed", 20}}};
    json["cursorStyleOverrides"] = {
        {{"startTime", 1}, {"endTime", 2}, {"visualStyle", "sparkles"}},
        {{"startTime", 3}, {"endTime", 3}, {"visualStyle", "ring"}},
        {{"startTime", 4}, {"endTime", 5}, {"visualStyle", "icon"}},
        {{"startTime", 6}, {"endTime", 7}, {"visualStyle", "icon"}, {"iconSymbol", " scope "}}};
    const Uuid kept = Uuid::random();
    json["annotations"] = {{{"id", kept.string()}, {"time", 1}, {"cx", 0.1}, {"cy", 0.2}, {"label", "a"}},
                           {{"time", 2}, {"cx", 0.3}, {"cy", 0.4}, {"label", "b"}, {"enabled", false}}};
    const auto edit = applied(json, Edit{});

    EXPECT_DOUBLE_EQ(edit.timeline.zoomRegions[0].easeSpeed, 0.5);
    EXPECT_FALSE(edit.timeline.zoomRegions[0].followCursor);
    EXPECT_DOUBLE_EQ(edit.timeline.zoomRegions[1].scale, kMaximumZoomScale);
    ASSERT_EQ(edit.timeline.speedRamps.size(), 1u);
    EXPECT_DOUBLE_EQ(edit.timeline.speedRamps[0].speed, 8);
    EXPECT_FALSE(edit.timeline.speedRamps[0].id.isNil());
    ASSERT_EQ(edit.cursor.cursorStyleOverrides.size(), 2u);
    EXPECT_EQ(edit.cursor.cursorStyleOverrides[0].iconSymbol, "sparkle");
    EXPECT_EQ(edit.cursor.cursorStyleOverrides[1].iconSymbol, "scope");
    ASSERT_EQ(edit.cursor.annotations.size(), 2u);
    EXPECT_EQ(edit.cursor.annotations[0].id, kept);
    EXPECT_TRUE(edit.cursor.annotations[0].enabled);
    EXPECT_FALSE(edit.cursor.annotations[1].enabled);

    EXPECT_NE(applied(json, Edit{}).timeline.zoomRegions.at(0).id, edit.timeline.zoomRegions.at(0).id);
}

TEST(ProjectSidecarApply, FileReferencesAreFoundByNameInTheRecordingFolder) {
    TempDir folder;
    writeTextFile(folder / "cursor.json", "{}");
    writeTextFile(folder / "wall.png", "png");
    writeTextFile(folder / "voice.m4a", "m4a");
    auto json = minimalSidecar();
    json.update({{"cursorTrackFile", "/Users/someone/Library/Recordings/X/cursor.json"},
                 {"background", "custom"},
                 {"backgroundImageFile", "C:/old/wall.png"}});
    json["voiceClips"] = {
        {{"startTime", 1}, {"duration", 2}, {"file", "/gone/voice.m4a"}, {"volume", 0.5}, {"label", "Voice"}}};
    json["clips"] = {{{"sourceFile", "screen.mp4"}, {"sourceStart", 2}, {"sourceEnd", 8}},
                     {{"sourceFile", "clip-1.mp4"}, {"sourceStart", 0}, {"sourceEnd", 3}, {"headOffset", 1}}};
    Edit before;
    before.timeline.clips = {Clip{}};
    auto edit = applied(json, before, folder.path());

    EXPECT_EQ(edit.cursor.cursorTrackPath, folder / "cursor.json");
    EXPECT_EQ(edit.frame.background, BackgroundStyle::customImage);
    EXPECT_EQ(edit.frame.customBackgroundPath, folder / "wall.png");
    ASSERT_EQ(edit.audio.voiceClips.size(), 1u);
    EXPECT_EQ(edit.audio.voiceClips[0].path, folder / "voice.m4a");
    EXPECT_DOUBLE_EQ(edit.audio.voiceClips[0].sourceStart, 0);
    ASSERT_EQ(edit.timeline.clips.size(), 2u);
    EXPECT_DOUBLE_EQ(edit.timeline.clips[1].headOffset, 1);

    // A name that is not in the folder leaves the editor's value.
    json["cursorTrackFile"] = "missing.json";
    json["backgroundImageFile"] = "missing.png";
    edit = applied(json, edit, folder.path());
    EXPECT_EQ(edit.cursor.cursorTrackPath, folder / "cursor.json");
    EXPECT_EQ(edit.frame.customBackgroundPath, folder / "wall.png");
}

}  // namespace
}  // namespace orvane
