#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/recording_cursor_mode.h"
#include "model/recording_files.h"

namespace orvane {
namespace {

using nlohmann::json;

SystemTime at(int year, unsigned month, unsigned day, int h, int m, int s) {
    using namespace std::chrono;
    return sys_days{std::chrono::year{year} / month / day} + hours{h} + minutes{m} + seconds{s};
}

const Uuid kId = *Uuid::parse("0b7e3c1a-9f2d-4c55-8a10-3e5f6a7b8c9d");

RecordingMeta fullMeta() {
    RecordingMeta meta = makeNewRecordingMeta(kId, at(2026, 3, 4, 5, 6, 7));
    meta.displayWidth = 2880;
    meta.displayHeight = 1800;
    meta.fps = 30;
    meta.durationMs = 123456;
    meta.hasSystemAudio = meta.hasWebcam = meta.hasCursor = meta.hasMicrophone = true;
    meta.recordedWithAlpha = false;
    meta.sourceIsSimulator = false;
    meta.capturedSystemCursor = false;
    meta.clickCaptureActive = true;
    meta.sourceKind = RecordingSourceKind::imported;
    meta.sourceTitle = "Demo \"take\" ünïcode";
    meta.facePIPNormalizedFrame = Rect{0.1, 0.2, 0.25, 1e-7};
    meta.facePIPCornerRadius = 999;
    meta.captureSourceCrop = Rect{0, 0.5, 1, 0.30000000000000004};
    meta.preferredCursorVisualStyle = "macOS";
    meta.preferredCursorClickAnimationStyle = "ripple";
    meta.preferredCursorIconSymbol = "sparkle";
    meta.hostedShareToken = "tok";
    meta.hostedSharePermission = "public";
    meta.remoteVideoID = "vid_1";
    meta.hostedShareAPIBaseURL = meta.replyToShareAPIBaseURL = "https://api.example.test";
    meta.hostedShareURL = "https://share.example.test/v/tok";
    meta.replyToShareToken = "parent";
    return meta;
}

const char* const kRequiredKeys[] = {"id", "createdAt", "displayWidth", "displayHeight", "fps", "durationMs",
                                     "hasSystemAudio", "hasWebcam", "hasCursor", "hasMicrophone"};
const char* const kOptionalKeys[] = {
    "recordedWithAlpha", "sourceKind", "sourceTitle", "sourceIsSimulator", "facePIPNormalizedFrame",
    "facePIPCornerRadius", "clickCaptureActive", "capturedSystemCursor", "captureSourceCrop",
    "preferredCursorVisualStyle", "preferredCursorClickAnimationStyle", "preferredCursorIconSymbol",
    "hostedShareToken", "hostedShareAPIBaseURL", "hostedShareURL", "hostedSharePermission", "remoteVideoID",
    "replyToShareToken", "replyToShareAPIBaseURL"};

// Rewrites one key of an encoded meta.json and decodes the result.
std::optional<RecordingMeta> decodeWith(const std::string& key, const json& value) {
    json object = json::parse(encodeRecordingMeta(fullMeta()));
    object[key] = value;
    return decodeRecordingMeta(object.dump());
}

TEST(RecordingMetaJson, FullMetaRoundTripsAsSortedCompactTextWithNonFiniteNumbersZeroed) {
    const RecordingMeta meta = fullMeta();
    const std::string text = encodeRecordingMeta(meta);

    const auto decoded = decodeRecordingMeta(text);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, meta);
    EXPECT_EQ(std::hash<RecordingMeta>{}(*decoded), std::hash<RecordingMeta>{}(meta));

    // Every key present and in sorted order; the compact layout is pinned by the exact text below.
    const auto ordered = nlohmann::ordered_json::parse(text);
    std::vector<std::string> keys;
    for (const auto& item : ordered.items()) keys.push_back(item.key());
    EXPECT_EQ(keys.size(), std::size(kRequiredKeys) + std::size(kOptionalKeys));
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));

    EXPECT_NE(text.find(R"("createdAt":"2026-03-04T05:06:07Z")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("facePIPNormalizedFrame":[[0.1,0.2],[0.25,1e-07]])"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("captureSourceCrop":[[0,0.5],[1,0.30000000000000004]])"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("facePIPCornerRadius":999,)"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("durationMs":123456,)"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("sourceKind":"import")"), std::string::npos) << text;

    // Non-finite numbers never make an unreadable file.
    RecordingMeta broken = fullMeta();
    broken.facePIPCornerRadius = std::numeric_limits<double>::quiet_NaN();
    broken.facePIPNormalizedFrame = Rect{0, 0, std::numeric_limits<double>::infinity(), 1};
    const auto cleaned = decodeRecordingMeta(encodeRecordingMeta(broken));
    ASSERT_TRUE(cleaned);
    EXPECT_EQ(cleaned->facePIPCornerRadius, 0.0);
    EXPECT_EQ(cleaned->facePIPNormalizedFrame, (Rect{0, 0, 0, 1}));
}

TEST(RecordingMetaJson, NewMetaIsWrittenExactlyWithoutOptionalKeys) {
    const RecordingMeta meta = makeNewRecordingMeta(kId, at(2026, 12, 31, 23, 59, 58));
    EXPECT_EQ(encodeRecordingMeta(meta),
              R"({"createdAt":"2026-12-31T23:59:58Z","displayHeight":0,"displayWidth":0,"durationMs":0,)"
              R"("fps":60,"hasCursor":false,"hasMicrophone":false,"hasSystemAudio":false,"hasWebcam":false,)"
              R"("id":"0B7E3C1A-9F2D-4C55-8A10-3E5F6A7B8C9D"})");
}

TEST(RecordingMetaJson, EveryRequiredKeyIsNeededAndEveryOptionalKeyIsNot) {
    const json full = json::parse(encodeRecordingMeta(fullMeta()));
    for (const char* key : kRequiredKeys) {
        json object = full;
        object.erase(key);
        EXPECT_FALSE(decodeRecordingMeta(object.dump())) << "decoded without " << key;
    }
    for (const char* key : kOptionalKeys) {
        json object = full;
        object.erase(key);
        const auto decoded = decodeRecordingMeta(object.dump());
        ASSERT_TRUE(decoded) << "refused without " << key;
        EXPECT_EQ(json::parse(encodeRecordingMeta(*decoded)), object) << key;
    }
    // null is how some writers spell "no value".
    const auto withNull = decodeWith("sourceTitle", nullptr);
    ASSERT_TRUE(withNull);
    EXPECT_FALSE(withNull->sourceTitle);
}

TEST(RecordingMetaJson, WrongTypesAndMalformedTextAreRefused) {
    const std::pair<const char*, json> wrong[] = {{"fps", "60"},
                                                  {"durationMs", 12.5},
                                                  {"displayWidth", 1e30},
                                                  {"hasMicrophone", 1},
                                                  {"hasCursor", "true"},
                                                  {"createdAt", 1234567},
                                                  {"createdAt", "yesterday"},
                                                  {"createdAt", "9736-01-01T00:00:00Z"},
                                                  {"id", "not-a-uuid"},
                                                  {"sourceTitle", 5},
                                                  {"sourceKind", 1},
                                                  {"recordedWithAlpha", "yes"},
                                                  {"facePIPCornerRadius", "round"},
                                                  {"facePIPNormalizedFrame", json::array({0, 0, 1, 1})},
                                                  {"captureSourceCrop", json::parse(R"([[0,0],[1,"1"]])")}};
    for (const auto& [key, value] : wrong) EXPECT_FALSE(decodeWith(key, value)) << key << " = " << value;
    for (const char* text : {"", "{", "[]", "null", "\"meta\"", "{\"id\":}"}) {
        EXPECT_FALSE(decodeRecordingMeta(text)) << text;
    }
}

TEST(RecordingMetaJson, LenientWhereOtherWritersDiffer) {
    // Integers written as floating point by another encoder still decode.
    const auto floats = decodeWith("displayWidth", 1920.0);
    ASSERT_TRUE(floats);
    EXPECT_EQ(floats->displayWidth, 1920);

    // A source kind from a newer build keeps the recording readable, without a kind.
    const auto unknownKind = decodeWith("sourceKind", "hologram");
    ASSERT_TRUE(unknownKind);
    EXPECT_FALSE(unknownKind->sourceKind);
    EXPECT_EQ(unknownKind->sourceTitle, fullMeta().sourceTitle);

    for (auto kind : {RecordingSourceKind::display, RecordingSourceKind::window, RecordingSourceKind::application,
                      RecordingSourceKind::imported}) {
        EXPECT_EQ(decodeWith("sourceKind", std::string(rawValue(kind)))->sourceKind, kind);
    }
    EXPECT_FALSE(decodeWith("sourceKind", "imported")->sourceKind);

    // Keys this build does not know are ignored.
    EXPECT_TRUE(decodeWith("futureFeature", json::object({{"x", 1}})));

    // Fractional seconds and offsets in the date are read, and written back as UTC.
    const auto offset = decodeWith("createdAt", "2026-03-04T07:06:07.250+02:00");
    ASSERT_TRUE(offset);
    EXPECT_NE(encodeRecordingMeta(*offset).find("\"createdAt\":\"2026-03-04T05:06:07Z\""), std::string::npos);
}

// The loose reader behind repairs: whole text reads in full; a mistyped field alone falls back; text
// cut off anywhere (inside strings, numbers, the nested rectangles) gives each field either its
// written value or the fallback's, never a half-read one, and keeps more the later it is cut.
TEST(RecordingMetaJson, SalvageKeepsEachFieldThatStillReads) {
    const RecordingMeta full = fullMeta();
    RecordingMeta fallback = makeNewRecordingMeta(*Uuid::parse("11111111-2222-4333-8444-555555555555"), at(2020, 1, 1, 0, 0, 0));
    fallback.sourceKind = RecordingSourceKind::display;
    const std::string text = encodeRecordingMeta(full);
    EXPECT_EQ(salvageRecordingMeta(text, fallback), full);

    json mistyped = json::parse(text);
    mistyped["fps"] = "thirty";
    mistyped["captureSourceCrop"] = json::array({1, 2});
    RecordingMeta expected = full;
    expected.fps = fallback.fps;
    expected.captureSourceCrop.reset();
    EXPECT_EQ(salvageRecordingMeta(mistyped.dump(), fallback), expected);

    const json whole = json::parse(text);
    const json before = json::parse(encodeRecordingMeta(fallback));
    std::size_t kept = 0;
    for (std::size_t length = 0; length < text.size(); ++length) {
        const json salvaged = json::parse(encodeRecordingMeta(salvageRecordingMeta(text.substr(0, length), fallback)));
        std::size_t same = 0;
        for (const auto& [key, value] : salvaged.items()) {
            const bool written = whole.contains(key) && whole[key] == value;
            const bool fallen = before.contains(key) && before[key] == value;
            EXPECT_TRUE(written || fallen) << key << " cut at " << length;
            same += written && !fallen;
        }
        EXPECT_GE(same, kept) << "cut at " << length;
        kept = same;
    }
    EXPECT_GT(kept, 20u);  // all but the last member, which the cut always reaches
}

TEST(CursorTelemetryJson, RoundTripsInTheSharedForm) {
    CursorTelemetry telemetry;
    telemetry.points = {{0, 0.5, 0.1, false}, {16, 1, 0, true}, {33, 0.123456789012345, 1e-7, true}};
    const std::string text = encodeCursorTelemetry(telemetry);
    EXPECT_EQ(text, R"({"points":[{"cx":0.5,"cy":0.1,"pressed":false,"t":0},{"cx":1,"cy":0,"pressed":true,"t":16},)"
                    R"({"cx":0.123456789012345,"cy":1e-07,"pressed":true,"t":33}],"sampleHz":60})");
    EXPECT_EQ(decodeCursorTelemetry(text), telemetry);
    EXPECT_EQ(std::hash<CursorTelemetry>{}(*decodeCursorTelemetry(text)), std::hash<CursorTelemetry>{}(telemetry));

    EXPECT_EQ(decodeCursorTelemetry(R"({"points":[{"cx":0,"cy":0,"pressed":false,"t":16.0}],"sampleHz":60.0})")
                  ->points.at(0).t,
              16);
    EXPECT_EQ(decodeCursorTelemetry(R"({"points":[],"sampleHz":60})"), (CursorTelemetry{{}, 60}));
    for (const char* bad : {R"({"points":[{"cx":0,"cy":0,"t":0}],"sampleHz":60})",
                            R"({"points":[{"cx":"0","cy":0,"pressed":false,"t":0}],"sampleHz":60})",
                            R"({"points":[{"cx":0,"cy":0,"pressed":false,"t":0.5}],"sampleHz":60})",
                            R"({"points":{},"sampleHz":60})", R"({"points":[]})", R"({"sampleHz":60})",
                            R"({"points":[1],"sampleHz":60})", "[]", "not json"}) {
        EXPECT_FALSE(decodeCursorTelemetry(bad)) << bad;
    }
}

TEST(ProjectsJson, ArrayOfProjectsWithAllFourKeys) {
    const Project first{*Uuid::parse("11111111-2222-3333-4444-555555555555"),
                        "Launch",
                        {kId, *Uuid::parse("aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee")},
                        at(2026, 1, 2, 3, 4, 5)};
    const Project second{Uuid::random(), "Empty", {}, at(2025, 6, 7, 8, 9, 10)};
    const std::string text = encodeProjects({first, second});
    EXPECT_EQ(text.substr(0, text.find("},{") + 1),
              R"([{"createdAt":"2026-01-02T03:04:05Z","id":"11111111-2222-3333-4444-555555555555","name":"Launch",)"
              R"("recordingIDs":["0B7E3C1A-9F2D-4C55-8A10-3E5F6A7B8C9D","AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE"]})");
    EXPECT_EQ(decodeProjects(text), (std::vector<Project>{first, second}));
    EXPECT_EQ(decodeProjects("[]"), std::vector<Project>{});

    const json one = json::parse(text)[0];
    for (const char* key : {"id", "name", "recordingIDs", "createdAt"}) {
        json broken = one;
        broken.erase(key);
        EXPECT_FALSE(decodeProjects(json::array({broken}).dump())) << key;
    }
    json badId = one;
    badId["recordingIDs"].push_back("nope");
    EXPECT_FALSE(decodeProjects(json::array({badId}).dump()));
    EXPECT_FALSE(decodeProjects(one.dump()));  // an object, not an array
    EXPECT_FALSE(decodeProjects("[1]"));
    json farFuture = one;
    farFuture["createdAt"] = "5690-01-01T00:00:00Z";  // past what the clock holds
    EXPECT_FALSE(decodeProjects(json::array({farFuture}).dump()));
    EXPECT_FALSE(decodeProjects("["));
}

TEST(RecordingCursorMode, StoredModesNormaliseAndOnlyIconGetsASymbol) {
    EXPECT_EQ(normalizedRecordingCursorMode("system"), RecordingCursorMode::system);
    EXPECT_EQ(normalizedRecordingCursorMode("pointer"), RecordingCursorMode::pointer);
    EXPECT_EQ(normalizedRecordingCursorMode("touch"), RecordingCursorMode::touch);
    for (const char* stored : {"largePointer", "icon", "", "laser", "System", " touch"}) {
        EXPECT_EQ(normalizedRecordingCursorMode(stored), RecordingCursorMode::pointer) << '"' << stored << '"';
    }
    EXPECT_EQ(preferredCursorIconSymbol(*recordingCursorModeFromRaw("icon")), "sparkle");
    EXPECT_FALSE(preferredCursorIconSymbol(RecordingCursorMode::largePointer));
    EXPECT_FALSE(preferredCursorIconSymbol(RecordingCursorMode::system));
}

}  // namespace
}  // namespace orvane
