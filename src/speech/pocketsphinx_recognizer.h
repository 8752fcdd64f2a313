#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "speech/speech_recognizer.h"

namespace orvane {

// Where Debian's pocketsphinx-en-us (and any other PocketSphinx language package) puts its models.
inline constexpr std::string_view kPocketSphinxModelRoot = "/usr/share/pocketsphinx/model";

// The files of one PocketSphinx language: the acoustic model folder, the language model and the
// pronunciation dictionary.
struct PocketSphinxModel {
    std::filesystem::path acousticModel;
    std::filesystem::path languageModel;
    std::filesystem::path dictionary;
};

// The model for `locale` under `root`: the folder named for the language and region ("en_US.UTF-8"
// -> "en-us"), else another region of the same language. The portable "C" and "POSIX" locales mean
// US English. Nothing when no such model is installed complete.
std::optional<PocketSphinxModel> findPocketSphinxModel(const std::filesystem::path& root, std::string_view locale);

struct PocketSphinxOptions {
    // Recognition goes utterance by utterance, each ended at a pause between sentences; one that
    // reaches this length without such a pause ends at its next pause between words.
    double utteranceSeconds = 15;
};

// Speech recognition with PocketSphinx on this computer. No permission is involved on Linux, so
// authorisation is always granted; a locale whose model is not installed has no recogniser.
class PocketSphinxService : public SpeechRecognitionService {
public:
    explicit PocketSphinxService(std::filesystem::path modelRoot = std::filesystem::path(kPocketSphinxModelRoot),
                                 PocketSphinxOptions options = {});

    SpeechAuthorization requestAuthorization() override;
    std::unique_ptr<SpeechRecognizer> recognizer(std::string_view locale) override;

private:
    std::filesystem::path modelRoot_;
    PocketSphinxOptions options_;
};

}  // namespace orvane
