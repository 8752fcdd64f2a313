#include "media/encode/atomic_aac_file_writer.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "base/atomic_file.h"
#include "media/encode/aac_writer.h"

namespace orvane {

namespace {

void check(int status, const char* what) {
    if (status < 0) throw std::runtime_error(std::string(what) + ": " + ffmpeg::errorText(status));
}

}  // namespace

struct AtomicAacFileWriter::State {
    std::filesystem::path file;
    std::filesystem::path partial;
    ffmpeg::OutputFormatContext output;
    std::unique_ptr<AacWriter> encoder;
    AacWriter::PacketSink sink;
    bool finished = false;
};

AtomicAacFileWriter::AtomicAacFileWriter(const std::filesystem::path& file, int sampleRate, int channels,
                                         std::int64_t bitRate)
    : state_(std::make_unique<State>()) {
    ffmpeg::routeLogging();
    auto& s = *state_;
    s.file = file;
    s.partial = partialSiblingPath(file);
    try {
        AVFormatContext* raw = nullptr;
        check(avformat_alloc_output_context2(&raw, nullptr, "mp4", s.partial.c_str()), "cannot create the audio file");
        s.output.reset(raw);
        s.encoder = std::make_unique<AacWriter>(*s.output, sampleRate, channels, bitRate);
        check(avio_open(&s.output->pb, s.partial.c_str(), AVIO_FLAG_WRITE), "cannot create the audio file");
        check(avformat_write_header(s.output.get(), nullptr), "cannot write the audio file");
        s.sink = [output = s.output.get()](AVPacket& packet) {
            check(av_interleaved_write_frame(output, &packet), "cannot write the audio file");
        };
    } catch (...) {
        s.output.reset();
        std::error_code ignored;
        std::filesystem::remove(s.partial, ignored);
        throw;
    }
}

AtomicAacFileWriter::~AtomicAacFileWriter() {
    if (state_->finished) return;
    state_->encoder.reset();
    state_->output.reset();  // closes the partial file before it is removed
    std::error_code ignored;
    std::filesystem::remove(state_->partial, ignored);
}

void AtomicAacFileWriter::push(const float* interleaved, std::size_t frames) {
    state_->encoder->push(interleaved, frames, state_->sink);
}

void AtomicAacFileWriter::pushSilence(std::size_t frames) {
    constexpr std::size_t kBlock = 4096;
    const std::vector<float> silence(kBlock * static_cast<std::size_t>(state_->encoder->channels()), 0.0f);
    while (frames > 0) {
        const std::size_t now = std::min(frames, kBlock);
        push(silence.data(), now);
        frames -= now;
    }
}

std::int64_t AtomicAacFileWriter::framesWritten() const { return state_->encoder->framesPushed(); }

void AtomicAacFileWriter::finish() {
    auto& s = *state_;
    if (s.finished) return;
    s.encoder->finish(s.sink);
    check(av_write_trailer(s.output.get()), "cannot finish the audio file");
    s.encoder.reset();
    s.output.reset();  // closes the file before it is renamed
    std::filesystem::rename(s.partial, s.file);
    s.finished = true;
}

}  // namespace orvane
