#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "model/click_annotation.h"
#include "model/cursor_interaction.h"
#include "model/cursor_telemetry.h"

namespace orvane {

// Presses closer than this to the last kept click are the same click (double clicks, bounces).
inline constexpr std::int64_t kClickDeduplicationGapMs = 300;

// One annotation per press edge (released → pressed; the first sample counts as preceded by a
// released one), times in seconds, de-duplicated by kClickDeduplicationGapMs.
std::vector<ClickAnnotation> clicksFromTelemetry(std::span<const CursorTelemetryPoint> points);

// One gesture per run of pressed samples, including a run still pressed at the end: a swipe when it
// lasts at least 0.14 s and travels at least 0.055 of the frame, else a long press from 0.45 s, else
// a tap.
std::vector<CursorInteraction> interactionsFromTelemetry(std::span<const CursorTelemetryPoint> points);

}  // namespace orvane
