#include "recording/tracks/aac_file_writer.h"

#include <stdexcept>
#include <vector>

#include "base/log.h"
#include "base/log_areas.h"
#include "media/encode/aac_writer.h"
#include "media/ffmpeg_handles.h"

namespace orvane {

namespace {

void check(int status, const std::string& what) {
    if (status < 0) throw std::runtime_error(what + ": " + ffmpeg::errorText(status));
}

}  // namespace

struct AacFileWriter::Impl {
    std::filesystem::path file;
    ffmpeg::OutputFormatContext output;
    std::unique_ptr<AacWriter> encoder;
    int channels = 1;
    std::vector<float> scratch;

    void write(AVPacket* packet) {
        check(av_interleaved_write_frame(output.get(), packet), "cannot write " + file.filename().string());
    }
};

AacFileWriter::AacFileWriter(const std::filesystem::path& file, int sampleRate, int channels, std::int64_t bitRate)
    : impl_(std::make_unique<Impl>()) {
    ffmpeg::routeLogging();
    impl_->file = file;
    impl_->channels = channels;
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, "ipod", file.c_str()), "cannot create " + file.string());
    impl_->output.reset(raw);
    impl_->encoder = std::make_unique<AacWriter>(*raw, sampleRate, channels, bitRate);
    check(avio_open(&raw->pb, file.c_str(), AVIO_FLAG_WRITE), "cannot create " + file.string());
    try {
        check(avformat_write_header(raw, nullptr), "cannot write " + file.string());
    } catch (...) {
        impl_->output.reset();
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        throw;
    }
}

AacFileWriter::~AacFileWriter() {
    if (!finished_) finish();
}

void AacFileWriter::appendS16(const std::int16_t* interleaved, int frames) {
    auto& scratch = impl_->scratch;
    scratch.resize(static_cast<std::size_t>(frames) * impl_->channels);
    for (std::size_t i = 0; i < scratch.size(); ++i) scratch[i] = static_cast<float>(interleaved[i]) / 32768.0f;
    appendFloat(scratch.data(), frames);
}

void AacFileWriter::appendFloat(const float* interleaved, int frames) {
    if (finished_ || !error_.empty()) return;
    try {
        impl_->encoder->push(interleaved, frames, [this](AVPacket& packet) { impl_->write(&packet); });
    } catch (const std::exception& e) {
        error_ = e.what();
        log::warning(log_area::kMic, "audio write failed: %s", e.what());
    }
}

std::int64_t AacFileWriter::finish() {
    if (finished_) return impl_->encoder->framesPushed();
    finished_ = true;
    const auto frames = impl_->encoder->framesPushed();
    try {
        if (error_.empty()) impl_->encoder->finish([this](AVPacket& packet) { impl_->write(&packet); });
        check(av_write_trailer(impl_->output.get()), "cannot finish " + impl_->file.filename().string());
    } catch (const std::exception& e) {
        if (error_.empty()) error_ = e.what();
    }
    impl_->output.reset();
    if (frames == 0) {
        std::error_code ignored;
        std::filesystem::remove(impl_->file, ignored);
    }
    return frames;
}

}  // namespace orvane
