#pragma once

// Captions from the speech in a recording: prepare the audio, recognise its words, group them into
// caption segments. Keeps no state between runs; every call blocks, so run it as background work.

#include <filesystem>
#include <stop_token>
#include <string_view>
#include <vector>

#include "media/external_tools.h"
#include "model/caption_segment.h"
#include "speech/caption_error.h"
#include "speech/speech_recognizer.h"

namespace orvane {

struct SceneRenderSnapshot;

// What a captioning run uses from the system.
struct CaptionServices {
    SpeechRecognitionService* speech = nullptr;
    ToolLocator tools;  // finds the outside ffmpeg for the file fallback
};

// How a run is stopped and what it reports: progress goes from 0 to 1 over preparing the audio
// and recognising it.
struct CaptionRunControl {
    std::stop_token stop;
    ProgressCallback progress;
};

namespace AutoCaptioner {

using Word = CaptionWord;
using CaptionSegment = orvane::CaptionSegment;
using CaptionError = orvane::CaptionError;

// An audio file ready for recognition. `timeOffset` is the time of the file's first sample on the
// clock the captions use, added to every recognised time.
struct PreparedAudio {
    std::filesystem::path url;
    bool isTemporary = false;
    double timeOffset = 0;
};

// Bit rate of the audio prepared from the edit: 16 kHz mono speech needs no more.
inline constexpr std::int64_t kEditAudioBitRate = 48000;
// The rate the edit's audio is prepared at, which is what the recogniser listens at.
inline constexpr int kEditAudioSampleRate = 16000;

// The recording's own audio through the edit's clips, over the trim window, with muted stretches
// silent, at normal speed: each recognised time plus the offset is a composition time, the clock
// captions are drawn on, whatever speed ramps later do to playback. Written to
// <temp>/orvane-captions-timeline-<UUID>.m4a. Throws CaptionError (noAudioTrack when no clip file
// has audio, audioExtraction when reading or writing fails) or RecognitionCancelled.
PreparedAudio prepareAudio(const SceneRenderSnapshot& snapshot, const CaptionRunControl& control = {});

// A media file's first audio stream as <temp>/orvane-captions-<UUID>.m4a, converted in-process and,
// when that fails, by the outside ffmpeg. Times are the file's own.
PreparedAudio prepareAudio(const std::filesystem::path& videoURL, const ToolLocator& tools,
                           const CaptionRunControl& control = {});

// Permission, a recogniser for `locale`, recognition (on the device first where the recogniser
// offers the choice) and grouping. An empty transcription is an empty list, not an error.
std::vector<CaptionSegment> transcribePreparedAudio(const PreparedAudio& audio, std::string_view locale,
                                                    SpeechRecognitionService& speech,
                                                    const CaptionRunControl& control = {});

// Captions for the edit (composition times), and for a media file (its own times). The prepared
// file is deleted afterwards whatever happened.
std::vector<CaptionSegment> captions(const SceneRenderSnapshot& snapshot, std::string_view locale,
                                     const CaptionServices& services, const CaptionRunControl& control = {});
std::vector<CaptionSegment> captions(const std::filesystem::path& videoURL, std::string_view locale,
                                     const CaptionServices& services, const CaptionRunControl& control = {});

// Writes the segments atomically as captions.json in the folder of `videoURL`, replacing any
// previous file; a failure leaves the previous file as it was.
void saveCaptions(const std::vector<CaptionSegment>& segments, const std::filesystem::path& videoURL);

}  // namespace AutoCaptioner
}  // namespace orvane
