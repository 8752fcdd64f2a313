#pragma once

#include <cstddef>
#include <functional>

namespace orvane {

// A rectangle in whatever unit its owner says (pixels, points or fractions of a frame).
// JSON form everywhere: [[x, y], [width, height]].
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const Rect&) const = default;
    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
};

// JSON form: [width, height].
struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

}  // namespace orvane

template <>
struct std::hash<orvane::Rect> {
    std::size_t operator()(const orvane::Rect& r) const noexcept;
};
template <>
struct std::hash<orvane::Size> {
    std::size_t operator()(const orvane::Size& s) const noexcept;
};
