#pragma once

#include <optional>

#include "render/scene/scene_face_camera.h"

namespace orvane {

// The region GrabCut starts from for a face (both normalised, origin top-left): the head with its
// hair and the shoulders below it, down to the bottom of the frame, clipped to the frame.
Rect personSeedRegion(const Rect& face);

// An A8 person mask the frame's size from GrabCut, seeded with `probableForeground` (normalised,
// top-left) as probably the person, `sureForeground` (if any) as certainly the person, and a band
// along the frame's borders outside the seed as certainly the room. Null for frames that are not
// 32-bit image surfaces, for an empty seed, or when GrabCut fails.
cairo::Surface grabCutMask(cairo_surface_t* frame, const Rect& probableForeground,
                           const std::optional<Rect>& sureForeground = std::nullopt);

// Person segmentation without a trained model: the largest face the detector finds seeds a GrabCut
// of head and shoulders on a copy about 160 pixels across; the mask is scaled back up and feathered.
//
// Limits: GrabCut separates by colour, so clothes or hair close in colour to the room bleed into it
// (or the room into the person); each frame is cut on its own, so edges may shimmer from frame to
// frame; without a detected frontal face there is no mask and the frame stays unblurred; hands or
// objects held away from the body are usually cut off; edges are only as fine as the small copy.
class OpenCvPersonSegmenter final : public PersonSegmenter {
public:
    // `faces` is borrowed and must outlive the segmenter.
    explicit OpenCvPersonSegmenter(FaceDetector& faces) : faces_(faces) {}

    cairo::Surface personMask(cairo_surface_t* frame) override;

private:
    FaceDetector& faces_;
};

}  // namespace orvane
