#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "media/decode/frame_decoder.h"
#include "media/encode/video_encoder.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// Encodes `frames` grey pictures through an encoder set up by `settings` into `file`; answers the
// encoder's name.
std::string encodeGreyMovie(const fs::path& file, VideoEncoderSettings settings, int frames) {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mp4", file.c_str()) < 0) throw std::runtime_error("no mp4");
    ffmpeg::OutputFormatContext output(raw);
    VideoEncoder encoder(*output, settings);
    if (avio_open(&output->pb, file.c_str(), AVIO_FLAG_WRITE) < 0) throw std::runtime_error("cannot create");
    if (avformat_write_header(output.get(), nullptr) < 0) throw std::runtime_error("no header");
    const auto write = [&](AVPacket& packet) { av_interleaved_write_frame(output.get(), &packet); };
    auto picture = encoder.newPicture();
    for (int n = 0; n < frames; ++n) {
        for (int plane = 0; plane < 3; ++plane) {
            const int rows = plane == 0 ? settings.height : settings.height / 2;
            for (int y = 0; y < rows; ++y) {
                std::memset(picture->data[plane] + y * picture->linesize[plane], 128, picture->linesize[plane]);
            }
        }
        encoder.encode(*picture, n, write);
    }
    encoder.finish(write);
    av_write_trailer(output.get());
    return encoder.name();
}

TEST(VideoEncoderTest, FallsBackToSoftwareWhenNoVaapiDeviceOpensUnlessHardwareIsRequired) {
    testing::TempDir dir;
    VideoEncoderSettings settings;
    settings.width = 64;
    settings.height = 48;
    settings.fps = 10;
    settings.hardware = VideoHardware::preferred;
    settings.hardwareDevice = (dir / "renderD999").string();  // no such device: the GPU path fails

    EXPECT_EQ(encodeGreyMovie(dir / "fallback.mp4", settings, 12), "libx264");
    FrameDecoder decoder(dir / "fallback.mp4", DecodeOptions{});
    EXPECT_EQ(decoder.displaySize().width, 64);
    int decoded = 0;
    while (decoder.read()) ++decoded;
    EXPECT_EQ(decoded, 12);

    settings.hardware = VideoHardware::required;
    try {
        encodeGreyMovie(dir / "required.mp4", settings, 1);
        ADD_FAILURE() << "a required GPU encoder opened without a device";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("renderD999"), std::string::npos) << error.what();
    }

    // Odd sizes cannot be 4:2:0.
    settings.hardware = VideoHardware::off;
    settings.width = 63;
    EXPECT_THROW(encodeGreyMovie(dir / "odd.mp4", settings, 1), std::runtime_error);
}

}  // namespace
}  // namespace orvane
