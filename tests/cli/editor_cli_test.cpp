#include "cli_fixture.h"

namespace orvane {
namespace {

// A 10 s recording whose pointer rests at (0.3, 0.4) with one press around 0.2 s.
class EditorCliTest : public CliTest {
protected:
    void SetUp() override {
        id_ = runJson({"import", sample("take.mp4", 10.0).string(), "--json"})["id"].get<std::string>();
        const auto folder = home_ / "data" / "Orvane" / "Recordings" / id_;
        Json points = Json::array();
        for (int i = 0; i < 600; ++i) {
            points.push_back({{"t", i * 1000 / 60}, {"cx", 0.3}, {"cy", 0.4}, {"pressed", i >= 12 && i <= 18}});
        }
        testing::writeTextFile(folder / "cursor.json", Json{{"points", points}, {"sampleHz", 60}}.dump());
        auto meta = Json::parse(testing::readTextFile(folder / "meta.json"));
        meta["hasCursor"] = true;
        meta["clickCaptureActive"] = true;
        testing::writeTextFile(folder / "meta.json", meta.dump());
    }

    std::string id_;
};

TEST_F(EditorCliTest, ClickBecomesOneZoomThatStaysGoneOnceRemoved) {
    auto zoom = runJson({"autozoom", id_, "--json"});
    ASSERT_EQ(zoom["zoomRegions"].size(), 1u);
    const auto& region = zoom["zoomRegions"][0];
    EXPECT_DOUBLE_EQ(region["start"].get<double>(), 0.0);
    EXPECT_NEAR(region["end"].get<double>(), 1.6, 1e-9);
    EXPECT_DOUBLE_EQ(region["scale"].get<double>(), 1.6);
    EXPECT_NEAR(region["focusX"].get<double>(), 0.3, 1e-9);
    EXPECT_NEAR(region["focusY"].get<double>(), 0.4, 1e-9);
    EXPECT_FALSE(zoom["banner"].is_null());

    const auto camera = runJson({"camera", id_, "--at", "0.8", "--json"});
    EXPECT_NEAR(camera["scale"].get<double>(), 1.6, 1e-9);

    // Looking wrote nothing; once an edit is saved, the zoom comes from it when the recording is
    // opened again, and the banner still reports it.
    const auto sidecar = home_ / "data" / "Orvane" / "Recordings" / id_ / "sidecar.json";
    EXPECT_FALSE(std::filesystem::exists(sidecar));
    EXPECT_EQ(run({"edit", id_, "background", "chalk"}).exitCode, 0);
    zoom = runJson({"autozoom", id_, "--json"});
    EXPECT_EQ(zoom["status"], "ready");
    EXPECT_EQ(zoom["zoomRegions"].size(), 1u);
    EXPECT_FALSE(zoom["banner"].is_null());

    // A position past the end, or too long to be one, removes nothing.
    for (const char* position : {"9", "0", "123456789012345678901234567890"}) {
        const auto refused = run({"edit", id_, "remove-zoom", position});
        EXPECT_NE(refused.exitCode, 0) << position;
        EXPECT_NE(refused.err.find("There is no zoom at position"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(runJson({"autozoom", id_, "--json"})["zoomRegions"].size(), 1u);
    EXPECT_EQ(run({"edit", id_, "remove-zoom", "1"}).exitCode, 0);
    zoom = runJson({"autozoom", id_, "--json"});
    EXPECT_TRUE(zoom["zoomRegions"].empty());
    EXPECT_TRUE(zoom["banner"].is_null());
    EXPECT_NEAR(runJson({"camera", id_, "--at", "0.8", "--json"})["scale"].get<double>(), 1.0, 1e-12);

    // Re-running from the telemetry brings it back.
    EXPECT_EQ(runJson({"autozoom", id_, "--rerun", "--json"})["zoomRegions"].size(), 1u);
}

TEST_F(EditorCliTest, NumbersThatAreNotFiniteAreRefusedAndAnUnreadableEditIsKeptAside) {
    EXPECT_EQ(run({"edit", id_, "trim", "--start", "1", "--end", "3"}).exitCode, 0);
    const auto sidecar = home_ / "data" / "Orvane" / "Recordings" / id_ / "sidecar.json";
    const auto saved = testing::readTextFile(sidecar);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"add-zoom", "--at", "2", "--scale", "nan"},
          {"add-zoom", "--at", "inf"},
          {"add-ramp", "--at", "1", "--speed", "-inf"},
          {"add-mute", "1", "nan"},
          {"corner-radius", "inf"},
          {"add-zoom", "--at", "2", "--scale", "1e12"}}) {
        std::vector<std::string> command{"edit", id_};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const auto result = run(command);
        EXPECT_EQ(result.exitCode, 2) << arguments.front() << ": " << result.err;
        EXPECT_EQ(testing::readTextFile(sidecar), saved) << arguments.front();
    }

    // A sidecar damaged on disk: rendering says so, and the next change keeps it aside.
    testing::writeTextFile(sidecar, saved.substr(0, saved.size() / 2));
    const auto frame = run({"render-frame", id_, "--time", "0.5", "--out", (home_ / "f.png").string()});
    EXPECT_EQ(frame.exitCode, 0) << frame.err;
    EXPECT_NE(frame.err.find("could not be read"), std::string::npos) << frame.err;
    EXPECT_EQ(run({"edit", id_, "background", "chalk"}).exitCode, 0);
    EXPECT_EQ(testing::readTextFile(sidecar.string() + ".corrupt"), saved.substr(0, saved.size() / 2));
}

TEST_F(EditorCliTest, OperationsAreSavedAndShownWithTheRecording) {
    EXPECT_EQ(run({"edit", id_, "trim", "--start", "1", "--end", "9"}).exitCode, 0);
    EXPECT_EQ(run({"edit", id_, "split", "--at", "5"}).exitCode, 0);
    EXPECT_EQ(run({"edit", id_, "add-mute", "2", "3"}).exitCode, 0);
    EXPECT_EQ(run({"edit", id_, "background", "obsidian"}).exitCode, 0);
    EXPECT_EQ(run({"edit", id_, "inset", "0.1"}).exitCode, 0);
    const auto edit = runJson({"edit", id_, "add-ramp", "--at", "6", "--length", "2", "--speed", "3", "--json"});
    EXPECT_EQ(edit["background"], "obsidian");
    EXPECT_DOUBLE_EQ(edit["trimStart"].get<double>(), 1.0);
    EXPECT_DOUBLE_EQ(edit["trimEnd"].get<double>(), 9.0);

    // Gestures are derived afresh from the telemetry at every open, with new ids; compare the rest.
    auto showEdit = [&] {
        auto current = runJson({"show", id_, "--json"})["edit"];
        current.erase("cursorInteractions");
        return current;
    };
    const auto shown = showEdit();
    EXPECT_EQ(shown["background"], "obsidian");
    EXPECT_DOUBLE_EQ(shown["inset"].get<double>(), 0.1);
    EXPECT_EQ(shown.dump().find("\"speed\":3") != std::string::npos, true) << shown.dump();

    // Refusals and bad input change nothing and say why in one line.
    const auto tooLate = run({"edit", id_, "add-ramp", "--at", "8.8"});
    EXPECT_EQ(tooLate.exitCode, 1);
    EXPECT_EQ(tooLate.err.rfind("error: Nothing changed", 0), 0u);
    EXPECT_EQ(run({"edit", id_, "background", "plaid"}).exitCode, 2);
    EXPECT_EQ(run({"edit", id_}).exitCode, 2);
    EXPECT_EQ(showEdit(), shown);
}

TEST_F(EditorCliTest, ApplyTakesARemoteEditRecordAndRefusesMalformedJson) {
    const auto good = home_ / "edit.json";
    testing::writeTextFile(good, R"({"background": "chalk",
        "zoom_regions": [{"start": 2, "end": 4, "scale": 2.0, "x": 0.25}]})");
    const auto result = runJson({"edit", id_, "--apply", good.string(), "--json"});
    EXPECT_EQ(result["background"], "chalk");
    ASSERT_EQ(result["zooms"].size(), 1u);
    EXPECT_DOUBLE_EQ(result["zooms"][0]["focusX"].get<double>(), 0.25);
    EXPECT_DOUBLE_EQ(result["zooms"][0]["focusY"].get<double>(), 0.5);

    const auto sidecar = home_ / "data" / "Orvane" / "Recordings" / id_ / "sidecar.json";
    const auto before = testing::readTextFile(sidecar);
    const auto bad = home_ / "bad.json";
    // Cut short, and a number past the double range (once reported with the parser's own wording).
    for (const char* text : {"{\"background\": ", "{\"trim_start\": 1.5e100000000000000}"}) {
        testing::writeTextFile(bad, text);
        const auto refused = run({"edit", id_, "--apply", bad.string()});
        EXPECT_EQ(refused.exitCode, 1) << text;
        EXPECT_EQ(refused.err, "error: " + bad.string() + " is not valid JSON\n") << text;
        EXPECT_EQ(testing::readTextFile(sidecar), before) << text;
    }
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// Width and height from a PNG's header.
std::pair<std::uint32_t, std::uint32_t> pngSize(const fs::path& file) {
    const auto bytes = testing::readTextFile(file);
    auto be32 = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
        return value;
    };
    return {be32(16), be32(20)};
}

TEST_F(EditorCliTest, RenderFrameDrawsTheOutputFrameAtTheExportSize) {
    const auto frame = home_ / "frame.png";
    auto result = run({"render-frame", id_, "--time", "2", "--out", frame.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(pngSize(frame), (std::pair<std::uint32_t, std::uint32_t>{1920, 1080}));

    // Trimming moves output time 0 to composition time 3.
    EXPECT_EQ(run({"edit", id_, "trim", "--start", "3", "--end", "9"}).exitCode, 0);
    result = run({"render-frame", id_, "--time", "0", "--out", frame.string(), "--size", "640x360"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("composition 3.000 s"), std::string::npos) << result.out;
    EXPECT_EQ(pngSize(frame), (std::pair<std::uint32_t, std::uint32_t>{640, 360}));

    EXPECT_EQ(run({"render-frame", id_, "--time", "0", "--out", frame.string(), "--size", "wide"}).exitCode, 2);
}

}  // namespace
}  // namespace orvane
