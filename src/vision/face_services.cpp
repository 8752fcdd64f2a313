#include "vision/face_services.h"

#include "vision/face_segmenter.h"

namespace orvane {

FaceCameraKit makeFaceCameraServices(const std::string& cascadePath) {
    auto detector = std::make_unique<OpenCvFaceDetector>(cascadePath);
    FaceCameraKit kit;
    // Segmentation is seeded from a face, so without detection neither service is offered.
    if (!detector->available()) return kit;
    kit.segmenter = std::make_unique<OpenCvPersonSegmenter>(*detector);
    kit.detector = std::move(detector);
    return kit;
}

}  // namespace orvane
