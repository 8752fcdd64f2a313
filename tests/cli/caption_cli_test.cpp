#include "cli_fixture.h"
#include "model/caption_segment.h"

namespace orvane {
namespace {

class CaptionCliTest : public CliTest {
protected:
    void SetUp() override {
        id_ = runJson({"import", sample("take.mp4", 2.0).string(), "--json"})["id"].get<std::string>();
        folder_ = home_ / "data" / "Orvane" / "Recordings" / id_;
    }

    std::string id_;
    fs::path folder_;
};

TEST_F(CaptionCliTest, RemovingFillersMutesThemOnceAndSavesTheEdit) {
    auto none = runJson({"captions", id_, "--remove-fillers", "--json"});
    EXPECT_EQ(none["count"], 0);
    EXPECT_EQ(none["title"], "No isolated fillers found");
    EXPECT_FALSE(fs::exists(folder_ / "sidecar.json")) << "nothing changed, so nothing is written";

    CaptionSegment segment;
    segment.start = 0;
    segment.end = 2;
    segment.text = "so um, well uh right";
    segment.words = {{0.0, 0.2, "so"}, {0.3, 0.5, "um,"}, {0.6, 0.8, "well"}, {1.2, 1.4, "uh"}, {1.5, 1.8, "right"}};
    testing::writeTextFile(folder_ / "captions.json", encodeCaptionSegments({segment}));

    const auto muted = runJson({"captions", id_, "--remove-fillers", "--json"});
    EXPECT_EQ(muted["count"], 2);
    EXPECT_EQ(muted["title"], "Muted 2 fillers");
    const auto sidecar = Json::parse(testing::readTextFile(folder_ / "sidecar.json"));
    ASSERT_TRUE(sidecar.contains("mutes")) << sidecar.dump();
    ASSERT_EQ(sidecar["mutes"].size(), 2u);
    EXPECT_NEAR(sidecar["mutes"][0]["start"].get<double>(), 0.24, 1e-9);
    EXPECT_NEAR(sidecar["mutes"][1]["end"].get<double>(), 1.46, 1e-9);

    // The saved mutes already cover both fillers.
    EXPECT_EQ(runJson({"captions", id_, "--remove-fillers", "--json"})["count"], 0);
}

TEST_F(CaptionCliTest, ALanguageWithoutAModelFailsWithItsMessageAndWritesNothing) {
    const auto result = run({"captions", id_, "--locale", "xx_XX.UTF-8"});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.err.find("Speech recognition is not available for the current language."), std::string::npos)
        << result.err;
    EXPECT_FALSE(fs::exists(folder_ / "captions.json"));
    EXPECT_FALSE(fs::exists(folder_ / "sidecar.json"));
}

}  // namespace
}  // namespace orvane
