#include "playback/playback_bundle.h"

#include <algorithm>
#include <cmath>

#include "editor/editor_state.h"

namespace orvane {

namespace {

// Times go to the player at timescale 600; rounding here keeps the bundle's numbers the ones played.
double onTimescale(double seconds) {
    return static_cast<double>(toMediaTimescale(seconds)) / static_cast<double>(kMediaTimescale);
}

PlaybackTrackRole roleOf(AudioSpecKind kind) {
    switch (kind) {
        case AudioSpecKind::voice: return PlaybackTrackRole::voice;
        case AudioSpecKind::music: return PlaybackTrackRole::music;
        case AudioSpecKind::video: return PlaybackTrackRole::videoAudio;
    }
    return PlaybackTrackRole::voice;
}

bool overlaps(const PlaybackTrack& track, double start, double end) {
    return std::any_of(track.inserts.begin(), track.inserts.end(), [&](const TrackInsert& insert) {
        return start < insert.at + insert.duration && insert.at < end;
    });
}

}  // namespace

PlaybackSnapshot makePlaybackSnapshot(const EditorValues& values) {
    const Edit& edit = values.edit;
    const auto folder = values.videoPath.parent_path();
    PlaybackSnapshot snapshot;
    for (const Clip& clip : edit.timeline.clips) {
        ClipSpec spec;
        spec.sourceURL = clip.sourceFile.empty() ? values.videoPath : folder / clip.sourceFile;
        spec.sourceStart = clip.sourceStart;
        spec.sourceDuration = clipLength(clip);
        spec.headOffset = clip.headOffset;
        snapshot.clips.push_back(std::move(spec));
    }
    double layoutEnd = 0;
    for (const ClipRange& range : clipLayout(edit.timeline.clips))
        layoutEnd = std::max(layoutEnd, range.compositionEnd);
    snapshot.playableDuration = layoutEnd;

    for (const AudioClip& clip : edit.audio.voiceClips) {
        snapshot.audioOverlays.push_back(
            {clip.path, clip.startTime, clip.sourceStart, clip.duration, AudioSpecKind::voice});
    }
    for (const VideoOverlayClip& overlay : edit.overlays.videoOverlays) {
        if (overlay.mediaKind != VideoOverlayClip::MediaKind::video) continue;
        snapshot.audioOverlays.push_back(
            {overlay.path, overlay.startTime, overlay.sourceStart, overlay.duration, AudioSpecKind::video});
    }
    if (edit.audio.backgroundMusicPath && layoutEnd > 0) {
        snapshot.audioOverlays.push_back({*edit.audio.backgroundMusicPath, 0, 0, layoutEnd, AudioSpecKind::music});
    }
    snapshot.speedRamps = edit.timeline.speedRamps;
    snapshot.systemVolume = edit.audio.originalAudioVolume;
    snapshot.voiceVolume = edit.audio.voiceTrackVolume;
    snapshot.musicVolume = edit.audio.backgroundMusicVolume;
    return snapshot;
}

bool isFilled(std::span<const FilledRange> ranges, double t) {
    return std::any_of(ranges.begin(), ranges.end(), [t](const FilledRange& r) { return r.start <= t && t < r.end; });
}

const PlaybackTrack* PlaybackBundle::track(int id) const {
    for (const auto& t : tracks) {
        if (t.id == id) return &t;
    }
    return nullptr;
}

PlaybackBundle buildPlaybackBundle(const PlaybackSnapshot& snapshot, const HasAudioProbe& hasAudio) {
    PlaybackBundle bundle;
    int nextID = 1;
    bundle.tracks.push_back({nextID++, PlaybackTrackRole::video, {}});
    bundle.tracks.push_back({nextID++, PlaybackTrackRole::systemAudio, {}});
    const int systemID = bundle.tracks.back().id;

    double running = 0;
    for (const ClipSpec& clip : snapshot.clips) {
        if (clip.headOffset > 0) running += onTimescale(clip.headOffset);
        const double length = onTimescale(std::max(clip.sourceDuration, 0.0));
        if (length <= 0) continue;
        const TrackInsert insert{clip.sourceURL, running, onTimescale(clip.sourceStart), length};
        bundle.tracks[0].inserts.push_back(insert);
        if (hasAudio && hasAudio(clip.sourceURL)) bundle.tracks[1].inserts.push_back(insert);
        // Adjacent clips make one range, so the video is not hidden for a moment at their seam.
        if (!bundle.filledRanges.empty() && bundle.filledRanges.back().end == running) {
            bundle.filledRanges.back().end = running + length;
        } else {
            bundle.filledRanges.push_back({running, running + length});
        }
        running += length;
    }
    bundle.compositionDuration = running;

    // Each sound goes on the first track of its kind where it overlaps nothing; overlapping
    // sounds of one kind each need a track of their own to play together.
    for (const AudioSpec& spec : snapshot.audioOverlays) {
        const double duration = onTimescale(std::max(spec.duration, 0.0));
        if (duration <= 0) continue;
        const double at = onTimescale(std::max(spec.startTime, 0.0));
        const auto role = roleOf(spec.kind);
        PlaybackTrack* target = nullptr;
        for (auto& track : bundle.tracks) {
            if (track.role == role && !overlaps(track, at, at + duration)) {
                target = &track;
                break;
            }
        }
        if (!target) {
            bundle.tracks.push_back({nextID++, role, {}});
            target = &bundle.tracks.back();
            if (role == PlaybackTrackRole::voice) bundle.voiceTrackIDs.push_back(target->id);
            if (role == PlaybackTrackRole::music) bundle.musicTrackIDs.push_back(target->id);
        }
        target->inserts.push_back({spec.url, at, onTimescale(std::max(spec.sourceStart, 0.0)), duration});
        bundle.compositionDuration = std::max(bundle.compositionDuration, at + duration);
    }

    if (!bundle.tracks[1].inserts.empty()) bundle.systemAudioTrackID = systemID;
    if (bundle.systemAudioTrackID) bundle.audioMix.push_back({systemID, snapshot.systemVolume});
    for (int id : bundle.voiceTrackIDs) bundle.audioMix.push_back({id, snapshot.voiceVolume});
    for (int id : bundle.musicTrackIDs) bundle.audioMix.push_back({id, snapshot.musicVolume});

    bundle.scaleOperations = scaleOperations(snapshot.speedRamps, 0);
    if (bundle.compositionDuration > snapshot.playableDuration) bundle.forwardPlaybackEnd = snapshot.playableDuration;
    return bundle;
}

}  // namespace orvane
