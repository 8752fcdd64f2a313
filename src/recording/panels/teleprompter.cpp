#include "recording/panels/teleprompter.h"

#include <algorithm>
#include <chrono>

#include "recording/panels/panel_frame_text.h"

namespace orvane {

namespace {

double clampedOpacity(double opacity) {
    return std::clamp(opacity, 0.0, TeleprompterController::kMaxTextPlateOpacity);
}

}  // namespace

TeleprompterController::TeleprompterController(Preferences& preferences, Executor& main)
    : preferences_(preferences), main_(main) {
    opacity_ = clampedOpacity(preferences_.teleprompterTextPlateOpacity().value_or(0));
    fontSize_ = preferences_.teleprompterFontSize().value_or(kDefaultFontSize);
    scrollSpeed_ = preferences_.teleprompterScrollSpeed().value_or(kDefaultScrollSpeed);
}

TeleprompterController::~TeleprompterController() { stopAutoScroll(); }

void TeleprompterController::setScript(std::string script) {
    script_ = std::move(script);
    changed.emit();
}

void TeleprompterController::setOpacity(double opacity) {
    opacity_ = clampedOpacity(opacity);
    preferences_.setTeleprompterTextPlateOpacity(opacity_);
    changed.emit();
}

void TeleprompterController::setFontSize(double points) {
    fontSize_ = points;
    preferences_.setTeleprompterFontSize(points);
    changed.emit();
}

void TeleprompterController::setScrollSpeed(double pointsPerSecond) {
    scrollSpeed_ = pointsPerSecond;
    preferences_.setTeleprompterScrollSpeed(pointsPerSecond);
    changed.emit();
}

std::optional<Rect> TeleprompterController::storedFrame() const {
    const auto text = preferences_.teleprompterFrame();
    if (!text || text->empty()) return std::nullopt;
    return parsePanelFrameText(*text);
}

void TeleprompterController::setFrame(const Rect& frame) {
    Rect stored = frame;
    stored.width = std::max(frame.width, kMinimumWidth);
    stored.height = std::max(frame.height, kMinimumHeight);
    preferences_.setTeleprompterFrame(panelFrameText(stored));
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
