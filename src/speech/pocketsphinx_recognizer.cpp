#include "speech/pocketsphinx_recognizer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <pocketsphinx.h>

#include "base/log.h"
#include "base/log_areas.h"
#include "media/audio_stream_reader.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

// PocketSphinx's acoustic models listen at 16 kHz and count time in frames of 10 ms.
constexpr int kSampleRate = 16000;
constexpr double kFramesPerSecond = 100;
// Audio is handed to the decoder this many samples at a time; the stop token and the level are
// looked at between blocks.
constexpr std::size_t kBlockSamples = kSampleRate / 10;
// A block is a pause when its level is below this share of the utterance's mean block level, and
// below the floor too for near-silent recordings.
constexpr double kQuietShare = 0.2;
constexpr double kQuietLevel = 0.003;
// An utterance that never pauses is ended here, even at the cost of a split word.
constexpr double kMaxUtteranceSeconds = 60;
// A pause this long is taken as the end of a sentence, and ends the utterance once it has lasted
// the minimum: the language model scores each utterance as a sentence, from its start to its end,
// so utterances that are sentences are heard better than runs of several.
constexpr int kSentencePauseBlocks = 4;  // 0.4 s
constexpr double kMinUtteranceSeconds = 2;

struct ConfigDeleter {
    void operator()(cmd_ln_t* config) const { cmd_ln_free_r(config); }
};
using Config = std::unique_ptr<cmd_ln_t, ConfigDeleter>;

struct DecoderDeleter {
    void operator()(ps_decoder_t* decoder) const { ps_free(decoder); }
};
using Decoder = std::unique_ptr<ps_decoder_t, DecoderDeleter>;

struct SegmentDeleter {
    void operator()(ps_seg_t* segment) const { ps_seg_free(segment); }
};
using SegmentIterator = std::unique_ptr<ps_seg_t, SegmentDeleter>;

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// "en_US.UTF-8@euro" -> ("en", "us"); "en-US" -> ("en", "us"); "de" -> ("de", "").
std::pair<std::string, std::string> languageAndRegion(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") return {"en", "us"};
    const auto separator = locale.find_first_of("_-");
    if (separator == std::string_view::npos) return {lower(locale), ""};
    return {lower(locale.substr(0, separator)), lower(locale.substr(separator + 1))};
}

std::optional<PocketSphinxModel> modelIn(const fs::path& folder) {
    const auto name = folder.filename().string();
    PocketSphinxModel model{folder / name, folder / (name + ".lm.bin"), {}};
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".dict") model.dictionary = entry.path();
    }
    if (model.dictionary.empty() || !fs::is_regular_file(model.acousticModel / "mdef", error) ||
        !fs::is_regular_file(model.languageModel, error)) {
        return std::nullopt;
    }
    return model;
}

// A word as PocketSphinx spells it, or nothing for silence, breath and noise markers ("<sil>",
// "[NOISE]", "++UM++"); alternative pronunciations lose their "(2)".
std::optional<std::string> spokenWord(std::string_view word) {
    if (word.empty() || word.front() == '<' || word.front() == '[' || word.front() == '+') return std::nullopt;
    if (const auto paren = word.find('('); paren != std::string_view::npos && paren > 0) word = word.substr(0, paren);
    return std::string(word);
}

class PocketSphinxRecognizer : public SpeechRecognizer {
public:
    PocketSphinxRecognizer(PocketSphinxModel model, PocketSphinxOptions options)
        : model_(std::move(model)), options_(options) {}

    bool isAvailable() const override {
        std::error_code error;
        return fs::is_regular_file(model_.acousticModel / "mdef", error) &&
               fs::is_regular_file(model_.languageModel, error) && fs::is_regular_file(model_.dictionary, error);
    }

    // Recognition never leaves the computer, so there is no second, server-side attempt to make.
    bool supportsOnDeviceRecognition() const override { return false; }

    std::vector<RecognizedWord> recognize(const fs::path& audio, bool, std::stop_token stop,
                                          const ProgressCallback& progress) override {
        std::lock_guard lock(mutex_);
        std::optional<AudioStreamReader> reader;
        try {
            reader = AudioStreamReader::open(audio, kSampleRate, 1);
        } catch (const AudioStreamError& e) {
            throw SpeechRecognitionError(e.what());
        }
        if (!reader) throw SpeechRecognitionError("The audio file has no sound to recognise.");
        auto& decoder = loadDecoder();
        const double duration = reader->durationSeconds().value_or(0);

        std::vector<RecognizedWord> words;
        std::vector<float> decoded;
        std::vector<std::int16_t> block;
        std::int64_t fed = 0;  // samples handed to the decoder
        std::int64_t utteranceStart = 0;
        bool inUtterance = false;
        // An utterance left open by an exception would make the next start fail.
        struct UtteranceGuard {
            ps_decoder_t* decoder;
            bool& open;
            ~UtteranceGuard() {
                if (open) ps_end_utt(decoder);
            }
        } guard{decoder.get(), inUtterance};

        auto endUtterance = [&] {
            ps_end_utt(decoder.get());
            inUtterance = false;
            collectWords(decoder.get(), static_cast<double>(utteranceStart) / kSampleRate, words);
        };

        int quietBlocks = 0;         // quiet blocks in a row up to the last one
        double utteranceEnergy = 0;  // sum of the utterance's block levels
        std::int64_t utteranceBlocks = 0;
        bool more = true;
        while (more) {
            if (stop.stop_requested()) throw RecognitionCancelled();
            try {
                more = reader->readMore(decoded);
            } catch (const AudioStreamError& e) {
                throw SpeechRecognitionError(e.what());
            }
            while (decoded.size() >= kBlockSamples || (!more && !decoded.empty())) {
                const std::size_t count = std::min(decoded.size(), kBlockSamples);
                double power = 0;
                block.resize(count);
                for (std::size_t i = 0; i < count; ++i) {
                    const float sample = std::clamp(decoded[i], -1.0f, 1.0f);
                    power += static_cast<double>(sample) * sample;
                    block[i] = static_cast<std::int16_t>(std::lrint(sample * 32767.0f));
                }
                decoded.erase(decoded.begin(), decoded.begin() + static_cast<std::ptrdiff_t>(count));
                const double level = std::sqrt(power / static_cast<double>(count));

                if (!inUtterance) {
                    if (ps_start_utt(decoder.get()) < 0)
                        throw SpeechRecognitionError("The recogniser could not start.");
                    inUtterance = true;
                    utteranceStart = fed;
                    utteranceEnergy = 0;
                    utteranceBlocks = 0;
                }
                if (ps_process_raw(decoder.get(), block.data(), block.size(), FALSE, FALSE) < 0) {
                    throw SpeechRecognitionError("The recogniser could not process the audio.");
                }
                fed += static_cast<std::int64_t>(count);
                utteranceEnergy += level;
                ++utteranceBlocks;
                // An utterance ends at a pause between sentences. A long one ends at the next quiet
                // block (a pause between words), so the search never grows with the whole
                // recording; one without any pause is ended anyway.
                const double seconds = static_cast<double>(fed - utteranceStart) / kSampleRate;
                const double quiet =
                    std::max(kQuietLevel, kQuietShare * utteranceEnergy / static_cast<double>(utteranceBlocks));
                quietBlocks = level < quiet ? quietBlocks + 1 : 0;
                if ((seconds >= kMinUtteranceSeconds && quietBlocks >= kSentencePauseBlocks) ||
                    (seconds >= options_.utteranceSeconds && quietBlocks > 0) || seconds >= kMaxUtteranceSeconds) {
                    endUtterance();
                    quietBlocks = 0;
                }
            }
            if (progress && duration > 0) progress(std::min(static_cast<double>(fed) / kSampleRate / duration, 1.0));
        }
        if (inUtterance) endUtterance();
        if (progress) progress(1);
        return words;
    }

private:
    Decoder& loadDecoder() {
        if (decoder_) return decoder_;
        // -remove_silence no: every frame is kept, so frame numbers are times from the utterance
        // start; dropping silent frames would move every word after a pause. Utterances are ended
        // by level instead (see recognize()).
        config_.reset(cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", model_.acousticModel.c_str(), "-lm",
                                  model_.languageModel.c_str(), "-dict", model_.dictionary.c_str(), "-remove_silence",
                                  "no", "-logfn", "/dev/null", nullptr));
        if (!config_) throw SpeechRecognitionError("The speech model could not be read.");
        decoder_.reset(ps_init(config_.get()));
        if (!decoder_) throw SpeechRecognitionError("The speech model could not be loaded.");
        log::info(log_area::kCaptions, "PocketSphinx model loaded from %s", model_.acousticModel.c_str());
        return decoder_;
    }

    // The segments' frame numbers do not start from 0 in every utterance: the search keeps counting
    // across utterances, with a few frames' difference from the samples fed. The utterance's own
    // first frame is where its "<s>" begins (or, without one, its last frame less its length), and
    // word times are measured from there.
    static void collectWords(ps_decoder_t* decoder, double offset, std::vector<RecognizedWord>& words) {
        struct Segment {
            std::string word;
            int start = 0;
            int end = 0;
        };
        std::vector<Segment> segments;
        for (SegmentIterator it(ps_seg_iter(decoder)); it;) {
            Segment segment;
            ps_seg_frames(it.get(), &segment.start, &segment.end);
            segment.word = ps_seg_word(it.get());
            segments.push_back(std::move(segment));
            // ps_seg_next frees the iterator itself at the end.
            it.reset(ps_seg_next(it.release()));
        }
        if (segments.empty()) return;
        const int origin = segments.front().word == "<s>" ? segments.front().start
                                                          : segments.back().end + 1 - ps_get_n_frames(decoder);
        for (auto& segment : segments) {
            if (auto word = spokenWord(segment.word)) {
                words.push_back({offset + (segment.start - origin) / kFramesPerSecond,
                                 offset + (segment.end + 1 - origin) / kFramesPerSecond, std::move(*word)});
            }
        }
    }

    PocketSphinxModel model_;
    PocketSphinxOptions options_;
    std::mutex mutex_;  // one recognition at a time: the decoder holds one utterance
    Config config_;
    Decoder decoder_;
};

}  // namespace

std::optional<PocketSphinxModel> findPocketSphinxModel(const fs::path& root, std::string_view locale) {
    const auto [language, region] = languageAndRegion(locale);
    if (language.empty()) return std::nullopt;
    if (!region.empty()) {
        if (auto model = modelIn(root / (language + "-" + region))) return model;
    }
    std::error_code error;
    std::vector<fs::path> candidates;
    for (const auto& entry : fs::directory_iterator(root, error)) {
        const auto name = entry.path().filename().string();
        if (name == language || name.rfind(language + "-", 0) == 0) candidates.push_back(entry.path());
    }
    std::sort(candidates.begin(), candidates.end());  // the same choice on every run
    for (const auto& folder : candidates) {
        if (auto model = modelIn(folder)) return model;
    }
    return std::nullopt;
}

PocketSphinxService::PocketSphinxService(fs::path modelRoot, PocketSphinxOptions options)
    : modelRoot_(std::move(modelRoot)), options_(options) {}

SpeechAuthorization PocketSphinxService::requestAuthorization() { return SpeechAuthorization::authorized; }

std::unique_ptr<SpeechRecognizer> PocketSphinxService::recognizer(std::string_view locale) {
    auto model = findPocketSphinxModel(modelRoot_, locale);
    if (!model) {
        log::info(log_area::kCaptions, "no PocketSphinx model for locale %.*s under %s",
                  static_cast<int>(locale.size()), locale.data(), modelRoot_.c_str());
        return nullptr;
    }
    return std::make_unique<PocketSphinxRecognizer>(std::move(*model), options_);
}

}  // namespace orvane
