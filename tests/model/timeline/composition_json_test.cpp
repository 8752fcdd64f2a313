#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "base/atomic_file.h"
#include "model/composition_json.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using nlohmann::json;

CompositionDocument richDocument() {
    CompositionDocument document;
    document.recordingID = Uuid::random();
    document.trimStart = 0.5;
    document.trimEnd = 9.25;

    const Asset screen{Uuid::random(), AssetKind::screen, "screen.mp4", AssetOrigin::captured, 0, 10, Size{2560, 1440},
                       {}};
    const Asset mic{Uuid::random(), AssetKind::microphone, "mic.m4a", AssetOrigin::captured, 0.12, 9.9, {}, 48000};
    document.assets = {screen, mic};

    Layer screenLayer;
    screenLayer.assetRef = screen.id;
    screenLayer.placement.segments = {{0, 4, 0}, {6, 10, 0.5}};
    Layer overlay;
    overlay.kind = LayerKind::videoOverlay;
    overlay.assetRef = screen.id;
    overlay.z = 3;
    overlay.enabled = false;
    auto& o = overlay.props;
    o.normalizedFrame = Rect{0.6, 0.6, 0.3, 0.3};
    o.sourceCropRect = Rect{0, 0, 0.5, 0.5};
    o.cornerRadius = 12;
    o.rotationRadians = -0.25;
    o.volume = 0.8f;
    o.mirrored = o.showCursorRing = true;
    o.borderStyle = "glowRing";
    o.label = "Face";
    o.cursorVisualStyle = "ring";
    o.cursorClickAnimationStyle = "pulse";
    o.cursorIconSymbol = "scope";
    o.cursorRingStyle = "blue";
    Layer zoom;
    zoom.kind = LayerKind::zoom;
    auto& z = zoom.props;
    z.timeRangeStart = 1;
    z.timeRangeEnd = 2;
    z.scale = 1.5;
    z.focusX = 0.25;
    z.focusY = 0.75;
    z.easeSpeed = 0.5;
    z.followCursor = false;
    Layer annotation;
    annotation.kind = LayerKind::annotation;
    annotation.props.time = 3;
    annotation.props.cx = 0.1;
    annotation.props.cy = 0.9;
    annotation.props.color = "yellow";
    document.layers = {screenLayer, overlay, zoom, annotation};
    return document;
}

TEST(CompositionJson, RoundTripsEveryFieldInSortedPrettyForm) {
    const auto document = richDocument();
    const auto text = encodeCompositionDocument(document);
    EXPECT_EQ(decodeCompositionDocument(text), document);

    // Pretty-printed, keys sorted, optional fields left out when absent.
    EXPECT_NE(text.find("\n  \"assets\": ["), std::string::npos) << text;
    EXPECT_LT(text.find("\"layers\""), text.find("\"recordingID\""));
    EXPECT_LT(text.find("\"schemaVersion\""), text.find("\"trimEnd\""));

    const auto parsed = json::parse(text);
    EXPECT_EQ(parsed["assets"][0]["pixelSize"], json::parse("[2560.0, 1440.0]"));
    EXPECT_FALSE(parsed["assets"][0].contains("sampleRate"));
    EXPECT_EQ(parsed["layers"][0]["placement"]["segments"][1], json::parse(R"({"headOffset":0.5,"sourceEnd":10.0,"sourceStart":6.0})"));
    EXPECT_EQ(parsed["layers"][0]["props"], json::object());
    EXPECT_FALSE(parsed["layers"][2].contains("assetRef"));
    EXPECT_EQ(parsed["layers"][1]["props"]["normalizedFrame"], json::parse("[[0.6,0.6],[0.3,0.3]]"));
    // A 32-bit gain is written as entered, not widened.
    EXPECT_NE(text.find("\"volume\": 0.8\n"), std::string::npos) << text;
}

TEST(CompositionJson, DecodingRequiresEveryNonOptionalKey) {
    const auto good = json::parse(encodeCompositionDocument(richDocument()));
    auto expectRefused = [](const json& broken, const std::string& mention) {
        std::string error;
        EXPECT_FALSE(decodeCompositionDocument(broken.dump(), &error)) << mention;
        EXPECT_NE(error.find(mention), std::string::npos) << error;
    };
    for (const char* key : {"schemaVersion", "version", "recordingID", "assets", "layers", "trimStart", "trimEnd"}) {
        auto broken = good;
        broken.erase(key);
        expectRefused(broken, key);
    }
    for (const char* key : {"id", "kind", "fileRef", "origin", "captureStart", "intrinsicDuration"}) {
        auto broken = good;
        broken["assets"][1].erase(key);
        expectRefused(broken, key);
    }
    for (const char* key : {"id", "kind", "placement", "z", "enabled", "props"}) {
        auto broken = good;
        broken["layers"][1].erase(key);
        expectRefused(broken, key);
    }
    auto broken = good;
    broken["layers"][0]["placement"]["segments"][0].erase("headOffset");
    expectRefused(broken, "Segment: \"headOffset\" is missing");
    const std::tuple<const char*, json, const char*> wrong[] = {
        {"/layers/0/kind", "sticker", "unknown value \"sticker\""},
        {"/assets/0/origin", "downloaded", "origin"},
        {"/layers/1/props/normalizedFrame", json::parse("[0.6, 0.6, 0.3, 0.3]"), "normalizedFrame"},
        {"/layers/1/props/mirrored", "yes", "LayerProps: \"mirrored\" is not a boolean"},
        {"/layers/1/z", 1.5, "\"z\" is not an integer"}};
    for (const auto& [at, value, mention] : wrong) {
        broken = good;
        broken[json::json_pointer(at)] = value;
        expectRefused(broken, mention);
    }

    std::string error;
    EXPECT_FALSE(decodeCompositionDocument("{\"schemaVersion\": 1,", &error));
    EXPECT_EQ(error, "CompositionDocument: not valid JSON");
    EXPECT_FALSE(decodeCompositionDocument("[]"));

    // Nesting is bounded wherever it sits, even under a key the reader ignores; 64 levels still read.
    const auto nestedUnder = [&](int depth) {
        auto document = good;
        json deep = json::array();
        for (int level = 2; level < depth; ++level) deep = json::array({std::move(deep)});
        document["notes"] = std::move(deep);
        return document.dump();
    };
    EXPECT_TRUE(decodeCompositionDocument(nestedUnder(64)));
    EXPECT_FALSE(decodeCompositionDocument(nestedUnder(65), &error));
    EXPECT_EQ(error, "CompositionDocument: nested deeper than 64 levels");
    EXPECT_FALSE(decodeCompositionDocument(std::string(100000, '[') + std::string(100000, ']'), &error));
    EXPECT_EQ(error, "CompositionDocument: nested deeper than 64 levels");
}

TEST(CompositionJson, WritesAtomicallyIntoTheRecordingFolder) {
    testing::TempDir folder;
    const auto document = richDocument();
    writeCompositionDocument(document, folder.path());
    const auto written = readFileContents(folder / "composition.json");
    ASSERT_TRUE(written);
    EXPECT_EQ(decodeCompositionDocument(*written), document);

    // A failed write keeps the previous file and throws for the caller to log.
    EXPECT_THROW(writeCompositionDocument(document, folder / "missing"), std::system_error);
    EXPECT_EQ(readFileContents(folder / "composition.json"), written);
}

}  // namespace
}  // namespace orvane
