#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "cli_fixture.h"

namespace orvane {
namespace {

TEST_F(CliTest, ImportThenListShowsTheRecordingAsJson) {
    const auto imported = runJson({"import", sample("  clip  .mp4", 2.0).string(), "--json"});
    const auto list = runJson({"list", "--json"});
    ASSERT_EQ(list.size(), 1u);
    const auto& entry = list[0];
    EXPECT_EQ(entry["id"], imported["id"]);
    EXPECT_EQ(entry["sourceKind"], "import");
    EXPECT_EQ(entry["sourceTitle"], "clip");
    EXPECT_NEAR(entry["durationMs"].get<double>(), 2000, 80);
    EXPECT_EQ(entry["displayWidth"], 320);
    EXPECT_EQ(entry["displayHeight"], 240);
    EXPECT_TRUE(fs::exists(home_ / "data" / "Orvane" / "Recordings" / entry["id"].get<std::string>() / "meta.json"));

    const auto human = run({"list"});
    EXPECT_EQ(human.exitCode, 0);
    EXPECT_NE(human.out.find("clip"), std::string::npos);
    EXPECT_NE(human.out.find("0:02.0"), std::string::npos);
}

TEST_F(CliTest, RecordingsAreNamedByAnyCasePrefixAndEditedInPlace) {
    const auto id = runJson({"import", sample("Demo.mp4").string(), "--json"})["id"].get<std::string>();
    std::string prefix = id.substr(0, 6);
    for (auto& c : prefix) c = static_cast<char>(std::tolower(c));

    EXPECT_EQ(runJson({"show", prefix, "--json"})["id"], id);
    const auto copy = runJson({"duplicate", prefix, "--json"});
    EXPECT_EQ(copy["sourceTitle"], "Demo copy");
    EXPECT_NE(copy["id"], id);

    EXPECT_EQ(run({"rename", id, "   "}).exitCode, 0);
    EXPECT_FALSE(runJson({"show", id, "--json"}).contains("sourceTitle"));

    const auto thumb = home_ / "thumb.png";
    EXPECT_EQ(run({"thumbnail", id, "--out", thumb.string()}).exitCode, 0);
    EXPECT_GT(fs::file_size(thumb), 100u);

    EXPECT_EQ(run({"delete", id}).exitCode, 0);
    EXPECT_EQ(runJson({"list", "--json"}).size(), 1u);
}

TEST_F(CliTest, FailuresGiveOneLineErrorsAndDistinctExitCodes) {
    const auto missing = run({"show", "FFFFFFFF"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.err, "error: No recording matches \"FFFFFFFF\"\n");

    const auto badImport = run({"import", (home_ / "nothing.mp4").string()});
    EXPECT_EQ(badImport.exitCode, 1);
    EXPECT_EQ(badImport.err, "error: Couldn't import video\n");

    EXPECT_EQ(run({"no-such-command"}).exitCode, 2);
    EXPECT_EQ(run({}).exitCode, 2);

    // Numbers that only look like numbers are usage errors, before any recording is looked up.
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"render-frame", "FFFFFFFF", "--time", "", "--out", "f.png"},
          {"render-frame", "FFFFFFFF", "--time", "nan", "--out", "f.png"},
          {"render-frame", "FFFFFFFF", "--time", "1", "--size", "640x360x2", "--out", "f.png"},
          {"export", "FFFFFFFF", "--out", "o.mp4", "--target-mb", "1e30"},
          {"export", "FFFFFFFF", "--out", "o.mp4", "--max-long-edge", "nan"}}) {
        const auto result = run(command);
        EXPECT_EQ(result.exitCode, 2) << command[2] << " " << command[3] << ": " << result.err;
    }
}

TEST_F(CliTest, ProjectsGroupRecordings) {
    const auto id = runJson({"import", sample("a.mp4").string(), "--json"})["id"].get<std::string>();
    const auto created = runJson({"project", "create", "Launch", "--json"});
    EXPECT_EQ(run({"project", "add", "Launch", id}).exitCode, 0);
    auto projects = runJson({"projects", "--json"});
    ASSERT_EQ(projects.size(), 1u);
    EXPECT_EQ(projects[0]["recordingIDs"], Json::array({id}));

    EXPECT_EQ(run({"project", "rename", created["id"].get<std::string>(), "Launch v2"}).exitCode, 0);
    EXPECT_EQ(run({"delete", id}).exitCode, 0);
    projects = runJson({"projects", "--json"});
    EXPECT_EQ(projects[0]["name"], "Launch v2");
    EXPECT_TRUE(projects[0]["recordingIDs"].empty());
    EXPECT_EQ(run({"project", "delete", "Launch v2"}).exitCode, 0);
    EXPECT_TRUE(runJson({"projects", "--json"}).empty());
}

TEST_F(CliTest, RecoveryToastIsPrintedToStderr) {
    const auto folder = home_ / "data" / "Orvane" / "Recordings" / "0B8F3C2E-6F1A-4D47-9C5A-2B7E8A1D4F60";
    testing::writeTextFile(folder / "screen.mp4", "");
    const auto result = run({"list", "--json"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.err.find("warning: Recovered 1 unfinished recording \xE2\x80\x94 Orvane was force-quit"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(fs::exists(home_ / "data" / "Orvane" / "Recovered" / folder.filename() / "screen.mp4"));
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

TEST_F(CliTest, ConfigReadsDefaultsAndStoresTypedValues) {
    EXPECT_EQ(run({"config", "get", "zantAutoZoomOnClicks"}).out, "true\n");
    EXPECT_EQ(run({"config", "set", "zantAutoZoomOnClicks", "no"}).exitCode, 0);
    EXPECT_EQ(run({"config", "get", "zantAutoZoomOnClicks"}).out, "false\n");
    EXPECT_TRUE(fs::exists(home_ / "config" / "Orvane" / "preferences.json"));

    const auto wrongType = run({"config", "set", "zantShareMaxUploadMB", "lots"});
    EXPECT_EQ(wrongType.exitCode, 2);
    EXPECT_EQ(std::count(wrongType.err.begin(), wrongType.err.end(), '\n'), 1);
    EXPECT_EQ(run({"config", "get", "noSuchKey"}).exitCode, 2);

    const auto list = runJson({"config", "list", "--json"});
    bool sawMode = false;
    for (const auto& entry : list) {
        if (entry["key"] == "zantShareBackendMode") {
            sawMode = true;
            EXPECT_EQ(entry["value"], "hosted");
            EXPECT_EQ(entry["isSet"], false);
        }
    }
    EXPECT_TRUE(sawMode);
    EXPECT_EQ(run({"config", "unset", "zantAutoZoomOnClicks"}).exitCode, 0);
    EXPECT_EQ(run({"config", "get", "zantAutoZoomOnClicks"}).out, "true\n");
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

TEST_F(CliTest, BackgroundsAreWrittenAsOnePngPerStyle) {
    const auto out = home_ / "backgrounds";
    const auto result = run({"backgrounds", "--out", out.string(), "--width", "160", "--height", "90"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(fs::exists(out / "bone.png"));
    EXPECT_TRUE(fs::exists(out / "custom.png"));
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 15);

    testing::writeTextFile(home_ / "a-file", "x");
    EXPECT_EQ(run({"backgrounds", "--out", (home_ / "a-file").string()}).exitCode, 1);
}

}  // namespace
}  // namespace orvane
