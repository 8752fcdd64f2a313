#include "speech/auto_captioner.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <system_error>

#include "base/atomic_file.h"
#include "base/log.h"
#include "base/log_areas.h"
#include "base/uuid.h"
#include "media/encode/atomic_aac_file_writer.h"
#include "media/media_conversion.h"
#include "media/media_probe.h"
#include "model/project_sidecar.h"
#include "model/time_mapping.h"
#include "audio/audio_file_reader.h"
#include "audio/mix_plan.h"
#include "model/scene_render_snapshot.h"
#include "speech/caption_grouping.h"

namespace orvane::AutoCaptioner {

namespace fs = std::filesystem;

namespace {

// Share of the progress bar that preparing the audio takes; recognition takes the rest.
constexpr double kPreparingShare = 0.25;
// The edit's audio is read this much at a time, so a long clip is never held whole.
constexpr double kReadWindowSeconds = 30;

void report(const CaptionRunControl& control, double fraction) {
    if (control.progress) control.progress(std::clamp(fraction, 0.0, 1.0));
}

void throwIfStopped(const std::stop_token& stop) {
    if (stop.stop_requested()) throw RecognitionCancelled();
}

// A fresh temporary path; a file left under that name is removed first.
fs::path temporaryAudioPath(const std::string& prefix) {
    auto path = fs::temp_directory_path() / (prefix + Uuid::random().string() + ".m4a");
    std::error_code ignored;
    fs::remove(path, ignored);
    return path;
}

// Removes a temporary prepared file when the run ends, however it ends; a file that will not go is
// left behind rather than failing a run that otherwise worked.
class PreparedAudioCleanup {
public:
    explicit PreparedAudioCleanup(const PreparedAudio& audio) : audio_(audio) {}
    PreparedAudioCleanup(const PreparedAudioCleanup&) = delete;
    PreparedAudioCleanup& operator=(const PreparedAudioCleanup&) = delete;
    ~PreparedAudioCleanup() {
        if (!audio_.isTemporary) return;
        std::error_code error;
        fs::remove(audio_.url, error);
        if (error)
            log::info(log_area::kCaptions, "could not remove %s: %s", audio_.url.c_str(), error.message().c_str());
    }

private:
    const PreparedAudio& audio_;
};

bool hasAudio(const fs::path& file, std::map<fs::path, bool>& known) {
    auto [it, inserted] = known.try_emplace(file, false);
    if (inserted) {
        const auto probe = probeMedia(file);
        it->second = probe && probe->hasAudio;
    }
    return it->second;
}

std::vector<RecognizedWord> recognizeOnce(SpeechRecognizer& recognizer, const PreparedAudio& audio, bool onDevice,
                                          const CaptionRunControl& control) {
    return recognizer.recognize(audio.url, onDevice, control.stop, [&](double fraction) {
        report(control, kPreparingShare + (1 - kPreparingShare) * fraction);
    });
}

}  // namespace

PreparedAudio prepareAudio(const SceneRenderSnapshot& snapshot, const CaptionRunControl& control) {
    const auto& timeline = snapshot.edit.timeline;
    std::vector<MixPiece> pieces;
    std::map<fs::path, bool> audible;
    bool anyAudio = false;
    for (const auto& clip : timeline.clips)
        anyAudio = hasAudio(snapshot.clipBaseDirectory / clip.sourceFile, audible) || anyAudio;
    if (!anyAudio) throw CaptionError::noAudioTrack();
    for (auto& piece : planMix(snapshot)) {
        if (piece.kind == MixSourceKind::recording && hasAudio(piece.file, audible)) pieces.push_back(std::move(piece));
    }

    const double length = std::max(timeline.trimEnd - timeline.trimStart, 0.0);
    const int rate = kEditAudioSampleRate;
    PreparedAudio prepared{temporaryAudioPath("orvane-captions-timeline-"), true, timeline.trimStart};
    try {
        AtomicAacFileWriter writer(prepared.url, rate, 1, kEditAudioBitRate);
        for (const auto& piece : pieces) {
            // Pieces come in composition order. Each is read at normal speed and placed where its
            // composition time lies, so ramps change nothing about where a word is found.
            const double compositionStart =
                compositionTimeForOutputTime(piece.outputStart, timeline.trimStart, timeline.speedRamps);
            const auto target = std::llround((compositionStart - timeline.trimStart) * rate);
            std::int64_t skip = 0;  // frames rounding made overlap with the previous piece
            if (target > writer.framesWritten()) {
                writer.pushSilence(static_cast<std::size_t>(target - writer.framesWritten()));
            } else {
                skip = writer.framesWritten() - target;
            }
            for (double offset = 0; offset < piece.sourceDuration; offset += kReadWindowSeconds) {
                throwIfStopped(control.stop);
                const double duration = std::min(kReadWindowSeconds, piece.sourceDuration - offset);
                const auto chunk = readAudioRange(piece.file, piece.sourceStart + offset, duration, rate, 1);
                if (!chunk) break;
                const auto frames = static_cast<std::int64_t>(chunk->frames());
                const auto dropped = std::min(skip, frames);
                writer.push(chunk->samples.data() + dropped, static_cast<std::size_t>(frames - dropped));
                skip -= dropped;
                if (length > 0)
                    report(control,
                           kPreparingShare * (compositionStart - timeline.trimStart + offset + duration) / length);
            }
        }
        writer.finish();
    } catch (const RecognitionCancelled&) {
        throw;
    } catch (const std::exception& e) {
        throw CaptionError::audioExtraction(e.what());
    }
    report(control, kPreparingShare);
    return prepared;
}

PreparedAudio prepareAudio(const fs::path& videoURL, const ToolLocator& tools, const CaptionRunControl& control) {
    const auto probe = probeMedia(videoURL);
    if (!probe)
        throw CaptionError::audioExtraction(videoURL.string() + " is " + std::string(describe(*probe.failure())));
    if (!probe->hasAudio) throw CaptionError::noAudioTrack();
    PreparedAudio prepared{temporaryAudioPath("orvane-captions-"), true, 0};
    try {
        convertAudioFile(videoURL, prepared.url, control.stop);
    } catch (const MediaConversionCancelled&) {
        throw RecognitionCancelled();
    } catch (const std::exception& e) {
        log::warning(log_area::kCaptions, "audio export failed, trying ffmpeg: %s", e.what());
        const auto ffmpeg = tools ? tools("ffmpeg") : std::nullopt;
        if (!ffmpeg) throw CaptionError::audioExtraction("Audio export failed and ffmpeg is not installed.");
        try {
            FFmpegTool::run(
                *ffmpeg, {"-y", "-i", videoURL.string(), "-vn", "-c:a", "aac", "-b:a", "192k", prepared.url.string()},
                control.stop);
        } catch (const ToolCancelledError&) {
            std::error_code ignored;
            fs::remove(prepared.url, ignored);
            throw RecognitionCancelled();
        } catch (const std::exception& failure) {
            std::error_code ignored;
            fs::remove(prepared.url, ignored);
            throw CaptionError::audioExtraction(failure.what());
        }
    }
    report(control, kPreparingShare);
    return prepared;
}

std::vector<CaptionSegment> transcribePreparedAudio(const PreparedAudio& audio, std::string_view locale,
                                                    SpeechRecognitionService& speech,
                                                    const CaptionRunControl& control) {
    if (speech.requestAuthorization() != SpeechAuthorization::authorized) throw CaptionError::permissionDenied();
    auto recognizer = speech.recognizer(locale);
    if (!recognizer || !recognizer->isAvailable()) throw CaptionError::noRecognizer();
    throwIfStopped(control.stop);

    std::vector<RecognizedWord> words;
    try {
        bool recognised = false;
        if (recognizer->supportsOnDeviceRecognition()) {
            try {
                words = recognizeOnce(*recognizer, audio, true, control);
                recognised = !words.empty();
            } catch (const RecognitionCancelled&) {
                throw;
            } catch (const std::exception& e) {
                log::warning(log_area::kCaptions, "on-device recognition failed, trying the server: %s", e.what());
            }
        }
        if (!recognised) words = recognizeOnce(*recognizer, audio, false, control);
    } catch (const RecognitionCancelled&) {
        throw;
    } catch (const std::exception& e) {
        throw CaptionError::audioRead(e.what());
    }
    for (auto& word : words) {
        word.start += audio.timeOffset;
        word.end += audio.timeOffset;
    }
    report(control, 1);
    return groupWordsIntoSegments(words);
}

std::vector<CaptionSegment> captions(const SceneRenderSnapshot& snapshot, std::string_view locale,
                                     const CaptionServices& services, const CaptionRunControl& control) {
    const auto audio = prepareAudio(snapshot, control);
    PreparedAudioCleanup cleanup(audio);
    return transcribePreparedAudio(audio, locale, *services.speech, control);
}

std::vector<CaptionSegment> captions(const fs::path& videoURL, std::string_view locale, const CaptionServices& services,
                                     const CaptionRunControl& control) {
    const auto audio = prepareAudio(videoURL, services.tools, control);
    PreparedAudioCleanup cleanup(audio);
    return transcribePreparedAudio(audio, locale, *services.speech, control);
}

void saveCaptions(const std::vector<CaptionSegment>& segments, const fs::path& videoURL) {
    writeFileAtomically(videoURL.parent_path() / kCaptionsFileName, encodeCaptionSegments(segments));
}

}  // namespace orvane::AutoCaptioner
