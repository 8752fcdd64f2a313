#include "speech/openai_transcriber.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <vector>

#include "audio/audio_file_reader.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/uuid.h"
#include "net/http_transport.h"
#include "net/service_url.h"
#include "speech/service_errors.h"

namespace orvane {

namespace {

// What the recogniser listens at; speech needs no more, and it keeps the upload small.
constexpr int kUploadSampleRate = 16000;

void appendLE(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// "en_US.UTF-8" -> "en"; nothing for the portable locales, where the service should detect it.
std::optional<std::string> languageOf(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of("_-.@"));
    if (locale.size() < 2 || locale.size() > 3 || locale == "C") return std::nullopt;
    std::string language;
    for (const char c : locale) {
        if (!std::isalpha(static_cast<unsigned char>(c))) return std::nullopt;
        language += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return language;
}

class OpenAIRecognizer : public SpeechRecognizer {
public:
    OpenAIRecognizer(OpenAITranscriptionConfig config, std::shared_ptr<HttpTransport> transport,
                     SecretReader readSecret, std::optional<std::string> language)
        : config_(std::move(config)),
          transport_(std::move(transport)),
          readSecret_(std::move(readSecret)),
          language_(std::move(language)) {}

    bool isAvailable() const override { return transport_ != nullptr; }
    bool supportsOnDeviceRecognition() const override { return false; }

    std::vector<RecognizedWord> recognize(const std::filesystem::path& audio, bool, std::stop_token stop,
                                          const ProgressCallback& progress) override {
        // The key is read first so a missing one fails before any audio is decoded or sent.
        const auto key = readKey();
        const auto wav = decodeToWav(audio, stop);
        if (progress) progress(0.1);

        const std::string boundary = "orvane-" + Uuid::random().string();
        std::string body;
        body.reserve(wav.size() + 1024);
        const auto field = [&](std::string_view name, std::string_view value) {
            body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + std::string(name) + "\"\r\n\r\n";
            body += value;
            body += "\r\n";
        };
        field("model", config_.model);
        field("response_format", "verbose_json");
        field("timestamp_granularities[]", "word");
        if (language_) field("language", *language_);
        body += "--" + boundary +
                "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\nContent-Type: "
                "audio/wav\r\n\r\n";
        body += wav;
        body += "\r\n--" + boundary + "--\r\n";

        HttpRequest request;
        request.method = "POST";
        request.url = trimTrailingSlashes(config_.baseURL) + "/audio/transcriptions";
        request.headers = {{"Authorization", "Bearer " + key},
                           {"Content-Type", "multipart/form-data; boundary=" + boundary},
                           {"Accept", "application/json"}};
        request.body = std::move(body);
        request.timeout = config_.timeout;
        if (progress) {
            request.uploadProgress = [&progress](std::uint64_t sent, std::uint64_t total) {
                if (total > 0) progress(0.1 + 0.6 * static_cast<double>(sent) / static_cast<double>(total));
            };
        }

        HttpResponse response;
        try {
            response = transport_->send(request, stop);
        } catch (const HttpCancelled&) {
            throw RecognitionCancelled();
        } catch (const HttpTransportError& e) {
            throw SpeechRecognitionError(redactSecret(e.what(), key));
        }
        if (!response.ok()) {
            log::warning(log_area::kCaptions, "transcription service answered HTTP %d", response.status);
            throw SpeechRecognitionError(
                describeServiceFailure("OpenAI transcription", response, kOpenAIAPIKeyAccount, key));
        }
        auto words = decodeTranscriptionWords(response.body);
        if (progress) progress(1.0);
        return words;
    }

private:
    std::string readKey() const {
        std::optional<std::string> key;
        try {
            if (readSecret_) key = readSecret_(std::string(kOpenAIAPIKeyAccount));
        } catch (const std::exception& e) {
            throw SpeechRecognitionError(std::string("The keychain could not be read: ") + e.what());
        }
        if (!key || key->empty()) throw SpeechRecognitionError(std::string(missingKeyMessage(kOpenAIAPIKeyAccount)));
        return *key;
    }

    std::string decodeToWav(const std::filesystem::path& audio, std::stop_token stop) const {
        std::vector<float> samples;
        try {
            const bool hasAudio = streamAudioFile(audio, kUploadSampleRate, 1, [&](const float* data, std::size_t n) {
                if (stop.stop_requested()) throw RecognitionCancelled();
                samples.insert(samples.end(), data, data + n);
                if (samples.size() * 2 > kOpenAITranscriptionUploadLimit) {
                    throw SpeechRecognitionError(
                        "The audio is too long for OpenAI transcription (its upload limit is 25 MB, about 13 "
                        "minutes of speech). Use the local recogniser for this recording.");
                }
            });
            if (!hasAudio) throw SpeechRecognitionError("The audio file has no sound to recognise.");
        } catch (const AudioReadError& e) {
            throw SpeechRecognitionError(e.what());
        }
        return encodeWav(samples.data(), samples.size(), kUploadSampleRate, 1);
    }

    OpenAITranscriptionConfig config_;
    std::shared_ptr<HttpTransport> transport_;
    SecretReader readSecret_;
    std::optional<std::string> language_;
};

}  // namespace

std::string_view rawValue(RecognizerChoice choice) { return choice == RecognizerChoice::openai ? "openai" : "local"; }

std::optional<RecognizerChoice> recognizerChoiceFromRaw(std::string_view raw) {
    if (raw == "local") return RecognizerChoice::local;
    if (raw == "openai") return RecognizerChoice::openai;
    return std::nullopt;
}

std::string encodeWav(const float* samples, std::size_t frames, int sampleRate, int channels) {
    const std::size_t count = frames * static_cast<std::size_t>(channels);
    const auto dataBytes = static_cast<std::uint32_t>(count * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    appendLE(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    appendLE(out, 16, 4);
    appendLE(out, 1, 2);  // PCM
    appendLE(out, static_cast<std::uint32_t>(channels), 2);
    appendLE(out, static_cast<std::uint32_t>(sampleRate), 4);
    appendLE(out, static_cast<std::uint32_t>(sampleRate * channels * 2), 4);
    appendLE(out, static_cast<std::uint32_t>(channels * 2), 2);
    appendLE(out, 16, 2);
    out += "data";
    appendLE(out, dataBytes, 4);
    for (std::size_t i = 0; i < count; ++i) {
        const float clamped = std::clamp(samples[i], -1.0f, 1.0f);
        const auto value = static_cast<std::int16_t>(std::lround(clamped * 32767.0f));
        appendLE(out, static_cast<std::uint16_t>(value), 2);
    }
    return out;
}

std::vector<RecognizedWord> decodeTranscriptionWords(std::string_view body) {
    const auto json = nlohmann::json::parse(body, nullptr, false);
    const char* notAnAnswer = "The transcription service sent an answer that is not a transcription.";
    if (!json.is_object()) throw SpeechRecognitionError(notAnAnswer);
    std::vector<RecognizedWord> words;
    const auto list = json.find("words");
    // Silence comes back as text without a word list.
    if (list == json.end() || list->is_null()) return words;
    if (!list->is_array()) throw SpeechRecognitionError(notAnAnswer);
    for (const auto& item : *list) {
        if (!item.is_object() || !item.contains("word") || !item["word"].is_string() || !item.contains("start") ||
            !item["start"].is_number() || !item.contains("end") || !item["end"].is_number()) {
            throw SpeechRecognitionError(notAnAnswer);
        }
        // The service puts a leading space before most words; captions join words themselves.
        auto text = item["word"].get<std::string>();
        const auto first = text.find_first_not_of(" \t\n");
        text = first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
        if (text.empty()) continue;
        const double start = item["start"].get<double>();
        const double end = std::max(start, item["end"].get<double>());
        if (!std::isfinite(start) || !std::isfinite(end)) throw SpeechRecognitionError(notAnAnswer);
        words.push_back({start, end, std::move(text)});
    }
    return words;
}

OpenAISpeechService::OpenAISpeechService(OpenAITranscriptionConfig config, std::shared_ptr<HttpTransport> transport,
                                         SecretReader readSecret)
    : config_(std::move(config)), transport_(std::move(transport)), readSecret_(std::move(readSecret)) {}

std::unique_ptr<SpeechRecognizer> OpenAISpeechService::recognizer(std::string_view locale) {
    return std::make_unique<OpenAIRecognizer>(config_, transport_, readSecret_, languageOf(locale));
}

}  // namespace orvane
