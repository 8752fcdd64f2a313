#include "base/geometry.h"

#include "base/hash.h"

std::size_t std::hash<orvane::Rect>::operator()(const orvane::Rect& r) const noexcept {
    return orvane::HashBuilder().add(r.x).add(r.y).add(r.width).add(r.height).result();
}

std::size_t std::hash<orvane::Size>::operator()(const orvane::Size& s) const noexcept {
    return orvane::HashBuilder().add(s.width).add(s.height).result();
}
