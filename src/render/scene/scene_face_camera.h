#pragma once

#include <cairo.h>

#include <optional>
#include <unordered_map>
#include <vector>

#include "base/geometry.h"
#include "base/uuid.h"
#include "media/cairo_handles.h"

namespace orvane {

// Finds faces in a face-camera frame. Rectangles are normalised to the frame, origin top-left.
// A detector that fails answers no faces; the picture then keeps its previous crop.
class FaceDetector {
public:
    virtual ~FaceDetector() = default;
    virtual std::vector<Rect> detectFaces(cairo_surface_t* frame) = 0;
};

// Separates the person from the room: an A8 mask the frame's size, opaque on the person, or null
// when it cannot be made (the frame is then shown unblurred).
class PersonSegmenter {
public:
    virtual ~PersonSegmenter() = default;
    virtual cairo::Surface personMask(cairo_surface_t* frame) = 0;
};

// The crop that frames a face (normalised, top-left): a square 2.6 times the face's larger side
// (at most the whole frame), the face slightly above its centre, kept inside the frame. Nothing when
// the crop would be too small to trust (5 % of the frame or less).
std::optional<Rect> faceFramingCrop(const Rect& face);

// The smoothed face-camera crops of one render job, per overlay, so the framing glides after the
// face instead of jumping with every detection.
class FaceCamCropMemory {
public:
    // Moves the overlay's crop 18 % of the way to `target` (the first accepted target is taken as
    // is) and answers it. Without a target it answers the previous crop, else `sourceCropRect`.
    std::optional<Rect> update(const Uuid& overlay, const std::optional<Rect>& target,
                               const std::optional<Rect>& sourceCropRect);

private:
    std::unordered_map<Uuid, Rect> crops_;
};

// The frame with everything but the person blurred: the frame blurred by
// min(strength, 1) x 24 + 4, the mask softened, the sharp frame laid over the blurred one through it.
// Null when the mask is missing or does not match the frame.
cairo::Surface blurBackgroundBehindPerson(cairo_surface_t* frame, cairo_surface_t* personMask, double strength);

}  // namespace orvane
