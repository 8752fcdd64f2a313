#pragma once

// Speech recognition by an OpenAI-compatible transcription service with the user's own key: the
// prepared audio goes up as 16 kHz mono WAV in a multipart form and comes back as timed words.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "speech/speech_recognizer.h"

namespace orvane {

class HttpTransport;

// The keychain account of the user's OpenAI key; voiceover synthesis reads the same one.
inline constexpr std::string_view kOpenAIAPIKeyAccount = "openaiTTSAPIKey";
// The service's own address; ORVANE_SERVICE_URL_OPENAI points it elsewhere.
inline constexpr std::string_view kOpenAIDefaultBaseURL = "https://api.openai.com/v1";
// The service refuses larger uploads; checking first saves sending them.
inline constexpr std::size_t kOpenAITranscriptionUploadLimit = 25u * 1000u * 1000u;

// Reads one secret from the keychain; nothing when none is stored.
using SecretReader = std::function<std::optional<std::string>(const std::string& account)>;

struct OpenAITranscriptionConfig {
    std::string baseURL = std::string(kOpenAIDefaultBaseURL);  // ends in /v1
    std::string model = "whisper-1";
    // Upload and recognition of a long recording take minutes.
    std::chrono::milliseconds timeout = std::chrono::minutes(5);
};

// Raw values of the recogniser preference and `--recognizer`.
enum class RecognizerChoice { local, openai };
std::string_view rawValue(RecognizerChoice choice);
std::optional<RecognizerChoice> recognizerChoiceFromRaw(std::string_view raw);

// WAV (RIFF, 16-bit PCM) bytes of interleaved float samples, clamped to full scale.
std::string encodeWav(const float* samples, std::size_t frames, int sampleRate, int channels);

// The words of a verbose_json transcription ("words": [{"word", "start", "end"}]). Throws
// SpeechRecognitionError when the body is not such an answer.
std::vector<RecognizedWord> decodeTranscriptionWords(std::string_view body);

class OpenAISpeechService : public SpeechRecognitionService {
public:
    OpenAISpeechService(OpenAITranscriptionConfig config, std::shared_ptr<HttpTransport> transport,
                        SecretReader readSecret);

    // Nothing to ask on this computer: sending audio is the user's choice of recogniser.
    SpeechAuthorization requestAuthorization() override { return SpeechAuthorization::authorized; }
    // One recogniser for every locale: the service detects the language, and is told it when the
    // locale names one.
    std::unique_ptr<SpeechRecognizer> recognizer(std::string_view locale) override;

private:
    OpenAITranscriptionConfig config_;
    std::shared_ptr<HttpTransport> transport_;
    SecretReader readSecret_;
};

}  // namespace orvane
