#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/geometry.h"
#include "base/signal.h"

namespace orvane {

// How the bubble is cut out of the panel: a circle inscribed in `maskRect` when circular, else a
// rounded rectangle over `maskRect` with `maskCornerRadius`. Coordinates are the panel's own bounds.
struct FaceCameraMask {
    bool circular = false;
    Rect maskRect;
    double maskCornerRadius = 0;
};

// What the bubble kept from an earlier run, as it was stored.
struct FaceCameraPanelSettings {
    std::optional<std::string> frame;  // as panelFrameText() writes it
    std::optional<double> cornerRadius;
    bool flipped = false;
};

// Where the bubble's changes go to be kept for the next run; each is called with the new value.
// Any may be left empty.
struct FaceCameraPanelMemory {
    std::function<void(const std::string& frame)> frame;
    std::function<void(double radius)> cornerRadius;
    std::function<void(bool flipped)> flipped;
};

// The face-camera bubble's state without its window: where it is (screen points, origin at the top
// left), how round it is, whether the preview is mirrored, and the rules the window applies on every
// change. The window calls setScreenFrame() when the user moves or resizes it and reads
// screenFrame() back after applyShape(), which may square it up.
// A main-loop object.
class FaceCameraPanel {
public:
    static constexpr double kDefaultCornerRadius = 18;
    static constexpr double kCircularMinimumSide = 220;
    static constexpr double kMinimumWidth = 120;
    static constexpr double kMinimumHeight = 90;
    // What the recorder stores for a circular bubble: any radius past half the side draws a circle.
    static constexpr double kCircularRadius = 999;

    explicit FaceCameraPanel(FaceCameraPanelMemory remember);

    // Takes the stored frame (ignored when absent, empty or unreadable), the radius (a stored 0 or
    // none gives 18) and the mirror flag.
    void restore(const FaceCameraPanelSettings& stored);

    const Rect& screenFrame() const { return screenFrame_; }
    double cornerRadius() const { return cornerRadius_; }
    bool isFlipped() const { return isFlipped_; }
    bool isVisible() const { return isVisible_; }

    // A move or resize by the user; the frame is stored at once and the shape re-applied. Sizes below
    // the window's minimum are raised to it.
    void setScreenFrame(const Rect& frame);
    // Changes the roundness and re-applies the shape.
    void setCornerRadius(double radius);
    void setFlipped(bool flipped);
    // Emits `changed` when it really changes, so the window follows.
    void setVisible(bool visible);

    // Works out the mask for the current frame and radius. A circular bubble squares the panel around
    // its centre (stored when the size really changed); that resize is ours and does not re-decide the
    // shape, or a circle grown to 220 points would fall back to a rounded square. Stores the radius.
    FaceCameraMask applyShape();
    // The mask the last applyShape() decided, for redrawing.
    const FaceCameraMask& mask() const { return mask_; }
    bool isCircular() const { return circular_; }
    // 999 for a circle, else the radius.
    double effectiveCornerRadius() const { return isCircular() ? kCircularRadius : cornerRadius_; }

    // Emitted after the frame, radius, mirror flag or visibility changed.
    Signal<> changed;

private:
    FaceCameraPanelMemory remember_;
    Rect screenFrame_{0, 0, 240, 180};
    double cornerRadius_ = kDefaultCornerRadius;
    bool isFlipped_ = false;
    bool isVisible_ = false;
    bool circular_ = false;
    FaceCameraMask mask_;
};

// The panel's place in the recording, as fractions of the captured display: only when more than half
// of the panel lies on that display (otherwise the viewer could not have seen it there); each component
// clamped to 0...1.
std::optional<Rect> faceCameraNormalizedFrame(const Rect& panelFrame, const Rect& capturedFrame);

}  // namespace orvane
