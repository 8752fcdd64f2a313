#pragma once

#include <optional>

#include "base/geometry.h"
#include "recording/recording_options.h"
#include "recording/recording_source.h"

namespace orvane {

// Height of a browser's tab strip and toolbar when it cannot be measured.
inline constexpr int kBrowserChromeFallbackHeight = 76;

// What the capture covers and how big the movie is, in native pixels.
struct CaptureGeometry {
    // The source's own rectangle on the desktop: a display's frame; a window's client area with its
    // title bar above it; an application's display.
    Rect sourceFrame;
    int sourceWidth = 0;
    int sourceHeight = 0;
    int topInset = 0;
    // The part of the source that is grabbed, relative to `sourceFrame`, and the movie's size (equal,
    // both even so 4:2:0 video can hold them).
    Rect captureRect;
    int outputWidth = 0;
    int outputHeight = 0;
    // meta.json's captureSourceCrop: only when something is cut off the top.
    std::optional<Rect> captureSourceCrop;
    // The grabbed area on the desktop: what the cursor telemetry is relative to.
    Rect capturedFrame;
};

// The host chrome to cut off the top: a display's top panel; a window's title bar (a browser's also
// its tab strip and toolbar); nothing for applications, with window chrome kept, or in alpha mode.
// Capped at 0.8 x the source height.
int topInset(const RecordingSource& source, const RecordingOptions& options, bool alphaMode);

CaptureGeometry captureGeometry(const RecordingSource& source, const RecordingOptions& options, bool alphaMode);

}  // namespace orvane
