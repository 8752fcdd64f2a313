#include "vision/face_segmenter.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/log.h"
#include "base/log_areas.h"
#include "vision/face_detector.h"

namespace orvane {
namespace {

// GrabCut's cost grows with pixels times iterations; a copy this size keeps it near 30
// milliseconds a frame, and the compositor softens the mask anyway.
constexpr int kWorkSize = 160;
constexpr int kIterations = 4;
constexpr double kBorderBand = 0.04;  // of the copy's smaller side

// Head and shoulders relative to the face: shoulders span about three face widths, hair reaches
// about half a face above the detected box.
constexpr double kShoulderWidth = 3.2;
constexpr double kHairAbove = 0.45;

// The normalised rectangle in pixels of a size-`size` image, clipped to it (possibly empty).
cv::Rect pixelRect(const Rect& r, cv::Size size) {
    const int x0 = std::clamp(static_cast<int>(std::floor(r.x * size.width)), 0, size.width);
    const int y0 = std::clamp(static_cast<int>(std::floor(r.y * size.height)), 0, size.height);
    const int x1 = std::clamp(static_cast<int>(std::ceil(r.maxX() * size.width)), 0, size.width);
    const int y1 = std::clamp(static_cast<int>(std::ceil(r.maxY() * size.height)), 0, size.height);
    return {x0, y0, std::max(x1 - x0, 0), std::max(y1 - y0, 0)};
}

// GrabCut leaves crumbs of room that happen to match the person's colours; the person is the
// largest piece.
void keepLargestPiece(cv::Mat& binary) {
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(binary, labels, stats, centroids, 8, CV_32S);
    if (count <= 2) return;
    int largest = 1;
    for (int i = 2; i < count; ++i)
        if (stats.at<int>(i, cv::CC_STAT_AREA) > stats.at<int>(largest, cv::CC_STAT_AREA)) largest = i;
    binary = (labels == largest);
}

}  // namespace

Rect personSeedRegion(const Rect& face) {
    const double midX = face.x + face.width / 2;
    const double x0 = std::clamp(midX - face.width * kShoulderWidth / 2, 0.0, 1.0);
    const double x1 = std::clamp(midX + face.width * kShoulderWidth / 2, 0.0, 1.0);
    const double y0 = std::clamp(face.y - face.height * kHairAbove, 0.0, 1.0);
    return {x0, y0, x1 - x0, 1.0 - y0};
}

cairo::Surface grabCutMask(cairo_surface_t* frame, const Rect& probableForeground,
                           const std::optional<Rect>& sureForeground) {
    if (!isPixelFrame(frame)) return nullptr;
    cairo_surface_flush(frame);
    const int width = cairo_image_surface_get_width(frame);
    const int height = cairo_image_surface_get_height(frame);
    cv::Mat binary;
    try {
        const cv::Mat pixels(height, width, CV_8UC4, cairo_image_surface_get_data(frame),
                             static_cast<size_t>(cairo_image_surface_get_stride(frame)));
        const double factor = std::min(1.0, static_cast<double>(kWorkSize) / std::max(width, height));
        cv::Mat small;
        cv::resize(pixels, small, cv::Size(), factor, factor, cv::INTER_AREA);
        cv::cvtColor(small, small, cv::COLOR_BGRA2BGR);

        const cv::Rect seed = pixelRect(probableForeground, small.size());
        if (seed.area() == 0) return nullptr;
        cv::Mat labels(small.size(), CV_8U, cv::Scalar(cv::GC_PR_BGD));
        const int band = std::max(2, static_cast<int>(std::lround(kBorderBand * std::min(small.cols, small.rows))));
        labels.rowRange(0, band).setTo(cv::GC_BGD);
        labels.rowRange(small.rows - band, small.rows).setTo(cv::GC_BGD);
        labels.colRange(0, band).setTo(cv::GC_BGD);
        labels.colRange(small.cols - band, small.cols).setTo(cv::GC_BGD);
        // The seed wins over the band: shoulders run off the bottom edge.
        labels(seed).setTo(cv::GC_PR_FGD);
        if (sureForeground) {
            const cv::Rect sure = pixelRect(*sureForeground, small.size());
            if (sure.area() > 0) labels(sure).setTo(cv::GC_FGD);
        }
        // Both colour models need samples: a seed covering the whole frame leaves nothing to learn
        // the room from.
        if (cv::countNonZero((labels & 1) == 0) == 0) return nullptr;

        cv::Mat backgroundModel, foregroundModel;
        cv::grabCut(small, labels, cv::Rect(), backgroundModel, foregroundModel, kIterations, cv::GC_INIT_WITH_MASK);
        // GC_FGD and GC_PR_FGD are the odd labels.
        binary = (labels & 1) != 0;
        const cv::Mat round = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3));
        cv::morphologyEx(binary, binary, cv::MORPH_OPEN, round);
        cv::morphologyEx(binary, binary, cv::MORPH_CLOSE, round);
        if (cv::countNonZero(binary) == 0) return nullptr;
        keepLargestPiece(binary);

        cv::resize(binary, binary, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
        // Feather over about half a pixel of the small copy so the upscaled steps do not show.
        const double feather = std::max(1.0, 0.5 / factor);
        cv::GaussianBlur(binary, binary, cv::Size(), feather);
    } catch (const cv::Exception& error) {
        log::warning(log_area::kFaceCamera, "person segmentation failed: %s", error.what());
        return nullptr;
    }

    cairo::Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
    if (cairo_surface_status(mask.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(mask.get());
    unsigned char* data = cairo_image_surface_get_data(mask.get());
    const int stride = cairo_image_surface_get_stride(mask.get());
    for (int y = 0; y < height; ++y) std::memcpy(data + y * stride, binary.ptr(y), static_cast<size_t>(width));
    cairo_surface_mark_dirty(mask.get());
    return mask;
}

cairo::Surface OpenCvPersonSegmenter::personMask(cairo_surface_t* frame) {
    const std::vector<Rect> faces = faces_.detectFaces(frame);
    if (faces.empty()) return nullptr;
    // The same face the framing follows: the largest, nearest the camera.
    const Rect face = *std::max_element(faces.begin(), faces.end(), [](const Rect& a, const Rect& b) {
        return a.width * a.height < b.width * b.height;
    });
    // The middle of the detected box is skin for certain; its edges may already be room.
    const Rect core{face.x + face.width * 0.25, face.y + face.height * 0.2, face.width * 0.5, face.height * 0.6};
    return grabCutMask(frame, personSeedRegion(face), core);
}

}  // namespace orvane
