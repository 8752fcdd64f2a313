#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "model/speed_ramp.h"
#include "model/time_mapping.h"

namespace orvane {

struct EditorValues;

// One screen clip as the preview plays it: a range of a file after an empty head gap.
struct ClipSpec {
    std::filesystem::path sourceURL;
    double sourceStart = 0;
    double sourceDuration = 0;
    double headOffset = 0;

    bool operator==(const ClipSpec&) const = default;
};

enum class AudioSpecKind { voice, music, video };

// One extra sound on the timeline: a voice clip, the background music or an overlay movie's sound.
struct AudioSpec {
    std::filesystem::path url;
    double startTime = 0;  // composition time
    double sourceStart = 0;
    double duration = 0;
    AudioSpecKind kind = AudioSpecKind::voice;

    bool operator==(const AudioSpec&) const = default;
};

// The part of the edit that shapes the playable media. Equal snapshots make the same bundle, so the
// bundle is rebuilt only when this changes, not on every edit.
struct PlaybackSnapshot {
    std::vector<ClipSpec> clips;
    std::vector<AudioSpec> audioOverlays;
    std::vector<SpeedRamp> speedRamps;
    double playableDuration = 0;
    float systemVolume = 1;
    float voiceVolume = 1;
    float musicVolume = 0.15f;

    bool operator==(const PlaybackSnapshot&) const = default;
};

// The preview's snapshot of an open edit. Clip files resolve against the screen video's folder; the
// playable duration is the clip layout's length, so overlays running past the last clip are cut.
PlaybackSnapshot makePlaybackSnapshot(const EditorValues& values);

// A composition time range in which some clip supplies video: [start, end).
struct FilledRange {
    double start = 0;
    double end = 0;

    bool operator==(const FilledRange&) const = default;
};

// True when some range has start <= t < end.
bool isFilled(std::span<const FilledRange> ranges, double t);

enum class PlaybackTrackRole { video, systemAudio, voice, music, videoAudio };

// A range of a file placed on a track. Times are whole units of kMediaTimescale, in seconds.
struct TrackInsert {
    std::filesystem::path file;
    double at = 0;
    double sourceStart = 0;
    double duration = 0;

    bool operator==(const TrackInsert&) const = default;
};

struct PlaybackTrack {
    int id = 0;
    PlaybackTrackRole role = PlaybackTrackRole::video;
    std::vector<TrackInsert> inserts;

    bool operator==(const PlaybackTrack&) const = default;
};

struct TrackVolume {
    int trackID = 0;
    float volume = 1;

    bool operator==(const TrackVolume&) const = default;
};

// The playable composition of a snapshot: its tracks, the retiming of its speed ramps (latest
// first), the volume of each audio track from time zero, and where video exists.
struct PlaybackBundle {
    std::vector<PlaybackTrack> tracks;
    std::vector<ScaleOp> scaleOperations;
    double compositionDuration = 0;  // end of the last insert, before retiming
    // Set when the composition runs past the playable duration: playing stops there.
    std::optional<double> forwardPlaybackEnd;
    std::vector<TrackVolume> audioMix;  // empty when there is no audio track
    std::optional<int> systemAudioTrackID;
    std::vector<int> voiceTrackIDs;
    std::vector<int> musicTrackIDs;
    std::vector<FilledRange> filledRanges;

    const PlaybackTrack* track(int id) const;
    // Where playing forward stops: the forward end when set, else the composition's end.
    double playbackEnd() const { return forwardPlaybackEnd.value_or(compositionDuration); }
};

// Answers whether a media file carries sound; only files that do get a system-audio insert.
using HasAudioProbe = std::function<bool(const std::filesystem::path&)>;

PlaybackBundle buildPlaybackBundle(const PlaybackSnapshot& snapshot, const HasAudioProbe& hasAudio);

}  // namespace orvane
