#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace orvane::detail {

// One table per enumeration keeps both directions of the raw-value mapping in one place.
template <typename E, std::size_t N>
using RawValueTable = std::array<std::pair<E, std::string_view>, N>;

template <typename E, std::size_t N>
std::string_view rawValueIn(const RawValueTable<E, N>& table, E value) {
    for (const auto& [candidate, raw] : table) {
        if (candidate == value) return raw;
    }
    return {};
}

template <typename E, std::size_t N>
std::optional<E> valueFromRawIn(const RawValueTable<E, N>& table, std::string_view raw) {
    for (const auto& [candidate, text] : table) {
        if (text == raw) return candidate;
    }
    return std::nullopt;
}

}  // namespace orvane::detail
