#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace orvane {

// Writes an AAC audio file (.m4a) as samples arrive. Not thread-safe; the owner serialises calls.
class AacFileWriter {
public:
    // Creates the file and writes its header. Throws std::runtime_error with the reason when the file
    // cannot be created or the encoder refuses the settings; nothing is left on disk then.
    AacFileWriter(const std::filesystem::path& file, int sampleRate, int channels, std::int64_t bitRate);
    AacFileWriter(const AacFileWriter&) = delete;
    AacFileWriter& operator=(const AacFileWriter&) = delete;
    // Finishes the file when finish() was not called.
    ~AacFileWriter();

    // Interleaved samples. Errors are kept (see error()) rather than thrown: a full disk mid-recording
    // must not take the capture thread down, and what was written so far stays playable.
    void appendS16(const std::int16_t* interleaved, int frames);
    void appendFloat(const float* interleaved, int frames);

    // Drains the encoder and writes the trailer. Answers the number of sample frames written; a file
    // that received none is removed, so "missing" reliably means "no voice".
    std::int64_t finish();
    const std::string& error() const { return error_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string error_;
    bool finished_ = false;
};

}  // namespace orvane
