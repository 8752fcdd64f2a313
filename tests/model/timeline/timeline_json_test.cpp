#include <gtest/gtest.h>

#include <tuple>

#include <nlohmann/json.hpp>

#include "model/geometry_json.h"
#include "model/timeline_json.h"

namespace orvane {
namespace {

using nlohmann::json;

// Everything but the fresh id.
auto fields(const ZoomRegion& z) {
    return std::tuple{z.start, z.end, z.scale, z.focusX, z.focusY, z.followCursor, z.easeSpeed};
}

TEST(ClipJson, RoundTripsAndRequiresAllFiveKeys) {
    const Clip clip{Uuid::random(), "screen.mp4", 1.25, 7.5, 0.1};
    const json encoded = toJson(clip);
    EXPECT_EQ(encoded.size(), 5u);
    EXPECT_EQ(encoded["id"], clip.id.string());
    EXPECT_EQ(clipFromJson(encoded), clip);

    for (const char* key : {"id", "sourceFile", "sourceStart", "sourceEnd", "headOffset"}) {
        json missing = encoded;
        missing.erase(key);
        std::string error;
        EXPECT_FALSE(clipFromJson(missing, &error)) << key;
        EXPECT_NE(error.find(key), std::string::npos) << error;
    }
    json wrongType = encoded;
    wrongType["sourceEnd"] = "7.5";
    std::string error;
    EXPECT_FALSE(clipFromJson(wrongType, &error));
    EXPECT_EQ(error, "Clip: \"sourceEnd\" is not a number");
    json badId = encoded;
    badId["id"] = "not-a-uuid";
    EXPECT_FALSE(clipFromJson(badId));
    EXPECT_FALSE(clipFromJson(json::array()));
    // Ids written in lower case are read back canonical.
    json lowerId = encoded;
    lowerId["id"] = "5b0c6f2e-8a0b-4d2c-9c3e-1f2a3b4c5d6e";
    EXPECT_EQ(clipFromJson(lowerId)->id.string(), "5B0C6F2E-8A0B-4D2C-9C3E-1F2A3B4C5D6E");
}

TEST(SpeedRampJson, KeepsTheStoredSpeedAndRequiresEveryKey) {
    const SpeedRamp ramp{Uuid::random(), 2, 6, 0};  // stored as is; the floor applies only when the ramp is used
    EXPECT_EQ(speedRampFromJson(toJson(ramp)), ramp);
    json missing = toJson(ramp);
    missing.erase("speed");
    EXPECT_FALSE(speedRampFromJson(missing));
}

TEST(CursorStyleOverrideJson, RingStyleNameIsOptional) {
    auto override = makeCursorStyleOverride(1, 3, CursorVisualStyle::largePointer, "scope");
    json encoded = toJson(override);
    EXPECT_FALSE(encoded.contains("ringStyleName"));
    EXPECT_EQ(encoded["visualStyle"], "largePointer");
    EXPECT_EQ(cursorStyleOverrideFromJson(encoded), override);

    override.ringStyleName = "green";
    encoded = toJson(override);
    EXPECT_EQ(encoded["ringStyleName"], "green");
    EXPECT_EQ(cursorStyleOverrideFromJson(encoded), override);

    encoded["visualStyle"] = "laser";
    std::string error;
    EXPECT_FALSE(cursorStyleOverrideFromJson(encoded, &error));
    EXPECT_NE(error.find("visualStyle"), std::string::npos);
    encoded = toJson(override);
    encoded.erase("iconSymbol");
    EXPECT_FALSE(cursorStyleOverrideFromJson(encoded));
}

TEST(BorderStyleJson, OneKeyObjectPerCase) {
    EXPECT_EQ(toJson(BorderStyle::thinWhite()).dump(), R"({"thinWhite":{}})");
    EXPECT_EQ(toJson(BorderStyle::colored(1, 0, 0.5, 1)).dump(),
              R"({"colored":{"alpha":1.0,"blue":0.5,"green":0.0,"red":1.0}})");

    const auto red = borderStyleFromJson(json::parse(R"({"colored":{"red":1,"green":0,"blue":0,"alpha":1}})"));
    ASSERT_TRUE(red);
    EXPECT_EQ(*red, BorderStyle::colored(1, 0, 0, 1));
    EXPECT_EQ(borderStyleFromJson(json::parse(R"({"glowRing":{}})")), BorderStyle::glowRing());

    for (auto kind : kAllBorderStyleCases) {
        const auto style = kind == BorderStyle::Case::colored ? BorderStyle::colored(0.2, 0.4, 0.6, 0.8)
                                                              : *BorderStyle::plain(kind);
        EXPECT_EQ(borderStyleFromJson(toJson(style)), style) << caseName(kind);
    }

    std::string error;
    EXPECT_FALSE(borderStyleFromJson(json::object(), &error));
    EXPECT_EQ(error, "BorderStyle: expected exactly one key, found 0");
    EXPECT_FALSE(borderStyleFromJson(json::parse(R"({"thinWhite":{},"glowRing":{}})"), &error));
    EXPECT_EQ(error, "BorderStyle: expected exactly one key, found 2");
    EXPECT_FALSE(borderStyleFromJson(json::parse(R"({"dotted":{}})"), &error));
    EXPECT_EQ(error, "BorderStyle: unknown case \"dotted\"");
    EXPECT_FALSE(borderStyleFromJson(json::parse(R"({"colored":{"red":1,"green":0,"blue":0}})"), &error));
    EXPECT_EQ(error, "BorderStyle.colored: \"alpha\" is missing");
    EXPECT_FALSE(borderStyleFromJson(json::parse(R"({"thinWhite":true})")));
    EXPECT_FALSE(borderStyleFromJson(json::parse(R"("thinWhite")")));
}

TEST(LooseZoomReader, AcceptsBothSpellingsAndFillsDefaults) {
    // Focus defaults to the centre and, unlike a zoom added in the editor, the cursor is not followed.
    const auto minimal = zoomRegionFromLooseJson(json::parse(R"({"start":1,"end":3,"scale":2})"));
    ASSERT_TRUE(minimal);
    EXPECT_EQ(fields(*minimal), std::tuple(1.0, 3.0, 2.0, 0.5, 0.5, false, 0.5));

    const auto snake = zoomRegionFromLooseJson(json::parse(R"({"start":0,"end":2,"scale":1.5,"x":0.2,"y":0.8,
                                                                "follow_cursor":true,"ease_speed":0.9})"));
    ASSERT_TRUE(snake);
    EXPECT_EQ(fields(*snake), std::tuple(0.0, 2.0, 1.5, 0.2, 0.8, true, 0.9));
    const auto camel = zoomRegionFromLooseJson(json::parse(R"({"start":0,"end":2,"scale":1.5,"focusX":0.3,
                                                                "focusY":0.7,"followCursor":true,"easeSpeed":0.1})"));
    ASSERT_TRUE(camel);
    EXPECT_EQ(fields(*camel), std::tuple(0.0, 2.0, 1.5, 0.3, 0.7, true, 0.1));
    EXPECT_NE(snake->id, camel->id);

    // With both spellings the snake_case one wins.
    const auto both = zoomRegionFromLooseJson(
        json::parse(R"({"start":0,"end":2,"scale":1.5,"x":0.1,"focusX":0.9,"follow_cursor":false,"followCursor":true})"));
    EXPECT_EQ(both->focusX, 0.1);
    EXPECT_FALSE(both->followCursor);

    EXPECT_FALSE(zoomRegionFromLooseJson(json::parse(R"({"start":1,"end":3})")));
    EXPECT_FALSE(zoomRegionFromLooseJson(json::parse(R"({"end":3,"scale":2})")));
    EXPECT_FALSE(zoomRegionFromLooseJson(json::parse(R"({"start":"1","end":3,"scale":2})")));
    EXPECT_FALSE(zoomRegionFromLooseJson(json::parse(R"([1,3,2])")));
}

TEST(LooseRampReader, RefusesEmptyRangesAndClampsTheSpeed) {
    const auto fast = speedRampFromLooseJson(json::parse(R"({"start":1,"end":4,"speed":20})"));
    ASSERT_TRUE(fast);
    EXPECT_EQ(std::tuple(fast->start, fast->end, fast->speed), std::tuple(1.0, 4.0, 8.0));
    for (const auto& [given, kept] : {std::pair{0.0, 0.1}, {-3.0, 0.1}, {1.5, 1.5}}) {
        EXPECT_EQ(speedRampFromLooseJson(json{{"start", 1}, {"end", 4}, {"speed", given}})->speed, kept) << given;
    }
    EXPECT_FALSE(speedRampFromLooseJson(json::parse(R"({"start":4,"end":4,"speed":2})")));
    EXPECT_FALSE(speedRampFromLooseJson(json::parse(R"({"start":5,"end":4,"speed":2})")));
    EXPECT_FALSE(speedRampFromLooseJson(json::parse(R"({"start":1,"end":4})")));
    EXPECT_FALSE(speedRampFromLooseJson(json::parse(R"({"start":1,"end":4,"speed":"2"})")));
    EXPECT_FALSE(speedRampFromLooseJson(json(nullptr)));
}

TEST(GeometryJson, RectAndSizeShapes) {
    EXPECT_EQ(rectToJson(Rect{0.1, 0.2, 0.3, 0.4}).dump(), "[[0.1,0.2],[0.3,0.4]]");
    EXPECT_EQ(sizeToJson(Size{1920, 1080}).dump(), "[1920.0,1080.0]");
    EXPECT_EQ(rectFromJson(json::parse("[[1,2],[3,4]]")), (Rect{1, 2, 3, 4}));
    EXPECT_EQ(sizeFromJson(json::parse("[640,480]")), (Size{640, 480}));
    for (const char* bad : {"[1,2,3,4]", "[[1,2],[3]]", "[[1,2],[3,4],[5,6]]", "[[1,\"2\"],[3,4]]", "{}", "null"}) {
        EXPECT_FALSE(rectFromJson(json::parse(bad))) << bad;
    }
    for (const char* bad : {"[1]", "[1,2,3]", "[[1,2]]", "\"640x480\""}) {
        EXPECT_FALSE(sizeFromJson(json::parse(bad))) << bad;
    }
}

}  // namespace
}  // namespace orvane
