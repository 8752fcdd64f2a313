#pragma once

// The speech-recognition service captions are made with: permission, a recogniser for a locale,
// and recognition of an audio file into timed words. The Linux implementation is PocketSphinx
// (pocketsphinx_recognizer.h); tests use fakes.

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "model/caption_segment.h"

namespace orvane {

// A recognised word: `start` and `end` are seconds from the start of the recognised file.
using RecognizedWord = CaptionWord;

// How far a long run has come, 0...1. Called on the thread that runs the work.
using ProgressCallback = std::function<void(double fraction)>;

// Recognition failed; the description says why (it ends up in the caption error's message).
class SpeechRecognitionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The work stopped because its stop token was requested.
class RecognitionCancelled : public std::runtime_error {
public:
    RecognitionCancelled() : std::runtime_error("Caption generation was cancelled.") {}
};

// One recogniser for one locale. recognize() blocks; run it as background work. One recognition
// at a time per recogniser.
class SpeechRecognizer {
public:
    virtual ~SpeechRecognizer() = default;

    // Whether it can recognise now (its model is in place, its service answers).
    virtual bool isAvailable() const = 0;
    // Whether it can be told to stay on this computer while it may otherwise use a server. An
    // engine that only ever runs locally answers false: asking twice would repeat the same work.
    virtual bool supportsOnDeviceRecognition() const = 0;

    // Every word of the file in spoken order, with times from the file's start. Throws
    // SpeechRecognitionError when the file cannot be read or recognised, RecognitionCancelled once
    // `stop` is requested.
    virtual std::vector<RecognizedWord> recognize(const std::filesystem::path& audio, bool requiresOnDevice,
                                                  std::stop_token stop, const ProgressCallback& progress) = 0;
};

enum class SpeechAuthorization { authorized, denied, restricted, notDetermined };

// The platform's speech-recognition service. Safe to call from any thread.
class SpeechRecognitionService {
public:
    virtual ~SpeechRecognitionService() = default;

    // Asked once per captioning run.
    virtual SpeechAuthorization requestAuthorization() = 0;
    // A recogniser for `locale` ("en_US.UTF-8", "en-US", "de"), or null when there is none.
    virtual std::unique_ptr<SpeechRecognizer> recognizer(std::string_view locale) = 0;
};

// The user's language as the environment states it (LC_ALL, then LC_MESSAGES, then LANG), "C"
// when none is set.
std::string currentLocaleName();

}  // namespace orvane
