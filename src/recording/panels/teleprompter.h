#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/executor.h"
#include "base/geometry.h"
#include "base/signal.h"

namespace orvane {

// What the teleprompter kept from an earlier run, as it was stored.
struct TeleprompterSettings {
    std::optional<std::string> frame;  // as panelFrameText() writes it
    std::optional<double> textPlateOpacity;
    std::optional<double> fontSize;
    std::optional<double> scrollSpeed;
};

// Where the teleprompter's changes go to be kept for the next run; each is called with the new
// value. Any may be left empty.
struct TeleprompterMemory {
    std::function<void(const std::string& frame)> frame;
    std::function<void(double opacity)> textPlateOpacity;
    std::function<void(double points)> fontSize;
    std::function<void(double pointsPerSecond)> scrollSpeed;
};

// The teleprompter's state without its window: the script, its look, and auto-scrolling driven by a
// 60 Hz timer on the main loop. Scrolling moves by speed times the time really elapsed between
// ticks, so a late tick catches up instead of slowing the script down.
// A main-loop object: everything runs on `main`.
class TeleprompterController {
public:
    static constexpr double kMaxTextPlateOpacity = 0.35;
    static constexpr double kDefaultFontSize = 30;
    static constexpr double kDefaultScrollSpeed = 42;
    static constexpr double kMinimumWidth = 420;
    static constexpr double kMinimumHeight = 180;

    // Takes the stored look: text-plate opacity clamped to 0...0.35 (0 when unset), font size (30),
    // scroll speed (42 points per second).
    TeleprompterController(const TeleprompterSettings& stored, TeleprompterMemory remember, Executor& main);
    TeleprompterController(const TeleprompterController&) = delete;
    TeleprompterController& operator=(const TeleprompterController&) = delete;
    ~TeleprompterController();

    const std::string& script() const { return script_; }
    void setScript(std::string script);
    double opacity() const { return opacity_; }
    double fontSize() const { return fontSize_; }
    double scrollSpeed() const { return scrollSpeed_; }
    // Each setter stores its value at once; opacity is clamped like the stored value is.
    void setOpacity(double opacity);
    void setFontSize(double points);
    void setScrollSpeed(double pointsPerSecond);

    bool isVisible() const { return isVisible_; }
    // Emits `changed` when it really changes, so the window follows.
    void setVisible(bool visible);
    bool isEditing() const { return isEditing_; }
    void setEditing(bool editing) { isEditing_ = editing; }

    // The stored window frame, when one was stored and reads back; and storing a new one.
    std::optional<Rect> storedFrame() const;
    void setFrame(const Rect& frame);

    // How far the laid-out script overflows the visible area (points); the view reports it after layout.
    void setOverflowHeight(double points) { overflowHeight_ = std::max(points, 0.0); }
    double scrollOffset() const { return scrollOffset_; }
    // Clamped to 0...the overflow height.
    void setScrollOffset(double points);

    bool isAutoScrolling() const { return timer_.has_value(); }
    void startAutoScroll();
    void stopAutoScroll();

    // Emitted after the offset or any setting changed.
    Signal<> changed;

private:
    void tick();

    TeleprompterMemory remember_;
    std::optional<std::string> frameText_;
    Executor& main_;
    std::string script_;
    double opacity_ = 0;
    double fontSize_ = kDefaultFontSize;
    double scrollSpeed_ = kDefaultScrollSpeed;
    bool isVisible_ = false;
    bool isEditing_ = false;
    double scrollOffset_ = 0;
    double overflowHeight_ = 0;
    std::optional<TimerHandle> timer_;
    std::optional<SteadyTime> lastTick_;
};

}  // namespace orvane
