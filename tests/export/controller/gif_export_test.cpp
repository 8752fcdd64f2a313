#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "export/gif_writer.h"
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

class GifExportTest : public ExportServicesTest {
protected:
    GifExportTest() {
        services.tools = [](std::string_view) { return std::optional<fs::path>(); };
        settings.maxLongEdge = 160;
    }
    // Exports a one-second edit to out/<name> and answers how the task ended.
    ExportTaskStage exportGif(const std::string& name) {
        ExportController controller(main, background, services);
        const auto id = controller.exportGIF(snapshotOfLength(1), settings, temp / "out" / name);
        run();
        return controller.task(id)->stage;
    }

    ExportSettings settings;
};

TEST_F(GifExportTest, BuiltInWriterDrawsEveryFrameIntoALoopingGif) {
    std::vector<double> drawnTimes;
    services.drawFrame = [&](const std::shared_ptr<const SceneRenderSnapshot>&, double time, int width, int height) {
        drawnTimes.push_back(time);
        return std::optional<RgbaImage>(flatImage(width, height, time < 0.5 ? 0xFFFF0000u : 0xFF0000FFu));
    };
    const auto stage = exportGif("a.gif");
    ASSERT_EQ(stage.kind, ExportTaskStage::Kind::succeeded) << stage.message.value_or("");
    EXPECT_TRUE(renderer->profiles.empty());
    // One second at the gif preset's 24 fps, each frame drawn once for the palette and once to encode.
    EXPECT_EQ(drawnTimes.size(), 48u);
    EXPECT_DOUBLE_EQ(drawnTimes[23], 23.0 / 24);
    const auto file = temp / "out" / "a.gif";
    EXPECT_TRUE(loopsForever(file));
    EXPECT_EQ(packetCount(file), 24);
    const auto info = probeMedia(file);
    ASSERT_TRUE(info && info->videoSize);
    EXPECT_EQ(*info->videoSize, (Size{160, 90}));

    const auto first = extractVideoFrame(file, 0, 160, 90);
    const auto last = extractVideoFrame(file, 0.95, 160, 90);
    ASSERT_TRUE(first && last);
    std::uint32_t firstPixel = 0, lastPixel = 0;
    std::memcpy(&firstPixel, first->pixels.data(), 4);
    std::memcpy(&lastPixel, last->pixels.data(), 4);
    EXPECT_EQ(firstPixel & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(lastPixel & 0xFFFFFFu, 0x0000FFu);
    EXPECT_TRUE(entriesOf(temp / "tmp").empty());
}

TEST_F(GifExportTest, WithoutFfmpegOrFramesTheGifFailsCleanly) {
    writeTextFile(temp / "out" / "a.gif", "old gif");
    EXPECT_EQ(exportGif("a.gif"), ExportTaskStage::failed("FFmpeg is required for this export action. Install "
                                                          "ffmpeg or choose MP4 without audio muxing."));
    // A drawer that answers the wrong size fails the export with a reason and leaves the old file.
    services.drawFrame = [](const std::shared_ptr<const SceneRenderSnapshot>&, double, int, int) {
        return std::optional<RgbaImage>(flatImage(10, 10, 0xFF000000u));
    };
    const auto stage = exportGif("a.gif");
    EXPECT_EQ(stage.kind, ExportTaskStage::Kind::failed);
    EXPECT_THAT(stage.message.value_or(""), ::testing::HasSubstr("expected 160x90"));
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
