#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace orvane {

// Why an export or share failed; what() is the text users see.
class ExportError : public std::runtime_error {
public:
    enum class Case {
        shareFailed,
        emptyTimeline,
        writerSetup,
        pixelBuffer,
        ffmpegMissing,
        audioMixFailed,
        shareNotConfigured,
        tooLong
    };

    static ExportError shareFailed(std::string_view text) { return {Case::shareFailed, std::string(text)}; }
    static ExportError emptyTimeline() { return {Case::emptyTimeline, "Nothing to export."}; }
    static ExportError writerSetup() { return {Case::writerSetup, "Could not configure the video writer."}; }
    static ExportError pixelBuffer() { return {Case::pixelBuffer, "Could not render a frame."}; }
    static ExportError ffmpegMissing() {
        return {Case::ffmpegMissing,
                "FFmpeg is required for this export action. Install ffmpeg or choose MP4 without audio muxing."};
    }
    static ExportError audioMixFailed() { return {Case::audioMixFailed, "Could not mix export audio."}; }
    static ExportError shareNotConfigured() {
        return {Case::shareNotConfigured,
                "Sharing is not configured. Add backend URL, access key, and bucket in Settings."};
    }

    static ExportError tooLong() {
        return {Case::tooLong, "The edit runs longer than 24 hours; shorten it to export it."};
    }

    Case which() const { return case_; }

private:
    ExportError(Case which, const std::string& message) : std::runtime_error(message), case_(which) {}
    Case case_;
};

// Thrown when the user cancels an export; never shown as a failure.
class ExportCancelled : public std::runtime_error {
public:
    ExportCancelled() : std::runtime_error("Export cancelled") {}
};

}  // namespace orvane
