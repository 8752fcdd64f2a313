#include "recording/capture_geometry.h"

#include <algorithm>
#include <cmath>

namespace orvane {

namespace {

Rect sourceFrameOf(const RecordingSource& source) {
    if (const auto* display = std::get_if<DisplaySource>(&source)) return display->frame;
    if (const auto* application = std::get_if<ApplicationSource>(&source)) return application->displayFrame;
    const auto& window = std::get<WindowSource>(source);
    // The window manager draws the title bar above the client area; it belongs to the window as the
    // user sees it, so it is part of the source and the inset decides whether it is kept.
    return Rect{window.frame.x, window.frame.y - window.titleBarHeight, std::max(2.0, window.frame.width),
                std::max(2.0, window.frame.height + window.titleBarHeight)};
}

// 4:2:0 video needs even sides; the odd last column or row is dropped rather than scaled.
int evenAtLeastTwo(double value) { return std::max(2, static_cast<int>(std::floor(value)) / 2 * 2); }

}  // namespace

int topInset(const RecordingSource& source, const RecordingOptions& options, bool alphaMode) {
    if (options.includeWindowChrome) return 0;
    const Rect frame = sourceFrameOf(source);
    int inset = 0;
    if (const auto* display = std::get_if<DisplaySource>(&source)) {
        inset = alphaMode ? 0 : display->topPanelHeight;
    } else if (const auto* window = std::get_if<WindowSource>(&source)) {
        inset = window->titleBarHeight;
        if (isWebBrowser(*window)) inset += kBrowserChromeFallbackHeight;
    }
    return std::clamp(inset, 0, static_cast<int>(std::floor(0.8 * frame.height)));
}

CaptureGeometry captureGeometry(const RecordingSource& source, const RecordingOptions& options, bool alphaMode) {
    CaptureGeometry geometry;
    geometry.sourceFrame = sourceFrameOf(source);
    geometry.sourceWidth = static_cast<int>(geometry.sourceFrame.width);
    geometry.sourceHeight = static_cast<int>(geometry.sourceFrame.height);
    geometry.topInset = topInset(source, options, alphaMode);

    const int w = geometry.sourceWidth, h = geometry.sourceHeight, t = geometry.topInset;
    const int croppedHeight = std::max(2, h - t);
    geometry.outputWidth = evenAtLeastTwo(w);
    geometry.outputHeight = evenAtLeastTwo(t > 0 ? croppedHeight : h);
    geometry.captureRect = Rect{0, static_cast<double>(t), static_cast<double>(geometry.outputWidth),
                                static_cast<double>(geometry.outputHeight)};
    if (t > 0) {
        const double wDivisor = std::max(1, w), hDivisor = std::max(1, h);
        geometry.captureSourceCrop = Rect{0 / wDivisor, t / hDivisor, w / wDivisor, (h - t) / hDivisor};
    }
    geometry.capturedFrame = geometry.sourceFrame;
    if (t > 0) {
        geometry.capturedFrame.y += t;
        geometry.capturedFrame.height = std::max(2.0, geometry.capturedFrame.height - t);
    }
    return geometry;
}

}  // namespace orvane
