#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// A 128-bit identifier whose text form is always the canonical upper-case 36-character string,
// so folder names, JSON and comparisons agree whatever case a caller typed.
class Uuid {
public:
    Uuid() = default;  // the nil UUID
    explicit Uuid(const std::array<std::uint8_t, 16>& bytes) : bytes_(bytes) {}

    static Uuid random();
    // Accepts any case; refuses anything that is not 8-4-4-4-12 hexadecimal digits.
    static std::optional<Uuid> parse(std::string_view text);

    std::string string() const;
    bool isNil() const;
    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    auto operator<=>(const Uuid&) const = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace orvane

template <>
struct std::hash<orvane::Uuid> {
    std::size_t operator()(const orvane::Uuid& uuid) const noexcept;
};
