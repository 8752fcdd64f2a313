#include "model/clip.h"

#include "base/hash.h"
#include "model/time_mapping.h"

namespace orvane {

std::optional<ClipRange> ClipComposition::range(const Uuid& clipID) const { return clipRange(clipID, clips); }

std::optional<ClipComposition::Mapping> ClipComposition::mapping(double compositionTime) const {
    return clipMapping(compositionTime, clips);
}

}  // namespace orvane

std::size_t std::hash<orvane::Clip>::operator()(const orvane::Clip& clip) const noexcept {
    return orvane::HashBuilder()
        .add(clip.id)
        .add(clip.sourceFile)
        .add(clip.sourceStart)
        .add(clip.sourceEnd)
        .add(clip.headOffset)
        .result();
}

std::size_t std::hash<orvane::ClipComposition>::operator()(const orvane::ClipComposition& composition) const noexcept {
    return orvane::HashBuilder().add(composition.clips).result();
}
