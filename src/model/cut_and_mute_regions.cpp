#include "model/cut_and_mute_regions.h"

#include "base/hash.h"

std::size_t std::hash<orvane::CutRegion>::operator()(const orvane::CutRegion& cut) const noexcept {
    return orvane::HashBuilder().add(cut.id).add(cut.start).add(cut.end).result();
}

std::size_t std::hash<orvane::MuteRegion>::operator()(const orvane::MuteRegion& mute) const noexcept {
    return orvane::HashBuilder().add(mute.id).add(mute.start).add(mute.end).result();
}
