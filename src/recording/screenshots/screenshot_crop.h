#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/geometry.h"
#include "media/video_frame.h"

namespace orvane {

// A cropper failure, with the domain "ScreenshotCropper" and the codes the cropper reports.
class ScreenshotCropError : public std::runtime_error {
public:
    static constexpr const char* kDomain = "ScreenshotCropper";
    enum Code { unreadableSource = -1, invalidRegion = -2, nothingToEncode = -4, encodeFailed = -5 };

    ScreenshotCropError(Code code, const std::string& description) : std::runtime_error(description), code_(code) {}
    Code code() const { return code_; }

private:
    Code code_;
};

// The part of `image` inside `crop` (pixels). Throws ScreenshotCropError -2 when the rectangle misses
// the image or leaves less than 2 by 2 pixels.
RgbaImage cropImage(const RgbaImage& image, const Rect& crop);

// Reads a PNG into premultiplied ARGB; throws ScreenshotCropError -1 when it cannot.
RgbaImage readScreenshotPng(const std::filesystem::path& file);

// Writes a PNG through a hidden temporary file renamed over `file`, so a failure leaves the old file
// whole. Throws ScreenshotCropError -4 for an empty image, -5 when encoding or writing fails.
void writeScreenshotPng(const RgbaImage& image, const std::filesystem::path& file);

// What the cropper's Save does: crops when a rectangle of at least 2 by 2 pixels is set (any crop
// failure keeps the whole picture), then overwrites the file. Answers the image as saved, for the
// clipboard. Throws ScreenshotCropError when reading or writing fails.
RgbaImage saveCroppedScreenshot(const std::filesystem::path& file, const std::optional<Rect>& crop);

// The cropper's status line for the outcome: "Copied to clipboard." or "Couldn't save: " + reason.
std::string cropperStatusText(const std::exception* failure);

}  // namespace orvane
