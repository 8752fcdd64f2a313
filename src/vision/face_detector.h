#pragma once

#include <memory>
#include <string>
#include <vector>

#include "render/scene/scene_face_camera.h"

namespace orvane {

// Where the system's frontal-face cascade lives (Debian's opencv-data), or empty when it is not
// installed.
std::string defaultFaceCascadePath();

// A colour image surface of positive size that face detection and segmentation can read.
bool isPixelFrame(cairo_surface_t* frame);

// Frontal faces found with OpenCV's Haar cascade on a downscaled grey copy of the frame. Faces
// turned far to the side or smaller than about a thirteenth of the frame's width are not found.
// Not thread-safe: one per render worker, like the compositor that borrows it.
class OpenCvFaceDetector final : public FaceDetector {
public:
    // Loads the cascade at `cascadePath`. When it is missing or unreadable the detector logs why it
    // is "not available" and answers no faces.
    explicit OpenCvFaceDetector(const std::string& cascadePath = defaultFaceCascadePath());
    ~OpenCvFaceDetector() override;
    OpenCvFaceDetector(const OpenCvFaceDetector&) = delete;
    OpenCvFaceDetector& operator=(const OpenCvFaceDetector&) = delete;

    bool available() const;

    // Normalised to the frame, origin top-left. Empty for frames that are not 32-bit image surfaces.
    std::vector<Rect> detectFaces(cairo_surface_t* frame) override;

private:
    struct Cascade;
    std::unique_ptr<Cascade> cascade_;  // null when not available
};

}  // namespace orvane
