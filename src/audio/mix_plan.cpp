#include "audio/mix_plan.h"

#include <algorithm>
#include <optional>
#include <set>

#include "media/media_probe.h"
#include "model/scene_render_snapshot.h"
#include "model/time_mapping.h"

namespace orvane {

namespace {

constexpr double kMinimumPiece = 0.001;
constexpr double kSpeedFloor = 0.1;

struct Span {
    double start;
    double end;
    bool fadeIn = false;
    bool fadeOut = false;
};

std::vector<SpeedRamp> sortedRamps(const std::vector<SpeedRamp>& ramps) {
    std::vector<SpeedRamp> sorted(ramps);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const SpeedRamp& a, const SpeedRamp& b) { return a.start < b.start; });
    return sorted;
}

// [start, end) less every mute region; sides that touch a mute are marked for a fade.
std::vector<Span> withoutMutes(Span span, const std::vector<MuteRegion>& mutes) {
    std::vector<MuteRegion> sorted(mutes);
    std::sort(sorted.begin(), sorted.end(), [](const MuteRegion& a, const MuteRegion& b) { return a.start < b.start; });
    std::vector<Span> pieces;
    for (const auto& mute : sorted) {
        if (!(mute.end > mute.start) || mute.end <= span.start || mute.start >= span.end) continue;
        if (mute.start > span.start) pieces.push_back({span.start, mute.start, span.fadeIn, true});
        span.start = std::max(span.start, mute.end);
        span.fadeIn = true;
        if (span.start >= span.end) return pieces;
    }
    pieces.push_back(span);
    return pieces;
}

// Adds the pieces of composition range [start, end) of one input, whose file time at composition
// time c is c - start + fileStart.
void addPieces(std::vector<MixPiece>& out, const SceneRenderSnapshot& s, const std::vector<SpeedRamp>& ramps,
               MixSourceKind kind, const std::filesystem::path& file, double start, double end, double fileStart,
               float gain) {
    const double from = std::max(start, s.edit.timeline.trimStart);
    const double to = std::min(end, s.edit.timeline.trimEnd);
    if (!(to - from >= kMinimumPiece)) return;
    std::vector<Span> spans{{from, to}};
    if (kind == MixSourceKind::recording) spans = withoutMutes(spans.front(), s.edit.audio.muteRegions);
    for (const auto& span : spans) {
        // Cut at every ramp edge inside the span.
        std::vector<double> cuts{span.start};
        for (const auto& ramp : ramps) {
            for (double edge : {ramp.start, ramp.end}) {
                if (edge > span.start && edge < span.end) cuts.push_back(edge);
            }
        }
        cuts.push_back(span.end);
        std::sort(cuts.begin(), cuts.end());
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
            const double a = cuts[i];
            const double b = cuts[i + 1];
            if (b - a < kMinimumPiece) continue;
            double speed = 1;
            for (const auto& ramp : ramps) {
                if (ramp.start <= a && b <= ramp.end) speed = std::max(ramp.speed, kSpeedFloor);
            }
            MixPiece piece;
            piece.kind = kind;
            piece.file = file;
            piece.sourceStart = a - start + fileStart;
            piece.sourceDuration = b - a;
            piece.speed = speed;
            piece.outputStart = outputTimeForCompositionTime(a, s.edit.timeline.trimStart, ramps);
            piece.gain = gain;
            piece.fadeIn = i == 0 && span.fadeIn;
            piece.fadeOut = i + 2 == cuts.size() && span.fadeOut;
            out.push_back(piece);
        }
    }
}

}  // namespace

double outputTimeForCompositionTime(double compositionTime, double trimStart, std::span<const SpeedRamp> ramps) {
    std::vector<SpeedRamp> sorted(ramps.begin(), ramps.end());
    sorted = sortedRamps(sorted);
    double saved = 0;  // output time the ramps before compositionTime saved
    for (const auto& ramp : sorted) {
        if (compositionTime <= ramp.start) break;
        const double speed = std::max(ramp.speed, kSpeedFloor);
        const double length = std::max(ramp.end - ramp.start, 0.0);
        if (compositionTime < ramp.end) return ramp.start - trimStart - saved + (compositionTime - ramp.start) / speed;
        saved += length - length / speed;
    }
    return compositionTime - trimStart - saved;
}

std::vector<MixPiece> planMix(const SceneRenderSnapshot& s) {
    std::vector<MixPiece> pieces;
    const auto ramps = sortedRamps(s.edit.timeline.speedRamps);
    const auto layout = clipLayout(s.edit.timeline.clips);
    for (std::size_t i = 0; i < s.edit.timeline.clips.size(); ++i) {
        const auto& clip = s.edit.timeline.clips[i];
        addPieces(pieces, s, ramps, MixSourceKind::recording, s.clipBaseDirectory / clip.sourceFile,
                  layout[i].compositionStart, layout[i].compositionEnd, clip.sourceStart,
                  s.edit.audio.originalAudioVolume);
    }
    for (const auto& clip : s.edit.audio.voiceClips) {
        addPieces(pieces, s, ramps, MixSourceKind::voiceClip, clip.path, clip.startTime, clip.startTime + clip.duration,
                  clip.sourceStart, clip.volume);
    }
    for (const auto& overlay : s.edit.overlays.videoOverlays) {
        if (overlay.mediaKind != VideoOverlayClip::MediaKind::video) continue;
        addPieces(pieces, s, ramps, MixSourceKind::videoOverlay, overlay.path, overlay.startTime,
                  overlay.startTime + overlay.duration, overlay.sourceStart, overlay.volume);
    }
    const double total = outputDuration(s.edit.timeline.trimStart, s.edit.timeline.trimEnd, s.edit.timeline.speedRamps);
    auto whole = [&](MixSourceKind kind, const std::optional<std::filesystem::path>& file, float gain) {
        if (!file || total < kMinimumPiece) return;
        MixPiece piece;
        piece.kind = kind;
        piece.file = *file;
        piece.sourceDuration = total;
        piece.gain = gain;
        pieces.push_back(piece);
    };
    whole(MixSourceKind::aiVoiceover, s.aiVoiceoverPath, 1.0f);
    whole(MixSourceKind::backgroundMusic, s.edit.audio.backgroundMusicPath, s.edit.audio.backgroundMusicVolume);
    return pieces;
}

std::vector<double> clickSoundTimes(const SceneRenderSnapshot& s) {
    std::vector<double> times;
    for (const auto& annotation : s.edit.cursor.annotations) {
        if (!annotation.enabled || !annotation.clickSoundEnabled.value_or(s.edit.cursor.cursorClickSounds)) continue;
        if (annotation.time < s.edit.timeline.trimStart || annotation.time > s.edit.timeline.trimEnd) continue;
        times.push_back(
            outputTimeForCompositionTime(annotation.time, s.edit.timeline.trimStart, s.edit.timeline.speedRamps));
    }
    std::sort(times.begin(), times.end());
    return times;
}

bool mixHasSound(const SceneRenderSnapshot& snapshot) {
    if (!clickSoundTimes(snapshot).empty()) return true;
    std::set<std::filesystem::path> probed;
    for (const auto& piece : planMix(snapshot)) {
        if (!probed.insert(piece.file).second) continue;
        const auto info = probeMedia(piece.file);
        if (!info || info->hasAudio) return true;
    }
    return false;
}

}  // namespace orvane
