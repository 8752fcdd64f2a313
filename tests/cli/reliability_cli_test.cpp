#include <sys/stat.h>

#include <set>
#include <thread>

#include "cli_fixture.h"

namespace orvane {
namespace {

// A 4 s recording with a pointer track, opened by several commands at once or fed hostile files.
class ReliabilityCliTest : public CliTest {
protected:
    void SetUp() override {
        id_ = runJson({"import", sample("take.mp4", 4.0).string(), "--json"})["id"].get<std::string>();
        folder_ = home_ / "data" / "Orvane" / "Recordings" / id_;
        Json points = Json::array();
        for (int i = 0; i < 240; ++i)
            points.push_back({{"t", i * 1000 / 60}, {"cx", 0.3}, {"cy", 0.4}, {"pressed", false}});
        testing::writeTextFile(folder_ / "cursor.json", Json{{"points", points}, {"sampleHz", 60}}.dump());
        auto meta = Json::parse(testing::readTextFile(folder_ / "meta.json"));
        meta["hasCursor"] = true;
        testing::writeTextFile(folder_ / "meta.json", meta.dump());
    }

    fs::path sidecar() const { return folder_ / "sidecar.json"; }

    std::string id_;
    fs::path folder_;
};

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

TEST_F(ReliabilityCliTest, EditsMadeAtOnceAllLandAndLookingNeverWrites) {
    ASSERT_EQ(run({"edit", id_, "background", "chalk"}).exitCode, 0);

    // Two writers, twenty mutes each, every one its own 50 ms; each run reads, changes and saves.
    constexpr int kPerWriter = 20;
    std::vector<std::string> failures[2];
    auto writer = [&](int which) {
        for (int i = 0; i < kPerWriter; ++i) {
            const double start = (which * kPerWriter + i) * 0.08;
            testing::OrvaneProcess process(
                home_.path(), {"edit", id_, "add-mute", std::to_string(start), std::to_string(start + 0.05)}, {},
                "-writer" + std::to_string(which));
            const auto result = process.wait();
            if (result.exitCode != 0) failures[which].push_back(result.err);
        }
    };
    std::thread first(writer, 0), second(writer, 1);
    first.join();
    second.join();
    EXPECT_TRUE(failures[0].empty() && failures[1].empty()) << (failures[0].empty() ? failures[1] : failures[0])[0];
    const auto edit = Json::parse(testing::readTextFile(sidecar()));
    EXPECT_EQ(edit["mutes"].size(), 2u * kPerWriter);
    EXPECT_EQ(edit["background"], "chalk");

    // Viewing the zooms and the camera leaves the saved edit as it was, byte for byte and in place.
    struct stat before {};
    ASSERT_EQ(::stat(sidecar().c_str(), &before), 0);
    const auto saved = testing::readTextFile(sidecar());
    for (const std::vector<std::string>& command : {std::vector<std::string>{"autozoom", id_, "--json"},
                                                    {"camera", id_, "--at", "1"},
                                                    {"camera", id_, "--samples", "--json"},
                                                    {"show", id_, "--json"}}) {
        EXPECT_EQ(run(command).exitCode, 0) << command.front();
    }
    struct stat after {};
    ASSERT_EQ(::stat(sidecar().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(testing::readTextFile(sidecar()), saved);
    // The lock is not shown as one of the recording's files.
    const auto files = runJson({"show", id_, "--json"})["files"];
    EXPECT_EQ(std::find(files.begin(), files.end(), ".edit.lock"), files.end()) << files.dump();
}

TEST_F(ReliabilityCliTest, TimesFarPastTheRecordingAreKeptWithinItAndExportStaysSane) {
    ASSERT_EQ(run({"edit", id_, "trim", "--start", "1", "--end", "3"}).exitCode, 0);
    auto edit = Json::parse(testing::readTextFile(sidecar()));
    edit["trimStart"] = 0.5;
    edit["trimEnd"] = 1e308;
    edit["zooms"] = Json::array(
        {{{"start", 1.0}, {"end", 1e300}, {"scale", 2.0}, {"focusX", 0.5}, {"focusY", 0.5}, {"followCursor", false}}});
    edit["speedRamps"] = Json::array({{{"start", -1e308}, {"end", 1e308}, {"speed", 0.1}}});
    edit["mutes"] = Json::array({{{"start", 2.0}, {"end", 1e308}}});
    edit["clips"] =
        Json::array({{{"sourceFile", "screen.mp4"}, {"sourceStart", 0.0}, {"sourceEnd", 1e308}, {"headOffset", 0.0}}});
    testing::writeTextFile(sidecar(), edit.dump());

    // Looking at 60 Hz samples over the whole edit answers about 4 s worth of them.
    const auto samples = runJson({"camera", id_, "--samples", "--json"});
    EXPECT_LE(samples["camera"].size(), 4u * 60 + 2);

    const auto frame = run({"render-frame", id_, "--time", "1", "--out", (home_ / "f.png").string()});
    EXPECT_EQ(frame.exitCode, 0) << frame.err;

    const auto out = home_ / "out.mp4";
    const auto exported = run({"export", id_, "--out", out.string()});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_GT(fs::file_size(out), 0u);

    // The next change saves the times within the recording.
    ASSERT_EQ(run({"edit", id_, "background", "chalk"}).exitCode, 0);
    edit = Json::parse(testing::readTextFile(sidecar()));
    EXPECT_LE(edit["trimEnd"].get<double>(), 4.1);
    EXPECT_LE(edit["zooms"][0]["end"].get<double>(), 4.1);
    EXPECT_LE(edit["mutes"][0]["end"].get<double>(), 4.1);
    EXPECT_GE(edit["speedRamps"][0]["start"].get<double>(), 0.0);
    EXPECT_LE(edit["clips"][0]["sourceEnd"].get<double>(), 4.1);

    // A remote edit record is held to the same bounds.
    const auto remote = home_ / "remote.json";
    testing::writeTextFile(remote, R"({"trim_end": 1e308, "mute_regions": [{"start": 1, "end": 1e300}]})");
    const auto applied = runJson({"edit", id_, "--apply", remote.string(), "--json"});
    EXPECT_LE(applied["trimEnd"].get<double>(), 4.1);
    EXPECT_LE(applied["mutes"][0]["end"].get<double>(), 4.1);
}

TEST_F(ReliabilityCliTest, ADayOfNothingBeforeAClipOrInThePointerTrackIsNotWalkedFrameByFrame) {
    // The pointer track jumps a day ahead, as a suspended machine's clock may.
    auto track = Json::parse(testing::readTextFile(folder_ / "cursor.json"));
    track["points"].push_back({{"t", 24 * 60 * 60 * 1000}, {"cx", 0.9}, {"cy", 0.9}, {"pressed", false}});
    testing::writeTextFile(folder_ / "cursor.json", track.dump());
    ASSERT_EQ(run({"edit", id_, "background", "chalk"}).exitCode, 0);
    auto edit = Json::parse(testing::readTextFile(sidecar()));
    edit["clips"] = Json::array(
        {{{"sourceFile", "screen.mp4"}, {"sourceStart", 0.0}, {"sourceEnd", 2.0}, {"headOffset", 0.0}},
         {{"sourceFile", "screen.mp4"}, {"sourceStart", 2.0}, {"sourceEnd", 4.0}, {"headOffset", 24.0 * 60 * 60}}});
    edit["trimEnd"] = 24.0 * 60 * 60 + 4;
    testing::writeTextFile(sidecar(), edit.dump());

    // Ten minutes of gap at most: the 60 Hz samples and the export cover 4 s of clips and that.
    const auto samples = runJson({"camera", id_, "--samples", "--json"});
    EXPECT_LE(samples["camera"].size(), (600u + 4u) * 60 + 2);
    const auto planned = run({"export", id_, "--dry-run", "--out", (home_ / "out.mp4").string()});
    ASSERT_EQ(planned.exitCode, 0) << planned.err;
    const auto seconds = planned.out.substr(planned.out.rfind(", ") + 2);
    EXPECT_NEAR(std::stod(seconds), 604.0, 0.01) << planned.out;
    const auto frame = run({"render-frame", id_, "--time", "603", "--out", (home_ / "f.png").string()});
    EXPECT_EQ(frame.exitCode, 0) << frame.err;

    ASSERT_EQ(run({"edit", id_, "inset", "0.1"}).exitCode, 0);
    edit = Json::parse(testing::readTextFile(sidecar()));
    EXPECT_EQ(edit["clips"][1]["headOffset"].get<double>(), 600.0);
    EXPECT_LE(edit["trimEnd"].get<double>(), 604.1);
}

TEST_F(ReliabilityCliTest, UnreadableFilesAreNamedOnceAndAFullDiskSaysSo) {
    testing::writeTextFile(folder_ / "cursor.json", "{\"points\": [");
    const auto preferences = home_ / "config" / "Orvane" / "preferences.json";
    fs::create_directories(preferences.parent_path());
    testing::writeTextFile(preferences, "{not json");
    const auto projects = home_ / "data" / "Orvane" / "projects.json";
    testing::writeTextFile(projects, "[{\"id\": 7}");

    // `show --json` reads the projects twice, the preferences many times and opens the edit.
    const auto shown = run({"show", id_, "--json"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    for (const auto& file : {folder_ / "cursor.json", preferences, projects}) {
        EXPECT_EQ(occurrences(shown.err, file.string() + " could not be read"), 1u) << shown.err;
    }
    // Skipped is not replaced: the files are as they were.
    EXPECT_EQ(testing::readTextFile(preferences), "{not json");
    EXPECT_EQ(testing::readTextFile(projects), "[{\"id\": 7}");

    // Output that cannot be written is a failure that names the reason.
    const auto full = testing::OrvaneProcess(home_.path(), {"list"}, {}, "-full", fs::path("/dev/full")).wait();
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.err.find("Couldn't write the output: the disk is full"), std::string::npos) << full.err;
}

TEST_F(ReliabilityCliTest, TitlesArePrintedWithTheirControlCharactersEscaped) {
    // An escape sequence that would recolour the terminal, a bell, and a right-to-left override.
    const std::string title = "Demo \x1b[31mred\x07 \xE2\x80\xAEgnp.exe caf\xC3\xA9";
    ASSERT_EQ(run({"rename", id_, title}).exitCode, 0);
    ASSERT_EQ(run({"project", "create", "Team \x1b]0;owned\x07"}).exitCode, 0);

    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"list"}, {"show", id_}, {"projects"}, {"list", "--json"}, {"rename", id_, title}}) {
        const auto result = run(command);
        ASSERT_EQ(result.exitCode, 0) << command.front() << ": " << result.err;
        for (const char* raw : {"\x1b", "\x07", "\xE2\x80\xAE"}) {
            EXPECT_EQ(result.out.find(raw), std::string::npos) << command.front() << ": " << result.out;
        }
        if (command.front() != "projects") {
            EXPECT_NE(result.out.find("caf\xC3\xA9"), std::string::npos) << command.front();
        }
    }
    EXPECT_NE(run({"list"}).out.find("Demo \\u001B[31mred\\u0007 \\u202Egnp.exe"), std::string::npos);
    EXPECT_NE(run({"projects"}).out.find("Team \\u001B]0;owned\\u0007"), std::string::npos);
    // JSON readers still get the title exactly as it was given.
    EXPECT_EQ(runJson({"list", "--json"})[0]["sourceTitle"], title);
}

}  // namespace
}  // namespace orvane
