#pragma once

// The bracketed tags of log lines, one per area of the program, so a tag is spelled once and a
// reader of the log can grep for it.

#include <string_view>

namespace orvane::log_area {

inline constexpr std::string_view kApp = "Orvane.App";
inline constexpr std::string_view kAnalytics = "Orvane.Analytics";
inline constexpr std::string_view kAuth = "Orvane.Auth";
inline constexpr std::string_view kAudio = "Orvane.Audio";
inline constexpr std::string_view kAutoZoom = "Orvane.AutoZoom";
inline constexpr std::string_view kCache = "Orvane.Cache";
inline constexpr std::string_view kCaptions = "Orvane.Captions";
inline constexpr std::string_view kCapture = "Orvane.Capture";
inline constexpr std::string_view kCloud = "Orvane.Cloud";
inline constexpr std::string_view kComposition = "Orvane.Composition";
inline constexpr std::string_view kCompositionAudit = "Orvane.CompositionAudit";
inline constexpr std::string_view kConfig = "Orvane.Config";
inline constexpr std::string_view kCursor = "Orvane.Cursor";
inline constexpr std::string_view kEditor = "Orvane.Editor";
inline constexpr std::string_view kExport = "Orvane.Export";
inline constexpr std::string_view kFaceCamera = "Orvane.FaceCamera";
inline constexpr std::string_view kKeychain = "Orvane.Keychain";
inline constexpr std::string_view kLibrary = "Orvane.Library";
inline constexpr std::string_view kMedia = "Orvane.Media";
inline constexpr std::string_view kMic = "Orvane.Mic";
inline constexpr std::string_view kPanels = "Orvane.Panels";
inline constexpr std::string_view kRecorder = "Orvane.Recorder";
inline constexpr std::string_view kRecording = "Orvane.Recording";
inline constexpr std::string_view kRemoteEdits = "Orvane.RemoteEdits";
inline constexpr std::string_view kRender = "Orvane.Render";
inline constexpr std::string_view kShare = "Orvane.Share";
inline constexpr std::string_view kStudio = "Orvane.Studio";
inline constexpr std::string_view kScreenshot = "Orvane.Screenshot";
inline constexpr std::string_view kThreads = "Orvane.Threads";
inline constexpr std::string_view kVoice = "Orvane.Voice";
inline constexpr std::string_view kWebcam = "Orvane.Webcam";

}  // namespace orvane::log_area
