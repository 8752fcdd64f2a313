#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "export/gif_writer.h"
#include "export/h264_file_writer.h"
#include "export_test_support.h"
#include "media/ffmpeg_handles.h"
#include "media/media_probe.h"
#include "media/sample_video.h"
#include "support/required_service.h"

namespace orvane {
namespace {

using namespace orvane::testing;
namespace fs = std::filesystem;

// A flat frame of one opaque colour in Cairo's native ARGB32.
RgbaImage flatImage(int width, int height, std::uint32_t argb) {
    RgbaImage image{width, height, width * 4, {}};
    image.pixels.resize(static_cast<std::size_t>(image.stride) * height);
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) std::memcpy(&image.pixels[i], &argb, 4);
    return image;
}

int packetCount(const fs::path& file) {
    auto input = ffmpeg::openInput(file.string());
    if (!input) return -1;
    ffmpeg::Packet packet(av_packet_alloc());
    int count = 0;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        ++count;
        av_packet_unref(packet.get());
    }
    return count;
}

// The application extension that makes a GIF repeat, with its loop count (0: forever).
bool loopsForever(const fs::path& file) {
    const auto bytes = readTextFile(file);
    const auto at = bytes.find("NETSCAPE2.0");
    return bytes.rfind("GIF89a", 0) == 0 && at != std::string::npos && at + 15 <= bytes.size() &&
           bytes.compare(at + 11, 4, std::string("\x03\x01\x00\x00", 4)) == 0;
}

// Renders the edit's second as a real movie: red for the first half, blue for the second.
struct TwoColourRenderer : ExportVideoRenderer {
    void render(std::shared_ptr<const SceneRenderSnapshot>, const OutputProfile& profile, const fs::path& output,
                ExportProgress progress, std::stop_token) override {
        profiles.push_back(profile);
        H264FileWriter writer(output, profile, H264Encoder::software);
        for (int i = 0; i < profile.fps; ++i) {
            const auto image =
                flatImage(profile.width, profile.height, 2 * i < profile.fps ? 0xFFFF0000u : 0xFF0000FFu);
            writer.append(image.pixels.data(), image.stride, i);
        }
        writer.finish();
        if (progress) progress(1.0, std::nullopt);
    }
    std::vector<OutputProfile> profiles;
};

class GifExportTest : public ExportServicesTest {
protected:
    GifExportTest() {
        services.tools = [](std::string_view) { return std::optional<fs::path>(); };
        services.renderer = movies;
        settings.maxLongEdge = 160;
    }
    // Exports a one-second edit to out/<name> and answers how the task ended, with every step text.
    ExportTaskStage exportGif(const std::string& name) {
        ExportController controller(main, background, services);
        const auto watch = controller.changed.subscribe([&] {
            for (const auto& task : controller.tasks())
                if (task.stage.message) steps.push_back(*task.stage.message);
        });
        const auto id = controller.exportGIF(snapshotOfLength(1), settings, temp / "out" / name);
        run();
        return controller.task(id)->stage;
    }

    // The first and last frames of a 160x90 GIF are red and blue.
    static void expectRedThenBlue(const fs::path& file) {
        EXPECT_TRUE(loopsForever(file));
        EXPECT_EQ(packetCount(file), 24);  // one second at the gif preset's 24 fps
        const auto info = probeMedia(file);
        ASSERT_TRUE(info && info->videoSize);
        EXPECT_EQ(*info->videoSize, (Size{160, 90}));
        const auto first = extractVideoFrame(file, 0, 160, 90);
        const auto last = extractVideoFrame(file, 0.95, 160, 90);
        ASSERT_TRUE(first && last);
        const auto centre = [](const RgbaImage& image) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, image.pixels.data() + 45 * image.stride + 80 * 4, 4);
            return pixel;
        };
        // Through H.264 and a palette: each channel near where it was drawn.
        const auto near = [](std::uint32_t pixel, int r, int g, int b) {
            return std::abs(static_cast<int>(pixel >> 16 & 0xff) - r) < 40 &&
                   std::abs(static_cast<int>(pixel >> 8 & 0xff) - g) < 40 &&
                   std::abs(static_cast<int>(pixel & 0xff) - b) < 40;
        };
        EXPECT_TRUE(near(centre(*first), 255, 0, 0)) << std::hex << centre(*first);
        EXPECT_TRUE(near(centre(*last), 0, 0, 255)) << std::hex << centre(*last);
    }

    ExportSettings settings;
    std::shared_ptr<TwoColourRenderer> movies = std::make_shared<TwoColourRenderer>();
    std::vector<std::string> steps;
};

TEST_F(GifExportTest, BuiltInWriterTurnsTheRenderedVideoIntoALoopingGif) {
    const auto stage = exportGif("a.gif");
    ASSERT_EQ(stage.kind, ExportTaskStage::Kind::succeeded) << stage.message.value_or("");
    // The frames come from the exporter, rendered once, not drawn again for each pass.
    ASSERT_EQ(movies->profiles.size(), 1u);
    EXPECT_EQ(movies->profiles[0].width, 160);
    EXPECT_EQ(movies->profiles[0].fps, 24);
    expectRedThenBlue(temp / "out" / "a.gif");
    EXPECT_TRUE(entriesOf(temp / "tmp").empty());
}

TEST_F(GifExportTest, AFailingFfmpegFallsBackToTheBuiltInWriterWithoutShowingItsOutput) {
    // An ffmpeg that cannot make GIFs: it prints its complaint and fails.
    const auto tool = temp / "ffmpeg";
    writeTextFile(tool, "#!/bin/sh\necho \"Unknown encoder 'gif'\" >&2\nexit 1\n");
    fs::permissions(tool, fs::perms::owner_all);
    services.tools = [tool](std::string_view) { return std::optional<fs::path>(tool); };
    std::vector<std::string> platformLog;
    log::ScopedSink sink([&](log::Level, const std::string& line) { platformLog.push_back(line); });

    const auto stage = exportGif("a.gif");
    ASSERT_EQ(stage.kind, ExportTaskStage::Kind::succeeded) << stage.message.value_or("");
    expectRedThenBlue(temp / "out" / "a.gif");
    EXPECT_EQ(movies->profiles.size(), 1u);
    for (const auto& step : steps) EXPECT_THAT(step, ::testing::Not(::testing::HasSubstr("Unknown encoder")));
    EXPECT_THAT(platformLog, ::testing::Contains(::testing::HasSubstr("using the built-in GIF writer")));
    EXPECT_TRUE(entriesOf(temp / "tmp").empty());
}

TEST_F(GifExportTest, AFailedRenderKeepsTheOldGifAndLeavesNothing) {
    writeTextFile(temp / "out" / "a.gif", "old gif");
    services.renderer = renderer;
    renderer->failWith = std::make_exception_ptr(ExportError::pixelBuffer());
    EXPECT_EQ(exportGif("a.gif"), ExportTaskStage::failed("Could not render a frame."));
    // A rendered file the writer cannot read is a failure too, not a GIF of nothing.
    renderer->failWith = nullptr;
    const auto stage = exportGif("a.gif");
    EXPECT_EQ(stage.kind, ExportTaskStage::Kind::failed);
    EXPECT_EQ(readTextFile(temp / "out" / "a.gif"), "old gif");
    EXPECT_EQ(entriesOf(temp / "out").size(), 1u);
    EXPECT_TRUE(entriesOf(temp / "tmp").empty());
}

TEST_F(GifExportTest, FfmpegConvertsTheRenderedVideo) {
    const auto ffmpeg = FFmpegTool::locate("ffmpeg");
    ORVANE_REQUIRE_SERVICE(ffmpeg, "ffmpeg is not installed");
    services.tools = [ffmpeg](std::string_view) { return ffmpeg; };
    // The "rendered" video is a real movie the size the profile asks for.
    struct MovieRenderer : ExportVideoRenderer {
        void render(std::shared_ptr<const SceneRenderSnapshot>, const OutputProfile& profile, const fs::path& output,
                    ExportProgress, std::stop_token) override {
            writeSampleVideo(output, {.width = profile.width,
                                      .height = profile.height,
                                      .fps = profile.fps,
                                      .seconds = 1,
                                      .withAudio = false});
        }
    };
    services.renderer = std::make_shared<MovieRenderer>();
    const auto stage = exportGif("b.gif");
    ASSERT_EQ(stage.kind, ExportTaskStage::Kind::succeeded) << stage.message.value_or("");
    const auto file = temp / "out" / "b.gif";
    EXPECT_TRUE(loopsForever(file));
    EXPECT_EQ(packetCount(file), 24);
    EXPECT_EQ(probeMedia(file)->videoSize, (Size{160, 90}));
    EXPECT_TRUE(entriesOf(temp / "tmp").empty());
}

}  // namespace
}  // namespace orvane
