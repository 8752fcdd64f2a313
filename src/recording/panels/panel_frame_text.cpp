#include "recording/panels/panel_frame_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>


namespace orvane {

namespace {

std::string number(double value) {
    char buffer[32];
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value + 0.0);  // + 0.0 turns -0 into 0
        return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    // Shortest text that reads back the same, so stored frames stay readable ("120" not "120.000...").
    for (int precision = 1; precision <= 17; ++precision) {
        char shorter[32];
        std::snprintf(shorter, sizeof shorter, "%.*g", precision, value);
        if (std::strtod(shorter, nullptr) == value) return shorter;
    }
    return buffer;
}

}  // namespace

std::string panelFrameText(const Rect& frame) {
    return "{{" + number(frame.x) + ", " + number(frame.y) + "}, {" + number(frame.width) + ", " +
           number(frame.height) + "}}";
}

std::optional<Rect> parsePanelFrameText(std::string_view text) {
    // Keep only what matters to the shape: braces, commas and the numbers between them.
    std::string compact;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') compact += c;
    }
    double values[4];
    char tail = 0;
    const int read = std::sscanf(compact.c_str(), "{{%lf,%lf},{%lf,%lf}}%c", &values[0], &values[1], &values[2],
                                 &values[3], &tail);
    if (read != 4) return std::nullopt;
    for (double value : values) {
        if (!std::isfinite(value)) return std::nullopt;
    }
    return Rect{values[0], values[1], values[2], values[3]};
}

}  // namespace orvane
