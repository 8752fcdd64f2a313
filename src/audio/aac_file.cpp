#include "audio/aac_file.h"

#include <stdexcept>
#include <string>
#include <system_error>

#include "base/atomic_file.h"
#include "media/encode/aac_writer.h"

namespace orvane {

namespace {

void check(int status, const char* what) {
    if (status < 0) throw std::runtime_error(std::string(what) + ": " + ffmpeg::errorText(status));
}

}  // namespace

void writeAacFile(const std::filesystem::path& file, const AudioBuffer& audio, std::int64_t bitRate) {
    ffmpeg::routeLogging();
    const auto partial = partialSiblingPath(file);
    try {
        AVFormatContext* raw = nullptr;
        check(avformat_alloc_output_context2(&raw, nullptr, "mp4", partial.c_str()), "cannot create the audio file");
        ffmpeg::OutputFormatContext output(raw);
        AacWriter encoder(*output, audio.sampleRate, audio.channels, bitRate);
        check(avio_open(&output->pb, partial.c_str(), AVIO_FLAG_WRITE), "cannot create the audio file");
        check(avformat_write_header(output.get(), nullptr), "cannot write the audio file");
        const auto sink = [&](AVPacket& packet) {
            check(av_interleaved_write_frame(output.get(), &packet), "cannot write the audio file");
        };
        encoder.push(audio.samples.data(), audio.frames(), sink);
        encoder.finish(sink);
        check(av_write_trailer(output.get()), "cannot finish the audio file");
        output.reset();  // closes the file before it is renamed
        std::filesystem::rename(partial, file);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        throw;
    }
}

}  // namespace orvane
