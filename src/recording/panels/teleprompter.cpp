#include "recording/panels/teleprompter.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "recording/panels/panel_frame_text.h"

namespace orvane {

namespace {

double clampedOpacity(double opacity) {
    return std::clamp(opacity, 0.0, TeleprompterController::kMaxTextPlateOpacity);
}

}  // namespace

TeleprompterController::TeleprompterController(const TeleprompterSettings& stored, TeleprompterMemory remember,
                                               Executor& main)
    : remember_(std::move(remember)), frameText_(stored.frame), main_(main) {
    opacity_ = clampedOpacity(stored.textPlateOpacity.value_or(0));
    fontSize_ = stored.fontSize.value_or(kDefaultFontSize);
    scrollSpeed_ = stored.scrollSpeed.value_or(kDefaultScrollSpeed);
}

TeleprompterController::~TeleprompterController() { stopAutoScroll(); }

void TeleprompterController::setScript(std::string script) {
    script_ = std::move(script);
    changed.emit();
}

void TeleprompterController::setOpacity(double opacity) {
    opacity_ = clampedOpacity(opacity);
    if (remember_.textPlateOpacity) remember_.textPlateOpacity(opacity_);
    changed.emit();
}

void TeleprompterController::setFontSize(double points) {
    fontSize_ = points;
    if (remember_.fontSize) remember_.fontSize(points);
    changed.emit();
}

void TeleprompterController::setScrollSpeed(double pointsPerSecond) {
    scrollSpeed_ = pointsPerSecond;
    if (remember_.scrollSpeed) remember_.scrollSpeed(pointsPerSecond);
    changed.emit();
}

std::optional<Rect> TeleprompterController::storedFrame() const {
    if (!frameText_ || frameText_->empty()) return std::nullopt;
    return parsePanelFrameText(*frameText_);
}

void TeleprompterController::setVisible(bool visible) {
    if (visible == isVisible_) return;
    isVisible_ = visible;
    if (!visible) stopAutoScroll();
    changed.emit();
}

void TeleprompterController::setFrame(const Rect& frame) {
    Rect stored = frame;
    stored.width = std::max(frame.width, kMinimumWidth);
    stored.height = std::max(frame.height, kMinimumHeight);
    frameText_ = panelFrameText(stored);
    if (remember_.frame) remember_.frame(*frameText_);
}

void TeleprompterController::setScrollOffset(double points) {
    scrollOffset_ = std::clamp(points, 0.0, overflowHeight_);
    changed.emit();
}

void TeleprompterController::startAutoScroll() {
    if (timer_) return;
    lastTick_.reset();
    const auto interval = std::chrono::duration_cast<Duration>(std::chrono::duration<double>(1.0 / 60.0));
    timer_ = main_.postRepeating(interval, interval, [this] { tick(); });
    changed.emit();
}

void TeleprompterController::stopAutoScroll() {
    if (!timer_) return;
    timer_->cancel();
    timer_.reset();
    lastTick_.reset();
    changed.emit();
}

void TeleprompterController::tick() {
    const auto now = main_.now();
    const double dt = lastTick_ ? std::chrono::duration<double>(now - *lastTick_).count() : 0.0;
    lastTick_ = now;
    if (dt <= 0) return;
    scrollOffset_ += std::max(scrollSpeed_, 0.0) * dt;
    changed.emit();
}

}  // namespace orvane
