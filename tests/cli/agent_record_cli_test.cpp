#include <cmath>
#include <cstdint>
#include <fstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "cli_fixture.h"
#include "media/video_frame.h"
#include "net/url_components.h"
#include "platform/linux/instance_channel.h"
#include "platform/x11/test_display.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

// A mono 16-bit WAV of a quiet tone.
void writeTone(const fs::path& file, double seconds) {
    const int rate = 16000;
    const auto samples = static_cast<std::uint32_t>(seconds * rate);
    std::ofstream out(file, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out << "RIFF";
    u32(36 + samples * 2);
    out << "WAVEfmt ";
    u32(16), u16(1), u16(1), u32(rate), u32(rate * 2), u16(2), u16(16);
    out << "data";
    u32(samples * 2);
    for (std::uint32_t i = 0; i < samples; ++i) u16(static_cast<std::uint16_t>(std::lround(3000 * std::sin(i * 0.2))));
}

// Pixels that differ clearly between two frames inside a box of fractions.
int changedPixels(const RgbaImage& a, const RgbaImage& b, double cx, double cy, double half) {
    int changed = 0;
    const int x0 = std::max(0, static_cast<int>((cx - half) * a.width));
    const int x1 = std::min(a.width, static_cast<int>((cx + half) * a.width));
    const int y0 = std::max(0, static_cast<int>((cy - half) * a.height));
    const int y1 = std::min(a.height, static_cast<int>((cy + half) * a.height));
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const auto* p = &a.pixels[static_cast<std::size_t>(y * a.stride + x * 4)];
            const auto* q = &b.pixels[static_cast<std::size_t>(y * b.stride + x * 4)];
            int d = 0;
            for (int c = 0; c < 3; ++c) d += std::abs(p[c] - q[c]);
            if (d > 60) ++changed;
        }
    }
    return changed;
}

class AgentRecordCliTest : public CliTest {
protected:
    void SetUp() override {
        display_ = "DISPLAY=" + testing::testDisplayName();
        fs::create_directories(home_ / "config" / "Orvane");
        // Automatic zooms would move the picture under the cursor; these tests look at the cursor alone.
        std::ofstream(home_ / "config" / "Orvane" / "preferences.json") << R"({"zantAutoZoomOnClicks": false})";
        fs::create_directories(home_ / "run");
    }
    std::vector<std::string> environment() const { return {display_, "XDG_RUNTIME_DIR=" + (home_ / "run").string()}; }
    testing::CliResult agent(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "agent-record");
        return testing::runOrvane(home_.path(), arguments, environment());
    }
    fs::path writePlan(const std::string& name, const std::string& json) {
        const auto path = home_ / name;
        std::ofstream(path) << json;
        return path;
    }
    bool libraryIsEmpty() {
        const auto folder = home_ / "data" / "Orvane" / "Recordings";
        return !fs::exists(folder) || fs::is_empty(folder);
    }

    std::string display_;
};

TEST_F(AgentRecordCliTest, APlanIsRecordedWithItsCursorClicksAndNarration) {
    testing::TestWindow backdrop(testing::TestWindow::Look::at(0, 0, 1280, 720, 0x3050A0));
    const auto plan = writePlan("plan.json", R"({"steps": [
        {"action": "move", "x": 0.25, "y": 0.25, "time": 0.2},
        {"x": 0.5, "y": 0.5, "at": 1.0, "narration": "Here we click"},
        {"action": "move", "x": 0.5, "y": 0.5, "time": 1.8},
        {"action": "drag", "x": 0.2, "y": 0.7, "to_x": 0.6, "endY": 0.7, "time": 2.2, "duration": 0.5},
        {"action": "type", "text": "hi", "time": 2.9}]})");
    writeTone(home_ / "voice.wav", 0.8);
    const auto out = home_ / "agent.mp4";
    const auto result = agent({"--plan", plan.string(), "--duration", "3.5", "--narration",
                               (home_ / "voice.wav").string(), "--out", out.string(), "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto json = Json::parse(result.out);
    EXPECT_EQ(json["file"], out.string());
    EXPECT_EQ(json["plan"]["keyframes"].size(), 5u);
    ASSERT_TRUE(fs::exists(out));

    // The telemetry is the plan's: at each keyframe's time (within a frame) the cursor is at its point.
    const fs::path folder = json["folder"].get<std::string>();
    const auto cursor = Json::parse(std::ifstream(folder / "cursor.json"));
    const auto& points = cursor["points"];
    ASSERT_GT(points.size(), 150u);
    auto sampleAt = [&](double seconds) {
        const Json* best = nullptr;
        for (const auto& p : points)
            if (!best ||
                std::abs(p["t"].get<double>() - seconds * 1000) < std::abs((*best)["t"].get<double>() - seconds * 1000))
                best = &p;
        EXPECT_LE(std::abs((*best)["t"].get<double>() - seconds * 1000), 1000.0 / 60);
        return *best;
    };
    for (const auto& k : json["plan"]["keyframes"]) {
        const auto sample = sampleAt(k["time"].get<double>());
        EXPECT_NEAR(sample["cx"].get<double>(), k["x"].get<double>(), 0.02) << k;
        EXPECT_NEAR(sample["cy"].get<double>(), k["y"].get<double>(), 0.02) << k;
    }
    EXPECT_TRUE(sampleAt(1.07)["pressed"].get<bool>());
    EXPECT_FALSE(sampleAt(1.5)["pressed"].get<bool>());
    EXPECT_TRUE(sampleAt(2.5)["pressed"].get<bool>()) << "a drag holds the button";
    const auto meta = Json::parse(std::ifstream(folder / "meta.json"));
    EXPECT_TRUE(meta["hasCursor"].get<bool>());
    const auto sidecar =
        std::string(std::istreambuf_iterator<char>(std::ifstream(folder / "sidecar.json").rdbuf()), {});
    EXPECT_NE(sidecar.find("voice.wav"), std::string::npos) << "the narration is a voice clip of the edit";

    // The export draws the cursor where the plan puts it and a click animation on the click.
    const auto early = extractVideoFrame(out, 0.3, 960, 540);
    const auto pulse = extractVideoFrame(out, 1.06, 960, 540);
    const auto still = extractVideoFrame(out, 1.65, 960, 540);
    const auto late = extractVideoFrame(out, 3.2, 960, 540);
    ASSERT_TRUE(early && pulse && still && late);
    EXPECT_GT(changedPixels(*pulse, *still, 0.5, 0.5, 0.08), 40) << "the pulse around the click";
    EXPECT_GT(changedPixels(*early, *late, 0.3, 0.3, 0.1), 20) << "the cursor at the first point";
    EXPECT_GT(changedPixels(*early, *late, 0.58, 0.66, 0.1), 20) << "the cursor at the drag's end";
    EXPECT_EQ(changedPixels(*early, *late, 0.85, 0.2, 0.08), 0) << "nothing where the cursor never went";
}

TEST_F(AgentRecordCliTest, PerformedPlanClicksTheWindowUnderItAndTheRecordingShowsIt) {
    testing::TestWindow backdrop(testing::TestWindow::Look::at(0, 0, 1280, 720, 0x202020));
    auto look = testing::TestWindow::Look::at(440, 260, 400, 200, 0xC00000);
    look.takesClicks = true;
    testing::TestWindow button(look);
    const auto plan = writePlan("plan.json", R"({"steps": [{"x": 0.5, "y": 0.5, "time": 0.8}]})");
    const auto out = home_ / "performed.mp4";
    testing::OrvaneProcess process(
        home_.path(), {"agent-record", "--plan", plan.string(), "--duration", "2", "--perform", "--out", out.string()},
        environment());
    int presses = 0;
    auto running = [pid = process.pid()] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string skip, state;
        stat >> skip >> skip >> state;
        return stat && state != "Z";
    };
    for (int i = 0; i < 3000 && running(); ++i) {
        if (button.takePresses() > 0 && presses++ == 0) button.fill(0x00C000);  // a button lighting up
        std::this_thread::sleep_for(10ms);
    }
    const auto result = process.wait();
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_GE(presses, 1) << "the window under the plan's click received it";
    const auto before = extractVideoFrame(out, 0.3, 480, 270);
    const auto after = extractVideoFrame(out, 1.8, 480, 270);
    ASSERT_TRUE(before && after);
    auto green = [](const RgbaImage& image) {
        int count = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const auto* p = &image.pixels[static_cast<std::size_t>(y * image.stride + x * 4)];
                count += p[1] > 150 && p[0] < 80 && p[2] < 80;
            }
        return count;
    };
    EXPECT_EQ(green(*before), 0);
    EXPECT_GT(green(*after), 500) << "the recording shows the window's new colour";
}

TEST_F(AgentRecordCliTest, UnusablePlansAreRefusedBeforeAnythingIsRecorded) {
    const std::pair<std::string, std::string> cases[] = {
        {"{not json", "The action plan is not valid JSON"},
        {R"({"steps": []})", "The action plan has no steps."},
        {R"({"steps": [{"x": 1.2, "y": 0.5}]})", "Step 1 of the action plan has x = 1.2, outside 0...1"},
    };
    for (const auto& [text, message] : cases) {
        const auto result = agent({"--plan", writePlan("bad.json", text).string(), "--duration", "1"});
        EXPECT_EQ(result.exitCode, 2) << text;
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    }
    const auto missing = agent({"--plan", (home_ / "absent.json").string()});
    EXPECT_NE(missing.err.find("Couldn't read the action plan"), std::string::npos) << missing.err;
    EXPECT_TRUE(libraryIsEmpty());
}

// A GET to the loopback reply address, as the studio's reply is sent.
void sendReply(const std::string& returnURL, const std::string& query) {
    const auto url = URLComponents::parse(returnURL);
    ASSERT_TRUE(url);
    const auto hostEnd = returnURL.find('/', returnURL.find("//") + 2);
    const auto port = std::stoi(returnURL.substr(returnURL.rfind(':', hostEnd) + 1));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string request = "GET " + url->path() + "?" + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    char buffer[256];
    (void)!::read(fd, buffer, sizeof buffer);
    ::close(fd);
}

TEST_F(AgentRecordCliTest, ARunningStudioIsHandedTheRequestAndItsReplyIsPrinted) {
    fs::create_directories(home_ / "run" / "orvane");
    InstanceChannel studio(home_ / "run" / "orvane" / "studio.sock");
    ASSERT_TRUE(studio.listen());
    const auto plan = writePlan("plan.json", R"({"steps": [{"x": 0.5, "y": 0.5, "time": 1}]})");

    auto handOver = [&](const std::string& replyQuery, std::vector<std::string> extra) {
        std::vector<std::string> arguments{"agent-record", "--plan", plan.string(), "--duration", "4"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        testing::OrvaneProcess process(home_.path(), arguments, environment());
        std::vector<InstanceMessage> messages;
        for (int i = 0; i < 500 && messages.empty(); ++i) {
            messages = studio.acceptPending();
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_EQ(messages.size(), 1u);
        std::optional<URLComponents> link;
        if (!messages.empty() && !messages[0].empty()) link = URLComponents::parse(messages[0][0]);
        if (link) {
            EXPECT_EQ(link->host(), "agent-record");
            const auto returnURL = link->queryValue("return");
            EXPECT_TRUE(returnURL && returnURL->rfind("http://127.0.0.1:", 0) == 0);
            if (returnURL) sendReply(*returnURL, replyQuery);
        }
        return std::make_pair(link, process.wait());
    };

    const auto [link, done] = handOver("orvaneExportURL=file%3A%2F%2F%2Ftmp%2Fexported.mp4&kind=display",
                                       {"--source", "display:3", "--perform"});
    ASSERT_TRUE(link);
    EXPECT_EQ(link->queryValue("actionPlan"), fileURL(plan.string()));
    EXPECT_EQ(link->queryValue("displayID"), "3");
    EXPECT_EQ(link->queryValue("controlMode"), "perform");
    EXPECT_EQ(std::stod(link->queryValue("duration").value_or("0")), 4.0);
    EXPECT_EQ(done.exitCode, 0) << done.err;
    EXPECT_EQ(done.out, "/tmp/exported.mp4\n");

    const auto [_, failed] = handOver("error=Orvane%20is%20already%20recording.", {});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("Orvane is already recording."), std::string::npos) << failed.err;
    EXPECT_TRUE(libraryIsEmpty()) << "the studio records, not the command";
}

}  // namespace
}  // namespace orvane
