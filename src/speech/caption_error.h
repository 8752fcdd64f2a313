#pragma once

#include <stdexcept>
#include <string>

namespace orvane {

// Why captions could not be made; what() is the text the editor shows under "Couldn't generate
// captions".
class CaptionError : public std::runtime_error {
public:
    enum class Kind { audioExtraction, audioRead, permissionDenied, noRecognizer, noAudioTrack };

    static CaptionError audioExtraction(const std::string& detail) {
        return {Kind::audioExtraction, "Orvane could not prepare the recording audio for captioning: " + detail};
    }
    static CaptionError audioRead(const std::string& detail) {
        return {Kind::audioRead, "Speech recognition could not transcribe the recording: " + detail};
    }
    static CaptionError permissionDenied() {
        return {Kind::permissionDenied,
                "Speech recognition permission was denied. Enable it in System Settings > Privacy & Security > "
                "Speech Recognition."};
    }
    static CaptionError noRecognizer() {
        return {Kind::noRecognizer, "Speech recognition is not available for the current language."};
    }
    static CaptionError noAudioTrack() {
        return {Kind::noAudioTrack, "This recording does not have an audio track to caption."};
    }

    Kind kind() const { return kind_; }

private:
    CaptionError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

    Kind kind_;
};

}  // namespace orvane
