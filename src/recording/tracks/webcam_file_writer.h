#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "platform/camera_system.h"

namespace orvane {

// Writes the face-camera movie (webcam.mp4): H.264 through libx264, and optionally the microphone
// as AAC 48 kHz mono. Fragmented MP4, so a crash mid-recording still leaves a playable file.
// Video and audio may be appended from different threads.
class WebcamFileWriter {
public:
    static constexpr int kAudioSampleRate = 48000;

    // Opens the encoders and creates the file. Throws std::runtime_error when libx264 or the file
    // refuses; nothing is left on disk then.
    WebcamFileWriter(const std::filesystem::path& file, int width, int height, double frameRate, bool withAudio);
    WebcamFileWriter(const WebcamFileWriter&) = delete;
    WebcamFileWriter& operator=(const WebcamFileWriter&) = delete;
    ~WebcamFileWriter();

    // The first frame sets time 0 of the file; audio captured before it is dropped. Frames that do not
    // advance time are dropped. Errors are kept in error(), not thrown: the camera thread carries on.
    void appendFrame(const CameraFrame& frame);
    void appendAudio(const float* mono, int frames, std::chrono::steady_clock::time_point captureTime);

    // Drains the encoders and closes the file. Answers the number of video frames written.
    std::int64_t finish();
    std::string error() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvane
