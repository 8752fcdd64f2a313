#pragma once

#include <memory>
#include <string>

#include "render/scene/compositor.h"
#include "vision/face_detector.h"

namespace orvane {

// The face detector and person segmenter of one render worker. Services() lends them to a
// compositor; the kit must outlive it.
struct FaceCameraKit {
    std::unique_ptr<FaceDetector> detector;
    std::unique_ptr<PersonSegmenter> segmenter;  // borrows `detector`, so declared after it

    FaceCameraServices services() const { return {detector.get(), segmenter.get()}; }
};

// OpenCV face detection and GrabCut segmentation. Without the cascade both are missing (the reason
// is logged), so face cameras keep their own crop and stay unblurred.
FaceCameraKit makeFaceCameraServices(const std::string& cascadePath = defaultFaceCascadePath());

}  // namespace orvane
