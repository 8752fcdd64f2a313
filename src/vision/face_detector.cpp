#include "vision/face_detector.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <filesystem>

#include "base/log.h"
#include "base/log_areas.h"

namespace orvane {
namespace {

constexpr const char* kCascadeFile = "haarcascade_frontalface_default.xml";
// Detection runs on a copy this wide: faces in a face camera are large, and the cascade's cost grows
// with the pixel count.
constexpr int kDetectionWidth = 320;
constexpr int kSmallestFace = 24;  // pixels at detection width; the cascade's own window
// Overlapping hits needed to accept a face: fewer find more faces and more wallpaper patterns.
constexpr int kMinNeighbours = 5;

}  // namespace

bool isPixelFrame(cairo_surface_t* frame) {
    if (!frame || cairo_surface_status(frame) != CAIRO_STATUS_SUCCESS) return false;
    if (cairo_surface_get_type(frame) != CAIRO_SURFACE_TYPE_IMAGE) return false;
    const cairo_format_t format = cairo_image_surface_get_format(frame);
    if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return false;
    return cairo_image_surface_get_width(frame) > 0 && cairo_image_surface_get_height(frame) > 0;
}

std::string defaultFaceCascadePath() {
    for (const char* folder : {"/usr/share/opencv4/haarcascades", "/usr/local/share/opencv4/haarcascades"}) {
        std::filesystem::path path = std::filesystem::path(folder) / kCascadeFile;
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) return path.string();
    }
    return {};
}

struct OpenCvFaceDetector::Cascade {
    cv::CascadeClassifier classifier;
};

OpenCvFaceDetector::OpenCvFaceDetector(const std::string& cascadePath) {
    if (cascadePath.empty()) {
        log::warning(log_area::kFaceCamera, "face detection not available: %s is not installed (package opencv-data)",
                     kCascadeFile);
        return;
    }
    std::error_code missing;
    if (!std::filesystem::is_regular_file(cascadePath, missing)) {
        log::warning(log_area::kFaceCamera, "face detection not available: the cascade %s is missing",
                     cascadePath.c_str());
        return;
    }
    auto cascade = std::make_unique<Cascade>();
    std::string problem;
    try {
        if (!cascade->classifier.load(cascadePath) || cascade->classifier.empty()) problem = "not a cascade";
    } catch (const cv::Exception& error) {
        problem = error.err;
    }
    if (!problem.empty()) {
        log::warning(log_area::kFaceCamera, "face detection not available: the cascade %s cannot be read (%s)",
                     cascadePath.c_str(), problem.c_str());
        return;
    }
    cascade_ = std::move(cascade);
}

OpenCvFaceDetector::~OpenCvFaceDetector() = default;

bool OpenCvFaceDetector::available() const { return cascade_ != nullptr; }

std::vector<Rect> OpenCvFaceDetector::detectFaces(cairo_surface_t* frame) {
    if (!cascade_ || !isPixelFrame(frame)) return {};
    cairo_surface_flush(frame);
    const int width = cairo_image_surface_get_width(frame);
    const int height = cairo_image_surface_get_height(frame);
    std::vector<cv::Rect> hits;
    cv::Size scaled;
    try {
        // Cairo's 32-bit pixels are B, G, R, A in memory on little-endian machines. Camera frames are
        // opaque, so premultiplication does not change the grey values.
        const cv::Mat pixels(height, width, CV_8UC4, cairo_image_surface_get_data(frame),
                             static_cast<size_t>(cairo_image_surface_get_stride(frame)));
        cv::Mat grey;
        cv::cvtColor(pixels, grey, cv::COLOR_BGRA2GRAY);
        if (width > kDetectionWidth) {
            const double factor = static_cast<double>(kDetectionWidth) / width;
            cv::resize(grey, grey, cv::Size(), factor, factor, cv::INTER_AREA);
        }
        // Evens out lighting so a dim room or a backlit face still shows the cascade's contrasts.
        cv::equalizeHist(grey, grey);
        scaled = grey.size();
        cascade_->classifier.detectMultiScale(grey, hits, 1.1, kMinNeighbours, 0,
                                              cv::Size(kSmallestFace, kSmallestFace));
    } catch (const cv::Exception& error) {
        log::warning(log_area::kFaceCamera, "face detection failed: %s", error.what());
        return {};
    }
    std::vector<Rect> faces;
    faces.reserve(hits.size());
    const double sw = scaled.width;
    const double sh = scaled.height;
    for (const cv::Rect& hit : hits) faces.push_back({hit.x / sw, hit.y / sh, hit.width / sw, hit.height / sh});
    return faces;
}

}  // namespace orvane
