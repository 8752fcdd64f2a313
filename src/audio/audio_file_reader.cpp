#include "audio/audio_file_reader.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "media/audio_stream_reader.h"

namespace orvane {

namespace {

// The decode is the media layer's; its failures reach audio's callers as their own error, word for word.
template <typename Work>
auto translatingErrors(Work&& work) -> decltype(work()) {
    try {
        return work();
    } catch (const AudioStreamError& error) {
        throw AudioReadError(error.what());
    }
}

// Reads until `enough` (asked after every piece) says so or the stream ends.
void readInto(AudioStreamReader& reader, std::vector<float>& out, const std::function<bool()>& enough) {
    while (reader.readMore(out)) {
        if (enough()) return;
    }
}

}  // namespace

AudioBuffer readAudioFile(const std::filesystem::path& file) {
    return translatingErrors([&] {
        auto reader = AudioStreamReader::openNative(file);
        if (!reader) throw AudioReadError("Couldn't read audio from " + file.string() + ": it has no audio");
        AudioBuffer out;
        out.sampleRate = reader->sampleRate();
        out.channels = reader->channels();
        readInto(*reader, out.samples, [] { return false; });
        return out;
    });
}

bool streamAudioFile(const std::filesystem::path& file, int sampleRate, int channels, const DecodedAudioSink& chunk) {
    return translatingErrors([&] {
        auto reader = AudioStreamReader::open(file, sampleRate, channels);
        if (!reader) return false;
        // Handed on piece by piece, so no more than one piece is ever held.
        std::vector<float> pending;
        while (reader->readMore(pending)) {
            chunk(pending.data(), pending.size() / static_cast<std::size_t>(channels));
            pending.clear();  // keeps its capacity for the next piece
        }
        return true;
    });
}

std::optional<AudioBuffer> readAudioRange(const std::filesystem::path& file, double start,
                                          std::optional<double> duration, int sampleRate, int channels) {
    return translatingErrors([&]() -> std::optional<AudioBuffer> {
        auto reader = AudioStreamReader::open(file, sampleRate, channels);
        if (!reader) return std::nullopt;
        start = std::max(start, 0.0);
        reader->seek(start);

        std::vector<float> decoded;
        const auto ch = static_cast<std::size_t>(channels);
        const auto wanted =
            duration ? static_cast<std::size_t>(std::llround(std::max(*duration, 0.0) * sampleRate)) : 0;
        // Decoding stops once the samples reach past start + duration, with slack for the resampler.
        readInto(*reader, decoded, [&] {
            if (!duration) return false;
            const double covered =
                reader->firstFrameTime().value_or(start) + static_cast<double>(decoded.size() / ch) / sampleRate;
            return covered > start + *duration + 0.05;
        });

        AudioBuffer out;
        out.sampleRate = sampleRate;
        out.channels = channels;
        const double first = reader->firstFrameTime().value_or(start);
        const auto skip = static_cast<std::ptrdiff_t>(std::llround((start - first) * sampleRate));
        const std::size_t available = decoded.size() / ch;
        const std::size_t count =
            duration ? wanted
                     : (skip >= 0 ? available - std::min<std::size_t>(available, static_cast<std::size_t>(skip))
                                  : available + static_cast<std::size_t>(-skip));
        // Time the file does not cover stays silent.
        out.samples.assign(count * ch, 0.0f);
        for (std::size_t i = 0; i < count; ++i) {
            const std::ptrdiff_t from = skip + static_cast<std::ptrdiff_t>(i);
            if (from < 0 || static_cast<std::size_t>(from) >= available) continue;
            std::copy_n(decoded.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(from) * ch), ch,
                        out.samples.begin() + static_cast<std::ptrdiff_t>(i * ch));
        }
        return out;
    });
}

}  // namespace orvane
