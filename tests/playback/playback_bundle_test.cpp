#include "playback/playback_bundle.h"

#include <gtest/gtest.h>

#include "editor/editor_state.h"

namespace orvane {
namespace {

ClipSpec clip(const char* file, double start, double duration, double head = 0) {
    return ClipSpec{file, start, duration, head};
}

HasAudioProbe audioIn(std::string file) {
    return [file](const std::filesystem::path& p) { return p == file; };
}

TEST(PlaybackBundle, ClipsLeaveGapsUnfilledAndOnlySoundingFilesFeedTheSystemTrack) {
    PlaybackSnapshot snapshot;
    snapshot.clips = {clip("a.mp4", 0, 5), clip("b.mp4", 10, 2, 1), clip("b.mp4", 12, 3)};
    snapshot.playableDuration = 11;
    const auto bundle = buildPlaybackBundle(snapshot, audioIn("a.mp4"));

    const PlaybackTrack& video = bundle.tracks.at(0);
    ASSERT_EQ(video.role, PlaybackTrackRole::video);
    ASSERT_EQ(video.inserts.size(), 3u);
    EXPECT_EQ(video.inserts[1], (TrackInsert{"b.mp4", 6, 10, 2}));
    EXPECT_EQ(video.inserts[2].at, 8);
    // Adjacent clips are one range: the picture must not blink at their seam.
    EXPECT_EQ(bundle.filledRanges, (std::vector<FilledRange>{{0, 5}, {6, 11}}));
    EXPECT_TRUE(isFilled(bundle.filledRanges, 0));
    EXPECT_FALSE(isFilled(bundle.filledRanges, 5));  // end is exclusive
    EXPECT_FALSE(isFilled(bundle.filledRanges, 5.5));
    EXPECT_TRUE(isFilled(bundle.filledRanges, 8));
    EXPECT_FALSE(isFilled(bundle.filledRanges, 11));

    ASSERT_TRUE(bundle.systemAudioTrackID);
    const auto* system = bundle.track(*bundle.systemAudioTrackID);
    ASSERT_NE(system, nullptr);
    ASSERT_EQ(system->inserts.size(), 1u);
    EXPECT_EQ(system->inserts[0].file, "a.mp4");
    EXPECT_EQ(bundle.compositionDuration, 11);
    EXPECT_FALSE(bundle.forwardPlaybackEnd);
    EXPECT_EQ(bundle.playbackEnd(), 11);
}

TEST(PlaybackBundle, OverlappingSoundsGetTracksOfTheirKindWithTheirVolumes) {
    PlaybackSnapshot snapshot;
    snapshot.clips = {clip("screen.mp4", 0, 10)};
    snapshot.playableDuration = 10;
    snapshot.systemVolume = 0.5f;
    snapshot.voiceVolume = 0.8f;
    snapshot.musicVolume = 0.2f;
    snapshot.audioOverlays = {
        {"v1.m4a", 1, 0, 4, AudioSpecKind::voice},     {"v2.m4a", 3, 2, 4, AudioSpecKind::voice},  // overlaps v1
        {"v3.m4a", 6, 0, 1, AudioSpecKind::voice},  // fits after v1 on its track
        {"music.mp3", 0, 0, 10, AudioSpecKind::music}, {"cam.mp4", 2, 0, 0, AudioSpecKind::video},  // empty: left out
    };
    const auto bundle = buildPlaybackBundle(snapshot, [](const auto&) { return true; });

    ASSERT_EQ(bundle.voiceTrackIDs.size(), 2u);
    ASSERT_EQ(bundle.musicTrackIDs.size(), 1u);
    const auto* first = bundle.track(bundle.voiceTrackIDs[0]);
    const auto* second = bundle.track(bundle.voiceTrackIDs[1]);
    ASSERT_EQ(first->inserts.size(), 2u);
    EXPECT_EQ(first->inserts[1].file, "v3.m4a");
    ASSERT_EQ(second->inserts.size(), 1u);
    EXPECT_EQ(second->inserts[0], (TrackInsert{"v2.m4a", 3, 2, 4}));
    for (const auto& track : bundle.tracks) EXPECT_NE(track.role, PlaybackTrackRole::videoAudio);

    EXPECT_EQ(bundle.audioMix, (std::vector<TrackVolume>{{*bundle.systemAudioTrackID, 0.5f},
                                                         {bundle.voiceTrackIDs[0], 0.8f},
                                                         {bundle.voiceTrackIDs[1], 0.8f},
                                                         {bundle.musicTrackIDs[0], 0.2f}}));
}

TEST(PlaybackBundle, ACompositionLongerThanThePlayableDurationStopsThere) {
    PlaybackSnapshot snapshot;
    snapshot.clips = {clip("screen.mp4", 0, 4)};
    snapshot.playableDuration = 4;
    snapshot.audioOverlays = {{"v.m4a", 3, 0, 5, AudioSpecKind::voice}};
    const auto bundle = buildPlaybackBundle(snapshot, {});
    EXPECT_EQ(bundle.compositionDuration, 8);
    ASSERT_TRUE(bundle.forwardPlaybackEnd);
    EXPECT_EQ(*bundle.forwardPlaybackEnd, 4);
    // Without a sounding clip there is no system audio in the mix.
    EXPECT_FALSE(bundle.systemAudioTrackID);
    EXPECT_EQ(bundle.audioMix.size(), 1u);
}

TEST(PlaybackBundle, TimesLandOnTheMediaTimescaleAndRampsRetimeLatestFirst) {
    PlaybackSnapshot snapshot;
    snapshot.clips = {clip("screen.mp4", 1.0 / 3.0, 2.00001, 0.50004)};
    snapshot.speedRamps = {SpeedRamp{Uuid::random(), 1, 2, 2}, SpeedRamp{Uuid::random(), 5, 6, 0}};
    snapshot.playableDuration = 3;
    const auto bundle = buildPlaybackBundle(snapshot, {});
    const auto& insert = bundle.tracks[0].inserts.at(0);
    EXPECT_DOUBLE_EQ(insert.at * 600, 300);
    EXPECT_DOUBLE_EQ(insert.sourceStart * 600, 200);
    EXPECT_DOUBLE_EQ(insert.duration * 600, 1200);
    ASSERT_EQ(bundle.scaleOperations.size(), 2u);
    EXPECT_EQ(bundle.scaleOperations[0].start, 5);
    EXPECT_DOUBLE_EQ(bundle.scaleOperations[0].targetDuration, 10);  // speed floored at 0.1
    EXPECT_EQ(bundle.scaleOperations[1].start, 1);
}

TEST(PlaybackBundle, SnapshotTakesTheMediaOfTheEditAndIgnoresTheRest) {
    EditorState state(Uuid::random(), "/rec/screen.mp4");
    state.modify([](EditorValues& v) {
        v.edit.timeline.clips = {Clip{Uuid::random(), "", 0, 6, 0}, Clip{Uuid::random(), "clip-2.mp4", 1, 3, 2}};
        v.edit.audio.backgroundMusicPath = "/music/song.mp3";
        v.edit.audio.originalAudioVolume = 0.7f;
        AudioClip voice;
        voice.startTime = 2;
        voice.sourceStart = 1;
        voice.duration = 3;
        voice.path = "/rec/vo.m4a";
        v.edit.audio.voiceClips = {voice};
        VideoOverlayClip logo;
        logo.mediaKind = VideoOverlayClip::MediaKind::logo;
        logo.path = "/rec/logo.png";
        logo.duration = 3;
        v.edit.overlays.videoOverlays = {logo};
    });
    const auto snapshot = makePlaybackSnapshot(state.values());
    ASSERT_EQ(snapshot.clips.size(), 2u);
    EXPECT_EQ(snapshot.clips[0].sourceURL, "/rec/screen.mp4");
    EXPECT_EQ(snapshot.clips[1].sourceURL, "/rec/clip-2.mp4");
    EXPECT_EQ(snapshot.clips[1].headOffset, 2);
    EXPECT_EQ(snapshot.playableDuration, 10);
    EXPECT_EQ(snapshot.systemVolume, 0.7f);
    ASSERT_EQ(snapshot.audioOverlays.size(), 2u);  // the logo has no sound
    EXPECT_EQ(snapshot.audioOverlays[0], (AudioSpec{"/rec/vo.m4a", 2, 1, 3, AudioSpecKind::voice}));
    EXPECT_EQ(snapshot.audioOverlays[1], (AudioSpec{"/music/song.mp3", 0, 0, 10, AudioSpecKind::music}));

    state.modify([](EditorValues& v) {
        v.edit.timeline.zoomRegions.push_back(ZoomRegion{});
        v.currentTime = 4;
    });
    EXPECT_EQ(makePlaybackSnapshot(state.values()), snapshot);
    state.modify([](EditorValues& v) { v.edit.audio.voiceTrackVolume = 0.3f; });
    EXPECT_NE(makePlaybackSnapshot(state.values()), snapshot);
}

}  // namespace
}  // namespace orvane
