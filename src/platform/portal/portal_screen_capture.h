#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/screen_capture.h"

namespace orvane {

// Where the portal's restore tokens are kept, one per kind of source, so the user grants once.
struct PortalTokenStore {
    std::function<std::string(DesktopPickKind kind)> load;
    std::function<void(DesktopPickKind kind, const std::string& token)> save;
};

// Screen capture on a Wayland desktop through xdg-desktop-portal's ScreenCast interface (over the
// session D-Bus, with sd-bus) and the PipeWire stream it hands out. Nothing can be listed before
// the user picks in the desktop's dialog: shareableContent() holds the picked picture, once there is
// one, as its only display. Used from one thread.
class PortalScreenCapture final : public ScreenCaptureSystem {
public:
    // Connects to the session bus and reads what the portal offers. Throws ScreenCaptureError when
    // there is no session bus or no screen-cast portal answers on it.
    explicit PortalScreenCapture(PortalTokenStore tokens);
    ~PortalScreenCapture() override;

    ShareableContent shareableContent() override;
    std::optional<DesktopPickerOffer> desktopPicker() override;
    ShareableContent pickInDesktopDialog(DesktopPickKind kind) override;
    // `leftOut` cannot be honoured: the compositor composes the shared picture, and a portal client
    // has no way to leave windows out of it.
    std::unique_ptr<FrameGrabber> grabRegion(const Rect& region, bool showCursor,
                                             const std::vector<std::uint64_t>& leftOut) override;
    std::unique_ptr<FrameGrabber> grabWindow(std::uint64_t windowID, const Rect& crop, bool showCursor) override;
    void activateWindow(std::uint64_t windowID) override;
    std::vector<CaptureWindow> normalWindowsOn(const Rect& displayFrame) override;
    std::unique_ptr<FrameGrabber> grabWindowsOverTransparency(const Rect& displayFrame,
                                                              const std::vector<std::uint64_t>& windowIDs,
                                                              bool showCursor) override;

    // Where the pointer is in the picked picture, while the stream carries it apart from the picture.
    std::optional<PointerLocation> pointerInPicture() const;
    // Whether the picked stream sends the pointer as metadata (else it is drawn into the picture).
    bool pointerAsMetadata() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvane
