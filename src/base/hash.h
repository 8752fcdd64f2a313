#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace orvane {

// Combines field hashes for the value types' std::hash specialisations. Doubles are hashed by value
// with +0 and -0 folded together, because they compare equal.
class HashBuilder {
public:
    template <typename T>
    HashBuilder& add(const T& value) {
        mix(hashOf(value));
        return *this;
    }
    std::size_t result() const { return state_; }

private:
    void mix(std::size_t h) { state_ ^= h + 0x9e3779b97f4a7c15ULL + (state_ << 6) + (state_ >> 2); }

    static std::size_t hashOf(double value) { return std::hash<double>{}(value == 0.0 ? 0.0 : value); }
    static std::size_t hashOf(float value) { return std::hash<float>{}(value == 0.0f ? 0.0f : value); }
    template <typename T>
    static std::size_t hashOf(const std::optional<T>& value) {
        return value ? HashBuilder().add(true).add(*value).result() : 0x5bd1e995;
    }
    template <typename T>
    static std::size_t hashOf(const std::vector<T>& values) {
        HashBuilder builder;
        builder.add(values.size());
        for (const auto& v : values) builder.add(v);
        return builder.result();
    }
    template <typename T>
    static std::size_t hashOf(const T& value) {
        if constexpr (std::is_enum_v<T>) {
            return std::hash<std::underlying_type_t<T>>{}(static_cast<std::underlying_type_t<T>>(value));
        } else {
            return std::hash<T>{}(value);
        }
    }

    std::size_t state_ = 0;
};

}  // namespace orvane
