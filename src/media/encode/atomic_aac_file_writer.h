#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace orvane {

// An MPEG-4 audio file (.m4a) of AAC written as the samples come, so long audio never has to be
// held whole. The file is written under a hidden partial name and appears at `file` only when
// finish() succeeds; a writer destroyed before that removes the partial file. (The recorder's
// own AAC writer, by contrast, keeps what it wrote: a recording cut short must stay playable.) Throws
// std::runtime_error with FFmpeg's reason when the file cannot be created or written.
class AtomicAacFileWriter {
public:
    AtomicAacFileWriter(const std::filesystem::path& file, int sampleRate, int channels, std::int64_t bitRate);
    AtomicAacFileWriter(const AtomicAacFileWriter&) = delete;
    AtomicAacFileWriter& operator=(const AtomicAacFileWriter&) = delete;
    ~AtomicAacFileWriter();

    // Interleaved float frames at the writer's rate and channel count.
    void push(const float* interleaved, std::size_t frames);
    // `frames` frames of silence.
    void pushSilence(std::size_t frames);
    std::int64_t framesWritten() const;
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace orvane
