#include "model/audio_clip.h"

#include "base/hash.h"

std::size_t std::hash<orvane::AudioClip>::operator()(const orvane::AudioClip& clip) const noexcept {
    std::optional<std::string> original;
    if (clip.originalPath) original = clip.originalPath->native();
    return orvane::HashBuilder()
        .add(clip.id)
        .add(clip.startTime)
        .add(clip.sourceStart)
        .add(clip.duration)
        .add(clip.path.native())
        .add(clip.volume)
        .add(clip.label)
        .add(clip.script)
        .add(original)
        .result();
}
