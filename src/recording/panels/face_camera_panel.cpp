#include "recording/panels/face_camera_panel.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/log.h"
#include "base/log_areas.h"
#include "recording/panels/panel_frame_text.h"

namespace orvane {

FaceCameraPanel::FaceCameraPanel(FaceCameraPanelMemory remember) : remember_(std::move(remember)) {}

void FaceCameraPanel::restore(const FaceCameraPanelSettings& stored) {
    if (const auto& text = stored.frame; text && !text->empty()) {
        if (const auto frame = parsePanelFrameText(*text)) {
            screenFrame_ = *frame;
        } else {
            log::warning(log_area::kPanels, "ignoring unreadable face-camera frame \"%s\"", text->c_str());
        }
    }
    const auto& radius = stored.cornerRadius;
    cornerRadius_ = radius && *radius != 0 ? *radius : kDefaultCornerRadius;
    isFlipped_ = stored.flipped;
    applyShape();
    changed.emit();
}

void FaceCameraPanel::setScreenFrame(const Rect& frame) {
    screenFrame_ = frame;
    screenFrame_.width = std::max(frame.width, kMinimumWidth);
    screenFrame_.height = std::max(frame.height, kMinimumHeight);
    if (remember_.frame) remember_.frame(panelFrameText(screenFrame_));
    applyShape();
    changed.emit();
}

void FaceCameraPanel::setCornerRadius(double radius) {
    cornerRadius_ = std::max(radius, 0.0);
    applyShape();
    changed.emit();
}

void FaceCameraPanel::setFlipped(bool flipped) {
    isFlipped_ = flipped;
    if (remember_.flipped) remember_.flipped(flipped);
    changed.emit();
}

FaceCameraMask FaceCameraPanel::applyShape() {
    FaceCameraMask mask;
    const double width = screenFrame_.width;
    const double height = screenFrame_.height;
    const double side = std::min(width, height);
    circular_ = cornerRadius_ >= side / 2 - 0.5;
    if (circular_) {
        mask.circular = true;
        mask.maskRect = Rect{(width - side) / 2, (height - side) / 2, side, side};
        mask.maskCornerRadius = side / 2;
        // A circle in a wide panel would leave dead corners that still catch clicks: square it up.
        const double squareSide = std::max(std::max(width, kCircularMinimumSide), height);
        if (std::fabs(squareSide - width) > 0.5 || std::fabs(squareSide - height) > 0.5) {
            const double centreX = screenFrame_.x + width / 2;
            const double centreY = screenFrame_.y + height / 2;
            screenFrame_ = Rect{centreX - squareSide / 2, centreY - squareSide / 2, squareSide, squareSide};
            if (remember_.frame) remember_.frame(panelFrameText(screenFrame_));
            mask.maskRect = Rect{0, 0, squareSide, squareSide};
            mask.maskCornerRadius = squareSide / 2;
        }
    } else {
        mask.maskRect = Rect{0, 0, width, height};
        mask.maskCornerRadius = std::min(cornerRadius_, side / 2);
    }
    if (remember_.cornerRadius) remember_.cornerRadius(cornerRadius_);
    mask_ = mask;
    return mask;
}

void FaceCameraPanel::setVisible(bool visible) {
    if (visible == isVisible_) return;
    isVisible_ = visible;
    changed.emit();
}

std::optional<Rect> faceCameraNormalizedFrame(const Rect& panelFrame, const Rect& capturedFrame) {
    if (panelFrame.width <= 0 || panelFrame.height <= 0 || capturedFrame.width <= 0 || capturedFrame.height <= 0) {
        return std::nullopt;
    }
    const double overlapWidth =
        std::min(panelFrame.maxX(), capturedFrame.maxX()) - std::max(panelFrame.minX(), capturedFrame.minX());
    const double overlapHeight =
        std::min(panelFrame.maxY(), capturedFrame.maxY()) - std::max(panelFrame.minY(), capturedFrame.minY());
    const double overlap = std::max(overlapWidth, 0.0) * std::max(overlapHeight, 0.0);
    if (overlap <= panelFrame.width * panelFrame.height / 2) return std::nullopt;
    auto unit = [](double value) { return std::clamp(value, 0.0, 1.0); };
    return Rect{unit((panelFrame.x - capturedFrame.x) / capturedFrame.width),
                unit((panelFrame.y - capturedFrame.y) / capturedFrame.height),
                unit(panelFrame.width / capturedFrame.width), unit(panelFrame.height / capturedFrame.height)};
}

}  // namespace orvane
