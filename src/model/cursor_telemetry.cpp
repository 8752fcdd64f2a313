#include "model/cursor_telemetry.h"

#include "base/hash.h"

std::size_t std::hash<orvane::CursorTelemetryPoint>::operator()(const orvane::CursorTelemetryPoint& p) const noexcept {
    return orvane::HashBuilder().add(p.t).add(p.cx).add(p.cy).add(p.pressed).result();
}

std::size_t std::hash<orvane::CursorTelemetry>::operator()(const orvane::CursorTelemetry& t) const noexcept {
    return orvane::HashBuilder().add(t.points).add(t.sampleHz).result();
}
