#include "editor/project_sidecar.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "editor/editor_state.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using testing::readTextFile;
using testing::TempDir;
using testing::writeTextFile;

// The smallest document that decodes: only required keys.
nlohmann::json minimalSidecar() {
    return {{"version", 1},     {"exportKind", "draft"}, {"sourceVideo", "screen.mp4"},
            {"duration", 30.0}, {"trimStart", 0.0},      {"trimEnd", 0.0},
            {"background", "bone"}, {"zooms", nlohmann::json::array()}, {"mutes", nlohmann::json::array()},
            {"voiceClips", nlohmann::json::array()}, {"videoOverlays", nlohmann::json::array()}};
}

ProjectSidecar decoded(const nlohmann::json& json) {
    std::string error;
    auto sidecar = decodeProjectSidecar(json.dump(), &error);
    EXPECT_TRUE(sidecar) << error;
    return sidecar.value_or(ProjectSidecar{});
}

class SidecarApplyTest : public ::testing::Test {
protected:
    TempDir folder;
    EditorState state{Uuid::random(), folder / "screen.mp4"};

    void apply(const nlohmann::json& json) { applyProjectSidecar(decoded(json), folder.path(), state); }
};

TEST(ProjectSidecarCoding, EditorStateRoundTripsInDeclarationOrder) {
    EditorState state(Uuid::random(), "/recordings/A/screen.mp4");
    state.modify([](EditorValues& v) {
        v.duration = 12;
        v.trimEnd = 11.5;
        v.backgroundMusicVolume = 0.3f;
        v.originalAudioVolume = 0.15f;
        v.background = BackgroundStyle::customImage;
        v.customBackgroundURL = "/recordings/A/wall.png";
        v.zoomRegions = {ZoomRegion{.start = 1, .end = 2.5}};
        AudioClip voice;
        voice.url = "/elsewhere/voice.m4a";
        voice.duration = 3;
        v.voiceClips = {voice};
        v.lastAppliedRemoteUpdatedAt = dateFromSecondsSinceReferenceDate(86400.5);
    });
    const auto sidecar = makeProjectSidecar(state);
    const auto text = encodeProjectSidecar(sidecar);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    const std::string head =
        "{\"originalAudioVolume\":0.15,\"voiceTrackVolume\":1.0,\"version\":1,\"exportKind\":\"draft\"";
    EXPECT_EQ(text.rfind(head, 0), 0u) << text;
    EXPECT_NE(text.find("\"background\":\"custom\",\"backgroundImageFile\":\"wall.png\""), std::string::npos);
    EXPECT_NE(text.find("\"file\":\"/elsewhere/voice.m4a\""), std::string::npos);
    EXPECT_NE(text.find("\"lastAppliedRemoteUpdatedAt\":86400.5"), std::string::npos);
    EXPECT_LT(text.find("\"zooms\""), text.find("\"clips\""));

    const auto back = decodeProjectSidecar(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, sidecar);
    EXPECT_EQ(secondsSinceReferenceDate(*back->lastAppliedRemoteUpdatedAt), 86400.5);
}

TEST(ProjectSidecarCoding, DecodingRequiresEveryRequiredKeyAndIgnoresUnknownOnes) {
    auto json = minimalSidecar();
    json["somethingNewer"] = {{"a", 1}};
    EXPECT_TRUE(decodeProjectSidecar(json.dump()));

    for (const char* key : {"version", "exportKind", "sourceVideo", "duration", "trimStart", "trimEnd",
                            "background", "zooms", "mutes", "voiceClips", "videoOverlays"}) {
        auto missing = minimalSidecar();
        missing.erase(key);
        std::string error;
        EXPECT_FALSE(decodeProjectSidecar(missing.dump(), &error)) << key;
        EXPECT_NE(error.find(key), std::string::npos) << error;
    }

    auto nested = minimalSidecar();
    nested["zooms"] = {{{"start", 1}, {"end", 2}, {"scale", 1.5}, {"focusX", 0.5}, {"focusY", 0.5}}};
    std::string error;
    EXPECT_FALSE(decodeProjectSidecar(nested.dump(), &error));
    EXPECT_NE(error.find("followCursor"), std::string::npos) << error;

    auto wrongType = minimalSidecar();
    wrongType["cropRect"] = "wide";
    EXPECT_FALSE(decodeProjectSidecar(wrongType.dump()));
    EXPECT_FALSE(decodeProjectSidecar("{\"version\": 1,"));
}

TEST(ProjectSidecarCoding, ExportCopyIsPrettyWithSortedKeysBesideTheVideo) {
    TempDir folder;
    ProjectSidecar sidecar = decoded(minimalSidecar());
    sidecar.exportKind = "web1080";
    sidecar.originalAudioVolume = 0.5;
    writeExportSidecar(folder / "Demo.mp4", sidecar);
    EXPECT_EQ(exportSidecarPath("/out/Demo.mp4"), std::filesystem::path("/out/Demo.zant.json"));
    const auto text = readTextFile(folder / "Demo.zant.json");
    EXPECT_EQ(text.rfind("{\n  \"background\": \"bone\",\n  \"duration\": 30.0,\n  \"exportKind\": \"web1080\"", 0), 0u)
        << text;
    EXPECT_EQ(decodeProjectSidecar(text), sidecar);
}

TEST_F(SidecarApplyTest, TrimAndClampsFollowTheLoadingRules) {
    state.modify([](EditorValues& v) { v.trimStart = 1.5; v.trimEnd = 9; });
    auto json = minimalSidecar();
    json.update({{"trimEnd", 20.0}, {"cursorClickSoundVolume", 5}, {"zoomReactiveFaceCamScale", 0},
                 {"background", "plaid"}, {"chromeStyle", "auto"}, {"exportAspect", "square"}, {"inset", 0.9},
                 {"cornerRadius", -3}});
    const auto depth = state.undoStack().size();
    apply(json);

    const auto& v = state.values();
    EXPECT_DOUBLE_EQ(v.trimStart, 1.5);  // a stored 0 is not applied
    EXPECT_DOUBLE_EQ(v.trimEnd, 20);
    EXPECT_FLOAT_EQ(v.cursorClickSoundVolume, 2);
    EXPECT_DOUBLE_EQ(v.zoomReactiveFaceCamScale, 0.1);
    EXPECT_EQ(v.background, BackgroundStyle::bone);
    EXPECT_EQ(v.chromeStyle, WindowChromeStyle::automatic);
    EXPECT_EQ(v.exportAspect, ExportAspectRatio::square);
    EXPECT_DOUBLE_EQ(v.inset, 0.5);
    EXPECT_DOUBLE_EQ(v.cornerRadius, 0);
    EXPECT_TRUE(v.sidecarApplied);
    EXPECT_EQ(state.undoStack().size(), depth);
}

TEST_F(SidecarApplyTest, TimedItemsGetDefaultsFreshIdsAndBadEntriesAreSkipped) {
    auto json = minimalSidecar();
    json["zooms"] = {
        {{"start", 1}, {"end", 2}, {"scale", 1.5}, {"focusX", 0.2}, {"focusY", 0.3}, {"followCursor", false}}};
    json["speedRamps"] = {{{"start", 4}, {"end", 4}, {"speed", 2}}, {{"start", 5}, {"end", 6}, {"speed", 20}}};
    json["cursorStyleOverrides"] = {
        {{"startTime", 1}, {"endTime", 2}, {"visualStyle", "sparkles"}},
        {{"startTime", 3}, {"endTime", 3}, {"visualStyle", "ring"}},
        {{"startTime", 4}, {"endTime", 5}, {"visualStyle", "icon"}},
        {{"startTime", 6}, {"endTime", 7}, {"visualStyle", "icon"}, {"iconSymbol", " scope "}}};
    const Uuid kept = Uuid::random();
    json["annotations"] = {{{"id", kept.string()}, {"time", 1}, {"cx", 0.1}, {"cy", 0.2}, {"label", "a"}},
                           {{"time", 2}, {"cx", 0.3}, {"cy", 0.4}, {"label", "b"}, {"enabled", false}}};
    apply(json);
    const auto firstZoomID = state.values().zoomRegions.at(0).id;

    const auto& v = state.values();
    EXPECT_DOUBLE_EQ(v.zoomRegions[0].easeSpeed, 0.5);
    EXPECT_FALSE(v.zoomRegions[0].followCursor);
    ASSERT_EQ(v.speedRamps.size(), 1u);
    EXPECT_DOUBLE_EQ(v.speedRamps[0].speed, 8);
    EXPECT_FALSE(v.speedRamps[0].id.isNil());
    ASSERT_EQ(v.cursorStyleOverrides.size(), 2u);
    EXPECT_EQ(v.cursorStyleOverrides[0].iconSymbol, "sparkle");
    EXPECT_EQ(v.cursorStyleOverrides[1].iconSymbol, "scope");
    ASSERT_EQ(v.annotations.size(), 2u);
    EXPECT_EQ(v.annotations[0].id, kept);
    EXPECT_TRUE(v.annotations[0].enabled);
    EXPECT_FALSE(v.annotations[1].enabled);

    apply(json);
    EXPECT_NE(state.values().zoomRegions.at(0).id, firstZoomID);
}

TEST_F(SidecarApplyTest, FileReferencesAreFoundByNameInTheRecordingFolder) {
    writeTextFile(folder / "cursor.json", "{}");
    writeTextFile(folder / "wall.png", "png");
    writeTextFile(folder / "voice.m4a", "m4a");
    auto json = minimalSidecar();
    json.update({{"cursorTrackFile", "/Users/someone/Library/Recordings/X/cursor.json"}, {"background", "custom"},
                 {"backgroundImageFile", "C:/old/wall.png"}});
    json["voiceClips"] = {{{"startTime", 1}, {"duration", 2}, {"file", "/gone/voice.m4a"}, {"volume", 0.5},
                           {"label", "Voice"}}};
    json["clips"] = {{{"sourceFile", "screen.mp4"}, {"sourceStart", 2}, {"sourceEnd", 8}},
                     {{"sourceFile", "clip-1.mp4"}, {"sourceStart", 0}, {"sourceEnd", 3}, {"headOffset", 1}}};
    state.modify([](EditorValues& v) { v.clips = {Clip{}}; });
    apply(json);

    EXPECT_EQ(state.cursorTrackURL, folder / "cursor.json");
    const auto& v = state.values();
    EXPECT_EQ(v.background, BackgroundStyle::customImage);
    EXPECT_EQ(v.customBackgroundURL, folder / "wall.png");
    ASSERT_EQ(v.voiceClips.size(), 1u);
    EXPECT_EQ(v.voiceClips[0].url, folder / "voice.m4a");
    EXPECT_DOUBLE_EQ(v.voiceClips[0].sourceStart, 0);
    ASSERT_EQ(v.clips.size(), 2u);
    EXPECT_DOUBLE_EQ(v.clips[1].headOffset, 1);

    // A name that is not in the folder leaves the editor's value.
    json["cursorTrackFile"] = "missing.json";
    json["backgroundImageFile"] = "missing.png";
    apply(json);
    EXPECT_EQ(state.cursorTrackURL, folder / "cursor.json");
    EXPECT_EQ(state.values().customBackgroundURL, folder / "wall.png");
}

}  // namespace
}  // namespace orvane
